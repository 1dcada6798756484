// Stream sounds on the software buffer: the tests move the play cursor by hand and compare
// what the refills wrote into the ring with the sources, byte for byte; and a stream kept
// refilled while the engine's window is inactive.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/core_state.h"
#include "core/engine_state.h"
#include "core/entry/api_entry.h"
#include "file/file_access.h"
#include "sound/sound.h"
#include "sound/wave_builder.h"

namespace quelt {
namespace {

using namespace quelt_test;

constexpr int32_t Rate = 8000;  // 8-bit mono: one byte per sample, A = 8000
constexpr int32_t A = Rate;
constexpr int32_t RingBytes = 6 * A;

std::vector<uint8_t> Wave8(const std::vector<uint8_t>& samples) {
  std::vector<uint8_t> chunks;
  PutChunk(chunks, "fmt ", PcmFormatBody(1, Rate, 8, true));
  PutChunk(chunks, "data", samples);
  return RiffWave(chunks);
}

// A pattern that never repeats within 255 seconds at one-second granularity.
std::vector<uint8_t> Pattern(int32_t bytes) {
  std::vector<uint8_t> out(bytes);
  for (int32_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>((i * 7 + i / A) % 251);
  return out;
}

class StreamSoundTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CoInitialize(nullptr);
    SetFileAccessTable(nullptr);
  }
  void SetUp() override {
    ASSERT_EQ(InitializeSound(), 0);
    SoftwareSoundBuffers = 1;
  }
  void TearDown() override {
    SoftwareSoundBuffers = 0;
    SetSoundCreateType(0);
    TerminateSound();
  }
  static SoundRecord* Record(int32_t h) { return Sounds.Find(h); }
  static uint8_t* RingData(int32_t h) { return static_cast<uint8_t*>(Record(h)->buffers[0].softData); }
  static void SetCursor(int32_t h, int32_t bytes) {
    SoundRecord* owner = Record(h)->sharedSource != -1 ? Record(Record(h)->sharedSource) : Record(h);
    // The software buffer keeps its cursor in sample frames.
    const int32_t ring = owner->ringSize;
    owner->buffers[0].softPosition = ((bytes % ring) + ring) % ring / owner->format.blockAlign;
  }
  static int32_t RingRead(int32_t h) {
    const SoundRecord* owner = Record(h)->sharedSource != -1 ? Record(Record(h)->sharedSource) : Record(h);
    return owner->buffers[0].softPosition * owner->format.blockAlign;
  }
  // The cursor moved to `bytes`, then the refill the pump would make.
  static int MoveAndRefill(int32_t h, int32_t bytes) {
    SetCursor(h, bytes);
    return RefillStreamSound(h);
  }
  // Whether the ring from `at` holds `bytes` of `source` from `from` (wrapping).
  static bool RingHolds(int32_t h, int32_t at, const std::vector<uint8_t>& source, int32_t from, int32_t bytes) {
    const uint8_t* ring = RingData(h);
    for (int32_t i = 0; i < bytes; ++i) {
      if (ring[(at + i) % RingBytes] != source[from + i]) return false;
    }
    return true;
  }
  // Create types 2 and 3 load a stream sound; source type 0 is only added by hand.
  int32_t LoadStream(const std::vector<uint8_t>& wave, int32_t type) {
    if (type == 0) {
      const int32_t h = AddSoundData(-1);
      if (AddStreamSoundImage(wave.data(), static_cast<int32_t>(wave.size()), 0, h, 0, -1) != 0) return -1;
      PrimeStreamSound(h);
      return h;
    }
    SetSoundCreateType(type);
    const int32_t h = LoadSoundFromMemory(wave.data(), static_cast<int32_t>(wave.size()), 1, -1);
    SetSoundCreateType(0);
    return h;
  }
};

TEST_F(StreamSoundTest, PrimesFourSecondsAndKeepsThreeAheadAcrossTheWrapUntilTheEnd) {
  for (int32_t type : {0, 2, 3}) {
    const auto source = Pattern(15 * A);
    const int32_t h = LoadStream(Wave8(source), type);
    ASSERT_NE(h, -1) << type;
    SoundRecord* s = Record(h);
    EXPECT_EQ(s->writeCursor, 4 * A);
    EXPECT_EQ(s->windowStart, 0);
    EXPECT_TRUE(RingHolds(h, 0, source, 0, 4 * A));
    EXPECT_EQ(GetSoundTotalSamples(h), 15 * A);
    EXPECT_EQ(GetSoundTotalTimeMs(h), 15000);

    ASSERT_EQ(PlaySoundHandle(h, 1, 0), 0);
    EXPECT_EQ(GetSoundStatus(h), 1);
    // Two seconds behind the writer: one second restores the three-second lead.
    SetCursor(h, 2 * A);
    ASSERT_EQ(ProcessStreamSounds(), 0);
    EXPECT_EQ(s->writeCursor, 5 * A);
    EXPECT_EQ(s->windowStart, A);
    EXPECT_TRUE(RingHolds(h, 4 * A, source, 4 * A, A));
    EXPECT_EQ(GetStreamSoundPositionMs(h), 2000);
    // Three and a half seconds behind: an eighth of a second.
    SetCursor(h, A + A / 2);
    ASSERT_EQ(RefillStreamSound(h), 0);
    EXPECT_EQ(s->writeCursor, 5 * A + A / 8);
    EXPECT_TRUE(RingHolds(h, 5 * A, source, 5 * A, A / 8));
    // A cursor behind the window writes nothing.
    SetCursor(h, A / 2);
    EXPECT_EQ(RefillStreamSound(h), -1);
    EXPECT_EQ(s->writeCursor, 5 * A + A / 8);
    // Back inside, the writer goes on past the ring's end with the source's bytes in order.
    int64_t written = 5 * A + A / 8;
    SetCursor(h, s->writeCursor - 3 * A);
    RefillStreamSound(h);
    written += A / 8;
    while (s->ending == 0) {
      const int32_t before = s->writeCursor;
      SetCursor(h, before - 2 * A);
      ASSERT_EQ(RefillStreamSound(h), 0);
      const int32_t step = (s->writeCursor - before + RingBytes) % RingBytes;
      ASSERT_EQ(step, A);
      const int32_t real = static_cast<int32_t>(std::min<int64_t>(step, 15 * A - written));
      ASSERT_TRUE(RingHolds(h, before, source, static_cast<int32_t>(written), real)) << written;
      for (int32_t i = real; i < step; ++i) ASSERT_EQ(RingData(h)[(before + i) % RingBytes], 0x7F);
      written += step;
      EXPECT_LT(written, 30 * A);
    }
    // Not when its last byte is written, but once the cursor has played it.
    const int32_t end = s->endPosition;
    SetCursor(h, end - 1);
    RefillStreamSound(h);
    EXPECT_EQ(GetSoundStatus(h), 1);
    SetCursor(h, end + 1);
    RefillStreamSound(h);
    EXPECT_EQ(GetSoundStatus(h), 0);
    EXPECT_EQ(GetStreamSoundPositionMs(h), 15000);
    // From the start again: primed anew from the first byte.
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    EXPECT_EQ(s->writeCursor, 4 * A);
    EXPECT_TRUE(RingHolds(h, 0, source, 0, 4 * A));
    EXPECT_EQ(DeleteSoundHandle(h, 0), 0);
  }
}

// The data ends just before the ring's end, and between two refills the cursor passes that
// end and wraps: the sound has been played out and stops, rather than play six more seconds
// of silence as if the end were still ahead.
TEST_F(StreamSoundTest, StopsWhenTheCursorPassesTheEndAndWrapsBetweenRefills) {
  const auto source = Pattern(RingBytes - 100);
  const int32_t h = LoadStream(Wave8(source), 2);
  ASSERT_NE(h, -1);
  SoundRecord* s = Record(h);
  ASSERT_EQ(PlaySoundHandle(h, 1, 0), 0);
  SetCursor(h, 2 * A);
  ASSERT_EQ(RefillStreamSound(h), 0);
  SetCursor(h, 3 * A);
  ASSERT_EQ(RefillStreamSound(h), 0);
  ASSERT_EQ(s->ending, 1);
  ASSERT_EQ(s->endPosition, RingBytes - 100);
  SetCursor(h, RingBytes - 200);
  RefillStreamSound(h);
  EXPECT_EQ(GetSoundStatus(h), 1);
  SetCursor(h, 200);
  RefillStreamSound(h);
  EXPECT_EQ(GetSoundStatus(h), 0);
  // Nor must it play on when the data ran out exactly where the cursor stood.
  const auto exact = Pattern(5 * A);
  const int32_t e = LoadStream(Wave8(exact), 2);
  ASSERT_NE(e, -1);
  ASSERT_EQ(PlaySoundHandle(e, 1, 0), 0);
  SetCursor(e, 2 * A);
  ASSERT_EQ(RefillStreamSound(e), 0);
  ASSERT_EQ(Record(e)->ending, 0);
  SetCursor(e, 5 * A);
  ASSERT_EQ(RefillStreamSound(e), 0);
  ASSERT_EQ(Record(e)->ending, 1);
  ASSERT_EQ(Record(e)->endCursor, Record(e)->endPosition);
  SetCursor(e, 5 * A + 50);
  RefillStreamSound(e);
  EXPECT_EQ(GetSoundStatus(e), 0);
}

// Played out, a stream played again with the from-start flag 0 starts from its beginning, as
// a plain sound's buffer does, rather than sound four seconds of silence reported as playing.
// Stopped while its tail still plays, it goes on with the tail.
TEST_F(StreamSoundTest, PlayedOutItPlaysAgainFromTheStart) {
  const auto source = Pattern(5 * A);
  const int32_t h = LoadStream(Wave8(source), 2);
  ASSERT_NE(h, -1);
  SoundRecord* s = Record(h);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(PlaySoundHandle(h, 1, 0), 0);
    EXPECT_EQ(GetSoundStatus(h), 1);
    EXPECT_EQ(RingRead(h), 0);
    EXPECT_EQ(GetStreamSoundPositionMs(h), 0);
    EXPECT_TRUE(RingHolds(h, 0, source, 0, 4 * A));
    ASSERT_EQ(MoveAndRefill(h, 2 * A), 0);
    EXPECT_EQ(GetStreamSoundPositionMs(h), 2000);
    ASSERT_EQ(MoveAndRefill(h, 4 * A), 0);
    EXPECT_TRUE(RingHolds(h, 4 * A, source, 4 * A, A));
    ASSERT_EQ(s->ending, 1);
    if (round == 0) {
      ASSERT_EQ(StopSoundHandle(h), 0);
      ASSERT_EQ(PlaySoundHandle(h, 1, 0), 0);
      EXPECT_EQ(RingRead(h), 4 * A);
      EXPECT_EQ(GetStreamSoundPositionMs(h), 4000);
    }
    MoveAndRefill(h, 5 * A + 8);
    ASSERT_EQ(GetSoundStatus(h), 0);
    EXPECT_EQ(GetStreamSoundPositionMs(h), 5000);
  }
}

