#include "TeacherWatchdog.h"

#include <gtest/gtest.h>

#include "Brocast.h"
#include "Globals.h"
#include "InstructionManager.h"
#include "TeacherPresence.h"

namespace {

// Port 9 on loopback: nobody listens, so the end-of-class post fails at once.
const int kNobody = 9;

void publish(int32_t class_id, int32_t teacher_id) {
  BrocastData course = gBorcastObj.getData();
  course.class_id = class_id;
  course.teacher_id = teacher_id;
  gBorcastObj.setData(course);
}

}  // namespace

// One test: the process-wide presence map cannot be emptied between tests.
TEST(TeacherWatchdog, GracePeriodPingsAndTheStopFlag) {
  gLoopStartMs = 1000000;
  publish(-1, 12);
  checkTeacherOnline(kNobody, gLoopStartMs + 500000);
  EXPECT_FALSE(gBorcastObj.stopped());  // no course: never watched

  publish(3, 12);
  checkTeacherOnline(kNobody, gLoopStartMs + 100000);
  EXPECT_FALSE(gBorcastObj.stopped());  // within the grace period
  checkTeacherOnline(kNobody, gLoopStartMs + 121000);
  EXPECT_TRUE(gBorcastObj.stopped());  // never pinged: fired

  publish(3, 12);  // re-armed by a new course
  gTeacherPresence.recordPing(12, gLoopStartMs + 200000);
  checkTeacherOnline(kNobody, gLoopStartMs + 320000);
  EXPECT_FALSE(gBorcastObj.stopped());  // pinged 120 s ago: still online
  checkTeacherOnline(kNobody, gLoopStartMs + 320001);
  EXPECT_TRUE(gBorcastObj.stopped());

  // Another teacher's ping ends the grace period at once.
  publish(4, 13);
  gLoopStartMs = 5000000;
  gTeacherPresence.recordPing(7, gLoopStartMs);
  checkTeacherOnline(kNobody, gLoopStartMs + 1000);
  EXPECT_TRUE(gBorcastObj.stopped());

  // With "end_class" current, it stops the announcer and sends nothing.
  Instruction end;
  end.szInstruction = "{\"id\":\"5\",\"params\":{\"action\":\"end_class\"},\"lock_screen\":0}";
  end.instruct_id = 5;
  gInstructionManager.add(end);
  publish(4, 13);
  checkTeacherOnline(kNobody, gLoopStartMs + 2000);
  EXPECT_TRUE(gBorcastObj.stopped());
}
