#include "HttpServer.h"

#include <civetweb.h>

#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "APIActiveUserList.h"
#include "APICommitCourseInfo.h"
#include "APIConsoleGroups.h"
#include "APIGetBroadcast.h"
#include "APIGetMoreNetCardInfo.h"
#include "APIPing.h"
#include "APIPullOpCmd.h"
#include "APIScreenCap.h"
#include "APISelectNetCard.h"
#include "APISendCmd.h"
#include "APISendOpCmd.h"
#include "APIServerManager.h"
#include "APIUserManager.h"
#include "APIUserResponse.h"
#include "APIWebOrigins.h"
#include "APIZipTest.h"
#include "Admission.h"
#include "AnsiText.h"
#include "BaseHttpAPI.h"
#include "Clock.h"
#include "CrashReporter.h"
#include "FileSystem.h"
#include "HttpRequest.h"
#include "Log.h"

namespace {

bool starts_with_nocase(const std::string& text, const char* prefix) {
  size_t n = strlen(prefix);
  return text.size() >= n && mg_strncasecmp(text.c_str(), prefix, n) == 0;
}

// A path inside the www folder: no "..", backslash, doubled slash or colon
// that could lead the file server elsewhere.
bool inside_www(const std::string& uri) {
  if (!(starts_with_nocase(uri, "/www/") || uri.size() == 4)) return false;
  if (uri.find("..") != std::string::npos || uri.find('\\') != std::string::npos ||
      uri.find("//") != std::string::npos || uri.find(':') != std::string::npos ||
      uri.find('\0') != std::string::npos) {
    return false;
  }
  return true;
}

// A request as CivetWeb hands it over.
class CivetRequest : public HttpRequest {
 public:
  CivetRequest(struct mg_connection* conn, const struct mg_request_info* info)
      : conn_(conn), info_(info) {}

  std::string method() const override { return text(info_->request_method); }
  std::string uri() const override {
    return text(info_->local_uri_raw ? info_->local_uri_raw : info_->request_uri);
  }
  std::string http_version() const override { return text(info_->http_version); }
  bool has_query() const override { return info_->query_string != nullptr; }
  std::string query_string() const override { return text(info_->query_string); }
  std::string remote_user() const override { return text(info_->remote_user); }
  std::string remote_addr() const override { return info_->remote_addr; }
  int remote_port() const override { return info_->remote_port; }
  std::string local_addr() const override {
    // CivetWeb does not tell which local address a connection came in on;
    // it listens on every interface.
    return "0.0.0.0";
  }
  int local_port() const override { return info_->server_port; }
  std::vector<std::pair<std::string, std::string>> headers() const override {
    std::vector<std::pair<std::string, std::string>> result;
    for (int i = 0; i < info_->num_headers; ++i) {
      result.emplace_back(text(info_->http_headers[i].name), text(info_->http_headers[i].value));
    }
    return result;
  }
  const std::string& body() override {
    if (!body_read_) {
      body_read_ = true;
      char buf[8192];
      // Bounded: a larger body is cut; CivetWeb's request time-out ends a
      // body that never completes. The connection closes after the reply.
      while (body_.size() < kMaxBody) {
        size_t want = std::min(sizeof(buf), kMaxBody - body_.size());
        int n = mg_read(conn_, buf, want);
        if (n <= 0) break;
        body_.append(buf, static_cast<size_t>(n));
      }
    }
    return body_;
  }
  void write(const std::string& bytes) override { mg_write(conn_, bytes.data(), bytes.size()); }

 private:
  static std::string text(const char* s) { return s ? s : ""; }

  struct mg_connection* conn_;
  const struct mg_request_info* info_;
  bool body_read_ = false;
  std::string body_;
};

void* init_worker(const struct mg_context*, int) {
  crash_install_thread(kCrashAllHandlers);
  return nullptr;
}

void exit_worker(const struct mg_context*, int, void*) { crash_uninstall_thread(); }

}  // namespace

// Handlers are made on their first request, once, whichever worker thread
// asks first.
struct HttpServer::Slot {
  std::once_flag once;
  std::function<BaseHttpAPI*()> make;
  std::unique_ptr<BaseHttpAPI> handler;
};

HttpServer::HttpServer(int port, const ApiContext& context) : port_(port), context_(context) {
  const ApiContext& c = context_;
  std::shared_ptr<Slot> servers =
      slot([&c] { return new APIServerManager(c.config_dir, c.course); });
  std::shared_ptr<Slot> login_users = slot([&c] { return new APIUserManager(c.config_dir); });
  routes_ = {
      {"/ping", slot([&c] { return new APIPing(c.presence); })},
      {"/activeUserList", slot([&c] { return new APIActiveUserList(c.users); })},
      {"/userResponse", slot([&c] { return new APIUserResponse(c.users); })},
      {"/sendCmd", slot([&c] {
         return new APISendCmd(c.course, c.instructions, c.instruction_set, c.reporting);
       })},
      {"/getAPIServer", servers},
      {"/addAPIServer", servers},
      {"/delAPIServer", servers},
      {"/selectAPIServer", servers},
      {"/loginUserSet", login_users},
      {"/loginUserGet", login_users},
      {"/commitCourseInfo", slot([&c] { return new APICommitCourseInfo(c.course); })},
      {"/zipTest", slot([] { return new APIZipTest(); })},
      {"/getBroadcast", slot([&c] { return new APIGetBroadcast(c.course); })},
      {"/getMoreNetCardInfo", slot([&c] { return new APIGetMoreNetCardInfo(c.announcer); })},
      {"/selectNetCard", slot([&c] { return new APISelectNetCard(c.announcer); })},
      {"/captureScreen", slot([] { return new APIScreenCap(); })},
      {"/sendOpCmd", slot([&c] { return new APISendOpCmd(&c.op_cmd); })},
      // Half of the workers at most may wait in a pull.
      {"/pullOpCmd", slot([&c] { return new APIPullOpCmd(&c.op_cmd, kWorkerThreads / 2); })},
  };
  std::shared_ptr<Slot> origins =
      slot([this] { return new APIWebOrigins(context_.origins, refusals_); });
  for (const char* uri : {"/getWebOrigins", "/addWebOrigin", "/delWebOrigin"})
    routes_.push_back({uri, origins});
  std::shared_ptr<Slot> groups = slot([&c] { return new APIConsoleGroups(c.console_groups); });
  for (const char* uri : {"/getConsoleGroups", "/setConsoleGroups"}) routes_.push_back({uri, groups});
}

