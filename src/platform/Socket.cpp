#include "Socket.h"

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    reset(other.release());
    how_ = other.how_;
  }
  return *this;
}

sock_t Socket::release() {
  sock_t s = s_;
  s_ = kInvalidSocket;
  return s;
}

void Socket::reset(sock_t s) {
  if (s_ != kInvalidSocket && s_ != s) {
    if (how_ == SocketClose::kGraceful) close_gracefully(s_);
    close_socket(s_);
  }
  s_ = s;
}

// Both openers are built from the platform's own calls, so they hold the
// socket in a Socket until it is ready and a failure closes it.
sock_t open_tcp_listener(const char* ip, int port, int backlog) {
  Socket s(net_tcp_socket());
  if (!s.valid() || bind_socket(s.get(), ip, port) != 0 || net_listen(s.get(), backlog) != 0) {
    return kInvalidSocket;
  }
  return s.release();
}

sock_t open_udp_socket(const char* ip, int port) {
  Socket s(net_udp_socket());
  if (!s.valid() || bind_socket(s.get(), ip, port) != 0) return kInvalidSocket;
  return s.release();
}
