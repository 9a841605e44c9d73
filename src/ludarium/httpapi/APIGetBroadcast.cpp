#include "APIGetBroadcast.h"

#include "Brocast.h"
#include "JsonReader.h"
#include "Log.h"

int APIGetBroadcast::onHandleEvent(HttpRequest& request) {
  LOG("d", "client : %s:%d", request.remote_addr().c_str(), request.remote_port());
  std::string course = gBorcastObj.getJSONString();
  if (course.empty()) course = "{}";
  try {
    JsonDocument doc;
    parse_json(course, &doc);
    replyOk(request, "broadcast", json_write(doc));
  } catch (const std::exception& e) {
    std::string text = "exception: " + exception_text(e) + " parse broadcast info error";
    LOG("w", "%s", text.c_str());
    replyFail(request, text);
  }
  return 1;
}
