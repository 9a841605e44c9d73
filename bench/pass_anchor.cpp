// The anchor of the student-link benchmark: N threads with nothing to do
// but the pass structure sessions used to have, a 10 ms readiness wait on a
// quiet connection and a 200 ms timed wait on a shared condition, over and
// over. Its idle CPU, measured in the same run as the server's, turns the
// server's figure into a ratio that a busy or slow machine does not skew.
//
//   pass_anchor N     (runs until killed; prints "ready N" once all run)
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "Mutex.h"
#include "Net.h"
#include "Thread.h"

namespace {

cond_t gCondition;

unsigned int pass_loop(void* arg) {
  sock_t s = static_cast<sock_t>(reinterpret_cast<intptr_t>(arg));
  for (;;) {
    net_wait_readable(s, 10);
    cond_timedwait(&gCondition, nullptr, 200);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int count = argc > 1 ? atoi(argv[1]) : 100;
  net_startup(2, 2);
  cond_init(&gCondition);
  sock_t listener = kInvalidSocket;
  int port = 0;
  for (port = 46100; port < 46200 && listener == kInvalidSocket; ++port) {
    listener = open_tcp_listener("127.0.0.1", port, 200);
  }
  --port;
  if (listener == kInvalidSocket) return 1;
  std::vector<sock_t> clients;
  for (int i = 0; i < count; ++i) {
    sock_t c = net_tcp_socket();
    if (net_connect(c, "127.0.0.1", port) != 0) return 1;
    clients.push_back(c);
    sock_t s = net_accept(listener, nullptr, nullptr);
    if (s == kInvalidSocket) return 1;
    if (thread_begin(pass_loop, reinterpret_cast<void*>(static_cast<intptr_t>(s))) != 0) return 1;
  }
  printf("ready %d\n", count);
  fflush(stdout);
  for (;;) sleep_ms(1000);
}
