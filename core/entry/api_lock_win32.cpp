#include <windows.h>

#include <array>

#include "core/entry/api_lock.h"

namespace quelt {

namespace {

struct ApiLockQueueEntry {
  DWORD threadId;
  HANDLE event;
};

struct ApiLockState {
  int32_t depth;
  int32_t owned;
  DWORD owner;
  std::array<ApiLockQueueEntry, ApiLockQueueCapacity> queue;
  int32_t created;
  int32_t waiters;
  CRITICAL_SECTION guard;
};

ApiLockState ApiLock{0, 0, 0xFFFFFFFF, {}, 0, 0, {}};

// Life of the lock objects, changed only by interlocked operations so that creation
// happens once even when several threads arrive together, and destruction never pulls the
// objects from under a thread that is inside the lock functions.
enum : LONG { ObjectsAbsent = 0, ObjectsCreating = 1, ObjectsReady = 2, ObjectsDestroying = 3 };
volatile LONG ObjectsState = ObjectsAbsent;
// Threads between entering and leaving AcquireApiLock or ReleaseApiLock (waiters included).
volatile LONG Entrants = 0;

ApiLockQueuedObserver QueuedObserver = nullptr;

void CreateLockObjects() {
  for (ApiLockQueueEntry& entry : ApiLock.queue) {
    entry.threadId = 0;
    entry.event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  InitializeCriticalSection(&ApiLock.guard);
  ApiLock.depth = 0;
  ApiLock.owned = 0;
  ApiLock.owner = 0xFFFFFFFF;
  ApiLock.waiters = 0;
  ApiLock.created = 1;
}

// Counts the caller as an entrant once the lock objects exist, creating them first when
// nobody has.
void EnterLockObjects() {
  for (;;) {
    InterlockedIncrement(&Entrants);
    const LONG state = InterlockedCompareExchange(&ObjectsState, ObjectsReady, ObjectsReady);
    if (state == ObjectsReady) return;
    InterlockedDecrement(&Entrants);
    if (state == ObjectsAbsent &&
        InterlockedCompareExchange(&ObjectsState, ObjectsCreating, ObjectsAbsent) ==
            ObjectsAbsent) {
      CreateLockObjects();
      InterlockedExchange(&ObjectsState, ObjectsReady);
      continue;
    }
    Sleep(0);
  }
}

void LeaveLockObjects() { InterlockedDecrement(&Entrants); }

}  // namespace

void AcquireApiLock() {
  EnterLockObjects();
  const DWORD self = GetCurrentThreadId();
  for (;;) {
    EnterCriticalSection(&ApiLock.guard);
    bool take = false;
    if (ApiLock.owned == 1) {
      take = ApiLock.owner == self;
    } else if (ApiLock.waiters == 0) {
      take = true;
    } else if (ApiLock.queue[0].threadId == self) {
      // Our turn: leave the queue; our event goes to the end of the used entries' free side.
      if (ApiLock.waiters > 1) {
        const HANDLE event = ApiLock.queue[0].event;
        for (int32_t i = 1; i < ApiLock.waiters; ++i) ApiLock.queue[i - 1] = ApiLock.queue[i];
        ApiLock.queue[ApiLock.waiters - 1] = {0, event};
      } else {
        ApiLock.queue[0].threadId = 0;
      }
      --ApiLock.waiters;
      take = true;
    }
    if (take) {
      ++ApiLock.depth;
      ApiLock.owned = 1;
      ApiLock.owner = self;
      LeaveCriticalSection(&ApiLock.guard);
      LeaveLockObjects();
      return;
    }
    if (ApiLock.waiters == ApiLockQueueCapacity) {
      LeaveCriticalSection(&ApiLock.guard);
      Sleep(1);
      continue;
    }
    const int32_t position = ApiLock.waiters;
    ApiLock.queue[position].threadId = self;
    const HANDLE event = ApiLock.queue[position].event;
    ++ApiLock.waiters;
    if (QueuedObserver != nullptr) QueuedObserver(self, position);
    LeaveCriticalSection(&ApiLock.guard);
    WaitForSingleObject(event, INFINITE);
    ResetEvent(event);
  }
}

void ReleaseApiLock() {
  EnterLockObjects();
  EnterCriticalSection(&ApiLock.guard);
  // Only the owner releases; a stray release must not free a lock another thread holds.
  if (ApiLock.owned == 0 || ApiLock.owner != GetCurrentThreadId()) {
    LeaveCriticalSection(&ApiLock.guard);
    LeaveLockObjects();
    return;
  }
  HANDLE wake = nullptr;
  if (ApiLock.depth == 1) {
    ApiLock.owned = 0;
    ApiLock.owner = 0xFFFFFFFF;
    if (ApiLock.waiters > 0) wake = ApiLock.queue[0].event;
  }
  --ApiLock.depth;
  LeaveCriticalSection(&ApiLock.guard);
  if (wake != nullptr) {
    SetEvent(wake);
    Sleep(0);
  }
  LeaveLockObjects();
}

int DestroyApiLock() {
  if (InterlockedCompareExchange(&ObjectsState, ObjectsDestroying, ObjectsReady) != ObjectsReady)
    return 0;
  // Newcomers now back off until the objects are gone or kept; those already inside count.
  bool busy = InterlockedCompareExchange(&Entrants, 0, 0) != 0;
  if (!busy) {
    EnterCriticalSection(&ApiLock.guard);
    busy = ApiLock.waiters > 0 || (ApiLock.owned == 1 && ApiLock.owner != GetCurrentThreadId());
    LeaveCriticalSection(&ApiLock.guard);
  }
  if (busy) {
    InterlockedExchange(&ObjectsState, ObjectsReady);
    return 0;
  }
  ApiLock.created = 0;
  for (ApiLockQueueEntry& entry : ApiLock.queue) {
    if (entry.event != nullptr) CloseHandle(entry.event);
    entry = {0, nullptr};
  }
  DeleteCriticalSection(&ApiLock.guard);
  ApiLock.depth = 0;
  ApiLock.owned = 0;
  ApiLock.owner = 0xFFFFFFFF;
  ApiLock.waiters = 0;
  InterlockedExchange(&ObjectsState, ObjectsAbsent);
  return 1;
}

ApiLockSnapshot ReadApiLockSnapshot() {
  if (InterlockedCompareExchange(&ObjectsState, ObjectsReady, ObjectsReady) != ObjectsReady)
    return {0, 0, 0, 0xFFFFFFFF, 0};
  EnterLockObjects();
  EnterCriticalSection(&ApiLock.guard);
  const ApiLockSnapshot snapshot{ApiLock.created, ApiLock.owned, ApiLock.depth,
                                 static_cast<uint32_t>(ApiLock.owner), ApiLock.waiters};
  LeaveCriticalSection(&ApiLock.guard);
  LeaveLockObjects();
  return snapshot;
}

void SetApiLockQueuedObserver(ApiLockQueuedObserver observer) { QueuedObserver = observer; }

}  // namespace quelt
