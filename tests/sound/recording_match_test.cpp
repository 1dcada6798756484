// The recording check on recordings made up here: it must pass a recording that holds the
// reference whole (late, and with the sink's own silent gaps), and catch the faults a stream
// can make: a lost stretch, an old stretch played again, a sound that goes on after its end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>

#include "sound/recording_match.h"

namespace quelt_test {
namespace {

constexpr int32_t Rate = 44100;

Pcm16 Noise(double seconds, uint32_t seed = 7) {
  Pcm16 pcm;
  std::mt19937 random(seed);
  std::normal_distribution<double> gauss(0.0, 6000.0);
  pcm.samples.resize(static_cast<size_t>(seconds * Rate) * 2);
  for (int16_t& s : pcm.samples) s = static_cast<int16_t>(std::max(-32000.0, std::min(32000.0, gauss(random))));
  return pcm;
}

// Silence, then the frames [from, to) of `pcm` for each piece in turn, then silence.
Pcm16 Recording(const Pcm16& pcm, std::initializer_list<std::pair<int64_t, int64_t>> pieces) {
  Pcm16 out;
  out.samples.assign(Rate / 3 * 2, 0);
  for (const auto& [from, to] : pieces) {
    if (from < 0) {
      out.samples.insert(out.samples.end(), static_cast<size_t>(to) * 2, 0);
      continue;
    }
    out.samples.insert(out.samples.end(), pcm.samples.begin() + from * 2, pcm.samples.begin() + to * 2);
  }
  out.samples.insert(out.samples.end(), Rate * 2, 0);
  return out;
}

int32_t SecondsBelow(const RecordingMatch& m) {
  int32_t n = 0;
  for (double c : m.seconds) n += c <= 0.99 ? 1 : 0;
  return n;
}

TEST(RecordingMatch, FindsTheWholeReferenceAcrossTheSinksGaps) {
  const Pcm16 reference = Noise(6.5);
  const int64_t end = reference.Frames();
  RecordingMatch m = MatchRecording(Recording(reference, {{0, end}}), reference);
  ASSERT_TRUE(m.found);
  EXPECT_EQ(m.offset, Rate / 3);
  ASSERT_EQ(m.seconds.size(), 7u);
  EXPECT_EQ(SecondsBelow(m), 0);
  EXPECT_EQ(m.tailPeak, 0);
  // The sink's zeros, some with sound dropped after them (no more than their length), some
  // close together, one before the place the shift is first found.
  m = MatchRecording(Recording(reference, {{0, 5000},
                                           {-1, 100},
                                           {5050, 100000},
                                           {-1, 300},
                                           {100000, 200000},
                                           {-1, 40},
                                           {200000, 200100},
                                           {-1, 500},
                                           {200400, 250000},
                                           {-1, 200},
                                           {250180, end}}),
                     reference);
  ASSERT_TRUE(m.found);
  EXPECT_EQ(m.offset, Rate / 3);
  EXPECT_EQ(SecondsBelow(m), 0);
  ASSERT_EQ(m.sinkGaps.size(), 5u);
  EXPECT_EQ(m.sinkGapFrames, 1140);
  EXPECT_EQ(m.sinkGaps[0].lost, 50);
  EXPECT_EQ(m.sinkGaps[1].lost, 0);
  EXPECT_EQ(m.sinkGaps[4].lost, 180);
  EXPECT_EQ(m.tailPeak, 0);
  EXPECT_TRUE(m.silentLosses.empty());
  // A few frames dropped with no silence (a recorder catching up).
  m = MatchRecording(Recording(reference, {{0, 150000}, {150005, end}}), reference);
  EXPECT_EQ(SecondsBelow(m), 0);
  ASSERT_EQ(m.silentLosses.size(), 1u);
  EXPECT_EQ(m.silentLosses[0].lost, 5);
  EXPECT_NEAR(static_cast<double>(m.silentLosses[0].at), 150000.0, 256.0);
  // Gaps in the sound's last 25 ms, the last stretch shorter than the search for its place.
  m = MatchRecording(Recording(reference, {{0, end - 1000}, {-1, 300}, {end - 800, end - 600}, {-1, 500},
                                           {end - 600, end}}),
                     reference);
  EXPECT_EQ(SecondsBelow(m), 0);
  EXPECT_EQ(m.tailPeak, 0);
  // A starved mixer catching up on its earlier gaps a second later, with no silence there:
  // 500 frames, within the 600 of silence shown so far.
  m = MatchRecording(Recording(reference, {{0, Rate},
                                           {-1, 300},
                                           {Rate, 2 * Rate},
                                           {-1, 300},
                                           {2 * Rate, 3 * Rate},
                                           {3 * Rate + 500, end}}),
                     reference);
  EXPECT_EQ(SecondsBelow(m), 0);
  ASSERT_EQ(m.lateLosses.size(), 1u);
  EXPECT_EQ(m.lateLosses[0].lost, 500);
  EXPECT_NEAR(static_cast<double>(m.lateLosses[0].at), 3.0 * Rate, 256.0);
}

TEST(RecordingMatch, CatchesLostRepeatedAndTrailingSound) {
  const Pcm16 reference = Noise(6.5);
  const int64_t end = reference.Frames();
  // 198 frames (4.5 ms) lost in the fourth second: that second and every one after it fail.
  RecordingMatch m = MatchRecording(Recording(reference, {{0, 3 * Rate + 1000}, {3 * Rate + 1198, end}}), reference);
  ASSERT_TRUE(m.found);
  EXPECT_EQ(SecondsBelow(m), 4);
  EXPECT_LE(m.seconds[3], 0.99);
  // A few frames played twice, with no silence.
  m = MatchRecording(Recording(reference, {{0, 150000}, {149995, end}}), reference);
  EXPECT_GE(SecondsBelow(m), 3);
  // Lost at a sink gap, but more than the gap's length.
  m = MatchRecording(Recording(reference, {{0, 3 * Rate}, {-1, 100}, {3 * Rate + 400, end}}), reference);
  EXPECT_GE(SecondsBelow(m), 3);
  // Lost later on, more than all the silence shown before it.
  m = MatchRecording(Recording(reference, {{0, Rate},
                                           {-1, 300},
                                           {Rate, 2 * Rate},
                                           {-1, 300},
                                           {2 * Rate, 3 * Rate},
                                           {3 * Rate + 700, end}}),
                     reference);
  EXPECT_GE(SecondsBelow(m), 3);
  // Played twice later on, however much silence came before.
  m = MatchRecording(Recording(reference, {{0, Rate}, {-1, 2000}, {Rate, 3 * Rate}, {3 * Rate - 500, end}}),
                     reference);
  EXPECT_GE(SecondsBelow(m), 3);
  // Repeated after a sink gap.
  m = MatchRecording(Recording(reference, {{0, 3 * Rate}, {-1, 300}, {3 * Rate - 100, end}}), reference);
  EXPECT_GE(SecondsBelow(m), 3);
  // Half a second played twice (an underrun replays the ring's old contents).
  m = MatchRecording(Recording(reference, {{0, 2 * Rate}, {2 * Rate - Rate / 2, end}}), reference);
  EXPECT_GE(SecondsBelow(m), 4);
  // Old contents in place of new, the rest in time: only that second fails.
  m = MatchRecording(Recording(reference, {{0, 4 * Rate}, {Rate, Rate + Rate / 2}, {4 * Rate + Rate / 2, end}}),
                     reference);
  EXPECT_EQ(SecondsBelow(m), 1);
  EXPECT_LE(m.seconds[4], 0.99);
  // Sound after the end.
  m = MatchRecording(Recording(reference, {{0, end}, {0, Rate}}), reference);
  EXPECT_EQ(SecondsBelow(m), 0);
  EXPECT_GT(m.tailPeak, 1000);
  // Nothing of it at all.
  EXPECT_FALSE(MatchRecording(Recording(Noise(1.0, 8), {{0, Rate}}), reference).found);
}

}  // namespace
}  // namespace quelt_test
