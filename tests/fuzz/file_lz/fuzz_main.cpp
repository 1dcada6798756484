#include "fuzz/file_archive/archive_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quelt_fuzz::RunLzDecode(data, size);
  return 0;
}
