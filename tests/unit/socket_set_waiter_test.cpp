// The group wait of the student sessions over real loopback connections:
// every socket with something to read is reported (Windows names only the
// first signalled handle of a wait), up to the last slot, once per arrival,
// and a wake is never lost.
#include "SocketSetWaiter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <vector>

#include "LoopbackPair.h"

namespace {

// Waits (up to 10 s in all) until every slot of `want` was reported; the
// slots reported on the way.
std::set<int> collect(SocketSetWaiter* waiter, const std::set<int>& want) {
  std::set<int> seen;
  for (int i = 0; i < 100 && !std::includes(seen.begin(), seen.end(), want.begin(), want.end()); ++i) {
    std::vector<int> readable;
    if (waiter->wait(100, &readable) < 0) break;
    seen.insert(readable.begin(), readable.end());
  }
  return seen;
}

bool send_byte(const LoopbackPair& p) { return net_send(p.near.get(), "x", 1) == 1; }

}  // namespace

TEST(SocketSetWaiterTest, ReportsEveryReadableSlotOncePerArrivalUpToTheLastSlot) {
  SocketSetWaiter waiter;
  ASSERT_TRUE(waiter.valid());
  std::vector<std::unique_ptr<LoopbackPair>> pairs;
  std::vector<std::unique_ptr<Socket>> owned;
  for (int i = 0; i < SocketSetWaiter::kCapacity; ++i) {
    pairs.emplace_back(new LoopbackPair(connected_pair()));
    ASSERT_NE(kInvalidSocket, pairs.back()->far) << "pair " << i;
    pairs.back()->listener.reset();  // a group's worth of sockets, not three times as many
    owned.emplace_back(new Socket(pairs.back()->far));
    if (i == 2) {
      ASSERT_TRUE(send_byte(*pairs[2]));  // spoke before it was watched
    }
    ASSERT_EQ(i, waiter.add(pairs.back()->far));
  }
  LoopbackPair extra = connected_pair();
  Socket extra_owner(extra.far);
  EXPECT_EQ(-1, waiter.add(extra.far)) << "more sockets than one wait can hold";

  const int last = SocketSetWaiter::kCapacity - 1;
  ASSERT_TRUE(send_byte(*pairs[5]));
  ASSERT_TRUE(send_byte(*pairs[last]));
  pairs[9]->near.reset();  // the peer's close counts as readable
  EXPECT_EQ((std::set<int>{2, 5, 9, last}), collect(&waiter, {2, 5, 9, last}));

  // Not read, not reported again: a caller not yet reading must not spin.
  std::vector<int> readable;
  EXPECT_EQ(0, waiter.wait(200, &readable));
  EXPECT_TRUE(readable.empty());

  // A removed slot is silent, and the next socket added takes it.
  waiter.remove(5);
  ASSERT_TRUE(send_byte(*pairs[5]));
  EXPECT_EQ(5, waiter.add(extra.far));
  ASSERT_TRUE(send_byte(extra));
  EXPECT_EQ((std::set<int>{5}), collect(&waiter, {5}));
}

TEST(SocketSetWaiterTest, AWakeIsKeptUntilAWaitTakesItAndEndsAWaitWithoutLimit) {
  SocketSetWaiter waiter;
  ASSERT_TRUE(waiter.valid());
  LoopbackPair p = connected_pair();
  Socket owner(p.far);
  ASSERT_NE(-1, waiter.add(p.far));

  waiter.wake();
  waiter.wake();
  std::vector<int> readable;
  EXPECT_EQ(SocketSetWaiter::kWoken, waiter.wait(-1, &readable));
  EXPECT_EQ(0, waiter.wait(100, &readable)) << "two wakes before a wait are one";

  // A wake and data together: both reported by the one wait.
  ASSERT_TRUE(send_byte(p));
  ASSERT_EQ(1, net_wait_readable(p.far, 5000));
  waiter.wake();
  EXPECT_EQ(SocketSetWaiter::kWoken, waiter.wait(5000, &readable));
  std::set<int> seen(readable.begin(), readable.end());
  if (seen.empty()) seen = collect(&waiter, {0});
  EXPECT_EQ((std::set<int>{0}), seen);
  EXPECT_TRUE(readable.size() <= 1u);
}
