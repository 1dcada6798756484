// Compressed WAV and MPEG audio through the Audio Compression Manager: the whole coded data
// is read at open and converted chunk by chunk by a main ACM stream; a trailing stream
// stays behind it for backward seeks.
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>

#include <cstring>
#include <limits>

#include "core/tracked_alloc.h"
#include "sound/mpeg_frames.h"
#include "sound/pcm_converter.h"
#include "sound/riff_walk.h"

namespace quelt {

static_assert(sizeof(void*) != 4 || sizeof(ACMSTREAMHEADER) == 84);
static_assert(sizeof(WAVEFORMATEX) == sizeof(WaveFormat));

namespace {

constexpr int32_t SourceChunkBytes = 2048;
// How far the trailing stream may fall behind its target before it converts a chunk.
constexpr int64_t TrailingSlack = 10240;

HACMSTREAM AsStream(uintptr_t value) { return reinterpret_cast<HACMSTREAM>(value); }

uintptr_t OpenStream(PcmConverter* c) {
  HACMSTREAM stream = nullptr;
  auto* source = reinterpret_cast<WAVEFORMATEX*>(c->acmSourceFormat);
  auto* output = reinterpret_cast<WAVEFORMATEX*>(&c->format);
  if (acmStreamOpen(&stream, nullptr, source, output, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) != 0)
    return 0;
  return reinterpret_cast<uintptr_t>(stream);
}

// acmFormatSuggest with no driver asks each installed driver in turn, loading it, which takes
// far longer than a conversion's open; the answer for a source format does not change while
// the process runs, so the last successful one is kept.
struct SuggestionCache {
  SRWLOCK lock = SRWLOCK_INIT;
  bool valid = false;
  DWORD sourceSize = 0;
  uint8_t source[64] = {};
  WaveFormat output{};
};
SuggestionCache LastSuggestion;

DWORD FormatBytes(const WAVEFORMATEX* format) { return sizeof(WAVEFORMATEX) + format->cbSize; }

// acmFormatSuggest (no driver, tag only) of `source` into a zeroed PCM format: 0 or the error.
MMRESULT SuggestPcm(const uint8_t* source, WaveFormat* output) {
  const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(source);
  const DWORD bytes = FormatBytes(wave);
  const bool cacheable = bytes <= sizeof LastSuggestion.source;
  if (cacheable) {
    AcquireSRWLockShared(&LastSuggestion.lock);
    const bool hit = LastSuggestion.valid && LastSuggestion.sourceSize == bytes &&
                     std::memcmp(LastSuggestion.source, source, bytes) == 0;
    if (hit) *output = LastSuggestion.output;
    ReleaseSRWLockShared(&LastSuggestion.lock);
    if (hit) return MMSYSERR_NOERROR;
  }
  *output = WaveFormat{};
  output->formatTag = WaveFormatPcm;
  const MMRESULT result = acmFormatSuggest(nullptr, const_cast<WAVEFORMATEX*>(wave),
                                           reinterpret_cast<WAVEFORMATEX*>(output), sizeof *output,
                                           ACM_FORMATSUGGESTF_WFORMATTAG);
  if (result == MMSYSERR_NOERROR && cacheable) {
    AcquireSRWLockExclusive(&LastSuggestion.lock);
    LastSuggestion.valid = true;
    LastSuggestion.sourceSize = bytes;
    std::memcpy(LastSuggestion.source, source, bytes);
    LastSuggestion.output = *output;
    ReleaseSRWLockExclusive(&LastSuggestion.lock);
  }
  return result;
}

void CloseStream(uintptr_t* stream) {
  if (*stream != 0) acmStreamClose(AsStream(*stream), 0);
  *stream = 0;
}

// The source bytes one conversion takes from `offset`: at most 2048, but never less than
// one coded block (a smaller piece converts to nothing), and no more than the destination
// can take.
DWORD SourceChunk(const PcmConverter* c, uintptr_t stream, int32_t offset, DWORD destination) {
  const auto* source = reinterpret_cast<const WAVEFORMATEX*>(c->acmSourceFormat);
  const DWORD align = source->nBlockAlign != 0 ? source->nBlockAlign : 1;
  DWORD chunk = SourceChunkBytes;
  if (chunk < align) chunk = align;
  chunk -= chunk % align;
  const DWORD left = static_cast<DWORD>(c->acmSourceSize - offset);
  if (chunk > left) chunk = left;
  for (;;) {
    DWORD out = 0;
    if (acmStreamSize(AsStream(stream), chunk, &out, ACM_STREAMSIZEF_SOURCE) != 0 || out <= destination) break;
    DWORD smaller = chunk / 2;
    smaller -= smaller % align;
    if (smaller == 0) break;
    chunk = smaller;
  }
  return chunk;
}

// One conversion on `stream` from `offset` into dest: 0 with the counts, or -1.
int ConvertChunk(PcmConverter* c, uintptr_t stream, int32_t offset, uint8_t* dest, DWORD destination,
                 DWORD* used, DWORD* produced) {
  *used = 0;
  *produced = 0;
  const DWORD chunk = SourceChunk(c, stream, offset, destination);
  if (chunk == 0) return -1;
  ACMSTREAMHEADER header{};
  header.cbStruct = sizeof header;
  header.pbSrc = c->acmSource + offset;
  header.cbSrcLength = chunk;
  header.pbDst = dest;
  header.cbDstLength = destination;
  if (acmStreamPrepareHeader(AsStream(stream), &header, 0) != 0) return -1;
  const MMRESULT result = acmStreamConvert(AsStream(stream), &header, ACM_STREAMCONVERTF_BLOCKALIGN);
  acmStreamUnprepareHeader(AsStream(stream), &header, 0);
  if (result != 0) return -1;
  *used = header.cbSrcLengthUsed > chunk ? chunk : header.cbSrcLengthUsed;
  *produced = header.cbDstLengthUsed > destination ? destination : header.cbDstLengthUsed;
  return 0;
}

// The output format for the source, the source data in memory (followed by `padding` zero
// bytes), both streams: 0 or -1.
int FinishAcmOpen(PcmConverter* c, int32_t padding) {
  if (SuggestPcm(c->acmSourceFormat, &c->format) != 0) return -1;
  if (c->format.formatTag != WaveFormatPcm || c->format.blockAlign == 0 || c->format.avgBytesPerSec == 0)
    return -1;
  c->acmSourceSize = c->dataSize + padding;
  c->acmSource = static_cast<uint8_t*>(TrackedAlloc(c->acmSourceSize, __FILE__, __LINE__));
  if (c->acmSource == nullptr) return -1;
  std::memset(c->acmSource + c->dataSize, 0, static_cast<size_t>(padding));
  const DataStream& s = c->stream;
  if (s.ops.seek(s.handle, c->dataStart, 0) != 0 || !ReadExact(s, c->acmSource, c->dataSize)) return -1;
  s.ops.seek(s.handle, c->dataStart, 0);
  // The trailing stream is opened when a caller first sets a trailing target: until then it
  // would stand at the start of the data, where a reopened main stream starts too.
  c->acmMainStream = OpenStream(c);
  c->acmTrailingStream = 0;
  if (c->acmMainStream == 0) return -1;
  c->acmTrailingScratch = static_cast<uint8_t*>(TrackedAlloc(c->blockSize, __FILE__, __LINE__));
  if (c->acmTrailingScratch == nullptr) return -1;
  c->kind = PcmConverterKind::Acm;
  return 0;
}

// A chunk that ACM neither takes nor converts: in MPEG audio, damaged bytes where a frame
// should begin, which the codec will not read past. The offset moves on to the next frame
// sync after it; false when there is none (or the data is no MPEG audio), the end of the data.
bool SkipToNextFrame(const PcmConverter* c, int32_t* offset) {
  const auto* source = reinterpret_cast<const WAVEFORMATEX*>(c->acmSourceFormat);
  if (source->wFormatTag != WAVE_FORMAT_MPEGLAYER3) return false;
  for (int32_t i = *offset + 1; i + 1 < c->acmSourceSize; ++i) {
    if (c->acmSource[i] == 0xFF && c->acmSource[i + 1] >= 0xF0) {
      *offset = i;
      return true;
    }
  }
  return false;
}

// The output frames of the whole blocks (`wholeBytes`) as the driver counts them, and
// `partFrames` of the block after them, as the converter's total: 0, or -1 when the driver
// does not say.
int CountPartBlockFrames(PcmConverter* c, int32_t wholeBytes, int32_t partFrames) {
  const auto* source = reinterpret_cast<const WAVEFORMATEX*>(c->acmSourceFormat);
  DWORD whole = 0;
  DWORD block = 0;
  const HACMSTREAM stream = AsStream(c->acmMainStream);
  if (acmStreamSize(stream, static_cast<DWORD>(wholeBytes), &whole, ACM_STREAMSIZEF_SOURCE) != 0 ||
      acmStreamSize(stream, source->nBlockAlign, &block, ACM_STREAMSIZEF_SOURCE) != 0)
    return -1;
  const int64_t per_block = block / c->format.blockAlign;
  c->acmTotalFrames = whole / c->format.blockAlign + (partFrames < per_block ? partFrames : per_block);
  return 0;
}

int FailAcmOpen(PcmConverter* c) {
  CloseAcmConverter(c);
  return -1;
}

}  // namespace

int OpenAcmWaveConverter(PcmConverter* c) {
  WaveChunks chunks{};
  uint8_t* format_block = nullptr;
  if (WalkWaveChunks(c->stream, &chunks, &format_block) != 0) return -1;
  c->acmSourceFormat = format_block;
  c->formatPosition = chunks.formatPosition;
  c->formatSize = chunks.formatSize;
  c->dataStart = chunks.dataStart;
  c->dataSize = chunks.dataSize;
  c->acmTotalFrames = -1;
  // A format chunk shorter than its extra size claims is not handed to ACM, nor is PCM
  // that the PCM decoder refused (odd sample widths: Wine's PCM converter asserts on them).
  const auto* source = reinterpret_cast<const WAVEFORMATEX*>(format_block);
  if (source->wFormatTag == WAVE_FORMAT_PCM) return FailAcmOpen(c);
  // Nor a block layout that drivers divide by zero on (the block is zero-filled to 18 bytes).
  if (!CompressedFormatIsSound(format_block, chunks.formatSize < 18 ? 18 : chunks.formatSize))
    return FailAcmOpen(c);
  c->format = WaveFormat{};
  // The suggested format's second of output sizes the block; asked before FinishAcmOpen.
  WaveFormat suggested{};
  if (SuggestPcm(format_block, &suggested) != 0 || suggested.avgBytesPerSec == 0 || suggested.avgBytesPerSec > 8 * 4 * 768000)
    return FailAcmOpen(c);
  c->blockSize = static_cast<int32_t>(suggested.avgBytesPerSec);
  // ACM converts ADPCM in whole blocks only: a block cut short goes to it zero-filled to a
  // whole one, and the output ends after the samples the part holds.
  const bool room = chunks.dataSize <= std::numeric_limits<int32_t>::max() - source->nBlockAlign;
  const int32_t part_frames = room ? AdpcmFramesInPart(format_block, chunks.partBytes) : 0;
  const int32_t padding = part_frames > 0 ? source->nBlockAlign - chunks.partBytes : 0;
  if (part_frames > 0) c->dataSize += chunks.partBytes;
  if (FinishAcmOpen(c, padding) != 0) return FailAcmOpen(c);
  if (part_frames > 0 && CountPartBlockFrames(c, chunks.dataSize, part_frames) != 0) {
    c->dataSize = chunks.dataSize;
    c->acmSourceSize = chunks.dataSize;
  }
  return 0;
}

int OpenMpegAcmConverter(PcmConverter* c) {
  MpegAudioScan scan{};
  if (ScanMpegAudio(c->stream, &scan) != 0) return -1;
  // ACM's MPEG Layer-3 source format decodes Layer III only.
  if (scan.first.layer != 3 || scan.dataEnd <= scan.dataStart) return -1;
  DWORD format_size = 30;
  DWORD reported = 0;
  if (acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &reported) == 0 && reported > format_size)
    format_size = reported;
  if (format_size > 0x10000) format_size = 0x10000;
  c->acmSourceFormat = static_cast<uint8_t*>(TrackedCalloc(static_cast<int32_t>(format_size), __FILE__, __LINE__));
  if (c->acmSourceFormat == nullptr) return -1;
  auto* source = reinterpret_cast<MPEGLAYER3WAVEFORMAT*>(c->acmSourceFormat);
  source->wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
  source->wfx.nChannels = static_cast<WORD>(scan.first.channels);
  source->wfx.nSamplesPerSec = static_cast<DWORD>(scan.first.sampleRate);
  source->wfx.nAvgBytesPerSec = static_cast<DWORD>(scan.first.bitRate * 1000 / 8);
  source->wfx.nBlockAlign = 1;
  source->wfx.wBitsPerSample = 0;
  source->wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
  source->wID = MPEGLAYER3_ID_MPEG;
  source->fdwFlags = static_cast<DWORD>(scan.first.padding);
  source->nBlockSize = static_cast<WORD>(scan.first.frameLength);
  source->nFramesPerBlock = 1;
  source->nCodecDelay = 700;
  c->dataStart = scan.dataStart;
  c->dataSize = scan.dataEnd - scan.dataStart;
  c->acmTotalFrames = scan.totalFrames;
  // 4/3 of a second of the output (16-bit PCM of the stream's channels and rate).
  const int64_t output_per_second = int64_t{scan.first.sampleRate} * scan.first.channels * 2;
  c->blockSize = static_cast<int32_t>(4 * output_per_second / 3);
  if (FinishAcmOpen(c, 0) != 0) return FailAcmOpen(c);
  return 0;
}

