// Mutex and condition on Win32: a kernel mutex and a pair of events.
#include <windows.h>

#include "Mutex.h"

// The condition's two events. The auto-reset one carries cond_signal: it wakes
// one waiter or stays set for the next one. The manual-reset one carries
// cond_broadcast through PulseEvent, which wakes whoever waits at that moment
// and leaves it unset.
struct CondImpl {
  HANDLE signal;
  HANDLE broadcast;
};

namespace {

// mutex_t carries the kernel mutex handle itself; no allocation behind it.
HANDLE MutexHandle(const mutex_t* m) { return reinterpret_cast<HANDLE>(*m); }

// Waiting for a mutex whose owner thread ended reports WAIT_ABANDONED but
// still hands ownership to the caller.
bool Own(HANDLE mutex) {
  DWORD r = WaitForSingleObject(mutex, INFINITE);
  return r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

}  // namespace

int mutex_init(mutex_t* m) {
  if (m == nullptr) return -1;
  HANDLE h = CreateMutexW(nullptr, FALSE, nullptr);
  *m = reinterpret_cast<mutex_t>(h);
  return h != nullptr ? 0 : -1;
}

int mutex_lock(mutex_t* m) {
  if (m == nullptr || *m == nullptr) return -1;
  return Own(MutexHandle(m)) ? 0 : -1;
}

int mutex_unlock(mutex_t* m) {
  if (m == nullptr || *m == nullptr) return -1;
  return ReleaseMutex(MutexHandle(m)) ? 0 : -1;
}

int mutex_destroy(mutex_t* m) {
  if (m == nullptr || *m == nullptr) return -1;
  BOOL ok = CloseHandle(MutexHandle(m));
  *m = nullptr;
  return ok ? 0 : -1;
}

int cond_init(cond_t* c) {
  if (c == nullptr) return -1;
  CondImpl* impl = new CondImpl;
  impl->signal = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  impl->broadcast = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (impl->signal == nullptr || impl->broadcast == nullptr) {
    if (impl->signal != nullptr) CloseHandle(impl->signal);
    if (impl->broadcast != nullptr) CloseHandle(impl->broadcast);
    delete impl;
    *c = nullptr;
    return -1;
  }
  *c = impl;
  return 0;
}

int cond_timedwait(cond_t* c, mutex_t* m, int ms) {
  if (c == nullptr || *c == nullptr) return -1;
  HANDLE mutex = m != nullptr ? MutexHandle(m) : nullptr;
  // Fails for a caller that does not own the mutex (or gave none); such a
  // caller must not own it afterwards, so it is not taken again below.
  bool owned = mutex != nullptr && ReleaseMutex(mutex) != 0;
  // Not atomic with the release: a broadcast between the two is missed, as
  // with the events this condition models. A signal is not: it stays set.
  HANDLE events[2] = {(*c)->signal, (*c)->broadcast};
  // A negative time waits without limit, as it does when the int reaches
  // WaitForMultipleObjects unchanged (-1 is INFINITE).
  DWORD timeout = ms < 0 ? INFINITE : static_cast<DWORD>(ms);
  DWORD r = WaitForMultipleObjects(2, events, FALSE, timeout);
  if (r == WAIT_OBJECT_0 || r == WAIT_OBJECT_0 + 1) {
    if (owned && !Own(mutex)) return -1;
    return 0;
  }
  if (r == WAIT_TIMEOUT) {
    if (owned && !Own(mutex)) return -1;
    return 1;
  }
  if (owned) Own(mutex);
  return -1;
}

int cond_signal(cond_t* c) {
  if (c == nullptr || *c == nullptr) return -1;
  return SetEvent((*c)->signal) ? 0 : -1;
}

int cond_broadcast(cond_t* c) {
  if (c == nullptr || *c == nullptr) return -1;
  return PulseEvent((*c)->broadcast) ? 0 : -1;
}

int cond_destroy(cond_t* c) {
  if (c == nullptr || *c == nullptr) return -1;
  BOOL ok = CloseHandle((*c)->signal);
  ok = CloseHandle((*c)->broadcast) && ok;
  delete *c;
  *c = nullptr;
  return ok ? 0 : -1;
}
