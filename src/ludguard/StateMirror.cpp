#include "StateMirror.h"

#include <cstdint>
#include <cstdio>
#include <ctime>

#include "AtomicTextFile.h"
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

std::string StateMirror::restore() {
  std::string failures;
  const std::string* files[2] = {&broadcast_path_, &instruction_path_};
  const char* keys[2] = {kMirrorKeys[0], kMirrorKeys[2]};
  for (int i = 0; i < 2; ++i) {
    std::string text = read_text_file(*files[i]);
    if (text.empty()) continue;
    int rc = store_->write(keys[i], text);
    if (rc != 0) {
      failures += (failures.empty() ? "" : "; ") + std::string("restoring ") + keys[i] +
                  " failed (" + std::to_string(rc) + ")" +
                  (rc == StateStore::kRefused ? ": the state store has no room for it" : "");
    }
  }
  return failures;
}

std::string StateMirror::pass() {
  int64_t start = clock_();
  int64_t earliest = start;
  std::string line = "\n";
  for (int i = 0; i < 4; ++i) {
    std::string value;
    // Left as it is by a read that finds no record: an absent key is
    // skipped like a failed read, so its file (the only copy left, maybe)
    // is never emptied.
    const int64_t kAbsent = INT64_MIN;
    int64_t time = kAbsent;
    if (store_->read(kMirrorKeys[i], &value, &time) != 0 || time == kAbsent) continue;
    if (time < earliest) earliest = time;
    line += kLabels[i] + timeText(time);
    const std::string* file = i == 0 ? &broadcast_path_ : i == 2 ? &instruction_path_ : nullptr;
    if (file != nullptr && read_text_file(*file) != value) write_text_file_atomic(*file, value);
  }
  line += " | earliest " + timeText(earliest);
  int64_t now = clock_();
  line += " | curr " + timeText(now);
  return now - earliest > kStallMs ? line : std::string();
}
