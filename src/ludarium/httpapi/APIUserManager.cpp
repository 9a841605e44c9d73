#include "APIUserManager.h"

#include "InfoParser.h"
#include "Log.h"
#include "UriMatch.h"

APIUserManager::APIUserManager(const std::string& config_dir) : manager_(config_dir) {
  LOG("d", "%s", "");
}

int APIUserManager::onHandleEvent(HttpRequest& request) {
  std::string uri = request.uri();
  if (uri_is(uri, "/loginUserGet")) {
    getUsers(request);
  } else if (uri_is(uri, "/loginUserSet")) {
    addUser(request);
  }
  return 1;
}

void APIUserManager::getUsers(HttpRequest& request) {
  std::string error = parse_info(request, [](const JsonDocument&) {});
  if (error.empty()) {
    replyOk(request, "recordset", manager_.getUsers());
  } else {
    replyFailLogged(request, error, HANDLER_SITE);
  }
  LOG("d", "%s", "");
}

void APIUserManager::addUser(HttpRequest& request) {
  std::string loginnm, data;
  std::string error = parse_info(request, [&](const JsonDocument& doc) {
    loginnm = json_as_text(json_at(doc, "loginnm"));
    data = json_as_text(json_at(doc, "data"));
  });
  if (!error.empty()) {
    replyFailLogged(request, error, HANDLER_SITE);
    return;
  }
  // A change the disk did not take is not acknowledged.
  int rc = data.empty() ? manager_.delUser(loginnm) : manager_.addUser(loginnm, data);
  if (rc == 0) {
    replyOk(request);
  } else {
    replyFail(request, manager_.failureText(rc));
  }
}
