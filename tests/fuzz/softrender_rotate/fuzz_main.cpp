#include "fuzz/softrender_draw/draw_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quelt_fuzz::RunDrawTarget("rotate", data, size);
  return 0;
}
