#include "APIActiveUserList.h"

#include "InfoParser.h"
#include "JsonWriter.h"

namespace {

// True when info asks for the students' records as well ("detail" non-zero).
// Without it the reply stays exactly what the teacher's client reads.
bool wants_detail(const JsonDocument& doc) {
  if (!doc.IsObject() || !doc.HasMember("detail")) return false;
  try {
    return json_as_int(json_at(doc, "detail")) != 0;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

APIActiveUserList::APIActiveUserList(UserRegistry& users) : users_(users) {}

int APIActiveUserList::onHandleEvent(HttpRequest& request) {
  std::string recordset;
  std::string error = parse_info(request, [this, &recordset](const JsonDocument& doc) {
    int32_t class_id = static_cast<int32_t>(json_as_int(json_at(doc, "class_id")));
    std::vector<User> online = users_.onlineOfClass(class_id);
    JsonWriter w;
    w.begin_object().member("onlines", static_cast<int64_t>(online.size()));
    w.key("users").begin_array();
    for (const User& u : online) w.value(u.user_id);
    w.end_array();
    // The console's roster shows who each student is, not only the id.
    if (wants_detail(doc)) {
      w.key("students").begin_array();
      for (const User& u : online) {
        w.begin_object()
            .member("user_id", u.user_id)
            .member("user_name", u.user_name)
            .member("group_id", u.group_id)
            .member("mtype", u.mtype)
            .member("user_ip", u.user_ip)
            .member("log_time", u.log_time)
            .end_object();
      }
      w.end_array();
    }
    w.end_object();
    recordset = w.str();
  });
  replyRecordset(request, error, recordset, HANDLER_SITE);
  return 1;
}
