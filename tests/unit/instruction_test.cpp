#include "Instruction.h"

#include <gtest/gtest.h>

TEST(Instruction, MembersOfAnotherTypeAreConvertedAndTheParseGoesOn) {
  Instruction i(
      "{\"szInstruction\":\"{\\\"lock_screen\\\":\\\"1\\\"}\",\"teacher_id\":\"5\",\"class_id\":\"12\","
      "\"type\":3,\"instruct_id\":\"99\",\"publish_id\":7}");
  EXPECT_EQ(1, i.lock_screen);
  EXPECT_EQ(5, i.teacher_id);
  EXPECT_EQ(12, i.class_id);
  EXPECT_EQ("3", i.type);
  EXPECT_EQ(99u, i.instruct_id);
  EXPECT_EQ("7", i.publish_id);
}

TEST(Instruction, JsonStringKeepsMemberOrderAndTheIdAsText) {
  Instruction i;
  i.szInstruction = "{\"id\":\"lock\"}";
  i.szTarget = "{\"type\":\"class\",\"class_id\":12}";
  i.teacher_id = 5;
  i.type = "class";
  i.class_id = 12;
  i.instruct_id = 18446744073709551615ull;
  EXPECT_EQ(
      "{\"szInstruction\":\"{\\\"id\\\":\\\"lock\\\"}\",\"szTarget\":\"{\\\"type\\\":\\\"class\\\","
      "\\\"class_id\\\":12}\",\"publish_id\":\"\",\"teacher_id\":5,\"type\":\"class\",\"class_id\":12,"
      "\"instruct_id\":\"-1\"}",
      i.jsonString());
  EXPECT_EQ(
      "{\"szInstruction\":\"\",\"szTarget\":\"\",\"publish_id\":\"\",\"teacher_id\":0,\"type\":\"\","
      "\"class_id\":0,\"instruct_id\":\"0\"}",
      Instruction().jsonString());
}
