// ludtablet: simulates one tablet or thousands against a ludarium, for
// people, tests and benchmarks. One thread drives every tablet.
//
//   ludtablet [--host H] [--port P] [--count N] [--first-id ID] [--class C]
//             [--groups JSON] [--log-type T] [--mac-prefix TEXT]
//             [--receipt now|never|MS] [--seconds S] [-v]
//             [--discover BROADCAST_IP]
//
// With --discover it first listens, as a tablet does, for the course the
// server broadcasts (UDP 40011/40112/40213 and 40214/40215/40216 on that
// broadcast address) and connects to the "socket_ip" and "socket_port" it
// announces, ignoring --host and --port.
//
// It prints "logged in N of M after T ms" once every tablet is in, then,
// on exit (after S seconds, or when every tablet has closed), one line per
// instruction: "instruction ID: R/M first=MS p50=MS p99=MS max=MS" with
// arrival times in milliseconds since 1970, and the heartbeat gaps seen.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Clock.h"
#include "JsonReader.h"
#include "Net.h"
#include "Socket.h"
#include "SimTablet.h"
#include "Thread.h"

namespace {

int usage() {
  fprintf(stderr,
          "usage: ludtablet [--host H] [--port P] [--count N] [--first-id ID] [--class C]\n"
          "                 [--groups JSON] [--log-type T] [--mac-prefix TEXT]\n"
          "                 [--receipt now|never|MS] [--seconds S] [-v] [--discover BROADCAST_IP]\n");
  return 2;
}

// Waits up to 30 s for a course datagram on the broadcast address; fills
// host and port from it. False when none came or it made no sense.
bool discover(const std::string& broadcast_ip, TabletOptions* options) {
  static const int kPorts[] = {40011, 40112, 40213, 40214, 40215, 40216};
  std::vector<Socket> sockets;
  std::vector<PollItem> items;
  for (int port : kPorts) {
    Socket s(open_udp_socket(broadcast_ip.c_str(), port));
    if (!s.valid()) continue;
    items.push_back(PollItem{s.get(), false});
    sockets.push_back(std::move(s));
  }
  bool found = false;
  int64_t end = wall_ms() + 30000;
  while (!found && !items.empty() && wall_ms() < end) {
    if (net_poll_readable(&items, 200) <= 0) continue;
    for (const PollItem& item : items) {
      if (!item.ready) continue;
      char buf[2048];
      int n = receive_datagram(item.socket, buf, sizeof(buf), 0);
      if (n <= 0) continue;
      try {
        JsonDocument course;
        parse_json(std::string(buf, static_cast<size_t>(n)), &course);
        options->host = json_as_text(json_at(course, "socket_ip"));
        options->port = static_cast<int>(json_as_int(json_at(course, "socket_port")));
        found = !options->host.empty() && options->port > 0;
      } catch (const std::exception&) {
        // Not a course: keep listening.
      }
      if (found) break;
    }
  }
  if (found) printf("discovered %s:%d\n", options->host.c_str(), options->port);
  return found;
}

int64_t percentile(std::vector<int64_t> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t index = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
  TabletOptions options;
  int count = 1;
  int32_t first_id = 1001;
  int seconds = 0;
  std::string discover_ip;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    const char* v = nullptr;
    if (a == "-v") {
      options.verbose = true;
    } else if ((a == "--host") && (v = next())) {
      options.host = v;
    } else if (a == "--port" && (v = next())) {
      options.port = atoi(v);
    } else if (a == "--count" && (v = next())) {
      count = atoi(v);
    } else if (a == "--first-id" && (v = next())) {
      first_id = atoi(v);
    } else if (a == "--class" && (v = next())) {
      options.class_id = atoi(v);
    } else if (a == "--groups" && (v = next())) {
      options.groups = v;
    } else if (a == "--log-type" && (v = next())) {
      options.log_type = atoi(v);
    } else if (a == "--mac-prefix" && (v = next())) {
      options.mac_prefix = v;
    } else if (a == "--receipt" && (v = next())) {
      options.receipt_delay_ms = strcmp(v, "never") == 0 ? -1 : strcmp(v, "now") == 0 ? 0 : atoi(v);
    } else if (a == "--seconds" && (v = next())) {
      seconds = atoi(v);
    } else if (a == "--discover" && (v = next())) {
      discover_ip = v;
    } else {
      return usage();
    }
  }
  if (count < 1) return usage();
  net_startup(2, 2);
  setvbuf(stdout, nullptr, _IOLBF, 0);
  if (!discover_ip.empty() && !discover(discover_ip, &options)) {
    fprintf(stderr, "ludtablet: no course broadcast on %s\n", discover_ip.c_str());
    return 1;
  }

  std::vector<std::unique_ptr<SimTablet>> tablets;
  int64_t start = wall_ms();
  bool all_in_reported = false;
  std::vector<PollItem> items;
  // One pass over the open tablets; false when none is open.
  auto service = [&](int timeout_ms) {
    items.clear();
    std::vector<SimTablet*> open;
    for (auto& t : tablets) {
      if (t->phase() == SimTablet::kClosed) continue;
      items.push_back(PollItem{t->socket(), false});
      open.push_back(t.get());
    }
    if (open.empty()) return false;
    net_poll_readable(&items, timeout_ms);
    int64_t now = wall_ms();
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i].ready) open[i]->onReadable(now);
      if (open[i]->phase() != SimTablet::kClosed) open[i]->onTick(now);
    }
    if (!all_in_reported && static_cast<int>(tablets.size()) == count) {
      int in = 0;
      for (auto& t : tablets) in += t->phase() == SimTablet::kWorking ? 1 : 0;
      if (in == count) {
        printf("logged in %d of %d after %lld ms\n", in, count, static_cast<long long>(now - start));
        all_in_reported = true;
      }
    }
    return true;
  };
  // Tablets already connected are served while the others connect: a
  // server asks each new connection for its record and waits only 2 s.
  for (int i = 0; i < count; ++i) {
    std::unique_ptr<SimTablet> t(new SimTablet(first_id + i, options));
    if (!t->connect()) {
      fprintf(stderr, "ludtablet: cannot connect to %s:%d\n", options.host.c_str(), options.port);
      return 1;
    }
    tablets.push_back(std::move(t));
    if (i % 10 == 9) service(0);
  }
  int64_t end = seconds > 0 ? start + seconds * 1000LL : 0;
  while (service(20)) {
    if (end != 0 && wall_ms() >= end) break;
  }

  std::map<std::string, std::vector<int64_t>> arrivals;
  std::vector<int64_t> gaps;
  for (auto& t : tablets) {
    for (const auto& a : t->arrivals()) arrivals[a.first].push_back(a.second);
    if (t->last_heartbeat_gap_ms() > 0) gaps.push_back(t->last_heartbeat_gap_ms());
  }
  for (const auto& a : arrivals) {
    printf("instruction %s: %zu/%d first=%lld p50=%lld p99=%lld max=%lld\n", a.first.c_str(), a.second.size(),
           count, static_cast<long long>(percentile(a.second, 0)), static_cast<long long>(percentile(a.second, 0.5)),
           static_cast<long long>(percentile(a.second, 0.99)), static_cast<long long>(percentile(a.second, 1)));
  }
  if (!gaps.empty()) {
    printf("heartbeat gaps: %zu min=%lld max=%lld ms\n", gaps.size(), static_cast<long long>(percentile(gaps, 0)),
           static_cast<long long>(percentile(gaps, 1)));
  }
  return 0;
}
