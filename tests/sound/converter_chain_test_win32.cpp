// The converter chain's PCM against the bare decoders under Wine: a whole conversion gives
// the bytes acmStreamConvert or ov_read give on the same data, and reading in pieces of any
// size, or after a seek back, gives the same bytes as the whole conversion.
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>
#include <vorbis/vorbisfile.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/tracked_alloc.h"
#include "file/file_access.h"
#include "sound/hostile_sounds.h"
#include "sound/mpeg_frames.h"
#include "sound/bare_mp3_formats_win32.h"
#include "sound/pcm_converter.h"

namespace quelt {
namespace {

std::vector<uint8_t> TestFile(const char* name) {
  const char* folder = std::getenv("QUELT_BINARY_DIR");
  return quelt_test::ReadSoundFile(std::string(folder != nullptr ? folder : ".") + "/testwork/sound_files/" + name);
}

// A converter open on a memory stream over the bytes; closed and freed on destruction.
class OpenChain {
 public:
  explicit OpenChain(const std::vector<uint8_t>& file)
      : memory_(OpenMemoryStream(file.data(), static_cast<int32_t>(file.size()))) {
    const DataStream stream{*GetMemoryStreamOps(), reinterpret_cast<StreamHandle>(memory_)};
    open_ = OpenPcmConverter(stream, &converter_) == 0;
  }
  ~OpenChain() {
    if (open_) ClosePcmConverter(&converter_);
    CloseMemoryStream(reinterpret_cast<StreamHandle>(memory_));
  }
  OpenChain(const OpenChain&) = delete;
  OpenChain& operator=(const OpenChain&) = delete;
  bool open() const { return open_; }
  PcmConverter* get() { return &converter_; }

