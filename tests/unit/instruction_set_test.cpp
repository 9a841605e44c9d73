#include "InstructionSet.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "InstructionManager.h"
#include "Students.h"
#include "Thread.h"

namespace {

Instruction instruction(uint64_t id, const std::string& target) {
  Instruction in;
  in.instruct_id = id;
  in.szTarget = target;
  in.szInstruction = "{\"id\":" + std::to_string(id) + "}";
  return in;
}

}  // namespace

TEST(InstructionSet, SelectsTheNewestInstructionThatApplies) {
  InstructionManager manager;
  InstructionSet set(manager);
  set.reset_for_class(12);
  set.set_current(instruction(10, "{\"type\":\"group\",\"class_id\":12,\"groups\":[1,3]}"));
  User in_group = student(1, 12, 1, "[3]");
  User other_group = student(2, 12, 1, "[2]");
  User no_array = student(3, 12, 1, "3");
  EXPECT_EQ(10u, set.select_for(in_group).instruct_id);
  EXPECT_EQ(0u, set.select_for(other_group).instruct_id);
  EXPECT_EQ(0u, set.select_for(no_array).instruct_id);
  set.set_current(instruction(11, "{\"type\":\"class\",\"class_id\":12}"));
  EXPECT_EQ(11u, set.select_for(in_group).instruct_id);
  EXPECT_EQ(11u, set.select_for(no_array).instruct_id);
  set.set_current(instruction(12, "{\"type\":\"user\",\"class_id\":12,\"users\":[1]}"));
  EXPECT_EQ(12u, set.select_for(in_group).instruct_id);
  EXPECT_EQ(11u, set.select_for(other_group).instruct_id);
  EXPECT_EQ(12u, set.getLastInstructionId());
  // Another class is never filed; a student of another class gets nothing.
  set.set_current(instruction(13, "{\"type\":\"class\",\"class_id\":99}"));
  EXPECT_EQ(12u, set.getLastInstructionId());
  EXPECT_EQ(0u, set.select_for(student(1, 99, 1)).instruct_id);
  set.reset_for_class(13);
  EXPECT_EQ(0u, set.select_for(student(1, 13, 1, "[3]")).instruct_id);
  EXPECT_EQ(0u, set.getLastInstructionId());
}

TEST(InstructionSet, TheWorkerFilesWhatItIsWokenForAndHandsOverUnwoken) {
  // The worker sleeps until it is woken or a queued instruction's turn
  // comes. It runs for the rest of the process, so its objects are never
  // destroyed.
  InstructionManager* manager = new InstructionManager;
  InstructionSet* set = new InstructionSet(*manager);
  std::atomic<int32_t> course_class{21};
  std::atomic<int> wakes{0};
  set->start([&wakes] { wakes++; }, [&course_class] { return course_class.load(); });
  auto filed = [set](uint64_t id) {
    for (int i = 0; i < 1000 && set->getLastInstructionId() != id; ++i) sleep_ms(10);
    return set->getLastInstructionId() == id;
  };
  manager->add(instruction(31, "{\"type\":\"class\",\"class_id\":21}"));
  set->wake_worker();
  ASSERT_TRUE(filed(31));
  EXPECT_EQ(21, set->class_id());

  // Three more at once: after the one wake, each is filed in turn when the
  // one before has had its hand-over time, with nobody waking the worker.
  manager->add(instruction(32, "{\"type\":\"class\",\"class_id\":21}"));
  manager->add(instruction(33, "{\"type\":\"class\",\"class_id\":21}"));
  manager->add(instruction(34, "{\"type\":\"class\",\"class_id\":21}"));
  set->wake_worker();
  EXPECT_TRUE(filed(34));

  // An instruction for the next class is not filed while the course shows
  // this one; once it is the only one queued, nothing is due. The change
  // of class then wakes the worker once (as the course's class watcher
  // does), and that one wake both forgets the old class and files it.
  manager->add(instruction(41, "{\"type\":\"class\",\"class_id\":22}"));
  set->wake_worker();
  sleep_ms(500);
  EXPECT_EQ(34u, set->getLastInstructionId());
  course_class = 22;
  set->wake_worker();
  EXPECT_TRUE(filed(41));
  EXPECT_EQ(22, set->class_id());
  EXPECT_EQ(41u, set->select_for(student(1, 22, 1)).instruct_id);
  EXPECT_GE(wakes.load(), 3);
}
