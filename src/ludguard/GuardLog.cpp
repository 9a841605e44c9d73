#include "GuardLog.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "Clock.h"
#include "FileSystem.h"
#include "Mutex.h"

namespace {

// Created on first use, so a line written before the supervisor's set-up is still
// serialised. The path is set once before any other thread exists.
mutex_t* log_lock() {
  // Never destroyed: detached threads may still use it while the process ends.
  static Mutex* lock = new Mutex;
  return lock->get();
}

std::string& log_path() {
  static std::string path;
  return path;
}

}  // namespace

void setLogFile(const std::string& path) {
  MutexGuard guard(log_lock());
  log_path() = path;
}

void writeLog(const char* line) {
  MutexGuard guard(log_lock());
  int64_t now = wall_ms();
  struct tm tm;
  local_tm(now, &tm);
  char stamp[64];
  size_t n = strftime(stamp, sizeof(stamp), "%Y-%m-%d %H:%M:%S", &tm);
  snprintf(stamp + n, sizeof(stamp) - n, ".%03d", static_cast<int>(now % 1000));
  FILE* f = open_file(log_path(), "a");
  if (f == nullptr) return;
  fprintf(f, "%s %s\n", stamp, line);
  fclose(f);
}

void guardLog(const char* unit, int line, const char* function, const char* format, ...) {
  char buf[1024];
  int n = snprintf(buf, sizeof(buf), "%s:%d[%s] ", unit, line, function);
  if (n < 0) return;
  if (n < static_cast<int>(sizeof(buf))) {
    va_list args;
    va_start(args, format);
    vsnprintf(buf + n, sizeof(buf) - static_cast<size_t>(n), format, args);
    va_end(args);
  }
  writeLog(buf);
}