// Stopped, then played with the from-start flag 0, a stream goes on where it stopped: the ring
// and the writer as they were, the played time counted on.
TEST_F(StreamSoundTest, ResumesWhereItStopped) {
  const auto source = Pattern(15 * A);
  const int32_t h = LoadStream(Wave8(source), 2);
  ASSERT_NE(h, -1);
  SoundRecord* s = Record(h);
  ASSERT_EQ(PlaySoundHandle(h, 1, 0), 0);
  SetCursor(h, 2 * A);
  ASSERT_EQ(RefillStreamSound(h), 0);
  SetCursor(h, 3 * A);
  ASSERT_EQ(StopSoundHandle(h), 0);
  EXPECT_EQ(GetSoundStatus(h), 0);
  EXPECT_EQ(GetStreamSoundPositionMs(h), 3000);
  const int32_t writer = s->writeCursor;
  ASSERT_EQ(PlaySoundHandle(h, 1, 0), 0);
  EXPECT_EQ(GetSoundStatus(h), 1);
  EXPECT_EQ(s->writeCursor, writer);
  EXPECT_EQ(RingRead(h), 3 * A);
  SetCursor(h, 4 * A);
  ASSERT_EQ(RefillStreamSound(h), 0);
  EXPECT_EQ(s->writeCursor, A);  // seven seconds in, past the ring's end
  EXPECT_TRUE(RingHolds(h, 5 * A, source, 5 * A, A));
  EXPECT_TRUE(RingHolds(h, 0, source, 6 * A, A));
  EXPECT_EQ(GetStreamSoundPositionMs(h), 4000);
}

