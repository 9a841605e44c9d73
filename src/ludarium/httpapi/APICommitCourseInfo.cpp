#include "APICommitCourseInfo.h"

#include <functional>

#include "InfoParser.h"
#include "Log.h"
#include "Util.h"

std::string encode_course_name(const std::string& name) {
  char buf[93] = {0};
  url_encode(name.c_str(), buf, sizeof(buf));
  return buf;
}

void APICommitCourseInfo::applyInfo(const JsonDocument& doc, BrocastData* course) {
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
      LOG("w", "%s", exceptionText(e, s.error).c_str());
    }
  }
}

APICommitCourseInfo::APICommitCourseInfo(CourseHolder& course) : course_(course) {}

int APICommitCourseInfo::onHandleEvent(HttpRequest& request) {
  // A course's names take up to 2,047 bytes of info.
  std::string info;
  std::string error = kNoInfo;
  if (take_info(request, 2 * kInfoBuffer, &info)) {
    LOG("d", "info=%s", info.c_str());
    error = parse_info_text(info, [this](const JsonDocument& doc) {
      // In place: a port probe storing its port meanwhile is not undone.
      course_.update([&doc](BrocastData& course) { applyInfo(doc, &course); });
    });
  }
  if (error.empty()) {
    replyOk(request);
  } else {
    replyFailLogged(request, error, HANDLER_SITE);
  }
  LOG("d", "%s", "");
  return 1;
}
