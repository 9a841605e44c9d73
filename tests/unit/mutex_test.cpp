#include "Mutex.h"

#include <gtest/gtest.h>

#include <atomic>

#include "Clock.h"
#include "Thread.h"

namespace {

struct Waiter {
  cond_t* cond;
  mutex_t* mutex;
  int wait_ms;
  std::atomic<int> result{-100};
  std::atomic<bool> done{false};
};

unsigned int wait_thread(void* p) {
  Waiter* w = static_cast<Waiter*>(p);
  w->result = cond_timedwait(w->cond, w->mutex, w->wait_ms);
  w->done = true;
  return 0;
}

bool wait_until(const std::atomic<bool>& flag, int ms) {
  int64_t end = elapsed_ms() + ms;
  while (!flag && elapsed_ms() < end) sleep_ms(5);
  return flag;
}

struct Locker {
  mutex_t* mutex;
  std::atomic<int> unlock_result{-100};
  std::atomic<bool> done{false};
};

unsigned int foreign_unlock(void* p) {
  Locker* l = static_cast<Locker*>(p);
  l->unlock_result = mutex_unlock(l->mutex);
  l->done = true;
  return 0;
}

unsigned int try_lock_and_release(void* p) {
  Locker* l = static_cast<Locker*>(p);
  mutex_lock(l->mutex);
  mutex_unlock(l->mutex);
  l->done = true;
  return 0;
}

class ConditionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(0, mutex_init(&mutex_));
    ASSERT_EQ(0, cond_init(&cond_));
  }
  void TearDown() override {
    cond_destroy(&cond_);
    mutex_destroy(&mutex_);
  }
  mutex_t mutex_;
  cond_t cond_;
};

}  // namespace

TEST_F(ConditionTest, MutexIsReentrantAndRefusesAForeignUnlock) {
  ASSERT_EQ(0, mutex_lock(&mutex_));
  ASSERT_EQ(0, mutex_lock(&mutex_));
  Locker other{&mutex_};
  ASSERT_EQ(0, thread_begin(foreign_unlock, &other));
  ASSERT_TRUE(wait_until(other.done, 5000));
  EXPECT_EQ(-1, other.unlock_result);
  EXPECT_EQ(0, mutex_unlock(&mutex_));
  EXPECT_EQ(0, mutex_unlock(&mutex_));
  EXPECT_EQ(-1, mutex_unlock(&mutex_));
}

TEST_F(ConditionTest, TimedWaitTimesOutAfterTheGivenTime) {
  mutex_lock(&mutex_);
  int64_t start = elapsed_ms();
  EXPECT_EQ(1, cond_timedwait(&cond_, &mutex_, 200));
  int64_t took = elapsed_ms() - start;
  EXPECT_GE(took, 190);
  EXPECT_LT(took, 5000);
  EXPECT_EQ(0, mutex_unlock(&mutex_));  // owned again after the wait
}

TEST_F(ConditionTest, SignalWakesOneWaiterAtOnce) {
  Waiter w{&cond_, &mutex_, 20000};
  ASSERT_EQ(0, thread_begin(wait_thread, &w));
  sleep_ms(100);
  EXPECT_FALSE(w.done);
  int64_t start = elapsed_ms();
  cond_signal(&cond_);
  ASSERT_TRUE(wait_until(w.done, 5000));
  EXPECT_EQ(0, w.result);
  EXPECT_LT(elapsed_ms() - start, 5000);
}

TEST_F(ConditionTest, SignalWithNobodyWaitingWakesTheNextWaitOnly) {
  cond_signal(&cond_);
  EXPECT_EQ(0, cond_timedwait(&cond_, nullptr, 5000));
  EXPECT_EQ(1, cond_timedwait(&cond_, nullptr, 50));  // the signal was used up
}