int CloseAcmConverter(PcmConverter* c) {
  CloseStream(&c->acmMainStream);
  CloseStream(&c->acmTrailingStream);
  TrackedFree(c->acmSourceFormat);
  TrackedFree(c->acmSource);
  TrackedFree(c->acmTrailingScratch);
  c->acmSourceFormat = nullptr;
  c->acmSource = nullptr;
  c->acmTrailingScratch = nullptr;
  return 0;
}

int64_t GetAcmConverterSize(PcmConverter* c) {
  if (c->acmTotalFrames >= 0) return c->acmTotalFrames * c->format.blockAlign;
  DWORD out = 0;
  if (acmStreamSize(AsStream(c->acmMainStream), static_cast<DWORD>(c->acmSourceSize), &out,
                    ACM_STREAMSIZEF_SOURCE) != 0)
    return 0;
  return out;
}

int ConvertAcmBlock(PcmConverter* c, uint8_t* dest) {
  DWORD used = 0;
  DWORD produced = 0;
  if (c->trailingTarget != c->acmTrailingOutput) {
    if (c->trailingTarget < c->acmTrailingOutput || c->acmTrailingStream == 0) {
      CloseStream(&c->acmTrailingStream);
      c->acmTrailingStream = OpenStream(c);
      c->acmTrailingOffset = 0;
      c->acmTrailingOutput = 0;
    }
    if (c->acmTrailingStream != 0 && c->acmTrailingOffset < c->acmSourceSize &&
        c->trailingTarget - c->acmTrailingOutput > TrailingSlack) {
      int64_t room = c->trailingTarget - c->acmTrailingOutput;
      if (room > c->blockSize) room = c->blockSize;
      if (ConvertChunk(c, c->acmTrailingStream, c->acmTrailingOffset, c->acmTrailingScratch,
                       static_cast<DWORD>(room), &used, &produced) == 0) {
        c->acmTrailingOffset += static_cast<int32_t>(used);
        c->acmTrailingOutput += produced;
        if (used == 0 && produced == 0 && !SkipToNextFrame(c, &c->acmTrailingOffset))
          c->acmTrailingOffset = c->acmSourceSize;
      }
    }
  }
  // The output ends at the total when it is known (the decode of zero-filled bytes after a
  // block cut short is not sound). outputPosition is the main stream's output so far here.
  const int64_t limit = c->acmTotalFrames >= 0 ? c->acmTotalFrames * c->format.blockAlign : -1;
  // A decoder may take a chunk in without output yet; only a chunk that is neither taken
  // nor converted ends the data.
  for (;;) {
    if (c->acmMainOffset >= c->acmSourceSize || (limit >= 0 && c->outputPosition >= limit)) return -1;
    if (ConvertChunk(c, c->acmMainStream, c->acmMainOffset, dest, static_cast<DWORD>(c->blockSize), &used,
                     &produced) != 0)
      return -1;
    c->acmMainOffset += static_cast<int32_t>(used);
    if (produced != 0) {
      if (limit >= 0 && c->outputPosition + produced > limit) produced = static_cast<DWORD>(limit - c->outputPosition);
      c->blockLeft = static_cast<int32_t>(produced);
      return 0;
    }
    if (used == 0 && !SkipToNextFrame(c, &c->acmMainOffset)) return -1;
  }
}

