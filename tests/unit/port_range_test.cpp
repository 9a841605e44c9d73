#include "PortRange.h"

#include <gtest/gtest.h>

#include "Socket.h"

namespace {
const char* const kLoopback = "127.0.0.1";
}  // namespace

TEST(PortRangeTest, TakesTheFirstFreePortOfTheRangeInOrder) {
  int first = first_free_port(46200, 46289, kLoopback);
  ASSERT_LE(first, 46289);
  ASSERT_EQ(0, port_in_use(first + 1, kLoopback));
  EXPECT_EQ(first, first_free_port(first, first + 5, kLoopback));

  Socket taken(open_tcp_listener(kLoopback, first, 4));
  ASSERT_TRUE(taken.valid());
  EXPECT_EQ(first + 1, first_free_port(first, first + 5, kLoopback));
}

TEST(PortRangeTest, ReportsOnePastTheRangeWhenNoPortIsFree) {
  int first = first_free_port(46300, 46389, kLoopback);
  ASSERT_LE(first, 46389);
  ASSERT_EQ(0, port_in_use(first + 1, kLoopback));
  Socket a(open_tcp_listener(kLoopback, first, 4));
  Socket b(open_tcp_listener(kLoopback, first + 1, 4));
  ASSERT_TRUE(a.valid());
  ASSERT_TRUE(b.valid());
  EXPECT_EQ(first + 2, first_free_port(first, first + 1, kLoopback));
}
