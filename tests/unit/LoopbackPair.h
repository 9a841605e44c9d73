// A connected TCP pair over loopback for tests of socket code.
#pragma once

#include "Net.h"
#include "PortRange.h"
#include "Socket.h"

// `near` stays in the test's hands, `far` is the end the code under test
// gets (its owner closes it).
struct LoopbackPair {
  Socket listener;
  Socket near;
  sock_t far = kInvalidSocket;
};

inline LoopbackPair connected_pair() {
  // Each pair takes a port of its own: a closed pair leaves its port in
  // TIME_WAIT, which the probe does not see but a new listener would. The
  // near end of an earlier pair may also hold a port of the range as its
  // own (ephemeral) port, which the probe does not see either: such a port
  // is skipped.
  static int next_port = 46500;
  LoopbackPair p;
  int port = 0;
  while (!p.listener.valid() && next_port <= 46999) {
    port = first_free_port(next_port, 46999, "127.0.0.1");
    next_port = port + 1;
    if (port <= 46999) p.listener.reset(open_tcp_listener("127.0.0.1", port, 4));
  }
  p.near.reset(net_tcp_socket());
  if (!p.listener.valid() || !p.near.valid()) return p;
  if (net_connect(p.near.get(), "127.0.0.1", port) != 0) return p;
  p.far = net_accept(p.listener.get(), nullptr, nullptr);
  return p;
}
