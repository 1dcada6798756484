#include "sound/riff_walk.h"

#include <cstring>

#include "core/little_endian.h"
#include "core/tracked_alloc.h"

namespace quelt {

namespace {

bool IsId(const uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

constexpr uint16_t MsAdpcm = 2;
constexpr uint16_t ImaAdpcm = 0x11;
// Block header bytes a channel (IMA: a sample and the step index; MS: the predictor, the
// step and two samples).
constexpr int32_t ImaHeaderBytes = 4;
constexpr int32_t MsHeaderBytes = 7;
// After its header an IMA ADPCM block codes each channel in turn in groups of 4 bytes, 8
// samples each.
constexpr int32_t ImaGroupBytes = 4;
constexpr int32_t ImaGroupSamples = 8;

bool FormatIsSound(const WaveFormat& format) {
  return format.channels != 0 && format.samplesPerSec != 0 && format.blockAlign != 0;
}

}  // namespace

bool CompressedFormatIsSound(const uint8_t* format, int32_t size) {
  if (size < 18) return false;
  WaveFormat f{};
  std::memcpy(&f, format, sizeof f);
  if (size < 18 + f.extraSize) return false;
  if (f.formatTag != MsAdpcm && f.formatTag != ImaAdpcm) return true;
  if (f.extraSize < 2 || f.channels == 0 || f.channels > 2) return false;
  const int32_t per_block = LoadLe16(format + 18);
  // The block header holds one sample a channel (IMA: 4 bytes, MS: 7 bytes a channel).
  const int32_t header = (f.formatTag == ImaAdpcm ? ImaHeaderBytes : MsHeaderBytes) * f.channels;
  if (f.blockAlign <= header || per_block == 0) return false;
  if (f.formatTag == ImaAdpcm) {
    if (f.bitsPerSample != 4) return false;
    return per_block <= (f.blockAlign - header) * 2 / f.channels + 1;
  }
  if (f.extraSize < 4) return false;
  const int32_t coefficients = LoadLe16(format + 20);
  return per_block <= (f.blockAlign - header) * 2 / f.channels + 2 && coefficients >= 7 &&
         f.extraSize >= 4 + 4 * coefficients;
}

int32_t AdpcmFramesInPart(const uint8_t* format, int32_t bytes) {
  WaveFormat f{};
  std::memcpy(&f, format, sizeof f);
  if ((f.formatTag != MsAdpcm && f.formatTag != ImaAdpcm) || f.channels == 0 || bytes >= f.blockAlign) return 0;
  const int32_t channels = f.channels;
  const int32_t per_block = LoadLe16(format + 18);
  int32_t frames = 0;
  if (f.formatTag == ImaAdpcm) {
    const int32_t header = ImaHeaderBytes * channels;
    if (bytes < header) return 0;
    frames = 1 + (bytes - header) / (ImaGroupBytes * channels) * ImaGroupSamples;
  } else {
    // Two samples a channel in the header, then one 4-bit sample of each channel in turn.
    const int32_t header = MsHeaderBytes * channels;
    if (bytes < header) return 0;
    frames = 2 + (bytes - header) * 2 / channels;
  }
  return frames < per_block ? frames : per_block;
}

int32_t DataStreamSize(const DataStream& stream) {
  const int32_t here = stream.ops.tell(stream.handle);
  if (here < 0 || stream.ops.seek(stream.handle, 0, 2) != 0) return -1;
  const int32_t size = stream.ops.tell(stream.handle);
  stream.ops.seek(stream.handle, here, 0);
  return size;
}

bool ReadExact(const DataStream& stream, void* dest, int32_t size) {
  if (size == 0) return true;
  return stream.ops.read(dest, 1, size, stream.handle) == size;
}

int WalkWaveChunks(const DataStream& stream, WaveChunks* chunks, uint8_t** formatBlock) {
  if (formatBlock != nullptr) *formatBlock = nullptr;
  const int32_t end = DataStreamSize(stream);
  if (end < 0) return -1;
  uint8_t header[12];
  if (!ReadExact(stream, header, 12) || !IsId(header, "RIFF") || !IsId(header + 8, "WAVE")) return -1;
  uint8_t chunk[8];
  if (!ReadExact(stream, chunk, 8) || !IsId(chunk, "fmt ")) return -1;
  const uint32_t format_size = LoadLe32(chunk + 4);
  WaveChunks found{};
  found.formatPosition = stream.ops.tell(stream.handle);
  if (format_size < 16 || format_size > static_cast<uint32_t>(MaxFormatChunkSize) ||
      static_cast<int64_t>(found.formatPosition) + format_size > end)
    return -1;
  found.formatSize = static_cast<int32_t>(format_size);

  // The whole chunk, with room for the 18 bytes every caller reads.
  const int32_t kept = found.formatSize < 18 ? 18 : found.formatSize;
  auto* block = static_cast<uint8_t*>(TrackedCalloc(kept, __FILE__, __LINE__));
  if (block == nullptr) return -1;
  if (!ReadExact(stream, block, found.formatSize)) {
    TrackedFree(block);
    return -1;
  }
  std::memcpy(&found.format, block, sizeof found.format);
  if (found.formatSize < 18) {
    found.format.extraSize = 0;
    if (found.format.formatTag == WaveFormatPcm && found.format.channels != 0)
      found.format.bitsPerSample = static_cast<uint16_t>(8 * (found.format.blockAlign / found.format.channels));
    std::memcpy(block, &found.format, sizeof found.format);
  }
  if (!FormatIsSound(found.format)) {
    TrackedFree(block);
    return -1;
  }

  // Every chunk is padded to an even size; the skip starts after the format chunk's body.
  int64_t position = static_cast<int64_t>(found.formatPosition) + format_size + (format_size & 1);
  for (;;) {
    if (position + 8 > end || stream.ops.seek(stream.handle, static_cast<int32_t>(position), 0) != 0 ||
        !ReadExact(stream, chunk, 8)) {
      TrackedFree(block);
      return -1;
    }
    const uint32_t size = LoadLe32(chunk + 4);
    position += 8;
    if (IsId(chunk, "data")) {
      // A data chunk that runs past the end (a cut file, or a writer that never came back
      // to fill in the size) plays what the file holds, in whole blocks.
      int64_t held = size;
      if (position + held > end) held = end - position;
      found.partBytes = static_cast<int32_t>(held % found.format.blockAlign);
      held -= found.partBytes;
      if (held <= 0) {
        TrackedFree(block);
        return -1;
      }
      found.dataStart = static_cast<int32_t>(position);
      found.dataSize = static_cast<int32_t>(held);
      break;
    }
    if ((size & 0x80000000u) != 0 || position + size > end) {
      TrackedFree(block);
      return -1;
    }
    position += size + (size & 1);
  }
  *chunks = found;
  if (formatBlock != nullptr) {
    *formatBlock = block;
  } else {
    TrackedFree(block);
  }
  return 0;
}

}  // namespace quelt
