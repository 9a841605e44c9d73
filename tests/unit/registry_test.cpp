#include <gtest/gtest.h>

#include "InstructionManager.h"
#include "InstructionSet.h"
#include "InstructionTarget.h"
#include "UserRegistry.h"

namespace {

User student(int32_t id, int32_t class_id, int32_t online, std::string groups = "[]") {
  User u;
  u.user_id = id;
  u.class_id = class_id;
  u.is_online = online;
  u.group_id = groups;
  return u;
}

Instruction instruction(uint64_t id, const std::string& target) {
  Instruction in;
  in.instruct_id = id;
  in.szTarget = target;
  in.szInstruction = "{\"id\":" + std::to_string(id) + "}";
  return in;
}

}  // namespace

TEST(UserRegistry, AddReplacesWholeRecordsAndNestedObjectsStoreOnTheirOwn) {
  UserRegistry reg;
  EXPECT_EQ(-1, reg.get(7).user_id);
  EXPECT_EQ(-1, reg.get(7).class_id);
  reg.addFromJson("{\"user_id\":7,\"class_id\":3,\"user_mac\":\"AA\"}");
  reg.addFromJson("{\"user_id\":7,\"class_id\":4}");
  EXPECT_EQ(4, reg.get(7).class_id);
  EXPECT_EQ("", reg.get(7).user_mac);
  reg.addFromJson("{\"user_id\":1,\"x\":{\"user_id\":2}}");
  EXPECT_EQ(1, reg.get(1).user_id);
  EXPECT_EQ(2, reg.get(2).user_id);
  reg.addFromJson("{\"user_id\":9,\"group_id\":[3,7],\"instruct_id\":\"12x\",\"receipt_time\":\"55\"}");
  EXPECT_EQ("[3,7]", reg.get(9).group_id);
  EXPECT_EQ(12u, reg.get(9).instruct_id);
  EXPECT_EQ(55, reg.get(9).receipt_time);
  EXPECT_FALSE(reg.addFromJson("not json"));
  reg.addFromJson("{\"user_id\":10}");  // the lock was not left taken
  EXPECT_EQ(10, reg.get(10).user_id);
}

TEST(UserRegistry, UpdatesAndQueries) {
  UserRegistry reg;
  reg.update(student(5, 3, 1));
  EXPECT_EQ(-1, reg.get(5).user_id);  // update never inserts
  reg.addFromJson("{\"user_id\":5,\"class_id\":3}");
  reg.addFromJson("{\"user_id\":2,\"class_id\":3}");
  reg.addFromJson("{\"user_id\":9,\"class_id\":3}");
  reg.update(student(5, 3, 1));
  reg.update(student(2, 3, 1));
  std::vector<User> online = reg.onlineOfClass(3);
  ASSERT_EQ(2u, online.size());
  EXPECT_EQ(2, online[0].user_id);
  EXPECT_EQ(5, online[1].user_id);

  reg.setInstruction(2, "cmd", 100, 1000, 0);
  reg.setInstruction(5, "cmd", 100, 1000, -2);
  EXPECT_EQ(1u, reg.getUserGetInstruct(3, 100).size());
  reg.setReceipt(2, 100, "{head}", 2000);
  reg.setReceipt(9, 100, "{head}", 2000);
  reg.setInstruction(9, "cmd", 100, 1000, -1);
  std::vector<User> replied = reg.repliedTo(3, 100);
  ASSERT_EQ(1u, replied.size());
  EXPECT_EQ(2, replied[0].user_id);
  EXPECT_EQ("{head}", replied[0].last_receipt);
  EXPECT_EQ(1, reg.get(2).is_online);  // the other fields were kept
  reg.delUserInfo(77);
  reg.delUserInfo(2);
  EXPECT_EQ(-1, reg.get(2).user_id);
}

TEST(InstructionTarget, ParsesArraysAsTheirText) {
  InstructionTarget t("{\"type\":\"group\",\"class_id\":12,\"groups\":[1,3],\"users\":\"[4]\"}");
  EXPECT_EQ("group", t.type);
  EXPECT_EQ(12, t.class_id);
  EXPECT_EQ("[1,3]", t.groups);
  EXPECT_EQ("[4]", t.users);
  EXPECT_EQ((std::vector<int32_t>{1, 3}), parse_id_list("[1,3]"));
  EXPECT_TRUE(parse_id_list("3").empty());
  EXPECT_EQ((std::vector<int32_t>{1, 0, 7}), parse_id_list("[1,\"x\",\"7\"]"));
  InstructionTarget text_id("{\"type\":\"class\",\"class_id\":\"12\",\"groups\":3}");
  EXPECT_EQ("class", text_id.type);
  EXPECT_EQ(12, text_id.class_id);
  EXPECT_EQ("3", text_id.groups);
}

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