TEST_F(ConditionTest, BroadcastWakesEveryCurrentWaiterButNoLaterOne) {
  Waiter a{&cond_, nullptr, 20000};
  Waiter b{&cond_, nullptr, 20000};
  ASSERT_EQ(0, thread_begin(wait_thread, &a));
  ASSERT_EQ(0, thread_begin(wait_thread, &b));
  sleep_ms(200);
  cond_broadcast(&cond_);
  ASSERT_TRUE(wait_until(a.done, 5000));
  ASSERT_TRUE(wait_until(b.done, 5000));
  EXPECT_EQ(0, a.result);
  EXPECT_EQ(0, b.result);
  EXPECT_EQ(1, cond_timedwait(&cond_, nullptr, 50));
}

TEST_F(ConditionTest, APauseWithoutOwningTheMutexLeavesItFree) {
  EXPECT_EQ(1, cond_timedwait(&cond_, &mutex_, 20));
  cond_signal(&cond_);
  EXPECT_EQ(0, cond_timedwait(&cond_, &mutex_, 1000));
  // Another thread can take the mutex: this thread did not end up owning it.
  Locker other{&mutex_};
  ASSERT_EQ(0, thread_begin(try_lock_and_release, &other));
  EXPECT_TRUE(wait_until(other.done, 5000));
  EXPECT_EQ(-1, mutex_unlock(&mutex_));
}

namespace {

struct GuardedLocker {
  Mutex* mutex;
  std::atomic<bool> done{false};
};

unsigned int lock_owned_mutex(void* p) {
  GuardedLocker* l = static_cast<GuardedLocker*>(p);
  {
    MutexGuard guard(l->mutex);
  }
  l->done = true;
  return 0;
}

}  // namespace

TEST(MutexOwnerTest, AGuardHoldsTheOwnedMutexForItsScope) {
  Mutex mutex;
  ASSERT_NE(nullptr, *mutex.get());
  GuardedLocker other{&mutex};
  {
    MutexGuard guard(&mutex);
    // Re-entrant for its owner, as the handle is.
    EXPECT_EQ(0, mutex.lock());
    EXPECT_EQ(0, mutex.unlock());
    ASSERT_EQ(0, thread_begin(lock_owned_mutex, &other));
    sleep_ms(100);
    EXPECT_FALSE(other.done);
  }
  EXPECT_TRUE(wait_until(other.done, 5000));
  EXPECT_EQ(-1, mutex.unlock());
}

TEST(MutexOwnerTest, AMovedMutexWorksInItsNewOwnerOnly) {
  Mutex first;
  mutex_t handle = *first.get();
  Mutex second(std::move(first));
  EXPECT_EQ(nullptr, *first.get());
  EXPECT_EQ(-1, first.lock());
  EXPECT_EQ(handle, *second.get());
  EXPECT_EQ(0, second.lock());
  EXPECT_EQ(0, second.unlock());

  Mutex third;
  third = std::move(second);
  EXPECT_EQ(handle, *third.get());
  EXPECT_EQ(0, third.lock());
  EXPECT_EQ(0, third.unlock());
}

TEST(MutexOwnerTest, AnOwnedConditionSignalsTimesOutAndMoves) {
  Mutex mutex;
  Condition cond;
  ASSERT_NE(nullptr, *cond.get());
  ASSERT_EQ(0, mutex.lock());
  EXPECT_EQ(1, cond.timedwait(&mutex, 20));
  EXPECT_EQ(0, cond.signal());
  EXPECT_EQ(0, cond.timedwait(&mutex, 5000));
  // The wait gave the mutex back to its owner.
  EXPECT_EQ(0, mutex.unlock());
  // A pause without any mutex, as the worker loops take it.
  EXPECT_EQ(1, cond.timedwait(nullptr, 20));

  Condition moved(std::move(cond));
  EXPECT_EQ(nullptr, *cond.get());
  EXPECT_EQ(-1, cond.signal());
  EXPECT_EQ(0, moved.signal());
  EXPECT_EQ(0, moved.timedwait(nullptr, 5000));
}
