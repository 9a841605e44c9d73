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

TEST(AnnounceSchedule, TimeUntilTheNextRepeatAndStoppedLine) {
  AnnounceSchedule s(1000);
  EXPECT_TRUE(s.sendPass("a", 1000));
  EXPECT_EQ(9000, s.untilRepeat(1000));
  EXPECT_EQ(100, s.untilRepeat(9900));
  EXPECT_EQ(0, s.untilRepeat(10000));
  EXPECT_EQ(0, s.untilRepeat(12000));  // overdue: due now, never negative
  EXPECT_TRUE(s.sendPass("a", 12000));  // the repeat moves the tick
  EXPECT_EQ(9000, s.untilRepeat(12000));
  EXPECT_TRUE(s.sendPass("b", 13000));  // a change does not
  EXPECT_EQ(8000, s.untilRepeat(13000));
  EXPECT_EQ(4000, s.untilStoppedLine(13000));
  EXPECT_TRUE(s.stoppedPass(17000));
  EXPECT_EQ(5000, s.untilStoppedLine(17000));
  EXPECT_EQ(0, s.untilStoppedLine(30000));
}
