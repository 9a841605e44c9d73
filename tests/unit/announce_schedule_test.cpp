#include <gtest/gtest.h>

#include "AnnounceSchedule.h"

TEST(AnnounceSchedule, NewTextAtOnceSameTextEveryNineSeconds) {
  AnnounceSchedule s(0);
  EXPECT_TRUE(s.sendPass("a", 100));  // new: at once, the tick stays at 0
  EXPECT_FALSE(s.sendPass("a", 200));
  EXPECT_FALSE(s.sendPass("a", 8999));
  EXPECT_TRUE(s.sendPass("a", 9000));  // the tick moves to 9000
  EXPECT_FALSE(s.sendPass("a", 17999));
  EXPECT_TRUE(s.sendPass("b", 10000));  // changed: at once, tick still 9000
  EXPECT_FALSE(s.sendPass("b", 10100));
  EXPECT_TRUE(s.sendPass("b", 18000));
}

TEST(AnnounceSchedule, StoppedLineEveryFiveSecondsAndResumeAtOnce) {
  AnnounceSchedule s(0);
  EXPECT_TRUE(s.sendPass("a", 10));
  EXPECT_FALSE(s.stoppedPass(4999));
  EXPECT_TRUE(s.stoppedPass(5000));
  EXPECT_FALSE(s.stoppedPass(9999));
  EXPECT_TRUE(s.stoppedPass(10000));
  EXPECT_TRUE(s.sendPass("a", 10100));  // the same course goes out again at once
  EXPECT_FALSE(s.sendPass("a", 10200));
}
