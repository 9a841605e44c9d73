#include "InstructionSet.h"

#include <gtest/gtest.h>

#include <string>

#include "InstructionManager.h"
#include "Students.h"

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
