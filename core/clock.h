#pragma once
// The engine's clocks: a millisecond clock, a microsecond clock over the best time base
// that start-up found, and the local date and time.
#include <cstdint>

namespace quelt {

// Local time, six int32 fields in this order.
struct DateRecord {
  int32_t year;
  int32_t month;
  int32_t day;
  int32_t hour;
  int32_t minute;
  int32_t second;
};
static_assert(sizeof(DateRecord) == 24);

// timeGetTime() & 0x7FFFFFFF.
int32_t ReadMillisecondClock();
// Microseconds: with useTimeStamp 1 (and a measured time-stamp counter after start-up) from
// the time-stamp counter, else from the performance counter when it is the time base,
// else from the millisecond timer. Exact 128-bit intermediates.
int64_t ReadMicrosecondClock(int32_t useTimeStamp);
// Fills the record with the local date and time; returns 0.
int ReadLocalDateTime(DateRecord* date);

}  // namespace quelt
