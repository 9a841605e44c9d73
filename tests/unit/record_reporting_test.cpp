#include "RecordReporting.h"

#include <gtest/gtest.h>

#include <string>

#include "BrocastData.h"
#include "HttpRecord.h"
#include "Instruction.h"
#include "User.h"

TEST(Records, OnlineRecordAndItsFormBody) {
  BrocastData course;
  course.class_id = 3;
  course.teacher_id = 12;
  User student;
  student.user_id = 5;
  student.mtype = "X1";
  student.version_code = "2.0";
  std::string record = onlineRecord(course, 1409821595123LL, {student});
  EXPECT_EQ(
      "{\"class_id\":3,\"teacher_id\":12,\"time\":\"1409821595123\",\"students\":[{\"student_id\":5,"
      "\"model\":\"X1\",\"version\":\"2.0\"}]}",
      record);
  HttpRecord client;
  std::string body = HttpRecord::formBody(client.toFields(wrapRecord(record)));
  EXPECT_EQ(
      "content=%7b%22class_id%22%3a3,%22teacher_id%22%3a12,%22time%22%3a%221409821595123%22,"
      "%22students%22%3a%5b%7b%22student_id%22%3a5,%22model%22%3a%22X1%22,%22version%22%3a%222.0%22%7d%5d%7d\n",
      body);
  EXPECT_EQ(187u, body.size());
}

TEST(Records, CmdAndReceiveRecords) {
  Instruction in;
  in.instruct_id = 1001;
  in.teacher_id = 12;
  in.type = "group";
  in.class_id = 3;
  in.szInstruction = "{\"id\":\"1001\",\"t\":\"\xe4\",\"lock_screen\":1}";
  User a;
  a.user_id = 4;
  a.send_time = 1000;
  a.send_times = 2;
  a.receipt_time = 2000;
  EXPECT_EQ(
      "{\"cmd_id\":\"1001\",\"teacher_id\":12,\"type\":\"group\",\"class_id\":3,\"users\":[{\"student_id\":4,"
      "\"time\":\"1000\",\"repeat\":2}],\"cmd_content\":{\"id\":\"1001\",\"t\":\"\\u00E4\",\"lock_screen\":1}}",
      cmdRecord(in, {a}));
  in.publish_id = "p9";
  in.instruct_id = ~0ull;
  EXPECT_EQ(
      "{\"cmd_id\":\"-1\",\"teacher_id\":12,\"type\":\"group\",\"class_id\":3,\"publish_id\":\"p9\","
      "\"receives\":[{\"student_id\":4,\"time\":\"2000\"}]}",
      receiveRecord(in, {a}));
  EXPECT_EQ("{\"content\":\"{\\\"a\\\":1}\"}", wrapRecord("{\"a\":1}"));
}
