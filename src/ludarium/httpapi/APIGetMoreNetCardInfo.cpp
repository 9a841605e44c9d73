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
    replyException(request, e, " parse broadcast info error", HANDLER_SITE);
  }
  LOG("d", "%s", "");
  return 1;
}
