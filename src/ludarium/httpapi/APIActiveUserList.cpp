#include "APIActiveUserList.h"

#include "JsonReader.h"
#include "JsonWriter.h"
#include "Log.h"
#include "UserRegistry.h"

int APIActiveUserList::onHandleEvent(HttpRequest& request) {
  char info[1024];
  if (getInfo(request, info, sizeof(info)) < 1) {
    LOG("w", "no info");
    replyFail(request, "no info");
    return 1;
  }
  try {
    JsonDocument doc;
    parse_json(info, &doc);
    int32_t class_id = static_cast<int32_t>(json_as_int(json_at(doc, "class_id")));
    std::vector<User> online = users.onlineOfClass(class_id);
    JsonWriter w;
    w.begin_object().member("onlines", static_cast<int64_t>(online.size()));
    w.key("users").begin_array();
    for (const User& u : online) w.value(u.user_id);
    w.end_array().end_object();
    replyOk(request, "recordset", w.str());
  } catch (const std::exception& e) {
    std::string text = "exception: " + exception_text(e) + " parse info error";
    LOG("w", "%s", text.c_str());
    replyFail(request, text);
  }
  return 1;
}
