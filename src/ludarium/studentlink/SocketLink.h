// A session's link over a real socket: the wall clock, send_frame, the
// non-waiting receive and a SocketWaiter. Owns the socket from construction.
#pragma once

#include "Net.h"
#include "SessionLink.h"
#include "SocketWaiter.h"

class SocketLink : public SessionLink {
 public:
  explicit SocketLink(sock_t s);
  ~SocketLink() override;

  int receive(char* buf, int len) override;
  int64_t now_ms() override;
  int send(const std::string& frame) override;
  int last_error() override;
  int wait(int ms, bool watch_socket) override;
  void wake() override;
  bool peer_address(std::string* ip, int* port) override;
  void close() override;

 private:
  sock_t socket_;
  SocketWaiter waiter_;
};
