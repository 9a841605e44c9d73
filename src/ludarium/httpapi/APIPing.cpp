#include "APIPing.h"

#include "Clock.h"
#include "InfoParser.h"
#include "JsonWriter.h"
#include "Version.h"

namespace {

std::string recordset(const std::string& version_name) {
  JsonWriter w;
  w.begin_object().member("version_code", kVersionCode).member("version_name", version_name).end_object();
  return w.str();
}

}  // namespace

APIPing::APIPing(TeacherPresence& presence) : presence_(presence) {}

int APIPing::onHandleEvent(HttpRequest& request) {
  int64_t teacher = 0;
  std::string error = parse_info(request, [&teacher](const JsonDocument& doc) {
    try {
      teacher = json_as_int(json_at(doc, "teacher_user_id"));
    } catch (const std::exception&) {
      // A missing or unreadable id is no error: the client is still alive.
    }
  });
  if (error == kNoInfo) {
    replyOk(request, "recordset", recordset(long_version_text()));
  } else if (!error.empty()) {
    replyFailLogged(request, error, HANDLER_SITE);
  } else {
    if (teacher > 0 && teacher <= INT32_MAX) {
      presence_.recordPing(static_cast<int32_t>(teacher), wall_ms());
    }
    replyOk(request, "recordset", recordset(kVersionName));
  }
  return 1;
}
