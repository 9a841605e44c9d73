// When the announcer thread sends the course: a text that differs from the
// last one sent goes out at once; the same text goes out again once 9
// seconds have passed since the tick. While the announcer is stopped, its
// console line is due every 5 seconds, on the same tick. Times are
// milliseconds of process run time. Owned and used by the announcer thread
// alone.
#pragma once

#include <cstdint>
#include <string>

class AnnounceSchedule {
 public:
  static const int64_t kRepeatMs = 9000;
  static const int64_t kStoppedLineMs = 5000;

  explicit AnnounceSchedule(int64_t now_ms) : tick_(now_ms) {}

  // A pass while stopped. True when the stopped line is due (the tick then
  // moves to now). The last text is forgotten, so that the first text after
  // a resume goes out at once even when the course did not change.
  bool stoppedPass(int64_t now_ms);

  // A pass with a course text. True when the text is to be sent now; it is
  // then remembered as the last text sent. Sending the same text again moves
  // the tick; a new text does not.
  bool sendPass(const std::string& text, int64_t now_ms);

  // Milliseconds from now until the last text sent is due again (0 when it
  // is due already); what the thread may sleep after a send pass when the
  // course does not change meanwhile.
  int64_t untilRepeat(int64_t now_ms) const;
  // Milliseconds from now until the stopped line is due (0 when due).
  int64_t untilStoppedLine(int64_t now_ms) const;

 private:
  int64_t tick_;
  std::string last_;
};
