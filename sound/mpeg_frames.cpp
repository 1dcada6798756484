#include "sound/mpeg_frames.h"

#include <array>
#include <cstring>

#include "sound/riff_walk.h"

namespace quelt {

namespace {

// kbit/s by bit-rate index 0..14 (index 0 is free format: no table entry).
constexpr std::array<std::array<int16_t, 15>, 3> Mpeg1BitRates{{
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // Layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // Layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // Layer III
}};
constexpr std::array<std::array<int16_t, 15>, 2> Mpeg2BitRates{{
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},  // Layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},       // Layers II, III
}};
constexpr std::array<int32_t, 3> Mpeg1Rates{44100, 48000, 32000};
constexpr std::array<int32_t, 3> Mpeg2Rates{22050, 24000, 16000};

// Read-ahead over the stream so the byte-wise sync search does not call read per byte.
struct ByteReader {
  const DataStream& stream;
  int64_t position;
  int64_t end;
  uint8_t buffer[4096];
  int32_t have = 0;
  int32_t offset = 0;
  int64_t bufferStart = 0;

  bool Seek(int64_t to) {
    position = to;
    have = 0;
    offset = 0;
    bufferStart = to;
    return to <= end && stream.ops.seek(stream.handle, static_cast<int32_t>(to), 0) == 0;
  }
  // Next byte, or -1 at the end of the data.
  int Next() {
    if (position >= end) return -1;
    if (offset >= have) {
      bufferStart = position;
      int64_t want = end - position;
      if (want > static_cast<int64_t>(sizeof buffer)) want = sizeof buffer;
      have = stream.ops.read(buffer, 1, static_cast<int32_t>(want), stream.handle);
      offset = 0;
      if (have <= 0) {
        have = 0;
        return -1;
      }
    }
    ++position;
    return buffer[offset++];
  }
};

bool SameStream(const MpegFrameHeader& a, const MpegFrameHeader& b) {
  return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate;
}

// Whether a frame found by searching is one: of the first frame's kind, and either reaching
// the end of the data or followed by another such frame's header. Leaves the reader anywhere.
bool ResyncFrameHolds(ByteReader& reader, int64_t frameStart, const MpegFrameHeader& header,
                      const MpegFrameHeader& first) {
  if (!SameStream(header, first)) return false;
  const int64_t next = frameStart + header.frameLength;
  if (next >= reader.end) return true;
  if (!reader.Seek(next)) return false;
  uint8_t bytes[4];
  for (uint8_t& b : bytes) {
    const int value = reader.Next();
    if (value < 0) return true;  // the data ends inside the next header
    b = static_cast<uint8_t>(value);
  }
  MpegFrameHeader following{};
  return ParseMpegFrameHeader(bytes, &following) == 0 && SameStream(following, first);
}

}  // namespace

int ParseMpegFrameHeader(const uint8_t header[4], MpegFrameHeader* out) {
  if (header[0] != 0xFF || header[1] < 0xF0) return -2;
  MpegFrameHeader h{};
  h.version = (header[1] & 0x08) != 0 ? 1 : 2;
  const int layer_bits = (header[1] >> 1) & 3;
  if (layer_bits == 0) return -1;
  h.layer = 4 - layer_bits;
  const int rate_index = header[2] >> 4;
  if (rate_index == 15 || rate_index == 0) return -1;
  h.bitRate = h.version == 1 ? Mpeg1BitRates[h.layer - 1][rate_index]
                             : Mpeg2BitRates[h.layer == 1 ? 0 : 1][rate_index];
  const int sample_index = (header[2] >> 2) & 3;
  if (sample_index == 3) return -1;
  h.sampleRate = h.version == 1 ? Mpeg1Rates[sample_index] : Mpeg2Rates[sample_index];
  h.padding = (header[2] >> 1) & 1;
  h.channels = header[3] >= 0xC0 ? 1 : 2;
  if (h.layer == 1) {
    h.samplesPerFrame = 384;
    h.frameLength = (12000 * h.bitRate / h.sampleRate + h.padding) * 4;
  } else if (h.version == 2 && h.layer == 3) {
    h.samplesPerFrame = 576;
    h.frameLength = 72000 * h.bitRate / h.sampleRate + h.padding;
  } else {
    h.samplesPerFrame = 1152;
    h.frameLength = 144000 * h.bitRate / h.sampleRate + h.padding;
  }
  if (h.frameLength <= 4) return -1;
  *out = h;
  return 0;
}

