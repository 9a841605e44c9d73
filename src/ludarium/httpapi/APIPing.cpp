#include "APIPing.h"

#include "Clock.h"
#include "JsonReader.h"
#include "JsonWriter.h"
#include "Log.h"
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
  char info[1024];
  if (getInfo(request, info, sizeof(info)) < 1) {
    replyOk(request, "recordset", recordset(long_version_text()));
    return 1;
  }
  try {
    JsonDocument doc;
    parse_json(info, &doc);
    try {
      int64_t teacher = json_as_int(json_at(doc, "teacher_user_id"));
      if (teacher > 0 && teacher <= INT32_MAX) {
        presence_.recordPing(static_cast<int32_t>(teacher), wall_ms());
      }
    } catch (const std::exception&) {
      // A missing or unreadable id is no error: the client is still alive.
    }
    replyOk(request, "recordset", recordset(kVersionName));
  } catch (const std::exception& e) {
    std::string text = "exception: " + exception_text(e) + " parse info error";
    LOG("w", "%s", text.c_str());
    replyFail(request, text);
  }
  return 1;
}
