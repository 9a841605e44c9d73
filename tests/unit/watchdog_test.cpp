#include "TeacherWatchdog.h"

#include <gtest/gtest.h>

#include "CourseHolder.h"
#include "HttpRecord.h"
#include "InstructionManager.h"
#include "Settings.h"
#include "TeacherPresence.h"

namespace {

// Port 9 on loopback: nobody listens, so the end-of-class post fails at once.
const int kNobody = 9;

class TeacherWatchdogTest : public ::testing::Test {
 protected:
  void publish(int32_t class_id, int32_t teacher_id) {
    BrocastData data = course_.getData();
    data.class_id = class_id;
    data.teacher_id = teacher_id;
    course_.setData(data);
  }
  void check(int64_t after_loop_start_ms) {
    watchdog_.checkTeacherOnline(kNobody, settings_.loopStartMs() + after_loop_start_ms);
  }

  Settings settings_;
  CourseHolder course_{settings_};
  TeacherPresence presence_;
  InstructionManager manager_;
  HttpRecord http_;
  TeacherWatchdog watchdog_{course_, presence_, manager_, http_, settings_};
};

}  // namespace

TEST_F(TeacherWatchdogTest, GracePeriodPingsAndTheStopFlag) {
  settings_.setLoopStartMs(1000000);
  publish(-1, 12);
  check(500000);
  EXPECT_FALSE(course_.stopped());  // no course: never watched

  publish(3, 12);
  check(100000);
  EXPECT_FALSE(course_.stopped());  // within the grace period
  check(121000);
  EXPECT_TRUE(course_.stopped());  // never pinged: fired

  publish(3, 12);  // re-armed by a new course
  presence_.recordPing(12, settings_.loopStartMs() + 200000);
  check(320000);
  EXPECT_FALSE(course_.stopped());  // pinged 120 s ago: still online
  check(320001);
  EXPECT_TRUE(course_.stopped());
}

TEST_F(TeacherWatchdogTest, AnotherTeachersPingEndsTheGracePeriod) {
  settings_.setLoopStartMs(5000000);
  publish(4, 13);
  presence_.recordPing(7, settings_.loopStartMs());
  check(1000);
  EXPECT_TRUE(course_.stopped());
}

TEST_F(TeacherWatchdogTest, WithEndClassAlreadyCurrentItStillStopsTheAnnouncer) {
  settings_.setLoopStartMs(5000000);
  presence_.recordPing(7, settings_.loopStartMs());
  Instruction end;
  end.szInstruction = "{\"id\":\"5\",\"params\":{\"action\":\"end_class\"},\"lock_screen\":0}";
  end.instruct_id = 5;
  manager_.add(end);
  publish(4, 13);
  check(2000);
  EXPECT_TRUE(course_.stopped());
}
