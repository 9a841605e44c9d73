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
