// A load generator for the HTTP benchmark: CONCURRENCY clients, each
// sending GET PATH on a new connection (the server does not keep it) and
// reading the answer to its end, for SECONDS. Prints requests per second.
//   http_load PORT PATH SECONDS CONCURRENCY
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Clock.h"
#include "Net.h"
#include "Thread.h"

namespace {

struct Shared {
  int port;
  std::string request;
  int64_t end_ms;
  std::atomic<long> done{0};
  std::atomic<long> failed{0};
  std::atomic<int> running{0};
};

unsigned int client(void* arg) {
  Shared* s = static_cast<Shared*>(arg);
  char buf[4096];
  while (elapsed_ms() < s->end_ms) {
    sock_t sock = net_tcp_socket();
    bool ok = net_connect(sock, "127.0.0.1", s->port) == 0 &&
              net_send(sock, s->request.data(), static_cast<int>(s->request.size())) ==
                  static_cast<int>(s->request.size());
    long got = 0;
    while (ok) {
      int n = net_recv(sock, buf, sizeof(buf));
      if (n <= 0) break;
      got += n;
    }
    close_socket(sock);
    if (ok && got > 0) s->done++; else s->failed++;
  }
  s->running--;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    fprintf(stderr, "usage: http_load PORT PATH SECONDS CONCURRENCY\n");
    return 2;
  }
  net_startup(2, 2);
  Shared shared;
  shared.port = atoi(argv[1]);
  shared.request = std::string("GET ") + argv[2] + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  double seconds = atof(argv[3]);
  int concurrency = atoi(argv[4]);
  int64_t start = elapsed_ms();
  shared.end_ms = start + static_cast<long long>(seconds * 1000);
  shared.running = concurrency;
  for (int i = 0; i < concurrency; ++i) thread_begin(client, &shared);
  while (shared.running > 0) sleep_ms(20);
  double took = (elapsed_ms() - start) / 1000.0;
  printf("%.1f requests/s (%ld done, %ld failed)\n", shared.done / took, shared.done.load(), shared.failed.load());
  return 0;
}