int SeekAcmConverter(PcmConverter* c, int64_t sample) {
  const int64_t target = sample * c->format.blockAlign;
  if (target < c->outputPosition) {
    if (target < c->acmTrailingOutput || c->acmTrailingStream == 0) {
      CloseStream(&c->acmMainStream);
      c->acmMainStream = OpenStream(c);
      c->acmMainOffset = 0;
      c->outputPosition = 0;
    } else {
      const uintptr_t old_main = c->acmMainStream;
      c->acmMainStream = c->acmTrailingStream;
      c->acmMainOffset = c->acmTrailingOffset;
      c->outputPosition = c->acmTrailingOutput;
      c->acmTrailingStream = old_main;
      CloseStream(&c->acmTrailingStream);
      c->acmTrailingOffset = 0;
      c->acmTrailingOutput = 0;
    }
    c->blockLeft = 0;
    c->blockOffset = 0;
    if (c->acmMainStream == 0) {
      c->endReached = 1;
      return -1;
    }
  }
  for (;;) {
    if (target < c->outputPosition + c->blockLeft) {
      const auto skip = static_cast<int32_t>(target - c->outputPosition);
      c->blockOffset += skip;
      c->blockLeft -= skip;
      c->outputPosition = target;
      return 0;
    }
    c->outputPosition += c->blockLeft;
    c->blockLeft = 0;
    c->blockOffset = 0;
    if (ConvertAcmBlock(c, c->block) != 0) {
      c->endReached = 1;
      return -1;
    }
  }
}

}  // namespace quelt
