// Ogg Vorbis through vorbisfile over the converter's DataStream. One vorbisfile build
// serves both the newer path and the older one the movie layer selects.
#include <vorbis/vorbisfile.h>

#include "core/tracked_alloc.h"
#include "sound/pcm_converter.h"

namespace quelt {

namespace {

constexpr int32_t OggBlockBytes = 4096;
constexpr int32_t MaxOggHoles = 4096;

size_t ReadCallback(void* dest, size_t size, size_t count, void* source) {
  if (source == nullptr || size == 0) return static_cast<size_t>(-1);
  const auto* stream = static_cast<const DataStream*>(source);
  // Bytes, bounded to what an int32 stream read takes.
  size_t bytes = size * count;
  if (count != 0 && bytes / count != size) bytes = 0x7FFFFFFF;
  if (bytes > 0x7FFFFFFF) bytes = 0x7FFFFFFF;
  const int32_t got = stream->ops.read(dest, 1, static_cast<int32_t>(bytes), stream->handle);
  return got <= 0 ? 0 : static_cast<size_t>(got) / size;
}

int SeekCallback(void* source, ogg_int64_t offset, int whence) {
  if (source == nullptr) return -1;
  const auto* stream = static_cast<const DataStream*>(source);
  // Offsets beyond 32 bits cannot name a position of an engine stream.
  if (offset > 0x7FFFFFFF || offset < -0x7FFFFFFF) return -1;
  return stream->ops.seek(stream->handle, static_cast<int32_t>(offset), whence) == 0 ? 0 : -1;
}

int CloseCallback(void* source) { return source == nullptr ? -1 : 0; }

long TellCallback(void* source) {
  if (source == nullptr) return -1;
  const auto* stream = static_cast<const DataStream*>(source);
  return stream->ops.tell(stream->handle);
}

OggVorbis_File* FileOf(PcmConverter* c) { return static_cast<OggVorbis_File*>(c->oggFile); }

}  // namespace

int OpenOggConverter(PcmConverter* c) {
  c->oggWordSize = OggWordSize == 1 ? 1 : 2;
  auto* file = static_cast<OggVorbis_File*>(TrackedCalloc(sizeof(OggVorbis_File), __FILE__, __LINE__));
  if (file == nullptr) return -1;
  const ov_callbacks callbacks{ReadCallback, SeekCallback, CloseCallback, TellCallback};
  // The decoder keeps this address: the record does not move while open.
  if (ov_open_callbacks(&c->stream, file, nullptr, 0, callbacks) != 0) {
    TrackedFree(file);
    return -1;
  }
  c->oggFile = file;
  c->oggOpen = 1;
  const vorbis_info* info = ov_info(file, -1);
  const ogg_int64_t total = ov_pcm_total(file, -1);
  if (info == nullptr || info->channels <= 0 || info->channels > 8 || info->rate <= 0 || info->rate > 768000 ||
      total <= 0) {
    CloseOggConverter(c);
    return -1;
  }
  const auto word = static_cast<uint16_t>(c->oggWordSize);
  c->format = MakePcmFormat(static_cast<uint16_t>(info->channels), static_cast<uint32_t>(info->rate),
                            static_cast<uint16_t>(8 * word));
  const int64_t bytes = GetOggTotalBytes(c);
  if (bytes <= 0 || bytes > MaxPcmBytes) {
    CloseOggConverter(c);
    return -1;
  }
  c->dataSize = static_cast<int32_t>(bytes);
  c->blockSize = OggBlockBytes;
  c->kind = PcmConverterKind::Ogg;
  return 0;
}

int ConvertOggBlock(PcmConverter* c, uint8_t* dest) {
  int section = 0;
  // A hole (damaged or missing pages) is only reported: the data after it decodes. Each
  // report has read past some of the file, so the end comes; the bound is for safety.
  long got = OV_HOLE;
  for (int32_t holes = 0; got == OV_HOLE && holes < MaxOggHoles; ++holes)
    got = ov_read(FileOf(c), reinterpret_cast<char*>(dest), OggBlockBytes, 0, c->oggWordSize,
                  c->oggWordSize == 1 ? 0 : 1, &section);
  if (got <= 0) return -1;
  c->blockLeft = static_cast<int32_t>(got);
  return 0;
}

int SeekOggConverter(PcmConverter* c, int64_t sample) {
  ov_pcm_seek(FileOf(c), sample);
  c->blockLeft = 0;
  c->blockOffset = 0;
  c->outputPosition = sample * c->format.blockAlign;
  return 0;
}

int CloseOggConverter(PcmConverter* c) {
  if (c->oggOpen != 0) ov_clear(FileOf(c));
  TrackedFree(c->oggFile);
  c->oggFile = nullptr;
  c->oggOpen = 0;
  return 0;
}

namespace {

// Samples plus `slack` in bytes. A stream's stated total may be anything up to 2^63, so a
// total past the chain's limit gives one byte more than the limit rather than a product
// that overflows.
int64_t OggBytes(PcmConverter* c, int64_t slack) {
  const int64_t total = ov_pcm_total(FileOf(c), -1);
  if (total < 0) return total;
  if (total > MaxPcmBytes) return MaxPcmBytes + 1;
  return (total + slack) * c->format.channels * c->oggWordSize;
}

}  // namespace

int64_t GetOggTotalBytes(PcmConverter* c) { return OggBytes(c, 0); }

// One second of 44100 Hz slack for the allocation of a whole conversion.
int64_t GetOggConverterSize(PcmConverter* c) { return OggBytes(c, 44100); }

}  // namespace quelt
