// The MPEG audio frame walk (ID3 tags, sync search, frame headers) over arbitrary bytes,
// with the rest of the chain's platform-free layers through the shared harness.
#include <cstddef>
#include <cstdint>

#include "sound/converter_harness.h"
#include "sound/mpeg_frames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= 4) {
    quelt::MpegFrameHeader header{};
    if (quelt::ParseMpegFrameHeader(data, &header) == 0 && (header.frameLength <= 4 || header.samplesPerFrame <= 0))
      __builtin_trap();
  }
  quelt_test::ExerciseConverter(data, size);
  return 0;
}
