#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>

#include "Clock.h"
#include "SharedState.h"
#include "StateStore.h"
#include "Thread.h"

namespace {

// Each test uses objects of its own names, so the tests never share a table.
std::string unique_name(const char* what) {
  static int counter = 0;
  return std::string("ludarium.test.") + what + "." + std::to_string(wall_ms()) + "." +
         std::to_string(++counter);
}

class StateStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lock_name_ = unique_name("lock");
    shm_name_ = unique_name("shm");
    store_.reset(new StateStore(lock_name_.c_str(), shm_name_.c_str()));
    ASSERT_TRUE(store_->is_open());
    raw_.reset(SharedMemory::open(shm_name_.c_str(), StateStore::kSize));
    ASSERT_NE(nullptr, raw_);
  }

  // Record i's raw bytes, as ludguard sees them.
  const unsigned char* record(int i) { return raw_->data() + i * StateStore::kRecordSize; }
  int32_t flag(int i) {
    int32_t v;
    memcpy(&v, record(i), 4);
    return v;
  }
  std::string key(int i) { return reinterpret_cast<const char*>(record(i) + 4); }
  std::string value(int i) { return reinterpret_cast<const char*>(record(i) + 1028); }
  int64_t time(int i) {
    int64_t v;
    memcpy(&v, record(i) + 2056, 8);
    return v;
  }

  std::string lock_name_, shm_name_;
  std::unique_ptr<StateStore> store_;
  std::unique_ptr<SharedMemory> raw_;
};

struct Holder {
  Holder(const std::string& n, int ms, bool r) : name(n), hold_ms(ms), release(r) {}
  std::string name;
  int hold_ms;
  bool release;
  std::atomic<bool> locked{false};
  std::atomic<bool> done{false};
  std::unique_ptr<NamedMutex> handle;
};

// Takes the named mutex on another thread, holds it, and releases it or (for
// an abandoned lock) ends without releasing it.
unsigned int hold_lock(void* p) {
  Holder* h = static_cast<Holder*>(p);
  h->handle.reset(NamedMutex::open(h->name.c_str()));
  if (h->handle && h->handle->lock(5000) == NamedMutex::kAcquired) {
    h->locked = true;
    sleep_ms(static_cast<unsigned>(h->hold_ms));
    if (h->release) h->handle->unlock();
  }
  h->done = true;
  return 0;
}

void wait_for(const std::atomic<bool>& flag) {
  for (int i = 0; i < 1000 && !flag; ++i) sleep_ms(10);
}

}  // namespace

TEST_F(StateStoreTest, UpdatesInPlaceAndKeepsTheByteLayout) {
  int64_t before = wall_ms();
  ASSERT_EQ(0, store_->write("A", "1"));
  ASSERT_EQ(0, store_->write("A", "2"));
  EXPECT_EQ(1, flag(0));
  EXPECT_EQ("A", key(0));
  EXPECT_EQ("2", value(0));
  EXPECT_NE(1, flag(1));
  std::string v;
  int64_t t = 0;
  ASSERT_EQ(0, store_->read("A", &v, &t));
  EXPECT_EQ("2", v);
  EXPECT_EQ(time(0), t);
  EXPECT_GE(t, before);
  EXPECT_LE(t, wall_ms());
}

TEST_F(StateStoreTest, EmptyValueTakesANewRecordAndNeverReplaces) {
  store_->write("A", "2");
  ASSERT_EQ(0, store_->write("A", ""));
  EXPECT_EQ(1, flag(1));
  EXPECT_EQ("A", key(1));
  EXPECT_EQ("", value(1));
  std::string v;
  store_->read("A", &v);
  EXPECT_EQ("2", v);
}

TEST_F(StateStoreTest, AbsentKeyLeavesTheOutputsAlone) {
  std::string v;
  int64_t t = 42;
  EXPECT_EQ(0, store_->read("missing", &v, &t));
  EXPECT_EQ("", v);
  EXPECT_EQ(42, t);
}

