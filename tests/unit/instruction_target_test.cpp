#include "InstructionTarget.h"

#include <gtest/gtest.h>

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
