// A session's link over a real socket: the wall clock, send_frame, the
// non-waiting receive, and the SessionRunner that runs the session's passes
// and watches the socket. Owns the socket from construction.
#pragma once

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

 private:
  Socket socket_;  // closed gracefully
  SessionRunner* runner_;
};