TEST_F(StreamSoundTest, RepeatsASourceThenPlaysTheNextAndRefusesMore) {
  const auto first = Wave8(std::vector<uint8_t>(A / 2, 0x30));
  const auto second = Wave8(std::vector<uint8_t>(A, 0x60));
  const int32_t h = AddSoundData(-1);
  ASSERT_EQ(AddStreamSoundImage(first.data(), static_cast<int32_t>(first.size()), 2, h, 2, -1), 0);
  ASSERT_EQ(AddStreamSoundImage(second.data(), static_cast<int32_t>(second.size()), 0, h, 0, -1), 0);
  // The first source counts each of its three plays.
  EXPECT_EQ(GetSoundTotalSamples(h), 3 * A / 2 + A);
  // Another format (16-bit) is refused; so is a fourth source.
  const auto other = ToneWave(Rate, 1, 0.5, 440);
  EXPECT_EQ(AddStreamSoundImage(other.data(), static_cast<int32_t>(other.size()), 0, h, 2, -1), -1);
  ASSERT_EQ(AddStreamSoundImage(first.data(), static_cast<int32_t>(first.size()), 0, h, 2, -1), 0);
  EXPECT_EQ(AddStreamSoundImage(first.data(), static_cast<int32_t>(first.size()), 0, h, 2, -1), -1);
  EXPECT_EQ(Record(h)->sourceCount, 3);
  ASSERT_EQ(PrimeStreamSound(h), 0);
  const uint8_t* ring = RingData(h);
  // Three times the first, once the second, once the third, then silence (8-bit: 0x7F).
  for (int32_t i = 0; i < 4 * A; ++i) {
    const uint8_t want = i < 3 * A / 2 ? 0x30 : i < 5 * A / 2 ? 0x60 : i < 3 * A ? 0x30 : 0x7F;
    ASSERT_EQ(ring[i], want) << i;
  }
  EXPECT_EQ(Record(h)->ending, 1);
  // A plain sound takes no sources.
  const auto plain = ToneWave(Rate, 1, 0.2, 440);
  const int32_t p = LoadSoundFromMemory(plain.data(), static_cast<int32_t>(plain.size()), 1, -1);
  ASSERT_NE(p, -1);
  EXPECT_EQ(AddStreamSoundImage(first.data(), static_cast<int32_t>(first.size()), 0, p, 2, -1), -1);
}

