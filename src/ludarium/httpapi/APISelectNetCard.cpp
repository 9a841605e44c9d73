#include "APISelectNetCard.h"

#include "InfoParser.h"
#include "Log.h"

APISelectNetCard::APISelectNetCard(Brocast& announcer) : announcer_(announcer) {}

int APISelectNetCard::onHandleEvent(HttpRequest& request) {
  LOG("d", "%s", "");
  std::string error = parse_info(
      request,
      [this](const JsonDocument& doc) { announcer_.selectNetCard(json_as_text(json_at(doc, "ip"))); },
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
