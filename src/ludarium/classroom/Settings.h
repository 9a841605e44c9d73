// What the command line and the start-up decide for the whole server: the
// session time-out (`itimeout`) and when the main loop started. Written by
// the entry point, read from any thread.
#pragma once

#include <atomic>
#include <cstdint>

class Settings {
 public:
  // Seconds from the first command-line argument; 0 means the default.
  int32_t itimeout() const { return itimeout_; }
  void setItimeout(int32_t seconds) { itimeout_ = seconds; }
  // What the course shows and sessions use: itimeout, or 35 when it is 0.
  int32_t sessionTimeoutSeconds() const {
    int32_t t = itimeout_;
    return t != 0 ? t : 35;
  }

  // ms since 1970 when the main loop started (the watchdog's grace period);
  // 0 before.
  int64_t loopStartMs() const { return loop_start_ms_; }
  void setLoopStartMs(int64_t ms) { loop_start_ms_ = ms; }

 private:
  std::atomic<int32_t> itimeout_{0};
  std::atomic<int64_t> loop_start_ms_{0};
};
