#include "core/clock.h"

#include <x86intrin.h>

#include "core/engine_state.h"
#include "core/numbers.h"
#include "core/platform.h"

namespace quelt {

namespace {

// ticks x 1,000,000 / ticksPerSecond without losing anything to overflow.
int64_t TicksToMicroseconds(uint64_t ticks, uint64_t ticksPerSecond) {
  uint32_t product[4];
  Multiply64To128(ticks, 1000000, product);
  return static_cast<int64_t>(Divide128By64(product, ticksPerSecond));
}

}  // namespace

int32_t ReadMillisecondClock() { return static_cast<int32_t>(PlatformMilliseconds() & 0x7FFFFFFF); }

int64_t ReadMicrosecondClock(int32_t useTimeStamp) {
  if (useTimeStamp == 1 && TimeStampCounterFlag && EngineInitialised && TimeStampTicksPerSecond > 0) {
    return TicksToMicroseconds(__rdtsc(), static_cast<uint64_t>(TimeStampTicksPerSecond));
  }
  if (PerformanceCounterFlag && PerformanceCounterFrequency > 0) {
    return TicksToMicroseconds(static_cast<uint64_t>(PlatformPerformanceCounter()),
                               static_cast<uint64_t>(PerformanceCounterFrequency));
  }
  return static_cast<int64_t>(PlatformMilliseconds()) * 1000;
}

int ReadLocalDateTime(DateRecord* date) {
  PlatformLocalTime(date);
  return 0;
}

}  // namespace quelt
