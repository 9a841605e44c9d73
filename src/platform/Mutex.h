// Unnamed mutex and condition. Both are opaque handles created by *_init.
//
// The mutex is re-entrant for its owning thread; unlocking a mutex the caller
// does not own fails with -1 and changes nothing.
//
// The condition has the semantics of a pair of Windows events: cond_signal
// wakes one waiter, or, when nobody waits, the next thread that waits;
// cond_broadcast wakes every thread waiting at that moment and nobody later.
#pragma once

typedef struct MutexImpl* mutex_t;
typedef struct CondImpl* cond_t;

int mutex_init(mutex_t* m);     // 0, or -1 when the mutex could not be created
int mutex_lock(mutex_t* m);     // waits without limit; 0 or -1
int mutex_unlock(mutex_t* m);   // 0, or -1 when the caller does not own it
int mutex_destroy(mutex_t* m);  // 0 or -1

int cond_init(cond_t* c);  // 0, or -1
// Releases m if the caller owns it, waits up to ms milliseconds for a signal
// or broadcast. Returns 0 when woken, 1 when the time ran out, -1 on failure.
// A caller that owned m owns it again on return (whatever the result); a
// caller that did not own m (the pause of the session and worker loops) does
// not own it afterwards either.
int cond_timedwait(cond_t* c, mutex_t* m, int ms);
int cond_signal(cond_t* c);
int cond_broadcast(cond_t* c);
int cond_destroy(cond_t* c);

// Holds a mutex for a scope.
class MutexGuard {
 public:
  explicit MutexGuard(mutex_t* m) : m_(m) { mutex_lock(m_); }
  ~MutexGuard() { mutex_unlock(m_); }
  MutexGuard(const MutexGuard&) = delete;
  MutexGuard& operator=(const MutexGuard&) = delete;

 private:
  mutex_t* m_;
};
