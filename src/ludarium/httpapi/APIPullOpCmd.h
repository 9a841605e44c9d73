// "/pullOpCmd": takes the oldest command of "type" from the relay queue,
// waiting up to "timeout" seconds for one (a long poll that checks every
// 10 ms). Answers the raw reply with the command, or an empty body when none
// came in time. Open to callers on any host.
//
// A waiting pull holds a worker thread of the HTTP server. So that pulls,
// which any host may send, never take every worker from the teacher's own
// requests, at most max_waiting pulls wait at once; a pull beyond that finds
// no command waiting and answers an empty body at once, with a warning.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "BaseHttpAPI.h"

class OpCmd;

class APIPullOpCmd : public BaseHttpAPI {
 public:
  APIPullOpCmd(OpCmd* queue, int max_waiting) : queue_(queue), max_waiting_(max_waiting) {}
  int onHandleEvent(HttpRequest& request) override;

  // The wait in seconds for a "timeout" text: its leading digits as an
  // unsigned 64-bit number, taken as signed; below 1 or above 20 gives 20.
  static int64_t timeoutSeconds(const std::string& text);

  int waiting() const { return waiting_; }

 private:
  std::string pull(const std::string& type, int64_t timeout_seconds);

  OpCmd* queue_;  // not owned; lives as long as the process
  const int max_waiting_;
  std::atomic<int> waiting_{0};  // pulls inside their wait loop now
};
