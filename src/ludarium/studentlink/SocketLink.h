// A session's link over a real socket: the wall clock, send_frame, the
// non-waiting receive, and the SessionRunner that runs the session's passes
// and watches the socket. Owns the socket from construction.
#pragma once

#include <atomic>

#include "Net.h"
#include "SessionLink.h"
#include "Socket.h"

class SessionRunner;

class SocketLink : public SessionLink {
 public:
  SocketLink(Socket s, SessionRunner* runner);

  int receive(char* buf, int len) override;
  int64_t now_ms() override;
  int send(const std::string& frame) override;
  int last_error() override;
  void wake() override;
  bool peer_address(std::string* ip, int* port) override;
  void close() override;

  // The runner's thread: the cell that tells the runner which of its
  // sessions a wake is for (-1: none, the runner looks at all woken flags).
  void set_wake_cell(int cell) { wake_cell_ = cell; }

 private:
  Socket socket_;  // closed gracefully
  SessionRunner* runner_;
  std::atomic<int> wake_cell_{-1};
};