// A looped sound shorter than the writer's four-second lead has several loops written ahead
// of the cursor at once: each is kept, and the position starts again at each as the cursor
// passes it. A sixteenth of a second loops more often than the queue holds.
TEST_F(StreamSoundTest, ShortLoopsReportThePositionWithinTheLoop) {
  for (const int32_t length : {2 * A, 7 * A / 2, A / 2, 9 * A / 2, A / 16}) {
    SCOPED_TRACE(length);
    const int32_t h = LoadStream(Wave8(Pattern(length)), 2);
    ASSERT_NE(h, -1);
    ASSERT_EQ(PlaySoundHandle(h, 3, 1), 0);
    // Twelve seconds, the cursor moved a fifth of a second at a time and the ring refilled
    // after each move, as the pump does.
    for (int64_t played = A / 5; played <= 12 * A; played += A / 5) {
      SetCursor(h, static_cast<int32_t>(played % RingBytes));
      ASSERT_EQ(RefillStreamSound(h), 0) << played;
      ASSERT_EQ(GetStreamSoundPositionMs(h), (played % length) * 1000 / A) << played;
    }
    EXPECT_EQ(GetSoundStatus(h), 1);
    EXPECT_EQ(DeleteSoundHandle(h, 0), 0);
  }
}

// A source played three times counts each play: the position runs on through the repeats to
// the end of the sound, where it stops.
TEST_F(StreamSoundTest, RepeatedSourcesCountInThePositionAndTheTotal) {
  const auto first = Wave8(Pattern(A / 2));
  const auto second = Wave8(Pattern(A));
  const int32_t h = AddSoundData(-1);
  ASSERT_EQ(AddStreamSoundImage(first.data(), static_cast<int32_t>(first.size()), 2, h, 2, -1), 0);
  ASSERT_EQ(AddStreamSoundImage(second.data(), static_cast<int32_t>(second.size()), 0, h, 2, -1), 0);
  EXPECT_EQ(GetSoundTotalTimeMs(h), 2500);
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  for (int64_t played = A / 4; played <= 2 * A + A / 4; played += A / 4) {
    SetCursor(h, static_cast<int32_t>(played));
    RefillStreamSound(h);
    ASSERT_EQ(GetStreamSoundPositionMs(h), played * 1000 / A) << played;
  }
  SetCursor(h, 5 * A / 2 + 8);
  RefillStreamSound(h);
  EXPECT_EQ(GetSoundStatus(h), 0);
  EXPECT_EQ(GetStreamSoundPositionMs(h), 2500);
}

