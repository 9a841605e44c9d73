// What the local API refused to web pages and foreign Host names: one "w"
// line per origin (or Host) a minute at most, so a page that retries cannot
// flood the log, and the pages refused recently, for the console's "Allow".
//
// Thread safety: every method takes the log's own mutex; HTTP worker
// threads call it concurrently.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>

#include "Mutex.h"

class RefusalLog {
 public:
  // How many distinct origins the recent list keeps (the oldest go first).
  static constexpr size_t kRecent = 20;
  static constexpr int64_t kLogEveryMs = 60 * 1000;

  // A web page of origin was refused uri. Logs unless the origin was logged
  // less than a minute ago; now_ms is the wall clock.
  void foreignPage(const std::string& origin, const std::string& uri, int64_t now_ms);
  // A request whose Host names no name of this machine was refused.
  void foreignHost(const std::string& host, const std::string& uri, const std::string& caller,
                   int64_t now_ms);

  // The recent list as a JSON array, newest first:
  // [{"origin":…,"uri":…,"time":<ms since 1970>,"count":<refusals>},…]
  std::string recentJson();
  // Drops an origin from the recent list (it was just allowed).
  void forget(const std::string& origin);

 private:
  // Whether a line for key is due now; records it when it is. lock_ held.
  bool due(const std::string& key, int64_t now_ms);

  struct Refusal {
    std::string origin, uri;
    int64_t time_ms;
    int64_t count;
  };
  Mutex lock_;
  std::map<std::string, int64_t> logged_at_;  // key -> last line; guarded by lock_
  std::deque<Refusal> recent_;                // newest first; guarded by lock_
};
