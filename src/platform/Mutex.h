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

// A mutex_t owned by one object: created by the constructor, closed by the
// destructor. get() gives the handle to the functions above. Movable (the
// moved-from Mutex holds nothing), not copyable. A mutex that could not be
// created makes every call on it fail with -1.
class Mutex {
 public:
  Mutex() { mutex_init(&m_); }
  ~Mutex();
  Mutex(Mutex&& other) noexcept : m_(other.m_) { other.m_ = nullptr; }
  Mutex& operator=(Mutex&& other) noexcept;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  mutex_t* get() { return &m_; }
  int lock() { return mutex_lock(&m_); }
  int unlock() { return mutex_unlock(&m_); }

 private:
  mutex_t m_ = nullptr;
};

// A cond_t owned the same way.
class Condition {
 public:
  Condition() { cond_init(&c_); }
  ~Condition();
  Condition(Condition&& other) noexcept : c_(other.c_) { other.c_ = nullptr; }
  Condition& operator=(Condition&& other) noexcept;
  Condition(const Condition&) = delete;
  Condition& operator=(const Condition&) = delete;

  cond_t* get() { return &c_; }
  // m may be null: a pause that owns no mutex (see cond_timedwait).
  int timedwait(Mutex* m, int ms) { return cond_timedwait(&c_, m != nullptr ? m->get() : nullptr, ms); }
  int signal() { return cond_signal(&c_); }
  int broadcast() { return cond_broadcast(&c_); }

 private:
  cond_t c_ = nullptr;
};

// Holds a mutex for a scope.
class MutexGuard {
 public:
  explicit MutexGuard(mutex_t* m) : m_(m) { mutex_lock(m_); }
  explicit MutexGuard(Mutex* m) : MutexGuard(m->get()) {}
  ~MutexGuard() { mutex_unlock(m_); }
  MutexGuard(const MutexGuard&) = delete;
  MutexGuard& operator=(const MutexGuard&) = delete;

 private:
  mutex_t* m_;
};
