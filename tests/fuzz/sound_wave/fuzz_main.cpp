// The RIFF chunk walk and the PCM WAV converter over arbitrary bytes (with the rest of the
// chain's platform-free layers, through the shared harness).
#include <cstddef>
#include <cstdint>

#include "sound/converter_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quelt_test::ExerciseConverter(data, size);
  return 0;
}
