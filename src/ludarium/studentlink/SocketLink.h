// A session's link over a real socket: the wall clock, send_frame, the
// non-waiting receive and a SocketWaiter. Owns the socket from construction.
#pragma once

#include "Net.h"
#include "SessionLink.h"
#include "Socket.h"
#include "SocketWaiter.h"

class SocketLink : public SessionLink {
 public:
  explicit SocketLink(Socket s);
  // The waiter goes first, while the socket is still open.
  ~SocketLink() override = default;

  int receive(char* buf, int len) override;
  int64_t now_ms() override;
  int send(const std::string& frame) override;
  int last_error() override;
  int wait(int ms, bool watch_socket) override;
  void wake() override;
  bool peer_address(std::string* ip, int* port) override;
  void close() override;

 private:
  Socket socket_;  // closed gracefully
  SocketWaiter waiter_;
};
