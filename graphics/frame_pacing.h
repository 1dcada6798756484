#pragma once
// Holding presents to the frame rate of the screen mode where the platform's vertical-blank
// wait does not (a display that is not paced, such as a virtual X server): frame times lie
// on a grid one frame period apart, so a frame that ends early waits for its place and the
// rate stays the mode's however long each wait oversleeps.
#include <cstdint>

namespace quelt {

struct FramePacer {
  int64_t nextFrame;  // microseconds: the earliest time of the next frame
  int32_t running;    // 0 until the first paced frame, and again after a long pause
};

inline constexpr int32_t DefaultFrameRate = 60;

// One frame of a refresh rate in microseconds; rates below 2 Hz (unknown, "the display's
// default") count as 60 Hz.
int64_t FramePeriodMicroseconds(int32_t refresh_rate);

// How long a frame arriving at `now` waits for its place (0 when it is late or the first),
// and the grid moved on by one frame. A frame more than a period late starts a new grid
// from itself: the frames after a pause are not hurried to catch up. A frame that arrives
// up to a quarter period more than a period ahead of its place (after a wait that woke
// early) waits for it; one further ahead starts a new grid (a clock that stepped back).
int64_t TimeToNextFrame(FramePacer& pacer, int64_t now, int64_t period);

}  // namespace quelt
