#include <gtest/gtest.h>

#include "BrocastData.h"

TEST(BrocastData, DefaultJsonHasEveryMemberInOrder) {
  EXPECT_EQ(
      "{\"teacher_id\":-1,\"teacher_name\":\"\",\"class_id\":-1,\"class_name\":\"\",\"grade_name\":\"\","
      "\"book_name\":\"\",\"chapter_name\":\"\",\"subject_name\":\"\",\"course_hour\":\"\","
      "\"cache_addr\":\"\",\"cache_describe\":\"\",\"socket_ip\":\"\",\"socket_port\":0,"
      "\"as_policy_port\":0,\"timeout\":35,\"runing\":0}",
      BrocastData().toJSON());
  BrocastData d;
  d.cache_addr = "http://a/b";
  EXPECT_NE(std::string::npos, d.toJSON().find("\"cache_addr\":\"http:\\/\\/a\\/b\""));
  EXPECT_NE(std::string::npos, d.toJSON(120).find("\"timeout\":120,"));
}

TEST(BrocastData, ParseTakesKnownMembersAndIgnoresTimeout) {
  BrocastData d("{\"class_id\":7,\"timeout\":99,\"class_id\":8,\"socket_ip\":\"1.2.3.4\",\"x\":1}");
  EXPECT_EQ(8, d.class_id);  // the later duplicate wins
  EXPECT_EQ(35, d.timeout);
  EXPECT_EQ("1.2.3.4", d.socket_ip);
  // Members of another type are converted, never fatal to the record.
  BrocastData wrong_type(
      "{\"class_id\":[1],\"teacher_id\":\"12\",\"socket_port\":\"abc\",\"runing\":true,"
      "\"socket_ip\":5,\"as_policy_port\":\"4.5e2\",\"cache_addr\":null}");
  EXPECT_EQ(0, wrong_type.class_id);
  EXPECT_EQ(12, wrong_type.teacher_id);
  EXPECT_EQ(0, wrong_type.socket_port);
  EXPECT_EQ(1, wrong_type.runing);
  EXPECT_EQ("5", wrong_type.socket_ip);
  EXPECT_EQ(450, wrong_type.as_policy_port);
  EXPECT_EQ("", wrong_type.cache_addr);
  BrocastData not_json("not json");
  EXPECT_EQ(-1, not_json.class_id);
  BrocastData array("[1,2]");
  EXPECT_EQ(BrocastData().toJSON(), array.toJSON());
  // What toJSON writes, the parse constructor reads back.
  BrocastData full;
  full.teacher_id = 4;
  full.teacher_name = "%e4%b8%ad";
  full.class_id = 12;
  full.cache_addr = "10.0.0.1:8080/x";
  full.socket_port = 45678;
  full.runing = 1;
  EXPECT_EQ(full.toJSON(), BrocastData(full.toJSON()).toJSON());
}
