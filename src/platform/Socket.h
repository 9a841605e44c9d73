// A socket handle with one owner: closed once, when its owner lets go of it.
// Movable, not copyable; a moved-from Socket holds nothing.
#pragma once

#include "Net.h"

// How the owner closes the handle. kGraceful lingers, shuts the sending side
// and drains what the peer still sends (close_gracefully) before closing: the
// peer sees an orderly end instead of a reset.
enum class SocketClose { kAbrupt, kGraceful };

class Socket {
 public:
  Socket() = default;
  explicit Socket(sock_t s, SocketClose how = SocketClose::kAbrupt) : s_(s), how_(how) {}
  ~Socket() { reset(); }

  Socket(Socket&& other) noexcept : s_(other.release()), how_(other.how_) {}
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  sock_t get() const { return s_; }
  bool valid() const { return s_ != kInvalidSocket; }

  // Hands the handle to the caller, who closes it; this holds nothing after.
  sock_t release();

  // Closes the handle held (in the manner given at construction) and takes s.
  void reset(sock_t s = kInvalidSocket);

 private:
  sock_t s_ = kInvalidSocket;
  SocketClose how_ = SocketClose::kAbrupt;
};
