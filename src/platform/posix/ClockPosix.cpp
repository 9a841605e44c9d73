#include <time.h>

#include "Clock.h"

namespace {

int64_t monotonic_now() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// A function-local static: threads started by other static constructors
// (the announcer) may ask before this file's own statics are initialised.
int64_t process_start() {
  static const int64_t start = monotonic_now();
  return start;
}

// Taken at load time too, so that the count starts with the process and not
// with its first caller.
const int64_t kStartedAtLoad = process_start();

}  // namespace

int64_t wall_ms() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void local_tm(int64_t ms, struct tm* out) {
  time_t seconds = static_cast<time_t>(ms / 1000);
  localtime_r(&seconds, out);
}

int64_t local_midnight(int year, int month, int day) {
  struct tm t = {};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_isdst = -1;
  time_t result = mktime(&t);
  return result == static_cast<time_t>(-1) ? -1 : static_cast<int64_t>(result);
}

int64_t elapsed_ms() { return monotonic_now() - process_start(); }
