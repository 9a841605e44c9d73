#include "SocketLink.h"

#include "Clock.h"
#include "SessionRunner.h"

SocketLink::SocketLink(Socket s, SessionRunner* runner)
    : socket_(s.release(), SocketClose::kGraceful), runner_(runner) {}

int SocketLink::receive(char* buf, int len) { return net_recv_now(socket_.get(), buf, len); }

int64_t SocketLink::now_ms() { return wall_ms(); }

int SocketLink::send(const std::string& frame) { return send_frame(socket_.get(), frame); }

int SocketLink::last_error() { return net_last_error(); }

void SocketLink::wake() { runner_->wake(wake_cell_); }

bool SocketLink::peer_address(std::string* ip, int* port) { return net_peer_address(socket_.get(), ip, port); }

void SocketLink::close() { socket_.reset(); }
