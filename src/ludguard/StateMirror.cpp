#include "StateMirror.h"

#include <cstdio>
#include <ctime>

#include "Clock.h"
#include "FileSystem.h"
#include "GuardLog.h"
#include "Mutex.h"
#include "StateKeys.h"
#include "StateStore.h"
#include "Supervisor.h"
#include "Thread.h"
#include "Util.h"

namespace {

const char* const kLabels[4] = {"1 ", " | 2 ", " | 3 ", " | 4 "};
const int64_t kStallMs = 20000;
const unsigned int kPassPauseMs = 3000;

StateStore* g_store = nullptr;

// Guards g_mirror_running. A mirror that decides to end clears the flag in
// the same critical section, so startMirror never sees a mirror that is
// about to vanish as still running.
mutex_t* mirror_lock() {
  // Never destroyed: detached threads may still use it while the process ends.
  static Mutex* lock = new Mutex;
  return lock->get();
}
bool g_mirror_running = false;

std::string broadcast_path() { return logDirectory() + "broadcast"; }
std::string instruction_path() { return logDirectory() + "instruction"; }

bool mirror_should_end() {
  MutexGuard guard(mirror_lock());
  if (stopRequested.load() == 0) return false;
  g_mirror_running = false;
  return true;
}

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

void setMirrorStore(StateStore* store) { g_store = store; }

void restoreState() {
  if (g_store == nullptr) return;
  StateMirror(g_store, broadcast_path(), instruction_path()).restore();
}

void startMirror() {
  MutexGuard guard(mirror_lock());
  if (g_mirror_running) return;
  if (thread_begin(deamonThread, nullptr) == 0) g_mirror_running = true;
}

unsigned int deamonThread(void*) {
  sleep_ms(kPassPauseMs);
  StateMirror mirror(g_store, broadcast_path(), instruction_path());
  while (!mirror_should_end()) {
    if (g_store != nullptr) {
      std::string stall = mirror.pass();
      if (!stall.empty()) GUARD_LOG("ludguard", "deamonThread", "%s", stall.c_str());
    }
    sleep_ms(kPassPauseMs);
  }
  return 0;
}
