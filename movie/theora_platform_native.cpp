// The Theora player's thread and sleeping over POSIX threads, for the native build; it has
// no Direct3D device, so no YUV surface is made unless a test installs its own.
#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <cerrno>

#include "core/tracked_alloc.h"
#include "movie/theora_decoder.h"
#include "movie/theora_platform.h"

namespace quelt {

namespace {

struct NativeThread {
  pthread_t thread;
  TheoraDecoder* decoder;
  int32_t ended;  // guarded by the mutex
  pthread_mutex_t mutex;
  pthread_cond_t endSignal;
};

void* RunDecodeThread(void* parameter) {
  auto* t = static_cast<NativeThread*>(parameter);
  TheoraDecodeThread(t->decoder);
  pthread_mutex_lock(&t->mutex);
  t->ended = 1;
  pthread_cond_broadcast(&t->endSignal);
  pthread_mutex_unlock(&t->mutex);
  return nullptr;
}

void* CreateNoSurface(int32_t, int32_t, uint32_t) { return nullptr; }
void ReleaseNoSurface(void*) {}
int LockNoSurface(void*, uint8_t**, int32_t*) { return -1; }
void UnlockNoSurface(void*) {}
int32_t NoDevice() { return 0; }

}  // namespace

// Archives on disk are read only by the Windows file set.
int AdoptTheoraFileReader(TheoraDecoder*) { return 0; }
void CloseTheoraFileReader(TheoraDecoder*) {}

TheoraSurfaceOps TheoraSurface = {CreateNoSurface, ReleaseNoSurface, LockNoSurface, UnlockNoSurface};
int32_t (*TheoraSurfaceWanted)() = NoDevice;

int StartTheoraThread(TheoraDecoder* decoder, void** handle, uint32_t* id) {
  auto* t = new NativeThread{};
  t->decoder = decoder;
  pthread_mutex_init(&t->mutex, nullptr);
  pthread_cond_init(&t->endSignal, nullptr);
  if (pthread_create(&t->thread, nullptr, RunDecodeThread, t) != 0) {
    pthread_cond_destroy(&t->endSignal);
    pthread_mutex_destroy(&t->mutex);
    delete t;
    return -1;
  }
  *handle = t;
  *id = 0;
  return 0;
}

int WaitTheoraThread(void* handle, int32_t ms) {
  auto* t = static_cast<NativeThread*>(handle);
  timespec deadline{};
  clock_gettime(CLOCK_REALTIME, &deadline);
  deadline.tv_sec += ms / 1000;
  deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  pthread_mutex_lock(&t->mutex);
  int r = 0;
  while (t->ended == 0 && r != ETIMEDOUT) r = pthread_cond_timedwait(&t->endSignal, &t->mutex, &deadline);
  const int32_t ended = t->ended;
  pthread_mutex_unlock(&t->mutex);
  return ended != 0 ? 0 : -1;
}

void CloseTheoraThread(void* handle) {
  auto* t = static_cast<NativeThread*>(handle);
  pthread_join(t->thread, nullptr);
  pthread_cond_destroy(&t->endSignal);
  pthread_mutex_destroy(&t->mutex);
  delete t;
}

void SleepTheora(int32_t ms) {
  if (ms <= 0) {
    sched_yield();
    return;
  }
  timespec pause{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  nanosleep(&pause, nullptr);
}

}  // namespace quelt
