// The RIFF chunk walk and the PCM WAV converter over arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "core/tracked_alloc.h"
#include "file/file_access.h"
#include "sound/pcm_converter.h"
#include "sound/riff_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quelt;
  MemoryStream* memory = OpenMemoryStream(data, static_cast<int32_t>(size));
  const DataStream stream{*GetMemoryStreamOps(), reinterpret_cast<StreamHandle>(memory)};
  WaveChunks chunks{};
  uint8_t* format = nullptr;
  if (WalkWaveChunks(stream, &chunks, &format) == 0) TrackedFree(format);
  PcmConverter converter{};
  if (OpenPcmConverter(stream, &converter) == 0) {
    WaveFormat out{};
    uint8_t* pcm = nullptr;
    int32_t bytes = 0;
    if (ConvertWholeToPcm(&converter, &out, &pcm, &bytes) == 0) TrackedFree(pcm);
    SeekPcmConverter(&converter, 3);
    uint8_t block[64];
    ConvertPcmBlock(&converter, block, sizeof block);
    ClosePcmConverter(&converter);
  }
  CloseMemoryStream(reinterpret_cast<StreamHandle>(memory));
  return 0;
}
