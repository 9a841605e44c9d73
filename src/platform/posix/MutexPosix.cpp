#include <pthread.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

#include "Mutex.h"

namespace {
// A per-thread address names the calling thread.
const void* self_tag() {
  static thread_local char tag;
  return &tag;
}
}  // namespace

// Re-entrant by counting on top of a plain mutex, so that an unlock by a
// thread that does not own it is refused here, before pthreads sees it.
struct MutexImpl {
  pthread_mutex_t m;
  std::atomic<const void*> owner;  // written only by the thread holding m
  int depth;                       // guarded by m
};

// The two Windows events of a condition, built on one pthread mutex and
// condition variable: `signaled` is the auto-reset event (stays set until one
// waiter takes it); `generation` counts pulses of the manual-reset event, so
// a broadcast wakes exactly the threads waiting when it happened.
struct CondImpl {
  pthread_mutex_t lock;
  pthread_cond_t cv;
  bool signaled;
  uint64_t generation;
};

int mutex_init(mutex_t* m) {
  MutexImpl* impl = new MutexImpl;
  impl->owner = nullptr;
  impl->depth = 0;
  if (pthread_mutex_init(&impl->m, nullptr) != 0) {
    delete impl;
    *m = nullptr;
    return -1;
  }
  *m = impl;
  return 0;
}

int mutex_lock(mutex_t* m) {
  if (m == nullptr || *m == nullptr) return -1;
  MutexImpl* impl = *m;
  if (impl->owner.load(std::memory_order_relaxed) == self_tag()) {
    impl->depth++;
    return 0;
  }
  if (pthread_mutex_lock(&impl->m) != 0) return -1;
  impl->owner.store(self_tag(), std::memory_order_relaxed);
  impl->depth = 1;
  return 0;
}

int mutex_unlock(mutex_t* m) {
  if (m == nullptr || *m == nullptr) return -1;
  MutexImpl* impl = *m;
  if (impl->owner.load(std::memory_order_relaxed) != self_tag()) return -1;
  if (--impl->depth > 0) return 0;
  impl->owner.store(nullptr, std::memory_order_relaxed);
  return pthread_mutex_unlock(&impl->m) == 0 ? 0 : -1;
}

int mutex_destroy(mutex_t* m) {
  if (m == nullptr || *m == nullptr) return -1;
  int rc = pthread_mutex_destroy(&(*m)->m);
  delete *m;
  *m = nullptr;
  return rc == 0 ? 0 : -1;
}

int cond_init(cond_t* c) {
  CondImpl* impl = new CondImpl;
  impl->signaled = false;
  impl->generation = 0;
  pthread_condattr_t attr;
  pthread_condattr_init(&attr);
  pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
  int rc1 = pthread_mutex_init(&impl->lock, nullptr);
  int rc2 = pthread_cond_init(&impl->cv, &attr);
  pthread_condattr_destroy(&attr);
  if (rc1 != 0 || rc2 != 0) {
    delete impl;
    *c = nullptr;
    return -1;
  }
  *c = impl;
  return 0;
}

int cond_timedwait(cond_t* c, mutex_t* m, int ms) {
  if (c == nullptr || *c == nullptr) return -1;
  CondImpl* impl = *c;
  bool owned = mutex_unlock(m) == 0;

  struct timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  if (ms < 0) ms = 0;
  deadline.tv_sec += ms / 1000;
  deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }

  int result = 1;
  pthread_mutex_lock(&impl->lock);
  uint64_t start_generation = impl->generation;
  for (;;) {
    if (impl->signaled) {
      impl->signaled = false;
      result = 0;
      break;
    }
    if (impl->generation != start_generation) {
      result = 0;
      break;
    }
    int rc = pthread_cond_timedwait(&impl->cv, &impl->lock, &deadline);
    if (rc == ETIMEDOUT) {
      if (impl->signaled) {
        impl->signaled = false;
        result = 0;
      } else if (impl->generation != start_generation) {
        result = 0;
      }
      break;
    }
    if (rc != 0) {
      result = -1;
      break;
    }
  }
  pthread_mutex_unlock(&impl->lock);

  if (owned && mutex_lock(m) != 0 && result == 0) result = -1;
  return result;
}

int cond_signal(cond_t* c) {
  if (c == nullptr || *c == nullptr) return -1;
  CondImpl* impl = *c;
  pthread_mutex_lock(&impl->lock);
  impl->signaled = true;
  pthread_cond_broadcast(&impl->cv);
  pthread_mutex_unlock(&impl->lock);
  return 0;
}

int cond_broadcast(cond_t* c) {
  if (c == nullptr || *c == nullptr) return -1;
  CondImpl* impl = *c;
  pthread_mutex_lock(&impl->lock);
  impl->generation++;
  pthread_cond_broadcast(&impl->cv);
  pthread_mutex_unlock(&impl->lock);
  return 0;
}

int cond_destroy(cond_t* c) {
  if (c == nullptr || *c == nullptr) return -1;
  int rc1 = pthread_cond_destroy(&(*c)->cv);
  int rc2 = pthread_mutex_destroy(&(*c)->lock);
  delete *c;
  *c = nullptr;
  return rc1 == 0 && rc2 == 0 ? 0 : -1;
}
