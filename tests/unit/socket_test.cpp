#include "Socket.h"

#include <gtest/gtest.h>

#include <utility>

#include "LoopbackPair.h"

namespace {

using Pair = LoopbackPair;

// The peer of `s` has closed: a read returns end of stream.
bool peer_closed(sock_t s) {
  if (net_wait_readable(s, 5000) != 1) return false;
  char c;
  return net_recv(s, &c, 1) == 0;
}

// The socket still carries data to its peer.
bool still_open(sock_t s, sock_t peer) {
  if (net_send(s, "x", 1) != 1) return false;
  if (net_wait_readable(peer, 5000) != 1) return false;
  char c = 0;
  return net_recv(peer, &c, 1) == 1 && c == 'x';
}

}  // namespace

TEST(SocketTest, ClosesWhatItOwnsWhenItGoesAndHoldsNothingByDefault) {
  Socket empty;
  EXPECT_FALSE(empty.valid());
  EXPECT_EQ(kInvalidSocket, empty.get());

  for (SocketClose how : {SocketClose::kAbrupt, SocketClose::kGraceful}) {
    Pair p = connected_pair();
    ASSERT_NE(kInvalidSocket, p.far);
    {
      Socket owner(p.far, how);
      EXPECT_TRUE(owner.valid());
      EXPECT_TRUE(still_open(owner.get(), p.near.get()));
    }
    EXPECT_TRUE(peer_closed(p.near.get()));
  }
}

TEST(SocketTest, AMoveHandsTheHandleOnAndOnlyTheLastOwnerCloses) {
  Pair p = connected_pair();
  ASSERT_NE(kInvalidSocket, p.far);
  Socket second;
  {
    Socket first(p.far);
    Socket moved(std::move(first));
    EXPECT_FALSE(first.valid());
    second = std::move(moved);
    EXPECT_FALSE(moved.valid());
  }
  // Both earlier owners are gone and the connection is still up.
  EXPECT_EQ(p.far, second.get());
  EXPECT_TRUE(still_open(second.get(), p.near.get()));
  second.reset();
  EXPECT_FALSE(second.valid());
  EXPECT_TRUE(peer_closed(p.near.get()));
}

TEST(SocketTest, AssigningOverAnOwnerClosesItsOldHandle) {
  Pair old_pair = connected_pair();
  Pair new_pair = connected_pair();
  ASSERT_NE(kInvalidSocket, old_pair.far);
  ASSERT_NE(kInvalidSocket, new_pair.far);
  Socket owner(old_pair.far);
  owner = Socket(new_pair.far);
  EXPECT_TRUE(peer_closed(old_pair.near.get()));
  EXPECT_TRUE(still_open(owner.get(), new_pair.near.get()));
  // Taking the handle it already holds closes nothing.
  owner.reset(new_pair.far);
  EXPECT_TRUE(still_open(owner.get(), new_pair.near.get()));
}

TEST(SocketTest, AReleasedHandleIsTheCallersToClose) {
  Pair p = connected_pair();
  ASSERT_NE(kInvalidSocket, p.far);
  sock_t taken;
  {
    Socket owner(p.far, SocketClose::kGraceful);
    taken = owner.release();
    EXPECT_FALSE(owner.valid());
  }
  EXPECT_EQ(p.far, taken);
  EXPECT_TRUE(still_open(taken, p.near.get()));
  close_socket(taken);
  EXPECT_TRUE(peer_closed(p.near.get()));
}
