#pragma once
// The entry-layer misuse sweep: every public entry called with bad values. The sweep runs
// in a child process (one per back end) so that a crash or a hang in one call is reported
// with the call's name instead of ending the test program.
#include <cstdint>
#include <functional>
#include <string>

namespace quelt_test {

enum class SweepBackEnd { Direct3D, Software };

// One bounded call: the watchdog ends the process (with the call's name in the report)
// when it runs longer than the per-call limit.
int64_t BoundedCall(const std::string& name, const std::function<int64_t()>& call);
// Records a mismatch in the report.
void ReportMismatch(const std::string& name, int64_t got, const std::string& wanted);

// The call's result must be `wanted`.
inline void ExpectCall(const std::string& name, int64_t wanted, const std::function<int64_t()>& call) {
  const int64_t got = BoundedCall(name, call);
  if (got != wanted) ReportMismatch(name, got, std::to_string(wanted));
}
// The call must only return (any result between `low` and `high`).
inline void ExpectCallWithin(const std::string& name, int64_t low, int64_t high,
                             const std::function<int64_t()>& call) {
  const int64_t got = BoundedCall(name, call);
  if (got < low || got > high) ReportMismatch(name, got, std::to_string(low) + ".." + std::to_string(high));
}

// The sweep itself: before start-up, on a started engine of the back end, after the stop.
void RunEntrySweep(SweepBackEnd backEnd);

}  // namespace quelt_test
