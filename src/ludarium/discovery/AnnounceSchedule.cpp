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

int64_t AnnounceSchedule::untilRepeat(int64_t now_ms) const {
  int64_t left = tick_ + kRepeatMs - now_ms;
  return left > 0 ? left : 0;
}

int64_t AnnounceSchedule::untilStoppedLine(int64_t now_ms) const {
  int64_t left = tick_ + kStoppedLineMs - now_ms;
  return left > 0 ? left : 0;
}
