#include <pthread.h>
#include <time.h>

#include <cerrno>
#include <cstdint>

#include "Mutex.h"

struct MutexImpl {
  pthread_mutex_t m;
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
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  int rc = pthread_mutex_init(&impl->m, &attr);
  pthread_mutexattr_destroy(&attr);
  if (rc != 0) {
    delete impl;
    *m = nullptr;
    return -1;
  }
  *m = impl;
  return 0;
}

int mutex_lock(mutex_t* m) {
  if (m == nullptr || *m == nullptr) return -1;
  return pthread_mutex_lock(&(*m)->m) == 0 ? 0 : -1;
}

int mutex_unlock(mutex_t* m) {
  if (m == nullptr || *m == nullptr) return -1;
  // A recursive mutex refuses (EPERM) an unlock by a thread that does not own it.
  return pthread_mutex_unlock(&(*m)->m) == 0 ? 0 : -1;
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
