#include "SocketLink.h"

#include "Clock.h"
#include "Thread.h"

SocketLink::SocketLink(Socket s) : socket_(s.release(), SocketClose::kGraceful), waiter_(socket_.get()) {}

int SocketLink::receive(char* buf, int len) { return net_recv_now(socket_.get(), buf, len); }

int64_t SocketLink::now_ms() { return wall_ms(); }

int SocketLink::send(const std::string& frame) { return send_frame(socket_.get(), frame); }

int SocketLink::last_error() { return net_last_error(); }

int SocketLink::wait(int ms, bool watch_socket) {
  int rc = waiter_.wait(ms, watch_socket);
  if (rc >= 0) return rc;
  // Without a working wait the session falls back to passes of 200 ms that
  // try the socket each time (the receive never blocks).
  sleep_ms(static_cast<unsigned>(ms < 0 || ms > 200 ? 200 : ms));
  return watch_socket ? kReadable : 0;
}

void SocketLink::wake() { waiter_.wake(); }

bool SocketLink::peer_address(std::string* ip, int* port) { return net_peer_address(socket_.get(), ip, port); }

void SocketLink::close() { socket_.reset(); }
