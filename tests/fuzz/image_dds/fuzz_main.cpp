#include "fuzz/image_readers/reader_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quelt_fuzz::RunImageTarget("dds", data, size);
  return 0;
}