std::shared_ptr<HttpServer::Slot> HttpServer::slot(std::function<BaseHttpAPI*()> make) {
  std::shared_ptr<Slot> s = std::make_shared<Slot>();
  s->make = std::move(make);
  return s;
}

BaseHttpAPI* HttpServer::handler_for(const std::string& uri) {
  for (const Route& r : routes_) {
    if (starts_with_nocase(uri, r.prefix)) {
      Slot& s = *r.slot;
      std::call_once(s.once, [&s] { s.handler.reset(s.make()); });
      return s.handler.get();
    }
  }
  return nullptr;
}

HttpServer::~HttpServer() {
  if (mg_ != nullptr) mg_stop(mg_);
  mg_ = nullptr;
}

int HttpServer::start() {
  if (mg_ != nullptr) return -1;
  std::string port = std::to_string(port_);
  // The executable's folder is ANSI; the library reads its root as UTF-8.
  std::string root = ansi_to_utf8(module_dir());
  std::string threads = std::to_string(kWorkerThreads);
  const char* options[] = {"listening_ports", port.c_str(), "enable_keep_alive", "no",
                           "document_root", root.c_str(), "num_threads", threads.c_str(),
                           // A request (its body included) that does not
                           // arrive in 10 s gives its worker thread back.
                           "request_timeout_ms", "10000", nullptr};
  struct mg_callbacks callbacks;
  memset(&callbacks, 0, sizeof(callbacks));
  callbacks.begin_request = beginRequest;
  callbacks.init_thread = init_worker;
  callbacks.exit_thread = exit_worker;
  callbacks.accept_connection = acceptConnection;
  callbacks.connection_closed = connectionClosed;
  // CivetWeb writes its own diagnostics to stderr; it needs no set-up call.
  mg_ = mg_start(&callbacks, this, options);
  return mg_ != nullptr ? 0 : -1;
}

bool HttpServer::admitted(const std::string& caller, const std::string& uri) {
  if (caller.compare(0, 9, "127.0.0.1") == 0) return true;
  if (starts_with_nocase(uri, "/getBroadcast") || starts_with_nocase(uri, "/sendOpCmd") ||
      starts_with_nocase(uri, "/pullOpCmd")) {
    return true;
  }
  return starts_with_nocase(uri, "/www") && inside_www(uri);
}

int HttpServer::handle(HttpRequest& request) {
  // Nothing may pass from a handler into CivetWeb's C code: an exception
  // there ends the process. Whatever escapes is answered as a failure.
  try {
    return route(request);
  } catch (const std::exception& e) {
    BaseHttpAPI::replyException(request, e, "", HANDLER_SITE);
  } catch (...) {
    LOG("w", "exception: unknown");
    BaseHttpAPI::replyFail(request, "exception: unknown");
  }
  return 1;
}

int HttpServer::route(HttpRequest& request) {
  RequestFacts facts = RequestFacts::of(request);
  Verdict verdict =
      admit(facts, [this](const std::string& origin) { return context_.origins.contains(origin); });
  if (verdict.outcome != Outcome::kServed) {
    if (verdict.outcome == Outcome::kRemoteCaller) {
      LOG("w", "uri=%s, caller=%s", facts.uri.c_str(), facts.caller.c_str());
    } else if (verdict.outcome == Outcome::kForeignHost) {
      refusals_.foreignHost(facts.host.value, facts.uri, facts.caller, wall_ms());
    } else {
      refusals_.foreignPage(verdict.origin, facts.uri, wall_ms());
    }
    BaseHttpAPI base;
    return base.onHandleEvent(request);
  }
  const std::string& uri = facts.uri;
  BaseHttpAPI* handler = handler_for(uri);
  return handler != nullptr ? handler->onHandleEvent(request) : 0;
}

// As with handlers, nothing may pass into CivetWeb's C code: a connection
// the gate could not count (memory exhausted) is closed.
int HttpServer::acceptConnection(const struct mg_context* ctx, const char* remote_addr) {
  try {
    return static_cast<HttpServer*>(mg_get_user_data(ctx))->gate_.admit(remote_addr) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

void HttpServer::connectionClosed(const struct mg_connection* conn) {
  const struct mg_request_info* info = mg_get_request_info(conn);
  try {
    static_cast<HttpServer*>(info->user_data)->gate_.release(info->remote_addr);
  } catch (...) {
  }
}

int HttpServer::beginRequest(struct mg_connection* conn) {
  if (conn == nullptr) {
    LOG("e", "event->conn=%p", static_cast<void*>(conn));
    return 0;
  }
  const struct mg_request_info* info = mg_get_request_info(conn);
  if (info == nullptr) {
    LOG("e", "event->request_info=%p", static_cast<const void*>(info));
    return 0;
  }
  if (info->request_uri == nullptr) {
    LOG("e", "event->request_info->uri=%p", static_cast<const void*>(info->request_uri));
    return 0;
  }
  CivetRequest request(conn, info);
  return static_cast<HttpServer*>(info->user_data)->handle(request);
}
