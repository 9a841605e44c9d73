// "/commitCourseInfo": the teacher's client publishes the course taught.
#pragma once

#include <string>

#include "BaseHttpAPI.h"
#include "BrocastData.h"
#include "CourseHolder.h"
#include "JsonReader.h"

class APICommitCourseInfo : public BaseHttpAPI {
 public:
  explicit APICommitCourseInfo(CourseHolder& course);
  int onHandleEvent(HttpRequest& request) override;

  // Applies the sections "teacher", "grade", "class" and "subject" of a
  // parsed info to a course record, each on its own: a section with a
  // missing or unreadable member stops there, is logged, and the next one
  // follows.
  static void applyInfo(const JsonDocument& doc, BrocastData* course);

 private:
  CourseHolder& course_;
};

// A name as the course keeps it: URL-encoded into 93 bytes (at most 92 chars).
std::string encode_course_name(const std::string& name);
