// What a session needs of its connection and of time: frames out, bytes
// in, the clock, and its one wait. SocketLink is the real one (a socket,
// the wall clock and a SocketWaiter); the unit tests script a fake.
//
// Thread safety: everything from the session thread, except wake(), which
// any thread may call at any time.
#pragma once

#include <cstdint>
#include <string>

#include "WireProtocol.h"

class SessionLink : public ByteSource {
 public:
  // Result bits of wait(); 0 means the time ran out.
  static const int kReadable = 1;
  static const int kWoken = 2;

  // Milliseconds since 1970 (UTC).
  virtual int64_t now_ms() = 0;
  // As send_frame: bytes sent, 0 when not writable within 10 ms (nothing
  // sent), -1 on failure (see last_error).
  virtual int send(const std::string& frame) = 0;
  // The socket error code of the last failed send or receive.
  virtual int last_error() = 0;
  // Waits at most ms (no limit when negative) for the connection to be
  // readable (only when watch_socket), a wake, or the time. A mask of
  // kReadable and kWoken, or 0 when the time ran out.
  virtual int wait(int ms, bool watch_socket) = 0;
  virtual void wake() = 0;
  // The peer's IPv4 address; false when it has none.
  virtual bool peer_address(std::string* ip, int* port) = 0;
  // Closes the connection gracefully; the link is not used for I/O after.
  virtual void close() = 0;
};
