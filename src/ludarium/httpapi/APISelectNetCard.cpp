#include "APISelectNetCard.h"

#include "JsonReader.h"
#include "Log.h"

APISelectNetCard::APISelectNetCard(Brocast& announcer) : announcer_(announcer) {}

int APISelectNetCard::onHandleEvent(HttpRequest& request) {
  LOG("d", "%s", "");
  // The decoder's 1023 bytes include the terminator: 1022 bytes of text.
  char info[1024];
  if (getInfo(request, info, sizeof(info) - 1) < 1) {
    replyFail(request, "no info");
  } else {
    try {
      JsonDocument doc;
      parse_json(info, &doc);
      std::string ip = json_as_text(json_at(doc, "ip"));
      announcer_.selectNetCard(ip);
      replyOk(request);
    } catch (const std::exception& e) {
      std::string text = "exception: " + exception_text(e) + " parse info error";
      LOG("w", "%s", text.c_str());
      replyFail(request, text);
    }
  }
  LOG("d", "%s", "");
  return 1;
}