TEST_F(StreamSoundTest, LoopsForeverAndRefusesSourcesWhilePlaying) {
  const auto source = Pattern(A);
  const int32_t h = LoadStream(Wave8(source), 2);
  ASSERT_NE(h, -1);
  ASSERT_EQ(PlaySoundHandle(h, 3, 1), 0);
  for (int32_t k = 0; k < 4; ++k) EXPECT_TRUE(RingHolds(h, k * A, source, 0, A)) << k;
  const auto more = Wave8(source);
  EXPECT_EQ(AddStreamSoundImage(more.data(), static_cast<int32_t>(more.size()), 0, h, 2, -1), -1);
  // The played position wraps back to the loop start as the cursor crosses each loop.
  for (int32_t step = 1; step <= 9; ++step) {
    SetCursor(h, Record(h)->writeCursor - 2 * A);
    ASSERT_EQ(RefillStreamSound(h), 0);
  }
  EXPECT_EQ(Record(h)->ending, 0);
  EXPECT_LE(GetStreamSoundPositionMs(h), 1000);
  EXPECT_EQ(GetSoundStatus(h), 1);
}

TEST_F(StreamSoundTest, SharedRingPlaysForOneSoundAtATime) {
  const auto a_wave = Wave8(std::vector<uint8_t>(5 * A, 0x20));
  const auto b_wave = Wave8(std::vector<uint8_t>(5 * A, 0x40));
  const int32_t a = LoadStream(a_wave, 2);
  ASSERT_NE(a, -1);
  const int32_t b = AddSoundData(-1);
  ASSERT_EQ(AddStreamSoundImage(b_wave.data(), static_cast<int32_t>(b_wave.size()), 0, b, 2, a), 0);
  EXPECT_EQ(Record(b)->sharedSource, a);
  EXPECT_EQ(Record(a)->useCount, 1);
  ASSERT_EQ(PlaySoundHandle(a, 1, 0), 0);
  EXPECT_EQ(GetSoundStatus(a), 1);
  EXPECT_EQ(GetSoundStatus(b), 0);
  // The take-over stops the first; both must write their own four seconds before playing.
  ASSERT_EQ(PlaySoundHandle(b, 1, 0), 0);
  EXPECT_EQ(GetSoundStatus(a), 0);
  EXPECT_EQ(GetSoundStatus(b), 1);
  EXPECT_EQ(Record(a)->primed, 0);
  EXPECT_EQ(RingData(a)[0], 0x40);
  ASSERT_EQ(PlaySoundHandle(a, 1, 0), 0);
  EXPECT_EQ(GetSoundStatus(b), 0);
  EXPECT_EQ(RingData(a)[0], 0x20);
  // The owner stays while the other still plays on its ring, and goes with it.
  EXPECT_EQ(DeleteSoundHandle(a, 0), 0);
  EXPECT_NE(Record(a), nullptr);
  EXPECT_EQ(DeleteSoundHandle(b, 0), 0);
  EXPECT_EQ(Record(a), nullptr);
  EXPECT_EQ(Record(b), nullptr);
}

