// The HTTP benchmark's baseline: CivetWeb alone, configured like ludarium's
// API, answering /ping and /getBroadcast with fixed bytes of the same size.
//   bare_civetweb PORT BROADCAST_BODY_FILE
#include <civetweb.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "Thread.h"
#include "Util.h"

namespace {

std::string g_ping;
std::string g_broadcast;

std::string reply(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nAccess-Control-Allow-Origin: *\r\nContent-Type: text/plain;charset=utf-8\r\n"
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

int begin_request(struct mg_connection* conn) {
  const struct mg_request_info* info = mg_get_request_info(conn);
  const std::string& r = strncmp(info->local_uri, "/ping", 5) == 0 ? g_ping : g_broadcast;
  mg_write(conn, r.data(), r.size());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: bare_civetweb PORT BROADCAST_BODY_FILE\n");
    return 2;
  }
  g_ping = reply("{\"status\":1,\"msg\":\"ok\",\"recordset\":{\"version_code\":1014,\"version_name\":\"3.1.4\"}}");
  g_broadcast = reply(read_text_file(argv[2]));
  const char* options[] = {"listening_ports", argv[1], "enable_keep_alive", "no", "num_threads", "20",
                           "request_timeout_ms", "10000", nullptr};
  struct mg_callbacks callbacks;
  memset(&callbacks, 0, sizeof(callbacks));
  callbacks.begin_request = begin_request;
  if (mg_start(&callbacks, nullptr, options) == nullptr) return 1;
  for (;;) sleep_ms(1000);
}
