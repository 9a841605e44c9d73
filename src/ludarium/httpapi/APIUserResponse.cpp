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
    std::vector<int32_t> answered = users_.repliedIds(class_id, command_id);
    size_t onlines = users_.onlineCount(class_id);
    JsonWriter w;
    w.begin_object()
        .member("onlines", static_cast<int64_t>(onlines))
        .member("response", static_cast<int64_t>(answered.size()));
    w.key("users").begin_array();
    for (int32_t id : answered) w.value(id);
    w.end_array().end_object();
    recordset = w.str();
  });
  replyRecordset(request, error, recordset, HANDLER_SITE);
  return 1;
}
