#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "Net.h"

const sock_t kInvalidSocket = -1;

namespace {

// A null ip means every local address.
bool make_address(int port, const char* ip, sockaddr_in* addr) {
  memset(addr, 0, sizeof(*addr));
  addr->sin_family = AF_INET;
  addr->sin_port = htons(static_cast<uint16_t>(port));
  if (ip == nullptr) {
    addr->sin_addr.s_addr = htonl(INADDR_ANY);
    return true;
  }
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

int socket_error() { return errno; }

sock_t open_udp() { return socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP); }

// Windows lets a listener bind over connections of an earlier run still in
// TIME_WAIT; SO_REUSEADDR gives Linux the same (it never lets two listeners
// share a port).
sock_t open_tcp() {
  int s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s >= 0) {
    int on = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  }
  return s;
}

int bind_socket(sock_t s, const char* ip, int port) {
  sockaddr_in addr;
  if (!make_address(port, ip, &addr)) {
    errno = EINVAL;
    return -1;
  }
  return bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 ? 0 : -1;
}

int listen_socket(sock_t s, int backlog) { return listen(s, backlog) == 0 ? 0 : -1; }

sock_t accept_socket(sock_t s, std::string* peer_ip, int* peer_port) {
  sockaddr_in peer;
  socklen_t len = sizeof(peer);
  int c;
  do {
    c = accept(s, reinterpret_cast<sockaddr*>(&peer), &len);
  } while (c < 0 && errno == EINTR);
  if (c < 0) return kInvalidSocket;
  if (peer_ip != nullptr) {
    char text[INET_ADDRSTRLEN] = {0};
    inet_ntop(AF_INET, &peer.sin_addr, text, sizeof(text));
    *peer_ip = text;
  }
  if (peer_port != nullptr) *peer_port = ntohs(peer.sin_port);
  return c;
}

// Linux wants an int for the option; Windows takes the one byte.
int enable_broadcast(sock_t s) {
  int on = 1;
  return setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof(on)) == 0 ? 0 : -1;
}

int send_datagram(sock_t s, const char* ip, int port, const char* data, size_t size) {
  sockaddr_in addr;
  if (!make_address(port, ip, &addr)) {
    errno = EINVAL;
    return -1;
  }
  ssize_t n = sendto(s, data, size, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
  return n < 0 ? -1 : static_cast<int>(n);
}

int receive_datagram(sock_t s, char* buf, size_t size, int timeout_ms) {
  pollfd p;
  p.fd = s;
  p.events = POLLIN;
  p.revents = 0;
  int n = poll(&p, 1, timeout_ms);
  if (n < 0) return -1;
  if (n == 0) return -2;
  ssize_t got = recv(s, buf, size, 0);
  return got < 0 ? -1 : static_cast<int>(got);
}

int send_some(sock_t s, const char* data, size_t size) {
  if (size > INT_MAX) size = INT_MAX;
  ssize_t n;
  do {
    n = send(s, data, size, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n < 0 ? -1 : static_cast<int>(n);
}

int wait_writable(sock_t s, int ms) {
  pollfd p;
  p.fd = s;
  p.events = POLLOUT;
  p.revents = 0;
  int n = poll(&p, 1, ms);
  if (n < 0) return errno == EINTR ? 0 : -1;
  if (n == 0) return 0;
  // An error or hang-up also ends the wait: the send then reports it.
  return 1;
}

bool host_address(std::string* ip) {
  char name[256] = {0};
  if (gethostname(name, sizeof(name) - 1) != 0) return false;
  addrinfo hints;
  memset(&hints, 0, sizeof(hints));
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return false;
  char text[INET_ADDRSTRLEN] = {0};
  const sockaddr_in* first = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  bool ok = inet_ntop(AF_INET, &first->sin_addr, text, sizeof(text)) != nullptr;
  freeaddrinfo(found);
  if (ok) *ip = text;
  return ok;
}
