#include "graphics/frame_pacing.h"

namespace quelt {

int64_t FramePeriodMicroseconds(int32_t refresh_rate) {
  const int32_t rate = refresh_rate >= 2 ? refresh_rate : DefaultFrameRate;
  return (int64_t{1000000} + rate / 2) / rate;
}

int64_t TimeToNextFrame(FramePacer& pacer, int64_t now, int64_t period) {
  // A wait wakes up to half a millisecond before its place, so a frame that costs its
  // caller nothing (Direct3D queues the drawing to Wine's own thread) arrives a little more
  // than a period ahead of its place: it still waits. Only a frame much further ahead than
  // that has seen the clock step back.
  const int64_t earliest = period + period / 4;
  if (pacer.running == 0 || now - pacer.nextFrame > period || pacer.nextFrame - now > earliest) {
    pacer.running = 1;
    pacer.nextFrame = now + period;
    return 0;
  }
  const int64_t wait = pacer.nextFrame > now ? pacer.nextFrame - now : 0;
  pacer.nextFrame += period;
  return wait;
}

}  // namespace quelt
