#include "APIGetMoreNetCardInfo.h"

#include "JsonReader.h"
#include "Log.h"

APIGetMoreNetCardInfo::APIGetMoreNetCardInfo(Brocast& announcer) : announcer_(announcer) {}

int APIGetMoreNetCardInfo::onHandleEvent(HttpRequest& request) {
  LOG("d", "%s", "");
  try {
    JsonDocument doc;
    parse_json(announcer_.getNetCardInfo(), &doc);
    replyOk(request, "recordset", json_write(doc));
  } catch (const std::exception& e) {
    std::string text = "exception: " + exception_text(e) + " parse broadcast info error";
    LOG("w", "%s", text.c_str());
    replyFail(request, text);
  }
  LOG("d", "%s", "");
  return 1;
}
