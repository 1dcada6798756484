// Ogg Vorbis through vorbisfile over an engine stream (callbacks, totals, seeks, reads)
// over arbitrary bytes, through the shared converter harness.
#include <cstddef>
#include <cstdint>

#include "sound/converter_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quelt_test::ExerciseConverter(data, size);
  return 0;
}
