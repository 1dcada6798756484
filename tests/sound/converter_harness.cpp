#include "sound/converter_harness.h"

#include "core/tracked_alloc.h"
#include "file/file_access.h"
#include "sound/mpeg_frames.h"
#include "sound/pcm_converter.h"
#include "sound/riff_walk.h"

namespace quelt_test {

using namespace quelt;

namespace {

void Check(bool promise) {
  if (!promise) __builtin_trap();
}

// Whole conversions past this are skipped: a hostile total may claim up to the chain's
// limit, and allocating that for every input would only slow the search down.
constexpr int64_t WholeLimit = 16 << 20;

}  // namespace

ConverterOutcome ExerciseConverter(const uint8_t* data, size_t size) {
  ConverterOutcome outcome{-1, -1, -1};
  const auto length = static_cast<int32_t>(size);
  MemoryStream* memory = OpenMemoryStream(data, length);
  if (memory == nullptr) return outcome;
  const DataStream stream{*GetMemoryStreamOps(), reinterpret_cast<StreamHandle>(memory)};

  WaveChunks chunks{};
  uint8_t* format = nullptr;
  stream.ops.seek(stream.handle, 0, 0);
  if (WalkWaveChunks(stream, &chunks, &format) == 0) {
    Check(chunks.dataSize > 0 && chunks.dataStart >= 0 && int64_t{chunks.dataStart} + chunks.dataSize <= length);
    Check(chunks.format.channels != 0 && chunks.format.blockAlign != 0 && chunks.format.samplesPerSec != 0);
    TrackedFree(format);
  }
  MpegAudioScan scan{};
  if (ScanMpegAudio(stream, &scan) == 0)
    Check(scan.dataStart >= 0 && scan.dataStart < scan.dataEnd && scan.dataEnd <= length && scan.totalFrames > 0);

  // Heap-allocated: an open converter must not move, and the Ogg decoder holds its address.
  auto* converter = static_cast<PcmConverter*>(TrackedCalloc(sizeof(PcmConverter), __FILE__, __LINE__));
  outcome.opened = OpenPcmConverter(stream, converter);
  if (outcome.opened == 0) {
    outcome.kind = static_cast<int>(converter->kind);
    WaveFormat out{};
    GetPcmConverterFormat(converter, &out);
    Check(out.formatTag == WaveFormatPcm && out.blockAlign != 0);
    const int64_t total = GetPcmConverterSize(converter);
    Check(total >= 0);
    if (total <= WholeLimit) {
      uint8_t* pcm = nullptr;
      int32_t bytes = 0;
      if (ConvertWholeToPcm(converter, &out, &pcm, &bytes) == 0) {
        // Ogg may come out shorter than its stated total, never longer than it with slack.
        const int64_t bound = converter->kind == PcmConverterKind::Ogg ? GetOggConverterSize(converter) : total;
        Check(bytes > 0 && bytes % out.blockAlign == 0 && bytes <= bound);
        outcome.pcmBytes = bytes;
        TrackedFree(pcm);
      }
    }
    uint8_t block[256];
    SeekPcmConverter(converter, 7);
    Check(ConvertPcmBlock(converter, block, sizeof block) <= static_cast<int32_t>(sizeof block));
    SeekPcmConverter(converter, 0);
    ConvertPcmBlock(converter, block, 3);
    SeekPcmConverter(converter, int64_t{1} << 40);
    Check(ConvertPcmBlock(converter, block, sizeof block) <= static_cast<int32_t>(sizeof block));
    Check(ClosePcmConverter(converter) == 0);
  }
  TrackedFree(converter);
  CloseMemoryStream(reinterpret_cast<StreamHandle>(memory));
  return outcome;
}

}  // namespace quelt_test
