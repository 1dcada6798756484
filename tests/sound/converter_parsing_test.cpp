// The platform-free converter parts: the RIFF chunk walk, the PCM WAV converter, MPEG frame
// headers, ID3 sizes and the frame walk, over memory streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/tracked_alloc.h"
#include "file/file_access.h"
#include "sound/mpeg_frames.h"
#include "sound/pcm_converter.h"
#include "sound/riff_walk.h"
#include "sound/sound.h"
#include "sound/wave_builder.h"

namespace quelt {
namespace {

using namespace quelt_test;

struct MemoryData {
  explicit MemoryData(const std::vector<uint8_t>& bytes) : data(bytes) {
    memory = OpenMemoryStream(data.data(), static_cast<int32_t>(data.size()));
    stream = DataStream{*GetMemoryStreamOps(), reinterpret_cast<StreamHandle>(memory)};
  }
  ~MemoryData() { CloseMemoryStream(reinterpret_cast<StreamHandle>(memory)); }
  std::vector<uint8_t> data;
  MemoryStream* memory;
  DataStream stream;
};

int Walk(const std::vector<uint8_t>& bytes, WaveChunks* chunks) {
  MemoryData m(bytes);
  return WalkWaveChunks(m.stream, chunks, nullptr);
}

TEST(RiffWalk, FindsDataAfterOddPaddedChunkAndCompletesSixteenByteFormat) {
  std::vector<uint8_t> chunks;
  auto fmt = PcmFormatBody(2, 22050, 16, false);
  PutChunk(chunks, "fmt ", fmt);
  PutChunk(chunks, "LIST", {1, 2, 3});  // odd size, one pad byte
  PutChunk(chunks, "data", {9, 9, 9, 9, 8, 8, 8, 8});
  WaveChunks found{};
  ASSERT_EQ(Walk(RiffWave(chunks), &found), 0);
  EXPECT_EQ(found.formatSize, 16);
  EXPECT_EQ(found.format.bitsPerSample, 16);
  EXPECT_EQ(found.format.extraSize, 0);
  EXPECT_EQ(found.dataStart, 12 + 8 + 16 + 8 + 4 + 8);
  EXPECT_EQ(found.dataSize, 8);
}

TEST(RiffWalk, RefusesMalformedFiles) {
  WaveChunks found{};
  std::vector<uint8_t> not_first;
  PutChunk(not_first, "LIST", {1, 2});
  PutChunk(not_first, "fmt ", PcmFormatBody(1, 8000, 8, true));
  PutChunk(not_first, "data", {1, 2});
  EXPECT_EQ(Walk(RiffWave(not_first), &found), -1);

  std::vector<uint8_t> short_format;
  PutChunk(short_format, "fmt ", {1, 0, 1, 0, 0x40, 0x1F, 0, 0});
  PutChunk(short_format, "data", {1, 2});
  EXPECT_EQ(Walk(RiffWave(short_format), &found), -1);

  std::vector<uint8_t> zero_channels;
  PutChunk(zero_channels, "fmt ", PcmFormatBody(0, 8000, 16, true));
  PutChunk(zero_channels, "data", {1, 2});
  EXPECT_EQ(Walk(RiffWave(zero_channels), &found), -1);

  std::vector<uint8_t> empty_data;
  PutChunk(empty_data, "fmt ", PcmFormatBody(1, 8000, 16, true));
  PutChunk(empty_data, "data", {});
  EXPECT_EQ(Walk(RiffWave(empty_data), &found), -1);

  std::vector<uint8_t> past_end;
  PutChunk(past_end, "fmt ", PcmFormatBody(2, 8000, 16, true));
  PutChunk(past_end, "data", {1, 2}, 4000);
  EXPECT_EQ(Walk(RiffWave(past_end), &found), -1);  // not one whole frame left

  std::vector<uint8_t> list_past_end;
  PutChunk(list_past_end, "fmt ", PcmFormatBody(1, 8000, 16, true));
  PutChunk(list_past_end, "LIST", {1, 2, 3, 4}, 4000);
  PutChunk(list_past_end, "data", {1, 2});
  EXPECT_EQ(Walk(RiffWave(list_past_end), &found), -1);

  std::vector<uint8_t> top_bit;
  PutChunk(top_bit, "fmt ", PcmFormatBody(1, 8000, 16, true));
  PutChunk(top_bit, "junk", {1, 2}, 0xFFFFFFF0u);
  PutChunk(top_bit, "data", {1, 2});
  EXPECT_EQ(Walk(RiffWave(top_bit), &found), -1);

  std::vector<uint8_t> huge_format;
  PutChunk(huge_format, "fmt ", PcmFormatBody(1, 8000, 16, true), 0x7FFFFFF0);
  EXPECT_EQ(Walk(RiffWave(huge_format), &found), -1);

  EXPECT_EQ(Walk({'R', 'I', 'F', 'F', 0, 0}, &found), -1);
}

// A data chunk that runs past the end of the file (cut short, or a size of 0xFFFFFFFF left
// by a writer that never finished) gives the whole frames the file holds.
TEST(RiffWalk, DataPastTheEndGivesTheWholeFramesHeld) {
  const auto tone = ToneSamples(8000, 2, 0.01, 440);  // 80 frames of 4 bytes
  for (const uint32_t claimed : {0xFFFFFFFFu, 0x7FFFFFF0u, static_cast<uint32_t>(tone.size() + 1)}) {
    SCOPED_TRACE(claimed);
    std::vector<uint8_t> chunks;
    PutChunk(chunks, "fmt ", PcmFormatBody(2, 8000, 16, true));
    PutChunk(chunks, "data", tone, claimed);
    WaveChunks found{};
    ASSERT_EQ(Walk(RiffWave(chunks), &found), 0);
    EXPECT_EQ(found.dataStart, 46);
    EXPECT_EQ(found.dataSize, static_cast<int32_t>(tone.size()));
  }
  // Cut inside a frame: the partial frame is left out.
  const auto whole = ToneWave(8000, 2, 0.01, 440);
  const std::vector<uint8_t> cut(whole.begin(), whole.end() - 3);
  MemoryData m(cut);
  PcmConverter converter{};
  ASSERT_EQ(OpenPcmConverter(m.stream, &converter), 0);
  EXPECT_EQ(GetPcmConverterSize(&converter), static_cast<int64_t>(tone.size()) - 4);
  WaveFormat format{};
  uint8_t* pcm = nullptr;
  int32_t size = 0;
  ASSERT_EQ(ConvertWholeToPcm(&converter, &format, &pcm, &size), 0);
  EXPECT_EQ(size, static_cast<int32_t>(tone.size()) - 4);
  EXPECT_EQ(0, std::memcmp(pcm, tone.data(), static_cast<size_t>(size)));
  TrackedFree(pcm);
  ClosePcmConverter(&converter);
}

TEST(PcmWaveConverter, ConvertsWholeAndSeeks) {
  const auto wave = ToneWave(8000, 2, 0.25, 440);
  MemoryData m(wave);
  PcmConverter converter{};
  ASSERT_EQ(OpenPcmConverter(m.stream, &converter), 0);
  EXPECT_EQ(converter.kind, PcmConverterKind::PcmWave);
  EXPECT_EQ(GetPcmConverterSize(&converter), 2000 * 4);
  uint8_t first[12];
  ASSERT_EQ(ConvertPcmBlock(&converter, first, 12), 12);
  EXPECT_EQ(0, std::memcmp(first, wave.data() + 46, 12));
  // Within 15 bytes of the output position nothing moves.
  SeekPcmConverter(&converter, 0);
  EXPECT_EQ(converter.outputPosition, 12);
  SeekPcmConverter(&converter, 1000);
  uint8_t later[4];
  ASSERT_EQ(ConvertPcmBlock(&converter, later, 4), 4);
  EXPECT_EQ(0, std::memcmp(later, wave.data() + 46 + 4000, 4));
  WaveFormat format{};
  uint8_t* pcm = nullptr;
  int32_t size = 0;
  ASSERT_EQ(ConvertWholeToPcm(&converter, &format, &pcm, &size), 0);
  EXPECT_EQ(size, 8000);
  EXPECT_EQ(0, std::memcmp(pcm, wave.data() + 46, 8000));
  TrackedFree(pcm);
  // After the whole conversion the output stands at the end: a seek to 0 goes back.
  uint8_t none[4];
  EXPECT_EQ(ConvertPcmBlock(&converter, none, 4), 0);
  SeekPcmConverter(&converter, 0);
  uint8_t again[8];
  ASSERT_EQ(ConvertPcmBlock(&converter, again, 8), 8);
  EXPECT_EQ(0, std::memcmp(again, wave.data() + 46, 8));
  EXPECT_EQ(ClosePcmConverter(&converter), 0);
  EXPECT_EQ(ClosePcmConverter(&converter), -1);
}

TEST(MpegFrames, HeaderFieldsAndLengths) {
  MpegFrameHeader h{};
  const uint8_t mpeg1[4] = {0xFF, 0xFB, 0x90, 0x64};  // MPEG-1 Layer III 128 kbit/s 44100 stereo
  ASSERT_EQ(ParseMpegFrameHeader(mpeg1, &h), 0);
  EXPECT_EQ(h.version, 1);
  EXPECT_EQ(h.layer, 3);
  EXPECT_EQ(h.bitRate, 128);
  EXPECT_EQ(h.sampleRate, 44100);
  EXPECT_EQ(h.channels, 2);
  EXPECT_EQ(h.frameLength, 417);
  EXPECT_EQ(h.samplesPerFrame, 1152);
  const uint8_t mpeg2_mono[4] = {0xFF, 0xF3, 0x62, 0xC4};  // MPEG-2 Layer III 48 kbit/s 22050 padded mono
  ASSERT_EQ(ParseMpegFrameHeader(mpeg2_mono, &h), 0);
  EXPECT_EQ(h.sampleRate, 22050);
  EXPECT_EQ(h.channels, 1);
  EXPECT_EQ(h.samplesPerFrame, 576);
  EXPECT_EQ(h.frameLength, 72000 * 48 / 22050 + 1);
  const uint8_t no_sync[4] = {0xFF, 0xE0, 0x90, 0};
  EXPECT_EQ(ParseMpegFrameHeader(no_sync, &h), -2);
  const uint8_t free_format[4] = {0xFF, 0xFB, 0x00, 0};
  EXPECT_EQ(ParseMpegFrameHeader(free_format, &h), -1);
  const uint8_t bad_rate[4] = {0xFF, 0xFB, 0x9C, 0};
  EXPECT_EQ(ParseMpegFrameHeader(bad_rate, &h), -1);
}

TEST(MpegFrames, Id3SizeAndFrameWalk) {
  const uint8_t tag[10] = {'I', 'D', '3', 3, 0, 0, 0x00, 0x00, 0x02, 0x01};
  EXPECT_EQ(Id3v2TagLength(tag), 267);
  const uint8_t v4_footer[10] = {'I', 'D', '3', 4, 0, 0x10, 0, 0, 0, 5};
  EXPECT_EQ(Id3v2TagLength(v4_footer), 25);

  // ID3v2 (267 bytes), three 417-byte frames, an ID3v1 tag.
  std::vector<uint8_t> file(tag, tag + 10);
  file.resize(267, 0);
  for (int i = 0; i < 3; ++i) {
    const size_t at = file.size();
    file.resize(at + 417, 0x11);
    file[at] = 0xFF;
    file[at + 1] = 0xFB;
    file[at + 2] = 0x90;
    file[at + 3] = 0x64;
  }
  file.insert(file.end(), {'T', 'A', 'G'});
  file.resize(file.size() + 125, 0xFF);
  MemoryData m(file);
  MpegAudioScan scan{};
  ASSERT_EQ(ScanMpegAudio(m.stream, &scan), 0);
  EXPECT_EQ(scan.dataStart, 267);
  EXPECT_EQ(scan.dataEnd, 267 + 3 * 417);
  EXPECT_EQ(scan.totalFrames, 3 * 1152);

  MemoryData nothing(std::vector<uint8_t>(500, 0x00));
  EXPECT_EQ(ScanMpegAudio(nothing.stream, &scan), -1);

  // The walk goes on past a damaged frame: over a run of 0xFF (a bad header) and over a
  // header that no frame follows, to the next frame and the frames after it.
  file.resize(267 + 6 * 417);
  for (int i = 3; i < 6; ++i) std::memcpy(&file[267 + i * 417], &file[267], 417);
  std::fill(&file[267 + 417], &file[267 + 2 * 417], 0);
  std::fill(&file[267 + 417 + 100], &file[267 + 417 + 110], 0xFF);
  std::memcpy(&file[267 + 417 + 200], &file[267], 4);
  MemoryData damaged(file);
  ASSERT_EQ(ScanMpegAudio(damaged.stream, &scan), 0);
  EXPECT_EQ(scan.dataEnd, 267 + 6 * 417);
  EXPECT_EQ(scan.totalFrames, 5 * 1152);
}

TEST(CompressedFormats, AdpcmBlockLayoutsAreCheckedBeforeAcm) {
  // IMA ADPCM stereo, 512-byte blocks of 505 samples (sox's layout).
  std::vector<uint8_t> ima;
  PutLe16(ima, 0x11);
  PutLe16(ima, 2);
  PutLe32(ima, 44100);
  PutLe32(ima, 44718);
  PutLe16(ima, 512);
  PutLe16(ima, 4);
  PutLe16(ima, 2);
  PutLe16(ima, 505);
  EXPECT_TRUE(CompressedFormatIsSound(ima.data(), 20));
  EXPECT_FALSE(CompressedFormatIsSound(ima.data(), 18));  // extra size past the chunk
  auto edit = [](std::vector<uint8_t> f, size_t at, uint16_t v) {
    f[at] = static_cast<uint8_t>(v);
    f[at + 1] = static_cast<uint8_t>(v >> 8);
    return f;
  };
  EXPECT_FALSE(CompressedFormatIsSound(edit(ima, 18, 0).data(), 20));    // no samples a block
  EXPECT_FALSE(CompressedFormatIsSound(edit(ima, 18, 506).data(), 20));  // more than a block holds
  EXPECT_FALSE(CompressedFormatIsSound(edit(ima, 12, 8).data(), 20));    // block of headers only
  // A block cut short: the header's sample and 8 for each whole 8 bytes after it.
  EXPECT_EQ(AdpcmFramesInPart(ima.data(), 508), 497);
  EXPECT_EQ(AdpcmFramesInPart(ima.data(), 7), 0);
  EXPECT_EQ(AdpcmFramesInPart(ima.data(), 512), 0);
  // MS ADPCM mono, 256-byte blocks of 500 samples, the 7 standard coefficient pairs.
  std::vector<uint8_t> ms;
  PutLe16(ms, 2);
  PutLe16(ms, 1);
  PutLe32(ms, 22050);
  PutLe32(ms, 11155);
  PutLe16(ms, 256);
  PutLe16(ms, 4);
  PutLe16(ms, 32);
  PutLe16(ms, 500);
  PutLe16(ms, 7);
  ms.resize(18 + 32, 0);
  EXPECT_TRUE(CompressedFormatIsSound(ms.data(), 50));
  EXPECT_EQ(AdpcmFramesInPart(ms.data(), 255), 498);  // two in the header, two a byte
  EXPECT_EQ(AdpcmFramesInPart(ms.data(), 6), 0);
  EXPECT_FALSE(CompressedFormatIsSound(edit(ms, 20, 8).data(), 50));  // table past the chunk
  EXPECT_FALSE(CompressedFormatIsSound(edit(ms, 20, 0).data(), 50));
  EXPECT_FALSE(CompressedFormatIsSound(edit(ms, 18, 501).data(), 50));
  // Other tags go to ACM as they are.
  EXPECT_TRUE(CompressedFormatIsSound(edit(ms, 0, 0x55).data(), 50));
}

TEST(SoundBuffers, FormatsAndSizesNoBufferTakesAreRefused) {
  const WaveFormat stereo = MakePcmFormat(2, 44100, 16);
  EXPECT_TRUE(SoundBufferFormatFits(stereo, 176400));
  EXPECT_TRUE(SoundBufferFormatFits(MakePcmFormat(1, 8000, 8), 4));
  EXPECT_FALSE(SoundBufferFormatFits(stereo, 2));
  EXPECT_FALSE(SoundBufferFormatFits(stereo, MaxSoundBufferBytes + 1));
  WaveFormat odd = stereo;
  odd.blockAlign = 3;
  EXPECT_FALSE(SoundBufferFormatFits(odd, 176400));
  // More bits and channels are DirectSound's to take or refuse.
  EXPECT_TRUE(SoundBufferFormatFits(MakePcmFormat(2, 44100, 24), 176400));
  EXPECT_TRUE(SoundBufferFormatFits(MakePcmFormat(2, 44100, 32), 176400));
  EXPECT_TRUE(SoundBufferFormatFits(MakePcmFormat(6, 48000, 16), 176400));
  EXPECT_FALSE(SoundBufferFormatFits(MakePcmFormat(2, 44100, 12), 176400));
  EXPECT_FALSE(SoundBufferFormatFits(MakePcmFormat(0, 44100, 16), 176400));
  EXPECT_FALSE(SoundBufferFormatFits(MakePcmFormat(2, 99, 16), 176400));
  EXPECT_FALSE(SoundBufferFormatFits(MakePcmFormat(2, 200001, 16), 176400));
  // Bytes per second that a WAVEFORMATEX cannot hold (they would wrap to 65516).
  EXPECT_FALSE(SoundBufferFormatFits(MakePcmFormat(16383, 65541, 32), 393096));
}

TEST(SoundPositions, MillisecondsPastTwelveSecondsDoNotWrap) {
  const WaveFormat format = MakePcmFormat(2, 44100, 16);
  EXPECT_EQ(BytesToMilliseconds(176400 * 30, format), 30000);
  EXPECT_EQ(BytesToMilliseconds(176399, format), 999);
}

}  // namespace
}  // namespace quelt