// An Ogg Vorbis stream counts exactly the samples its decode gives, from a file kept open.
TEST_F(StreamSoundTest, OggFileTotalIsTheExactDecodedLength) {
  const char* folder = std::getenv("QUELT_BINARY_DIR");
  ASSERT_NE(folder, nullptr);
  const std::string files = std::string(folder) + "/testwork/sound_files/";
  const int32_t reference = LoadSoundFile((files + "tone_ogg_ref.wav").c_str(), 1, -1);
  ASSERT_NE(reference, -1);
  SetSoundCreateType(3);
  const int32_t ogg = LoadSoundFile((files + "tone.ogg").c_str(), 1, -1);
  SetSoundCreateType(0);
  ASSERT_NE(ogg, -1);
  EXPECT_EQ(Record(ogg)->closeStream[0], 1);
  EXPECT_EQ(GetSoundTotalSamples(ogg), GetSoundTotalSamples(reference));
  EXPECT_EQ(GetSoundTotalTimeMs(ogg), GetSoundTotalTimeMs(reference));
  EXPECT_EQ(DeleteSoundHandle(ogg, 0), 0);
}

// Ten seconds of MP3 (intact and damaged) and of Ogg Vorbis streamed in refills of uneven
// sizes, past the ring's wrap, and ADPCM cut inside a block: what the ring receives is
// exactly the file decoded whole, then silence. Nothing is lost or doubled where a refill
// ends inside a decoder's block.
TEST_F(StreamSoundTest, CodedFilesStreamExactlyTheirWholeDecode) {
  const char* folder = std::getenv("QUELT_BINARY_DIR");
  ASSERT_NE(folder, nullptr);
  for (const char* name : {"stream10.mp3", "stream10.ogg", "damaged.mp3", "tone_ima_cut.wav"}) {
    const std::string path = std::string(folder) + "/testwork/sound_files/" + name;
    const int32_t whole = LoadSoundFile(path.c_str(), 1, -1);
    ASSERT_NE(whole, -1) << name;
    const std::vector<uint8_t> expected(Record(whole)->pcm, Record(whole)->pcm + Record(whole)->pcmSize);
    for (int32_t type : {2, 3}) {
      SetSoundCreateType(type);
      const int32_t h = LoadSoundFile(path.c_str(), 1, -1);
      SetSoundCreateType(0);
      ASSERT_NE(h, -1) << name << " " << type;
      SoundRecord* s = Record(h);
      const int32_t a = static_cast<int32_t>(s->format.avgBytesPerSec);
      const int32_t block = s->format.blockAlign;
      const int32_t ring = s->ringSize;
      std::vector<uint8_t> heard(RingData(h), RingData(h) + 4 * a);
      ASSERT_EQ(PlaySoundHandle(h, 1, 0), 0);
      uint32_t random = 12345;
      while (s->ending == 0 && heard.size() < expected.size() + 2 * static_cast<size_t>(a)) {
        const int32_t before = s->writeCursor;
        random = random * 1103515245u + 12345u;
        // Two to nearly four seconds behind: refills from nothing to a second, at any block.
        const int32_t behind = 2 * a + static_cast<int32_t>((random >> 8) % static_cast<uint32_t>(19 * a / 10)) / block * block;
        SetCursor(h, before - behind);
        ASSERT_EQ(RefillStreamSound(h), 0);
        const int32_t step = (s->writeCursor - before + ring) % ring;
        for (int32_t i = 0; i < step; ++i) heard.push_back(RingData(h)[(before + i) % ring]);
      }
      ASSERT_GE(heard.size(), expected.size()) << name << " " << type;
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), heard.begin())) << name << " " << type;
      EXPECT_TRUE(std::all_of(heard.begin() + static_cast<std::ptrdiff_t>(expected.size()), heard.end(),
                              [](uint8_t b) { return b == 0; }))
          << name << " " << type;
      // At each damaged stretch the frame walk may count a frame that the decoder drops.
      const int64_t slack = std::string(name) == "damaged.mp3" ? 2 * 1152 : 0;
      EXPECT_LE(std::abs(GetSoundTotalSamples(h) - static_cast<int64_t>(expected.size()) / block), slack)
          << name << " " << type;
      EXPECT_EQ(DeleteSoundHandle(h, 0), 0);
    }
    EXPECT_EQ(DeleteSoundHandle(whole, 0), 0);
  }
}