TEST_F(StateStoreTest, LongValuesAreKeptWholeInContinuationRecords) {
  // 1,047 bytes, as a course with Chinese names comes to.
  std::string long_value;
  for (int i = 0; i < 1047; ++i) long_value.push_back(static_cast<char>('a' + i % 26));
  ASSERT_EQ(0, store_->write("K", long_value));
  std::string v;
  int64_t t = 0;
  ASSERT_EQ(0, store_->read("K", &v, &t));
  EXPECT_EQ(long_value, v);
  // The head keeps the layout (and the first 1024 bytes for older readers),
  // the rest is in "K#1" with the same time.
  EXPECT_EQ("K", key(0));
  EXPECT_EQ(long_value.substr(0, 1024),
            std::string(reinterpret_cast<const char*>(record(0) + 1028), 1024));
  EXPECT_EQ(0, record(0)[2052]);  // the terminator lies in the gap
  EXPECT_EQ("K#1", key(1));
  EXPECT_EQ(long_value.substr(1024), value(1));
  EXPECT_EQ(time(0), time(1));
  EXPECT_EQ(time(0), t);

  // Three records' worth, then shorter again: the tail shrinks with it.
  std::string longer(2500, 'w');
  ASSERT_EQ(0, store_->write("K", longer));
  ASSERT_EQ(0, store_->read("K", &v));
  EXPECT_EQ(longer, v);
  EXPECT_EQ("K#2", key(2));
  ASSERT_EQ(0, store_->write("K", std::string(1024, 's')));
  ASSERT_EQ(0, store_->read("K", &v));
  EXPECT_EQ(std::string(1024, 's'), v);
  EXPECT_NE(1, flag(1));
  EXPECT_NE(1, flag(2));

  // A head rewritten by a writer that knows no continuations (new time):
  // the old tail is not joined to it.
  ASSERT_EQ(0, store_->write("K", long_value));
  unsigned char* head = raw_->data();
  memset(head + 1028, 'o', 1024);
  int64_t later = time(0) + 5;
  memcpy(head + 2056, &later, 8);
  ASSERT_EQ(0, store_->read("K", &v));
  EXPECT_EQ(std::string(1024, 'o'), v);

  // Removing the key frees its tail too.
  ASSERT_EQ(0, store_->remove("K"));
  EXPECT_NE(1, flag(0));
  EXPECT_NE(1, flag(1));

  // A key of exactly 1024 bytes: its terminator is overwritten by the value,
  // and it is still found.
  std::string long_key(1024, 'k');
  ASSERT_EQ(0, store_->write(long_key, "x"));
  EXPECT_EQ(0, store_->read(long_key, &v));
  EXPECT_EQ("x", v);
}

TEST_F(StateStoreTest, WhatCannotBeStoredWholeIsRefusedAndThePreviousValueKept) {
  for (int i = 0; i < StateStore::kRecords - 1; ++i) {
    ASSERT_EQ(0, store_->write("key" + std::to_string(i), "v"));
  }
  // One record left: a new short key fits, a long value of an existing key
  // that needs two more records does not.
  EXPECT_EQ(StateStore::kRefused, store_->write("key0", std::string(2500, 'x')));
  std::string v;
  store_->read("key0", &v);
  EXPECT_EQ("v", v);
  EXPECT_EQ(0, store_->write("one more", "v"));
  EXPECT_EQ(StateStore::kRefused, store_->write("another", "v"));
  v = "unchanged";
  store_->read("another", &v);
  EXPECT_EQ("unchanged", v);
  EXPECT_EQ(0, store_->write("key98", "updated"));  // updates still work
  store_->read("key98", &v);
  EXPECT_EQ("updated", v);
  // A zero byte would cut the text for every reader.
  EXPECT_EQ(StateStore::kRefused, store_->write("key1", std::string("a\0b", 3)));
  store_->read("key1", &v);
  EXPECT_EQ("v", v);
}

TEST_F(StateStoreTest, RemoveFreesTheFirstRecordOnly) {
  store_->write("A", "1");
  store_->write("A", "");
  ASSERT_EQ(0, store_->remove("A"));
  EXPECT_EQ(0, flag(0));
  EXPECT_EQ("A", key(0));  // a freed record keeps its old contents
  std::string v = "x";
  store_->read("A", &v);
  EXPECT_EQ("", v);  // the second record is now the first match
  store_->write("B", "b");
  EXPECT_EQ("B", key(0));  // the freed record is reused first
}

TEST_F(StateStoreTest, RecordWithoutTerminatorIsNotReadPastItsField) {
  store_->write("A", "1");
  // Fill record 0's value and gap without any zero byte.
  unsigned char* r = raw_->data();
  memset(r + 1028, 'z', 1024 + 4);
  std::string v;
  ASSERT_EQ(0, store_->read("A", &v));
  EXPECT_EQ(std::string(1024, 'z'), v);
}

TEST_F(StateStoreTest, ClosedStoreAnswersMinusThree) {
  // A mapping that cannot be created: the name holds path separators.
  StateStore closed(unique_name("lock").c_str(), "no/such\\dir");
  EXPECT_FALSE(closed.is_open());
  std::string v;
  EXPECT_EQ(-3, closed.write("A", "1"));
  EXPECT_EQ(-3, closed.read("A", &v));
  EXPECT_EQ(-3, closed.remove("A"));
}

TEST_F(StateStoreTest, LockHeldElsewhereForMoreThanTwoSecondsTimesOut) {
  Holder h{lock_name_, 3000, true};
  ASSERT_EQ(0, thread_begin(hold_lock, &h));
  wait_for(h.locked);
  ASSERT_TRUE(h.locked);
  int64_t start = elapsed_ms();
  EXPECT_EQ(-1, store_->write("A", "1"));
  EXPECT_GE(elapsed_ms() - start, 1900);
  wait_for(h.done);
  EXPECT_EQ(0, store_->write("A", "1"));
}

TEST_F(StateStoreTest, AbandonedLockIsRecovered) {
  Holder h{lock_name_, 0, false};
  ASSERT_EQ(0, thread_begin(hold_lock, &h));
  wait_for(h.done);
  sleep_ms(100);  // let the holder thread end
  // The wait that finds the lock abandoned fails, but leaves it released.
  EXPECT_EQ(-3, store_->write("A", "1"));
  EXPECT_EQ(0, store_->write("A", "2"));
  std::string v;
  EXPECT_EQ(0, store_->read("A", &v));
  EXPECT_EQ("2", v);
}
