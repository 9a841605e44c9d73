#include "APISelectNetCard.h"

#include "Brocast.h"
#include "InfoParser.h"
#include "Log.h"

int APISelectNetCard::onHandleEvent(HttpRequest& request) {
  LOG("d", "%s", "");
  std::string error = parse_info(
      request,
      [](const JsonDocument& doc) { gBorcastObj.selectNetCard(json_as_text(json_at(doc, "ip"))); },
      kShortInfoBuffer);
  if (error.empty()) {
    replyOk(request);
  } else if (error == kNoInfo) {
    replyFail(request, error);  // answered without a warning
  } else {
    replyFailLogged(request, error, HANDLER_SITE);
  }
  LOG("d", "%s", "");
  return 1;
}
