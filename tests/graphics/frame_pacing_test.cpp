#include "graphics/frame_pacing.h"

#include <gtest/gtest.h>

namespace quelt {
namespace {

TEST(FramePacing, PeriodOfTheModeOrSixtyHertz) {
  EXPECT_EQ(FramePeriodMicroseconds(60), 16667);
  EXPECT_EQ(FramePeriodMicroseconds(120), 8333);
  EXPECT_EQ(FramePeriodMicroseconds(0), 16667);  // the display's default, unknown
  EXPECT_EQ(FramePeriodMicroseconds(1), 16667);
  EXPECT_EQ(FramePeriodMicroseconds(-5), 16667);
}

// Frames that take 3 ms to draw, with every wait oversleeping by up to 0.9 ms: ten seconds
// of them hold 600 frames, the oversleeping spread over the grid rather than added up.
TEST(FramePacing, EarlyFramesWaitForTheirPlaceWithoutDrift) {
  constexpr int64_t period = 16667;
  FramePacer pacer{};
  int64_t now = 1000000;
  EXPECT_EQ(TimeToNextFrame(pacer, now, period), 0);  // the first frame starts the grid
  const int64_t first = now;
  for (int frame = 1; frame <= 600; ++frame) {
    now += 3000;
    const int64_t wait = TimeToNextFrame(pacer, now, period);
    EXPECT_GT(wait, 0);
    now += wait + (frame * 397) % 900;
  }
  // The 600th frame is shown within one oversleep of its place on the grid.
  EXPECT_GE(now - first, 600 * period);
  EXPECT_LT(now - first, 600 * period + 900);
}

// Frames that cost their caller nothing (the drawing queued to another thread) after waits
// that wake up to half a millisecond before their place: each still waits for its own
// place, so ten seconds hold 600 frames and no frame follows the one before at once.
TEST(FramePacing, FramesOfNoWorkAfterAnEarlyWakeStillWaitForTheirPlace) {
  constexpr int64_t period = 16667;
  FramePacer pacer{};
  int64_t now = 1000000;
  const int64_t first = now;
  TimeToNextFrame(pacer, now, period);
  int frames = 1;  // shown in the ten seconds from the first
  for (;;) {
    now += 20;  // the frame's own work
    const int64_t wait = TimeToNextFrame(pacer, now, period);
    EXPECT_GT(wait, period - 1000) << "frame " << frames;
    now += wait - 499;  // the sleep returns as soon as less than half a millisecond is left
    if (now - first >= 10 * 1000000) break;
    ++frames;
  }
  EXPECT_EQ(frames, 601);
}

TEST(FramePacing, LateFramesDoNotWaitAndAPauseIsNotMadeUp) {
  constexpr int64_t period = 16667;
  FramePacer pacer{};
  TimeToNextFrame(pacer, 0, period);
  // A frame 20 ms long: the next is shown at once, and the one after keeps to the grid.
  EXPECT_EQ(TimeToNextFrame(pacer, 20000, period), 0);
  EXPECT_EQ(TimeToNextFrame(pacer, 22000, period), 2 * period - 22000);
  // A pause of half a second: the frames after it start a grid of their own instead of
  // running unpaced to catch up.
  const int64_t resumed = 500000;
  EXPECT_EQ(TimeToNextFrame(pacer, resumed, period), 0);
  EXPECT_EQ(TimeToNextFrame(pacer, resumed + 1000, period), period - 1000);
  // A clock that stepped back does not hold the frames for longer than a period and a quarter.
  EXPECT_EQ(TimeToNextFrame(pacer, 100000, period), 0);
  EXPECT_EQ(TimeToNextFrame(pacer, 101000, period), period - 1000);
}

}  // namespace
}  // namespace quelt
