#include "APIServerManager.h"

#include "InfoParser.h"
#include "Log.h"
#include "UriMatch.h"

namespace {

// The "id" of the request's info into *id; "" or parse_info's failure.
std::string parse_id(HttpRequest& request, std::string* id) {
  return parse_info(request,
                    [id](const JsonDocument& doc) { *id = json_as_text(json_at(doc, "id")); });
}

}  // namespace

APIServerManager::APIServerManager(const std::string& config_dir, CourseHolder& course)
    : course_(course), manager_(config_dir) {}

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
  if (error.empty()) {
    replyOk(request, "recordset", manager_.getRecommendServer());
  } else {
    replyFailLogged(request, error, HANDLER_SITE);
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
  if (error.empty()) {
    // A change the disk did not take is not acknowledged.
    int rc = manager_.addServer(s.school_id, s.id, s.address, s.describe, s.recommend);
    if (rc == 0) {
      replyOk(request);
    } else {
      replyFail(request, manager_.failureText(rc));
    }
  } else {
    replyFailLogged(request, error, HANDLER_SITE);
  }
  LOG("d", "%s", "");
}

void APIServerManager::delServer(HttpRequest& request) {
  LOG("d", "%s", "");
  std::string id;
  std::string error = parse_id(request, &id);
  if (error.empty()) {
    int rc = manager_.delServer(id);
    if (rc == 0) {
      replyOk(request);
    } else {
      replyFail(request, manager_.failureText(rc));
    }
  } else {
    replyFailLogged(request, error, HANDLER_SITE);
  }
  LOG("d", "%s", "");
}

void APIServerManager::selectServer(HttpRequest& request) {
  LOG("d", "%s", "");
  std::string id;
  std::string error = parse_id(request, &id);
  if (error.empty() && !manager_.selectServer(id, [this](const ServerManager::Server& chosen) {
        // The course's upstream server becomes the chosen record.
        course_.update([&chosen](BrocastData& course) {
          course.cache_addr = chosen.address;
          course.cache_describe = chosen.describe;
        });
      })) {
    error = "no such server :id=" + id;
  }
  if (error.empty()) {
    replyOk(request);
  } else {
    replyFailLogged(request, error, HANDLER_SITE);
  }
  LOG("d", "%s", "");
}
