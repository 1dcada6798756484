#include "sound/pcm_converter.h"

#include <array>
#include <cstring>

#include "core/tracked_alloc.h"
#include "sound/riff_walk.h"

namespace quelt {

int32_t OlderVorbisFlag = 0;
int32_t OggWordSize = 2;

namespace {

struct ConverterKindOps {
  int (*next)(PcmConverter*, uint8_t*);
  int (*seek)(PcmConverter*, int64_t);
  int (*close)(PcmConverter*);
};

int CloseNothing(PcmConverter*) { return 0; }

constexpr std::array<ConverterKindOps, 3> KindOps{{
    {ConvertPcmWaveBlock, SeekPcmWave, CloseNothing},
    {ConvertAcmBlock, SeekAcmConverter, CloseAcmConverter},
    {ConvertOggBlock, SeekOggConverter, CloseOggConverter},
}};

const ConverterKindOps& OpsOf(const PcmConverter* converter) {
  return KindOps[static_cast<size_t>(converter->kind)];
}

using OpenKind = int (*)(PcmConverter*);
constexpr std::array<OpenKind, 4> OpenOrder{OpenPcmWaveConverter, OpenAcmWaveConverter, OpenOggConverter,
                                            OpenMpegAcmConverter};

// A block larger than this is a nonsense format (a second of 8-channel 32-bit 768 kHz).
constexpr int32_t MaxBlockSize = 8 * 4 * 768000;

}  // namespace

int OpenPcmConverter(const DataStream& stream, PcmConverter* converter) {
  *converter = PcmConverter{};
  converter->olderVorbis = OlderVorbisFlag;
  converter->stream = stream;
  converter->trailingTarget = 0;
  bool opened = false;
  for (const OpenKind open : OpenOrder) {
    if (stream.ops.seek(stream.handle, 0, 0) != 0) return -1;
    if (open(converter) == 0) {
      opened = true;
      break;
    }
  }
  if (!opened) return -1;
  if (converter->blockSize <= 0 || converter->blockSize > MaxBlockSize) {
    OpsOf(converter).close(converter);
    return -1;
  }
  converter->block = static_cast<uint8_t*>(TrackedAlloc(converter->blockSize, __FILE__, __LINE__));
  if (converter->block == nullptr) {
    OpsOf(converter).close(converter);
    return -1;
  }
  converter->blockLeft = 0;
  converter->blockOffset = 0;
  converter->outputPosition = 0;
  converter->initialised = 1;
  return 0;
}

int ClosePcmConverter(PcmConverter* converter) {
  if (converter->initialised == 0) return -1;
  TrackedFree(converter->block);
  converter->block = nullptr;
  OpsOf(converter).close(converter);
  converter->initialised = 0;
  return 0;
}

int GetPcmConverterFormat(const PcmConverter* converter, WaveFormat* format) {
  *format = converter->format;
  return 0;
}

int64_t GetPcmConverterSize(PcmConverter* converter) {
  switch (converter->kind) {
    case PcmConverterKind::PcmWave:
      return converter->dataSize;
    case PcmConverterKind::Acm:
      return GetAcmConverterSize(converter);
    case PcmConverterKind::Ogg:
      return GetOggTotalBytes(converter);
  }
  return 0;
}

int32_t ConvertPcmBlock(PcmConverter* converter, void* dest, int32_t bytes) {
  if (converter->initialised == 0) return -1;
  if (converter->endReached != 0 || bytes <= 0) return 0;
  auto* out = static_cast<uint8_t*>(dest);
  int32_t written = 0;
  while (written < bytes) {
    if (converter->blockLeft == 0) {
      converter->blockOffset = 0;
      // Room for a whole block: the kind makes it in place, saving the copy out of the block.
      const bool in_place = bytes - written >= converter->blockSize;
      if (OpsOf(converter).next(converter, in_place ? out + written : converter->block) != 0 ||
          converter->blockLeft <= 0) {
        converter->blockLeft = 0;
        converter->endReached = 1;
        return written;
      }
      if (in_place) {
        written += converter->blockLeft;
        converter->outputPosition += converter->blockLeft;
        converter->blockLeft = 0;
        continue;
      }
    }
    int32_t take = bytes - written;
    if (take > converter->blockLeft) take = converter->blockLeft;
    std::memcpy(out + written, converter->block + converter->blockOffset, static_cast<size_t>(take));
    written += take;
    converter->blockOffset += take;
    converter->blockLeft -= take;
    converter->outputPosition += take;
  }
  return written;
}

int SeekPcmConverter(PcmConverter* converter, int64_t sample) {
  if (converter->initialised == 0) return -1;
  if (sample < 0) sample = 0;
  const int64_t target = sample * converter->format.blockAlign;
  const int64_t distance = target - converter->outputPosition;
  if (distance > -16 && distance < 16) return 0;
  // The kind's seek may find the end on its way and set the flag again.
  converter->endReached = 0;
  return OpsOf(converter).seek(converter, sample);
}

int ConvertWholeToPcm(PcmConverter* converter, WaveFormat* format, uint8_t** pcm, int32_t* size) {
  if (converter->initialised == 0) return -1;
  const int64_t capacity = converter->kind == PcmConverterKind::Ogg ? GetOggConverterSize(converter)
                                                                     : GetPcmConverterSize(converter);
  if (capacity <= 0 || capacity > MaxPcmBytes) return -1;
  auto* block = static_cast<uint8_t*>(TrackedAlloc(static_cast<int32_t>(capacity), __FILE__, __LINE__));
  if (block == nullptr) return -1;
  SeekPcmConverter(converter, 0);
  int32_t produced = 0;
  if (converter->kind == PcmConverterKind::PcmWave) {
    const DataStream& s = converter->stream;
    if (s.ops.seek(s.handle, converter->dataStart, 0) != 0 || !ReadExact(s, block, converter->dataSize)) {
      TrackedFree(block);
      return -1;
    }
    produced = converter->dataSize;
    // The output stands at the data's end, as if converted block by block: a later seek
    // (to 0 too) must move it back.
    converter->blockLeft = 0;
    converter->blockOffset = 0;
    converter->outputPosition = produced;
    converter->endReached = 1;
  } else {
    produced = ConvertPcmBlock(converter, block, static_cast<int32_t>(capacity));
  }
  // Whole sample frames only: a partial frame at the end is nothing a buffer can play.
  if (converter->format.blockAlign != 0) produced -= produced % converter->format.blockAlign;
  if (produced <= 0) {
    TrackedFree(block);
    return -1;
  }
  *format = converter->format;
  *pcm = block;
  *size = produced;
  return 0;
}

// PCM WAV.

int OpenPcmWaveConverter(PcmConverter* converter) {
  WaveChunks chunks{};
  if (WalkWaveChunks(converter->stream, &chunks, nullptr) != 0) return -1;
  const WaveFormat& f = chunks.format;
  if (f.formatTag != WaveFormatPcm) return -1;
  if (f.bitsPerSample != 8 && f.bitsPerSample != 16 && f.bitsPerSample != 24 && f.bitsPerSample != 32) return -1;
  if (f.avgBytesPerSec == 0 || f.avgBytesPerSec > static_cast<uint32_t>(MaxBlockSize)) return -1;
  converter->formatPosition = chunks.formatPosition;
  converter->formatSize = chunks.formatSize;
  converter->format = f;
  converter->format.extraSize = 0;
  converter->dataStart = chunks.dataStart;
  converter->dataSize = chunks.dataSize;
  converter->blockSize = static_cast<int32_t>(f.avgBytesPerSec);
  converter->kind = PcmConverterKind::PcmWave;
  return 0;
}

int ConvertPcmWaveBlock(PcmConverter* converter, uint8_t* dest) {
  const DataStream& s = converter->stream;
  const int32_t done = s.ops.tell(s.handle) - converter->dataStart;
  if (done < 0 || done >= converter->dataSize) return -1;
  int32_t want = converter->dataSize - done;
  if (want > converter->blockSize) want = converter->blockSize;
  const int32_t got = s.ops.read(dest, 1, want, s.handle);
  if (got <= 0) return -1;
  converter->blockLeft = got;
  return 0;
}

int SeekPcmWave(PcmConverter* converter, int64_t sample) {
  int64_t offset = sample * converter->format.blockAlign;
  if (offset > converter->dataSize) offset = converter->dataSize;
  const DataStream& s = converter->stream;
  s.ops.seek(s.handle, static_cast<int32_t>(converter->dataStart + offset), 0);
  converter->blockLeft = 0;
  converter->blockOffset = 0;
  converter->outputPosition = s.ops.tell(s.handle) - converter->dataStart;
  return 0;
}

}  // namespace quelt