 private:
  MemoryStream* memory_;
  PcmConverter converter_{};
  bool open_ = false;
};

std::vector<uint8_t> Whole(const std::vector<uint8_t>& file) {
  OpenChain chain(file);
  if (!chain.open()) return {};
  WaveFormat format{};
  uint8_t* pcm = nullptr;
  int32_t size = 0;
  if (ConvertWholeToPcm(chain.get(), &format, &pcm, &size) != 0) return {};
  std::vector<uint8_t> bytes(pcm, pcm + size);
  TrackedFree(pcm);
  return bytes;
}

// acmStreamConvert over the MPEG frames, 64 KB of source at a time.
std::vector<uint8_t> BareAcm(const std::vector<uint8_t>& file) {
  MemoryStream* memory = OpenMemoryStream(file.data(), static_cast<int32_t>(file.size()));
  const DataStream stream{*GetMemoryStreamOps(), reinterpret_cast<StreamHandle>(memory)};
  MpegAudioScan scan{};
  const int scanned = ScanMpegAudio(stream, &scan);
  CloseMemoryStream(reinterpret_cast<StreamHandle>(memory));
  if (scanned != 0) return {};
  MPEGLAYER3WAVEFORMAT source{};
  WAVEFORMATEX output{};
  BareMp3Formats(scan.first, &source, &output);
  HACMSTREAM acm = nullptr;
  if (acmStreamOpen(&acm, nullptr, &source.wfx, &output, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) != 0) return {};
  std::vector<uint8_t> pcm(static_cast<size_t>(output.nAvgBytesPerSec) * 12);
  size_t in = static_cast<size_t>(scan.dataStart);
  size_t out = 0;
  while (in < static_cast<size_t>(scan.dataEnd) && out < pcm.size()) {
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof header;
    header.pbSrc = const_cast<uint8_t*>(file.data()) + in;
    header.cbSrcLength = static_cast<DWORD>(std::min<size_t>(65536, scan.dataEnd - in));
    header.pbDst = pcm.data() + out;
    header.cbDstLength = static_cast<DWORD>(pcm.size() - out);
    if (acmStreamPrepareHeader(acm, &header, 0) != 0) break;
    const MMRESULT result = acmStreamConvert(acm, &header, ACM_STREAMCONVERTF_BLOCKALIGN);
    acmStreamUnprepareHeader(acm, &header, 0);
    if (result != 0 || (header.cbSrcLengthUsed == 0 && header.cbDstLengthUsed == 0)) break;
    in += header.cbSrcLengthUsed;
    out += header.cbDstLengthUsed;
  }
  acmStreamClose(acm, 0);
  pcm.resize(out);
  return pcm;
}

struct MemoryFile {
  const std::vector<uint8_t>* bytes;
  size_t at;
};

size_t ReadMemory(void* dest, size_t size, size_t count, void* source) {
  auto* m = static_cast<MemoryFile*>(source);
  const size_t take = std::min(m->bytes->size() - m->at, size * count) / size;
  std::memcpy(dest, m->bytes->data() + m->at, take * size);
  m->at += take * size;
  return take;
}

int SeekMemory(void* source, ogg_int64_t offset, int whence) {
  auto* m = static_cast<MemoryFile*>(source);
  const auto base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<ogg_int64_t>(m->at)
                                                                : static_cast<ogg_int64_t>(m->bytes->size());
  if (base + offset < 0 || base + offset > static_cast<ogg_int64_t>(m->bytes->size())) return -1;
  m->at = static_cast<size_t>(base + offset);
  return 0;
}

long TellMemory(void* source) { return static_cast<long>(static_cast<MemoryFile*>(source)->at); }

std::vector<uint8_t> BareVorbisfile(const std::vector<uint8_t>& file) {
  MemoryFile memory{&file, 0};
  OggVorbis_File vf;
  if (ov_open_callbacks(&memory, &vf, nullptr, 0, ov_callbacks{ReadMemory, SeekMemory, nullptr, TellMemory}) != 0)
    return {};
  std::vector<uint8_t> pcm;
  char piece[4096];
  int section = 0;
  // A hole (a damaged or missing page) is reported and read past, as vorbisfile's own
  // example does; the end or a broken link ends the decode.
  for (long got; (got = ov_read(&vf, piece, sizeof piece, 0, 2, 1, &section)) != 0 && got != OV_EBADLINK &&
                 got != OV_EINVAL;) {
    if (got > 0) pcm.insert(pcm.end(), piece, piece + got);
  }
  ov_clear(&vf);
  return pcm;
}

// The file with 3000 bytes of its middle overwritten.
std::vector<uint8_t> DamagedInTheMiddle(std::vector<uint8_t> file) {
  for (size_t i = file.size() / 2; i < file.size() / 2 + 3000 && i < file.size(); ++i) file[i] = static_cast<uint8_t>(i * 31);
  return file;
}

// MPEG audio with a stretch of its middle overwritten: ACM takes nothing where a frame
// should begin, and the decode goes on from the next frame to the end of the file; what
// comes before the damage is the intact file's.
TEST(ConverterChain, DamagedMp3DecodesPastTheDamage) {
  const auto mp3 = TestFile("stream10.mp3");
  ASSERT_GT(mp3.size(), 20000u);
  const auto intact = Whole(mp3);
  const auto chain = Whole(DamagedInTheMiddle(mp3));
  EXPECT_GT(chain.size(), intact.size() * 9 / 10);
  ASSERT_GT(chain.size(), intact.size() * 2 / 5);
  EXPECT_TRUE(std::equal(intact.begin(), intact.begin() + static_cast<ptrdiff_t>(intact.size() * 2 / 5), chain.begin()));
}

// An Ogg Vorbis file with a stretch of its middle overwritten: the decode reads past the
// damaged pages to the end of the file, as the bare decoder does, and stops at nothing
// before it.
TEST(ConverterChain, DamagedOggDecodesPastTheDamage) {
  const auto intact = Whole(TestFile("stream10.ogg"));
  const auto ogg = DamagedInTheMiddle(TestFile("stream10.ogg"));
  ASSERT_GT(ogg.size(), 20000u);
  const auto chain = Whole(ogg);
  const auto bare = BareVorbisfile(ogg);
  EXPECT_GT(chain.size(), intact.size() * 9 / 10);
  EXPECT_TRUE(chain == bare);
}

TEST(ConverterChain, WholeConversionsAreTheBareDecodersBytes) {
  for (const char* name : {"tone_cbr.mp3", "tone_vbr.mp3", "tone_mono22.mp3", "tone_id3v2.mp3", "stream10.mp3"}) {
    SCOPED_TRACE(name);
    const auto file = TestFile(name);
    const auto chain = Whole(file);
    const auto bare = BareAcm(file);
    ASSERT_GT(chain.size(), 10000u);
    // The chain stops at the frames' total; the bare loop at what ACM gives out.
    const size_t common = std::min(chain.size(), bare.size());
    EXPECT_GT(common, chain.size() * 9 / 10);
    EXPECT_TRUE(std::equal(chain.begin(), chain.begin() + static_cast<ptrdiff_t>(common), bare.begin()));
  }
  for (const char* name : {"tone.ogg", "stream10.ogg"}) {
    SCOPED_TRACE(name);
    const auto ogg = TestFile(name);
    const auto chain = Whole(ogg);
    ASSERT_GT(chain.size(), 10000u);
    EXPECT_TRUE(chain == BareVorbisfile(ogg));
  }
}

// Reads `length` bytes at the converter's position and compares them with the whole
// conversion's from `from`.
void ExpectBytesAt(PcmConverter* c, const std::vector<uint8_t>& whole, size_t from, int32_t length) {
  length = static_cast<int32_t>(std::min<size_t>(whole.size() - from, static_cast<size_t>(length)));
  std::vector<uint8_t> read(static_cast<size_t>(length));
  ASSERT_EQ(ConvertPcmBlock(c, read.data(), length), length);
  EXPECT_TRUE(std::equal(read.begin(), read.end(), whole.begin() + static_cast<ptrdiff_t>(from))) << from;
}

// Pieces smaller than a block, straddling blocks and of several blocks, then seeks forward
// and back: the bytes are the whole conversion's.
TEST(ConverterChain, PiecesAndSeeksGiveTheWholeConversionsBytes) {
  for (const char* name : {"stream10.mp3", "stream10.ogg", "tone_cbr.mp3", "tone_ima.wav", "tone.wav"}) {
    SCOPED_TRACE(name);
    const auto file = TestFile(name);
    const auto whole = Whole(file);
    ASSERT_GT(whole.size(), 10000u);
    OpenChain chain(file);
    ASSERT_TRUE(chain.open());
    PcmConverter* c = chain.get();
    const int32_t block = c->blockSize;
    const int32_t align = c->format.blockAlign;
    std::vector<uint8_t> read(whole.size() + 2 * static_cast<size_t>(block));
    size_t at = 0;
    const int32_t pieces[] = {1000, block + 7, 3, 2 * block + 1, block, 4096, 5};
    for (int i = 0; at < whole.size(); ++i) {
      const int32_t got = ConvertPcmBlock(c, read.data() + at, pieces[i % 7]);
      ASSERT_GE(got, 0);
      if (got == 0) break;
      at += static_cast<size_t>(got);
      if (i == 3) {
        // Forward from the middle of the reads, then back.
        const int64_t ahead = static_cast<int64_t>(at) / align + block / align + 11;
        if (ahead * align >= static_cast<int64_t>(whole.size())) continue;
        ASSERT_EQ(SeekPcmConverter(c, ahead), 0);
        ExpectBytesAt(c, whole, static_cast<size_t>(ahead * align), block + 3);
        ASSERT_EQ(SeekPcmConverter(c, static_cast<int64_t>(at) / align), 0);
        at -= at % static_cast<size_t>(align);
      }
    }
    ASSERT_GE(at, whole.size());
    EXPECT_TRUE(std::equal(whole.begin(), whole.end(), read.begin()));
    const int64_t middle = static_cast<int64_t>(whole.size()) / 2 / align;
    ASSERT_EQ(SeekPcmConverter(c, middle), 0);
    ExpectBytesAt(c, whole, static_cast<size_t>(middle * align), 2 * block + 9);
  }
}

}  // namespace
}  // namespace quelt