TEST_F(StreamSoundTest, BadArgumentsFail) {
  const int32_t h = AddSoundData(-1);
  const std::vector<uint8_t> junk(100, 0x55);
  EXPECT_EQ(AddStreamSoundImage(junk.data(), 100, 0, h, 2, -1), -1);
  EXPECT_EQ(AddStreamSoundImage(junk.data(), 100, 0, h, 1, -1), -1);
  EXPECT_EQ(AddStreamSoundImage(nullptr, 100, 0, h, 2, -1), -1);
  EXPECT_EQ(AddStreamSoundFile("missing.wav", 0, h, 3, -1), -1);
  EXPECT_EQ(GetStreamSoundStatus(h), -1);
  EXPECT_EQ(RefillStreamSound(0x7777), -1);
  EXPECT_EQ(PlayStreamSound(h, 1, 0), -1);
  EXPECT_EQ(DeleteSoundHandle(h, 0), 0);
}

// The whole engine with its window: the pump holds the game while the window is inactive.
class InactiveStreamTest : public StreamSoundTest {
 protected:
  void SetUp() override {
    ApiChangeWindowMode(1);
    ApiRequestScreenMode(320, 200, 32, 60);
    ApiSetWindowCaption("QueltInactiveStreamTest");
    ASSERT_EQ(ApiStartEngine(), 0);
    SoftwareSoundBuffers = 1;
  }
  void TearDown() override {
    SoftwareSoundBuffers = 0;
    ApiStopEngine();
  }
};

TEST_F(InactiveStreamTest, TheStreamIsRefilledWhileThePumpWaitsForActivation) {
  const auto source = Pattern(15 * A);
  const int32_t h = LoadStream(Wave8(source), 0);
  ASSERT_NE(h, -1);
  SoundRecord* s = Record(h);
  ASSERT_EQ(PlaySoundHandle(h, 1, 0), 0);
  ASSERT_EQ(s->writeCursor, 4 * A);
  ASSERT_EQ(RunWhileInactiveFlag, 0);
  SetCursor(h, 2 * A);  // one second due, and only the wait's own work can write it
  WindowActiveFlag = 0;

  // Seen from beside the waiting pump: how far the source has been written after the
  // first cursor move, then after a second one made while the pump still waits; then the
  // window is activated.
  int64_t first = 0;
  int64_t second = 0;
  const auto* written = static_cast<volatile int64_t*>(&s->sourcePosition);
  std::thread beside([&] {
    Sleep(300);
    first = *written;
    SetCursor(h, 3 * A);
    Sleep(300);
    second = *written;
    PostMessageA(static_cast<HWND>(MainWindowHandle), WM_ACTIVATEAPP, 1, 0);
  });
  const DWORD start = GetTickCount();
  const int pumped = ApiPumpMessages();
  const DWORD waited = GetTickCount() - start;
  beside.join();
  EXPECT_EQ(pumped, 0);
  EXPECT_GE(waited, 550u);  // the pump returned only once the window was active again
  EXPECT_EQ(WindowActiveFlag, 1);
  EXPECT_GT(first, 4 * A);  // past what the ring held when the window went inactive
  EXPECT_GT(second, first);
  EXPECT_TRUE(RingHolds(h, 4 * A, source, 4 * A, static_cast<int32_t>(second) - 4 * A));
}

}  // namespace
}  // namespace quelt
