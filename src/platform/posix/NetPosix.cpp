#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "Net.h"

const sock_t kInvalidSocket = -1;

namespace {

bool make_address(int port, const char* ip, sockaddr_in* addr) {
  memset(addr, 0, sizeof(*addr));
  addr->sin_family = AF_INET;
  addr->sin_port = htons(static_cast<uint16_t>(port));
  return inet_pton(AF_INET, ip, &addr->sin_addr) == 1;
}

}  // namespace

// Nothing to start on Linux; SIGPIPE is avoided per send with MSG_NOSIGNAL.
int net_startup(int, int) { return 0; }
void net_cleanup() {}

int port_in_use(int port, const char* ip) {
  sockaddr_in addr;
  if (!make_address(port, ip, &addr)) return 1;

  int in_use = 0;
  int tcp = socket(AF_INET, SOCK_STREAM, 0);
  if (tcp >= 0) {
    if (connect(tcp, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0) in_use = 1;
    close_gracefully(tcp);
    close(tcp);
  }
  if (in_use) return 1;

  int udp = socket(AF_INET, SOCK_DGRAM, 0);
  if (udp < 0) return 1;
  if (bind(udp, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) in_use = 1;
  close(udp);
  return in_use;
}

void close_gracefully(sock_t s) {
  if (s == kInvalidSocket) return;
  struct linger lg;
  lg.l_onoff = 1;
  lg.l_linger = 1;
  setsockopt(s, SOL_SOCKET, SO_LINGER, &lg, sizeof(lg));
  shutdown(s, SHUT_WR);
  int flags = fcntl(s, F_GETFL, 0);
  if (flags >= 0) fcntl(s, F_SETFL, flags | O_NONBLOCK);
  char buf[1024];
  while (recv(s, buf, sizeof(buf), 0) > 0) {
  }
}

sock_t open_tcp_listener(const char* ip, int port, int backlog) {
  sockaddr_in addr;
  if (!make_address(port, ip, &addr)) return kInvalidSocket;
  int s = socket(AF_INET, SOCK_STREAM, 0);
  if (s < 0) return kInvalidSocket;
  if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(s, backlog) != 0) {
    close(s);
    return kInvalidSocket;
  }
  return s;
}

sock_t open_udp_socket(const char* ip, int port) {
  sockaddr_in addr;
  if (!make_address(port, ip, &addr)) return kInvalidSocket;
  int s = socket(AF_INET, SOCK_DGRAM, 0);
  if (s < 0) return kInvalidSocket;
  if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
    close(s);
    return kInvalidSocket;
  }
  return s;
}

void close_socket(sock_t s) {
  if (s != kInvalidSocket) close(s);
}
