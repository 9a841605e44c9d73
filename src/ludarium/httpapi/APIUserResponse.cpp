#include "APIUserResponse.h"

#include "InfoParser.h"
#include "JsonWriter.h"
#include "Util.h"

APIUserResponse::APIUserResponse(UserRegistry& users) : users_(users) {}

int APIUserResponse::onHandleEvent(HttpRequest& request) {
  std::string recordset;
  std::string error = parse_info(request, [this, &recordset](const JsonDocument& doc) {
    int32_t class_id = static_cast<int32_t>(json_as_int(json_at(doc, "class_id")));
    uint64_t command_id = text_to_uint64(json_as_text(json_at(doc, "command_id")));
    std::vector<User> answered = users_.repliedTo(class_id, command_id);
    size_t onlines = users_.onlineOfClass(class_id).size();
    JsonWriter w;
    w.begin_object()
        .member("onlines", static_cast<int64_t>(onlines))
        .member("response", static_cast<int64_t>(answered.size()));
    w.key("users").begin_array();
    for (const User& u : answered) w.value(u.user_id);
    w.end_array().end_object();
    recordset = w.str();
  });
  replyRecordset(request, error, recordset, HANDLER_SITE);
  return 1;
}
