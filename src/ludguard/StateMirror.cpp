#include "StateMirror.h"

#include <cstdio>
#include <ctime>

#include "Clock.h"
#include "FileSystem.h"
#include "StateKeys.h"
#include "StateStore.h"
#include "Util.h"

namespace {

const char* const kLabels[4] = {"1 ", " | 2 ", " | 3 ", " | 4 "};
const int64_t kStallMs = 20000;

}  // namespace

std::string timeText(int64_t ms) {
  struct tm tm;
  local_tm(ms, &tm);
  char buf[64];
  size_t n = strftime(buf, sizeof(buf), "[%Y-%m-%d %H:%M:%S", &tm);
  int64_t millis = ms % 1000;
  if (millis < 0) millis += 1000;
  snprintf(buf + n, sizeof(buf) - n, ".%03d]", static_cast<int>(millis));
  return buf;
}

StateMirror::StateMirror(StateStore* store, const std::string& broadcast_path,
                         const std::string& instruction_path)
    : store_(store),
      broadcast_path_(broadcast_path),
      instruction_path_(instruction_path),
      clock_(wall_ms) {}

void StateMirror::restore() {
  std::string course = read_text_file(broadcast_path_);
  if (!course.empty()) store_->write(kMirrorKeys[0], course);
  std::string instruction = read_text_file(instruction_path_);
  if (!instruction.empty()) store_->write(kMirrorKeys[2], instruction);
}

std::string StateMirror::pass() {
  int64_t start = clock_();
  int64_t earliest = start;
  std::string line = "\n";
  for (int i = 0; i < 4; ++i) {
    std::string value;
    int64_t time = start;
    if (store_->read(kMirrorKeys[i], &value, &time) != 0) continue;
    if (time < earliest) earliest = time;
    line += kLabels[i] + timeText(time);
    const std::string* file = i == 0 ? &broadcast_path_ : i == 2 ? &instruction_path_ : nullptr;
    if (file != nullptr && read_text_file(*file) != value) write_text_file(*file, value);
  }
  line += " | earliest " + timeText(earliest);
  int64_t now = clock_();
  line += " | curr " + timeText(now);
  return now - earliest > kStallMs ? line : std::string();
}
