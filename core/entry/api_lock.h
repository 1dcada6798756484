#pragma once
// The library-wide API lock: recursive for its owner, and other threads enter in strict
// arrival order (up to 4096 queued waiters, each on its own event; a thread finding the
// queue full polls every millisecond without a place in the queue).
// Only ApiStartEngine, ApiStopEngine and ApiPumpMessages take it.
#include <cstdint>

namespace quelt {

inline constexpr int32_t ApiLockQueueCapacity = 4096;

void AcquireApiLock();
void ReleaseApiLock();

// Destroys the lock objects (the guard and the queue events); a later acquire creates them
// again. While a thread waits in the queue, is on its way in, or (unless it is the caller)
// holds the lock, the objects are left alone and the call returns 0; 1 when destroyed.
int DestroyApiLock();

// Observation of the lock, for tests and diagnostics.
struct ApiLockSnapshot {
  int32_t created;
  int32_t owned;
  int32_t depth;
  uint32_t owner;  // thread id; 0xFFFFFFFF after the last release
  int32_t waiters;
};
ApiLockSnapshot ReadApiLockSnapshot();

// Called (when set) by a thread right after it has taken its place in the queue, under
// the lock's guard, with its thread id and its queue position (0 = next to enter).
using ApiLockQueuedObserver = void (*)(uint32_t thread_id, int32_t position);
void SetApiLockQueuedObserver(ApiLockQueuedObserver observer);

}  // namespace quelt
