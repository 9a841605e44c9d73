#include "APIActiveUserList.h"

#include "InfoParser.h"
#include "JsonWriter.h"
#include "Log.h"
#include "UserRegistry.h"

int APIActiveUserList::onHandleEvent(HttpRequest& request) {
  std::string recordset;
  std::string error = parse_info(request, [&recordset](const JsonDocument& doc) {
    int32_t class_id = static_cast<int32_t>(json_as_int(json_at(doc, "class_id")));
    std::vector<User> online = users.onlineOfClass(class_id);
    JsonWriter w;
    w.begin_object().member("onlines", static_cast<int64_t>(online.size()));
    w.key("users").begin_array();
    for (const User& u : online) w.value(u.user_id);
    w.end_array().end_object();
    recordset = w.str();
  });
  if (!error.empty()) {
    LOG("w", "%s", error.c_str());
    replyFail(request, error);
  } else {
    replyOk(request, "recordset", recordset);
  }
  return 1;
}
