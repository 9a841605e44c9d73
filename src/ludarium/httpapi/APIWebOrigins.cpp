#include "APIWebOrigins.h"

#include "InfoParser.h"
#include "JsonWriter.h"
#include "Log.h"
#include "UriMatch.h"
#include "WebOrigin.h"

APIWebOrigins::APIWebOrigins(OriginList& origins, RefusalLog& refusals)
    : origins_(origins), refusals_(refusals) {}

int APIWebOrigins::onHandleEvent(HttpRequest& request) {
  std::string uri = request.uri();
  if (uri_is(uri, "/getWebOrigins")) {
    getOrigins(request);
  } else if (uri_is(uri, "/addWebOrigin")) {
    changeOrigin(request, true);
  } else if (uri_is(uri, "/delWebOrigin")) {
    changeOrigin(request, false);
  } else {
    return BaseHttpAPI::onHandleEvent(request);
  }
  return 1;
}

void APIWebOrigins::getOrigins(HttpRequest& request) {
  JsonWriter w;
  w.begin_object().key("allowed").begin_array();
  for (const std::string& origin : origins_.origins()) w.value(origin);
  w.end_array().key("refused").raw(refusals_.recentJson()).end_object();
  replyOk(request, "origins", w.str());
}

void APIWebOrigins::changeOrigin(HttpRequest& request, bool add) {
  std::string text;
  std::string error = parse_info(
      request, [&text](const JsonDocument& doc) { text = json_as_text(json_at(doc, "origin")); });
  if (!error.empty()) {
    replyFailLogged(request, error, HANDLER_SITE);
    return;
  }
  std::string origin = canonical_origin(text);
  if (origin.empty()) {
    replyFailLogged(request, "not a web origin (scheme://host[:port]): " + text, HANDLER_SITE);
    return;
  }
  int rc = add ? origins_.add(origin) : origins_.remove(origin);
  if (rc == -2) {
    replyFailLogged(
        request,
        "the list of allowed web pages is full (" + std::to_string(OriginList::kMaxOrigins) + ")",
        HANDLER_SITE);
    return;
  }
  if (rc != 0) {
    replyFail(request, "the list of allowed web pages could not be saved");
    return;
  }
  if (add) refusals_.forget(origin);
  LOG("d", "%s %s", add ? "allowed" : "no longer allowed", origin.c_str());
  replyOk(request);
}
