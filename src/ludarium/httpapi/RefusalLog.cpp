#include "RefusalLog.h"

#include "JsonWriter.h"
#include "Log.h"

bool RefusalLog::due(const std::string& key, int64_t now_ms) {
  auto it = logged_at_.find(key);
  if (it != logged_at_.end() && now_ms - it->second < kLogEveryMs && now_ms >= it->second)
    return false;
  // Forget keys of long ago, so a stream of made-up names cannot grow the map.
  if (logged_at_.size() > 1000) {
    for (auto i = logged_at_.begin(); i != logged_at_.end();) {
      i = now_ms - i->second >= kLogEveryMs ? logged_at_.erase(i) : std::next(i);
    }
  }
  logged_at_[key] = now_ms;
  return true;
}

void RefusalLog::foreignPage(const std::string& origin, const std::string& uri, int64_t now_ms) {
  const std::string shown = origin.empty() ? "(none)" : origin;
  MutexGuard guard(&lock_);
  if (due("origin " + shown, now_ms)) {
    LOG("w", "uri=%s, origin=%s refused: a web page not allowed to use this classroom", uri.c_str(),
        shown.c_str());
  }
  if (origin.empty()) return;
  int64_t count = 1;
  for (auto it = recent_.begin(); it != recent_.end(); ++it) {
    if (it->origin == origin) {
      count += it->count;
      recent_.erase(it);
      break;
    }
  }
  recent_.push_front({origin, uri, now_ms, count});
  if (recent_.size() > kRecent) recent_.pop_back();
}

void RefusalLog::foreignHost(const std::string& host, const std::string& uri,
                             const std::string& caller, int64_t now_ms) {
  MutexGuard guard(&lock_);
  if (due("host " + host, now_ms)) {
    LOG("w", "uri=%s, caller=%s, host=%s refused: not a name of this machine", uri.c_str(),
        caller.c_str(), host.c_str());
  }
}

std::string RefusalLog::recentJson() {
  MutexGuard guard(&lock_);
  JsonWriter w;
  w.begin_array();
  for (const Refusal& r : recent_) {
    w.begin_object().member("origin", r.origin).member("uri", r.uri).member("time", r.time_ms);
    w.member("count", r.count).end_object();
  }
  w.end_array();
  return w.str();
}

void RefusalLog::forget(const std::string& origin) {
  MutexGuard guard(&lock_);
  for (auto it = recent_.begin(); it != recent_.end(); ++it) {
    if (it->origin == origin) {
      recent_.erase(it);
      return;
    }
  }
}
