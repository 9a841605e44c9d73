#include "APIServerManager.h"

#include "InfoParser.h"
#include "Log.h"
#include "UriMatch.h"

APIServerManager::APIServerManager(const std::string& config_dir, CourseHolder& course)
    : manager_(config_dir, course) {}

int APIServerManager::onHandleEvent(HttpRequest& request) {
  std::string uri = request.uri();
  if (uri_is(uri, "/getAPIServer")) {
    getServers(request);
  } else if (uri_is(uri, "/addAPIServer")) {
    addServer(request);
  } else if (uri_is(uri, "/delAPIServer")) {
    delServer(request);
  } else if (uri_is(uri, "/selectAPIServer")) {
    selectServer(request);
  }
  return 1;
}

void APIServerManager::getServers(HttpRequest& request) {
  LOG("d", "%s", "");
  std::string error = parse_info(request, [](const JsonDocument&) {});
  if (!error.empty()) {
    LOG("w", "%s", error.c_str());
    replyFail(request, error);
  } else {
    replyOk(request, "recordset", manager_.getRecommendServer());
  }
  LOG("d", "%s", "");
}

void APIServerManager::addServer(HttpRequest& request) {
  LOG("d", "%s", "");
  ServerManager::Server s;
  std::string error = parse_info(request, [&s](const JsonDocument& doc) {
    s.school_id = json_as_text(json_at(doc, "school_id"));
    s.id = json_as_text(json_at(doc, "id"));
    s.address = json_as_text(json_at(doc, "address"));
    s.describe = json_as_text(json_at(doc, "describe"));
    if (doc.HasMember("recommend"))
      s.recommend = static_cast<int32_t>(json_as_int(json_at(doc, "recommend")));
  });
  if (!error.empty()) {
    LOG("w", "%s", error.c_str());
    replyFail(request, error);
  } else {
    manager_.addServer(s.school_id, s.id, s.address, s.describe, s.recommend);
    replyOk(request);
  }
  LOG("d", "%s", "");
}

void APIServerManager::delServer(HttpRequest& request) {
  LOG("d", "%s", "");
  std::string id;
  std::string error = parse_info(
      request, [&id](const JsonDocument& doc) { id = json_as_text(json_at(doc, "id")); });
  if (!error.empty()) {
    LOG("w", "%s", error.c_str());
    replyFail(request, error);
  } else {
    manager_.delServer(id);
    replyOk(request);
  }
  LOG("d", "%s", "");
}

void APIServerManager::selectServer(HttpRequest& request) {
  LOG("d", "%s", "");
  std::string id;
  std::string error = parse_info(
      request, [&id](const JsonDocument& doc) { id = json_as_text(json_at(doc, "id")); });
  if (error.empty() && !manager_.selectServer(id)) error = "no such server :id=" + id;
  if (!error.empty()) {
    LOG("w", "%s", error.c_str());
    replyFail(request, error);
  } else {
    replyOk(request);
  }
  LOG("d", "%s", "");
}
