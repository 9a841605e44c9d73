#include "AnnounceSchedule.h"

bool AnnounceSchedule::stoppedPass(int64_t now_ms) {
  last_.clear();
  if (now_ms - tick_ < kStoppedLineMs) return false;
  tick_ = now_ms;
  return true;
}

bool AnnounceSchedule::sendPass(const std::string& text, int64_t now_ms) {
  if (text == last_) {
    if (now_ms - tick_ < kRepeatMs) return false;
    tick_ = now_ms;
  }
  last_ = text;
  return true;
}
