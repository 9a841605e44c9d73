#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Net.h"
#include "Socket.h"

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

  {
    Socket tcp(net_tcp_socket(), SocketClose::kGraceful);
    if (tcp.valid() && connect(tcp.get(), reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0) {
      return 1;
    }
  }
  Socket udp(net_udp_socket());
  if (!udp.valid()) return 1;
  return bind(udp.get(), reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ? 1 : 0;
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

void close_socket(sock_t s) {
  if (s != kInvalidSocket) close(s);
}

int net_last_error() { return errno; }

bool net_is_connection_lost(int code) {
  return code == ECONNABORTED || code == ECONNRESET || code == EPIPE;
}

namespace {

int wait_for(sock_t s, short events, int ms) {
  struct pollfd p;
  p.fd = s;
  p.events = events;
  p.revents = 0;
  int rc;
  do {
    rc = poll(&p, 1, ms);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0) return -1;
  return rc == 0 ? 0 : 1;
}

bool ipv4_of(const sockaddr_storage& addr, std::string* ip, int* port) {
  if (addr.ss_family != AF_INET) return false;
  const sockaddr_in* in = reinterpret_cast<const sockaddr_in*>(&addr);
  char text[INET_ADDRSTRLEN] = "";
  inet_ntop(AF_INET, &in->sin_addr, text, sizeof(text));
  if (ip != nullptr) *ip = text;
  if (port != nullptr) *port = ntohs(in->sin_port);
  return true;
}

}  // namespace

int net_wait_readable(sock_t s, int ms) { return wait_for(s, POLLIN, ms); }
int net_wait_writable(sock_t s, int ms) { return wait_for(s, POLLOUT, ms); }

int net_send(sock_t s, const char* data, int len) {
  ssize_t n;
  do {
    n = send(s, data, static_cast<size_t>(len), MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return static_cast<int>(n);
}

int net_send_now(sock_t s, const char* data, int len) {
  ssize_t n;
  do {
    n = send(s, data, static_cast<size_t>(len), MSG_NOSIGNAL | MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return kNetWouldBlock;
  return static_cast<int>(n);
}

int net_recv(sock_t s, char* buf, int len) {
  ssize_t n;
  do {
    n = recv(s, buf, static_cast<size_t>(len), 0);
  } while (n < 0 && errno == EINTR);
  return static_cast<int>(n);
}

int net_recv_now(sock_t s, char* buf, int len) {
  ssize_t n;
  do {
    n = recv(s, buf, static_cast<size_t>(len), MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return kNetWouldBlock;
  return static_cast<int>(n);
}

sock_t net_tcp_socket() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  return s < 0 ? kInvalidSocket : s;
}

sock_t net_udp_socket() {
  int s = socket(AF_INET, SOCK_DGRAM, 0);
  return s < 0 ? kInvalidSocket : s;
}

int net_bind_any(sock_t s, int port) {
  int on = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  sockaddr_in addr;
  memset(&addr, 0, sizeof(addr));
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  return bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 ? 0 : -1;
}

int net_listen(sock_t s, int backlog) { return listen(s, backlog) == 0 ? 0 : -1; }

sock_t net_accept(sock_t listener, std::string* ip, int* port) {
  sockaddr_storage addr;
  socklen_t len = sizeof(addr);
  int s;
  do {
    s = accept(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  } while (s < 0 && errno == EINTR);
  if (s < 0) return kInvalidSocket;
  if (!ipv4_of(addr, ip, port)) {
    if (ip != nullptr) ip->clear();
    if (port != nullptr) *port = 0;
  }
  return s;
}

bool net_peer_address(sock_t s, std::string* ip, int* port) {
  sockaddr_storage addr;
  socklen_t len = sizeof(addr);
  if (getpeername(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return false;
  return ipv4_of(addr, ip, port);
}

bool net_resolve_ipv4(const std::string& host, std::string* ip) {
  addrinfo hints;
  memset(&hints, 0, sizeof(hints));
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) return false;
  char text[INET_ADDRSTRLEN] = "";
  inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr, text, sizeof(text));
  freeaddrinfo(result);
  *ip = text;
  return true;
}

int net_connect(sock_t s, const std::string& ip, int port) {
  sockaddr_in addr;
  if (!make_address(port, ip.c_str(), &addr)) return -1;
  return connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 ? 0 : -1;
}

int net_set_timeouts(sock_t s, int ms) {
  timeval tv;
  tv.tv_sec = ms / 1000;
  tv.tv_usec = (ms % 1000) * 1000;
  int a = setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
  int b = setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
  return a == 0 && b == 0 ? 0 : -1;
}

int net_poll_readable(std::vector<PollItem>* items, int ms) {
  std::vector<pollfd> fds(items->size());
  for (size_t i = 0; i < items->size(); ++i) {
    fds[i].fd = (*items)[i].socket;
    fds[i].events = POLLIN;
    fds[i].revents = 0;
  }
  int rc;
  do {
    rc = poll(fds.data(), fds.size(), ms);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0) return -1;
  for (size_t i = 0; i < items->size(); ++i) (*items)[i].ready = fds[i].revents != 0;
  return rc;
}

int bind_socket(sock_t s, const char* ip, int port) {
  sockaddr_in addr;
  if (!make_address(port, ip, &addr)) {
    errno = EINVAL;
    return -1;
  }
  return bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 ? 0 : -1;
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
  int ready = wait_for(s, POLLIN, timeout_ms);
  if (ready < 0) return -1;
  if (ready == 0) return -2;
  ssize_t got = recv(s, buf, size, 0);
  return got < 0 ? -1 : static_cast<int>(got);
}

bool host_address(std::string* ip) {
  char name[256] = {0};
  if (gethostname(name, sizeof(name) - 1) != 0) return false;
  return net_resolve_ipv4(name, ip);
}
