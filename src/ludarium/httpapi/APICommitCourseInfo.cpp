#include "APICommitCourseInfo.h"

#include <functional>

#include "JsonReader.h"
#include "Log.h"
#include "Util.h"

std::string encode_course_name(const std::string& name) {
  char buf[93] = {0};
  url_encode(name.c_str(), buf, sizeof(buf));
  return buf;
}

void APICommitCourseInfo::applyInfo(const std::string& info, BrocastData* course) {
  JsonDocument doc;
  parse_json(info, &doc);
  struct Section {
    const char* error;
    std::function<void()> apply;
  };
  const Section sections[] = {
      {" parse teacher error",
       [&] {
         const JsonValue& teacher = json_at(doc, "teacher");
         course->teacher_id = static_cast<int32_t>(json_as_int(json_at(teacher, "user_id")));
         course->teacher_name = encode_course_name(json_as_text(json_at(teacher, "name")));
       }},
      {" parse grade error",
       [&] { course->grade_name = encode_course_name(json_as_text(json_at(json_at(doc, "grade"), "name"))); }},
      {" parse class error",
       [&] {
         const JsonValue& klass = json_at(doc, "class");
         course->class_id = static_cast<int32_t>(json_as_int(json_at(klass, "class_id")));
         course->class_name = encode_course_name(json_as_text(json_at(klass, "name")));
       }},
      {" parse subject error",
       [&] {
         course->subject_name = encode_course_name(json_as_text(json_at(json_at(doc, "subject"), "name")));
       }},
  };
  for (const Section& s : sections) {
    try {
      s.apply();
    } catch (const std::exception& e) {
      LOG("w", "%s", ("exception: " + exception_text(e) + s.error).c_str());
    }
  }
}

APICommitCourseInfo::APICommitCourseInfo(CourseHolder& course) : course_(course) {}

int APICommitCourseInfo::onHandleEvent(HttpRequest& request) {
  char info[2048];
  if (getInfo(request, info, sizeof(info)) < 1) {
    LOG("w", "no info");
    replyFail(request, "no info");
  } else {
    LOG("d", "info=%s", info);
    try {
      // In place: a port probe storing its port meanwhile is not undone.
      course_.update([&info](BrocastData& course) { applyInfo(info, &course); });
      replyOk(request);
    } catch (const std::exception& e) {
      std::string text = "exception: " + exception_text(e) + " parse info error";
      LOG("w", "%s", text.c_str());
      replyFail(request, text);
    }
  }
  LOG("d", "%s", "");
  return 1;
}