int32_t Id3v2TagLength(const uint8_t header[10]) {
  if (std::memcmp(header, "ID3", 3) != 0) return 0;
  const int32_t size = ((header[6] & 0x7F) << 21) | ((header[7] & 0x7F) << 14) | ((header[8] & 0x7F) << 7) |
                       (header[9] & 0x7F);
  int32_t length = size + 10;
  if (header[3] == 4 && (header[5] & 0x10) != 0) length += 10;
  return length;
}

int ScanMpegAudio(const DataStream& stream, MpegAudioScan* scan) {
  const int32_t size = DataStreamSize(stream);
  if (size <= 0) return -1;
  int64_t audio_start = 0;
  int64_t audio_end = size;
  uint8_t head[10];
  if (stream.ops.seek(stream.handle, 0, 0) != 0) return -1;
  if (size >= 10 && ReadExact(stream, head, 10)) audio_start = Id3v2TagLength(head);
  if (size > 128) {
    uint8_t tag[3];
    if (stream.ops.seek(stream.handle, size - 128, 0) == 0 && ReadExact(stream, tag, 3) &&
        std::memcmp(tag, "TAG", 3) == 0)
      audio_end = size - 128;
  }
  if (audio_start >= audio_end) return -1;

  ByteReader reader{stream, 0, audio_end, {}};
  if (!reader.Seek(audio_start)) return -1;
  MpegAudioScan result{};
  bool first = true;
  int64_t expected = audio_start;  // where the frame after the last one walked begins
  for (;;) {
    // Sync: 0xFF followed by a byte of 0xF0 or more.
    int previous = reader.Next();
    int byte = reader.Next();
    while (byte >= 0 && !(previous == 0xFF && byte >= 0xF0)) {
      previous = byte;
      byte = reader.Next();
    }
    if (byte < 0) break;
    const int64_t frame_start = reader.position - 2;
    const int b2 = reader.Next();
    const int b3 = reader.Next();
    if (b3 < 0) break;  // a header would be read past the data
    const uint8_t bytes[4] = {0xFF, static_cast<uint8_t>(byte), static_cast<uint8_t>(b2), static_cast<uint8_t>(b3)};
    MpegFrameHeader header{};
    const bool parsed = ParseMpegFrameHeader(bytes, &header) == 0;
    if (first && !parsed) return -1;
    // Away from where the walk expects a frame (damage, junk between frames) a sync is as
    // likely a run of 0xFF or the inside of a frame: the search goes on past one that is no
    // frame of this stream, or that the next frame's header does not follow.
    if (!first && (!parsed || (frame_start != expected && !ResyncFrameHolds(reader, frame_start, header,
                                                                           result.first)))) {
      if (!reader.Seek(frame_start + 1)) break;
      continue;
    }
    if (first) {
      result.dataStart = static_cast<int32_t>(frame_start);
      result.first = header;
      first = false;
    }
    result.totalFrames += header.samplesPerFrame;
    const int64_t frame_end = frame_start + header.frameLength;
    result.dataEnd = static_cast<int32_t>(frame_end < audio_end ? frame_end : audio_end);
    if (frame_end >= audio_end) break;
    if (!reader.Seek(frame_end)) break;
    expected = frame_end;
  }
  if (first) return -1;
  *scan = result;
  return 0;
}

}  // namespace quelt
