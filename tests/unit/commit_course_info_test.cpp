#include "APICommitCourseInfo.h"

#include <gtest/gtest.h>

#include "BrocastData.h"
#include "JsonReader.h"

TEST(CommitCourseInfo, SectionsApplyOnTheirOwn) {
  BrocastData d;
  JsonDocument doc;
  parse_json("{\"teacher\":{\"user_id\":5},\"class\":{\"class_id\":9,\"name\":\"a b\"},\"subject\":{}}",
             &doc);
  APICommitCourseInfo::applyInfo(doc, &d);
  EXPECT_EQ(5, d.teacher_id);  // set before the teacher section failed on "name"
  EXPECT_EQ("", d.teacher_name);
  EXPECT_EQ(9, d.class_id);
  EXPECT_EQ("a%20b", d.class_name);
  EXPECT_EQ("", d.subject_name);
}
