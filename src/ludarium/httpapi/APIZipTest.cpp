#include "APIZipTest.h"

#include <cstdio>
#include <cstring>

namespace {

const size_t kEchoLimit = 10240 - 1;  // the text's buffer keeps its terminator
const size_t kLineLimit = 1024 - 1;

// Appends a line, each cut to its own buffer and the whole text to its limit.
void append(std::string* text, std::string line) {
  if (line.size() > kLineLimit) line.resize(kLineLimit);
  size_t room = kEchoLimit - text->size();
  text->append(line, 0, std::min(room, line.size()));
}

std::string format(const char* fmt, const std::string& s, int n) {
  char buf[1024];
  snprintf(buf, sizeof(buf), fmt, s.c_str(), n);
  return buf;
}

std::string format(const char* fmt, const std::string& s) {
  char buf[1024];
  snprintf(buf, sizeof(buf), fmt, s.c_str());
  return buf;
}

}  // namespace

std::string APIZipTest::echo(HttpRequest& request) {
  std::string text;
  append(&text, format("server : %s:%d\n", request.local_addr(), request.local_port()));
  append(&text, format("client : %s:%d\n", request.remote_addr(), request.remote_port()));
  append(&text, format("query_string : %s\n", request.query_string()));
  append(&text, format("remote_user : %s\n", request.remote_user()));
  append(&text, format("method : %s\n", request.method()));
  append(&text, format("http version : %s\n", request.http_version()));
  append(&text, format("uri : %s\n", request.uri()));
  char info[1024];
  if (request.has_query()) {
    std::string query = request.query_string();
    memset(info, 0, sizeof(info));
    if (formVar(query, "info", info, sizeof(info)) > 0) append(&text, std::string("arg[info] : ") + info + "\n");
  }
  const std::string& body = request.body();
  if (!body.empty()) {
    memset(info, 0, sizeof(info));
    if (formVar(body, "info", info, sizeof(info)) > 0) append(&text, std::string("content[info] : ") + info + "\n");
  }
  int i = 0;
  for (const auto& h : request.headers()) {
    char buf[1024];
    snprintf(buf, sizeof(buf), "header[%d] %s:%s\n", i++, h.first.c_str(), h.second.c_str());
    append(&text, buf);
  }
  return text;
}

int APIZipTest::onHandleEvent(HttpRequest& request) {
  std::string text = echo(request);
  request.write(
      "HTTP/1.1 200 OK\r\nAccess-Control-Allow-Origin: *\r\nContent-Type: text/plain;charset=utf-8\r\n"
      "Content-Length: " +
      std::to_string(text.size()) + "\r\n\r\n" + text);
  return 1;
}
