// What a session needs of its connection and of time: frames out, bytes
// in, the clock, and a way to have its next pass run now. SocketLink is the
// real one (a socket, the wall clock and its SessionRunner); the unit tests
// script a fake.
//
// Thread safety: everything from the thread running the session's passes,
// except wake(), which any thread may call at any time.
#pragma once

#include <cstdint>
#include <string>

#include "WireProtocol.h"

class SessionLink : public ByteSource {
 public:
  // Milliseconds since 1970 (UTC).
  virtual int64_t now_ms() = 0;
  // As send_frame: bytes sent, 0 when not writable within 10 ms (nothing
  // sent), -1 on failure (see last_error).
  virtual int send(const std::string& frame) = 0;
  // The socket error code of the last failed send or receive.
  virtual int last_error() = 0;
  // The session's next pass runs now (SocketTaskThread::wake has marked it).
  virtual void wake() = 0;
  // The peer's IPv4 address; false when it has none.
  virtual bool peer_address(std::string* ip, int* port) = 0;
  // Closes the connection gracefully; the link is not used for I/O after.
  virtual void close() = 0;
};
