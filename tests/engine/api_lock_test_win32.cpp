// The API lock: recursion, strict arrival order of waiting threads, and the lifetime of
// its objects. Each waiter is started only after the queue observer has seen the one
// before it take its place, so the arrival order is fixed without any timing.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "core/engine_state.h"
#include "core/entry/api_entry.h"
#include "core/entry/api_lock.h"

namespace quelt {
namespace {

HANDLE QueuedEvent = nullptr;
volatile LONG QueuedPositions[8];
volatile LONG QueuedCount = 0;

void OnQueued(uint32_t /*thread_id*/, int32_t position) {
  const LONG index = InterlockedIncrement(&QueuedCount) - 1;
  if (index < 8) QueuedPositions[index] = position;
  SetEvent(QueuedEvent);
}

struct Waiter {
  int id;
  std::vector<int>* order;
};

DWORD WINAPI TakeLockAndRecord(void* argument) {
  auto* waiter = static_cast<Waiter*>(argument);
  AcquireApiLock();
  waiter->order->push_back(waiter->id);  // safe: only the holder runs here
  ReleaseApiLock();
  return 0;
}

class ApiLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QueuedEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    QueuedCount = 0;
    SetApiLockQueuedObserver(OnQueued);
  }
  void TearDown() override {
    SetApiLockQueuedObserver(nullptr);
    CloseHandle(QueuedEvent);
    DestroyApiLock();
  }

  // Starts a waiter and returns once it stands in the queue.
  HANDLE StartQueuedWaiter(Waiter* waiter) {
    HANDLE thread = CreateThread(nullptr, 0, TakeLockAndRecord, waiter, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(QueuedEvent, 10000), WAIT_OBJECT_0);
    return thread;
  }
};

TEST_F(ApiLockTest, OwnerReentersAndFreesAfterAsManyReleases) {
  AcquireApiLock();
  AcquireApiLock();
  EXPECT_EQ(ReadApiLockSnapshot().depth, 2);
  ReleaseApiLock();
  ApiLockSnapshot snapshot = ReadApiLockSnapshot();
  EXPECT_EQ(snapshot.owned, 1);
  EXPECT_EQ(snapshot.owner, GetCurrentThreadId());
  ReleaseApiLock();
  snapshot = ReadApiLockSnapshot();
  EXPECT_EQ(snapshot.owned, 0);
  EXPECT_EQ(snapshot.depth, 0);
  EXPECT_EQ(snapshot.owner, 0xFFFFFFFFu);
}

TEST_F(ApiLockTest, WaitersEnterInArrivalOrder) {
  std::vector<int> order;
  Waiter waiters[4] = {{1, &order}, {2, &order}, {3, &order}, {4, &order}};
  AcquireApiLock();
  HANDLE threads[4];
  for (int i = 0; i < 4; ++i) threads[i] = StartQueuedWaiter(&waiters[i]);
  EXPECT_EQ(ReadApiLockSnapshot().waiters, 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(QueuedPositions[i], i);
  ReleaseApiLock();
  EXPECT_EQ(WaitForMultipleObjects(4, threads, TRUE, 10000), WAIT_OBJECT_0);
  for (HANDLE thread : threads) CloseHandle(thread);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(ReadApiLockSnapshot().waiters, 0);
}

TEST_F(ApiLockTest, ReleasingThreadQueuesBehindWaiters) {
  std::vector<int> order;
  Waiter first{1, &order};
  AcquireApiLock();
  HANDLE thread = StartQueuedWaiter(&first);
  ReleaseApiLock();
  AcquireApiLock();  // the waiter came first: it enters before us
  order.push_back(0);
  ReleaseApiLock();
  EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
  CloseHandle(thread);
  EXPECT_EQ(order, (std::vector<int>{1, 0}));
}

TEST_F(ApiLockTest, ObjectsStayWhileAThreadWaits) {
  std::vector<int> order;
  Waiter waiter{1, &order};
  AcquireApiLock();
  HANDLE thread = StartQueuedWaiter(&waiter);
  EXPECT_EQ(DestroyApiLock(), 0);
  EXPECT_EQ(ReadApiLockSnapshot().created, 1);
  ReleaseApiLock();
  EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
  CloseHandle(thread);
  EXPECT_EQ(order, (std::vector<int>{1}));
  EXPECT_EQ(DestroyApiLock(), 1);
  EXPECT_EQ(ReadApiLockSnapshot().created, 0);
  // A later acquire makes them again.
  AcquireApiLock();
  EXPECT_EQ(ReadApiLockSnapshot().created, 1);
  ReleaseApiLock();
}

DWORD WINAPI AcquireAndRelease(void*) {
  AcquireApiLock();
  ReleaseApiLock();
  return 0;
}

TEST_F(ApiLockTest, SimultaneousFirstUseCreatesTheObjectsOnce) {
  SetApiLockQueuedObserver(nullptr);
  ASSERT_EQ(ReadApiLockSnapshot().created, 0);
  HANDLE threads[8];
  for (HANDLE& thread : threads)
    thread = CreateThread(nullptr, 0, AcquireAndRelease, nullptr, 0, nullptr);
  EXPECT_EQ(WaitForMultipleObjects(8, threads, TRUE, 10000), WAIT_OBJECT_0);
  for (HANDLE thread : threads) CloseHandle(thread);
  const ApiLockSnapshot snapshot = ReadApiLockSnapshot();
  EXPECT_EQ(snapshot.created, 1);
  EXPECT_EQ(snapshot.owned, 0);
  EXPECT_EQ(snapshot.waiters, 0);
}

TEST(ApiEntry, StoppingANeverStartedEngineLeavesTheLockAlone) {
  ASSERT_EQ(EngineInitialised, 0);
  EXPECT_EQ(ApiStopEngine(), 0);
  EXPECT_EQ(ReadApiLockSnapshot().created, 0);
}

}  // namespace
}  // namespace quelt
