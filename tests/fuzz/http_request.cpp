// Raw HTTP requests to the local API through the frame's admission and
// routing (HttpServer::handle), as CivetWeb would hand them over. A leading
// "!" makes the caller another host. Routes that would start threads or wait
// (/sendCmd's reporters, a /pullOpCmd long poll) or keep files (the server
// and login-user stores) reach the same handler code through objects made
// for each input: a queue without wait slots, stores in a scratch folder
// emptied after each input, and /sendCmd's parse step.
#include <strings.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "APIPullOpCmd.h"
#include "APISendCmd.h"
#include "APISendOpCmd.h"
#include "APIServerManager.h"
#include "APIUserManager.h"
#include "BaseHttpAPI.h"
#include "FileSystem.h"
#include "FuzzSetup.h"
#include "HttpRequest.h"
#include "HttpServer.h"
#include "OpCmd.h"
#include "ServerObjects.h"

namespace {

class RawRequest : public HttpRequest {
 public:
  explicit RawRequest(std::string raw) {
    if (!raw.empty() && raw[0] == '!') {
      caller_ = "192.168.1.5";
      raw.erase(0, 1);
    }
    size_t at = 0;
    std::string line = next_line(raw, &at);
    size_t sp1 = line.find(' ');
    method_ = line.substr(0, sp1);
    if (sp1 != std::string::npos) {
      size_t sp2 = line.find(' ', sp1 + 1);
      std::string target =
          line.substr(sp1 + 1, sp2 == std::string::npos ? std::string::npos : sp2 - sp1 - 1);
      if (sp2 != std::string::npos) version_ = line.substr(sp2 + 1);
      size_t q = target.find('?');
      uri_ = target.substr(0, q);
      if (q != std::string::npos) {
        has_query_ = true;
        query_ = target.substr(q + 1);
      }
    }
    while (at < raw.size()) {
      line = next_line(raw, &at);
      if (line.empty()) break;
      size_t colon = line.find(':');
      headers_.emplace_back(line.substr(0, colon),
                            colon == std::string::npos ? std::string() : line.substr(colon + 1));
    }
    body_ = raw.substr(at < raw.size() ? at : raw.size());
  }

  std::string method() const override { return method_; }
  std::string uri() const override { return uri_; }
  std::string http_version() const override { return version_; }
  bool has_query() const override { return has_query_; }
  std::string query_string() const override { return query_; }
  std::string remote_user() const override { return ""; }
  std::string remote_addr() const override { return caller_; }
  int remote_port() const override { return 5555; }
  std::string local_addr() const override { return "0.0.0.0"; }
  int local_port() const override { return 40080; }
  std::vector<std::pair<std::string, std::string>> headers() const override { return headers_; }
  const std::string& body() override { return body_; }
  void write(const std::string& bytes) override { written_ += bytes.size(); }

 private:
  static std::string next_line(const std::string& raw, size_t* at) {
    size_t end = raw.find('\n', *at);
    std::string line = raw.substr(*at, end == std::string::npos ? std::string::npos : end - *at);
    *at = end == std::string::npos ? raw.size() : end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }

  std::string method_, uri_, version_, query_, body_, caller_ = "127.0.0.1";
  bool has_query_ = false;
  std::vector<std::pair<std::string, std::string>> headers_;
  size_t written_ = 0;
};

// As the router matches: by prefix, without regard to case.
bool starts_with(const std::string& uri, const char* prefix) {
  return strncasecmp(uri.c_str(), prefix, strlen(prefix)) == 0;
}

std::string config_dir() {
  static const std::string dir = [] {
    std::string d = path_join(module_dir(), "fuzz-config");
    make_dir(d);
    return d;
  }();
  return dir;
}

// The server's objects, made once: the handlers that keep no files and
// start no threads serve every input from them.
ServerObjects& objects() {
  static ServerObjects* made = new ServerObjects(config_dir());
  return *made;
}

void clear_config() {
  remove_file(path_join(config_dir(), "servers"));
  remove_file(path_join(config_dir(), "ud"));
  remove_file(path_join(config_dir(), "origins"));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  clear_config();
  return fuzz_setup();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RawRequest request(std::string(reinterpret_cast<const char*>(data), size));
  const std::string uri = request.uri();
  if (!HttpServer::admitted(request.remote_addr(), uri)) {
    objects().server.handle(request);
  } else if (starts_with(uri, "/sendCmd")) {
    char target[1024], command[2048];
    const std::string form = request.has_query() ? request.query_string() : request.body();
    if (BaseHttpAPI::formVar(form, "target", target, sizeof(target)) > 0 &&
        BaseHttpAPI::formVar(form, "command", command, sizeof(command)) > 0) {
      Instruction built;
      std::string error;
      APISendCmd api(objects().course, objects().manager, objects().set, objects().reporting);
      api.buildInstruction(target, command, &built, &error);
    }
  } else if (starts_with(uri, "/sendOpCmd") || starts_with(uri, "/pullOpCmd")) {
    OpCmd queue;
    queue.set("t", "waiting");
    APISendOpCmd send(&queue);
    APIPullOpCmd pull(&queue, 0);  // no wait slots: a pull answers at once
    BaseHttpAPI& api = starts_with(uri, "/sendOpCmd") ? static_cast<BaseHttpAPI&>(send) : pull;
    api.onHandleEvent(request);
  } else if (starts_with(uri, "/getAPIServer") || starts_with(uri, "/addAPIServer") ||
             starts_with(uri, "/delAPIServer") || starts_with(uri, "/selectAPIServer")) {
    APIServerManager servers(config_dir(), objects().course);
    servers.onHandleEvent(request);
    clear_config();
  } else if (starts_with(uri, "/loginUserSet") || starts_with(uri, "/loginUserGet")) {
    APIUserManager users(config_dir());
    users.onHandleEvent(request);
    clear_config();
  } else {
    objects().server.handle(request);
  }
  return 0;
}
