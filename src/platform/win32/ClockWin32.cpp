// Clocks on Win32.
#include <windows.h>

#include <cstring>

#include "Clock.h"

namespace {

// 100-nanosecond intervals between 1601-01-01 (FILETIME) and 1970-01-01.
const int64_t kFiletimeUnixEpoch = 116444736000000000LL;

class MonotonicClock {
 public:
  MonotonicClock() {
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    frequency_ = value.QuadPart;
    QueryPerformanceCounter(&value);
    start_ = value.QuadPart;
  }

  int64_t ElapsedMs() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    int64_t ticks = now.QuadPart - start_;
    // Split to keep ticks * 1000 from overflowing on long runs.
    return ticks / frequency_ * 1000 + ticks % frequency_ * 1000 / frequency_;
  }

 private:
  int64_t frequency_;
  int64_t start_;
};

const MonotonicClock& ProcessClock() {
  static const MonotonicClock clock;
  return clock;
}

// Touches the clock during static initialisation so that it counts from the
// start of the process, not from the first call.
const MonotonicClock& kStartedAtLoad = ProcessClock();

}  // namespace

int64_t wall_ms() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  int64_t t = (static_cast<int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return (t - kFiletimeUnixEpoch) / 10000;
}

void local_tm(int64_t ms, struct tm* out) {
  __time64_t seconds = ms / 1000;
  if (ms % 1000 < 0) --seconds;
  if (_localtime64_s(out, &seconds) != 0) std::memset(out, 0, sizeof(*out));
}

int64_t local_midnight(int year, int month, int day) {
  struct tm t;
  std::memset(&t, 0, sizeof(t));
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_isdst = -1;
  __time64_t r = _mktime64(&t);
  return r == -1 ? -1 : static_cast<int64_t>(r);
}

int64_t elapsed_ms() { return ProcessClock().ElapsedMs(); }
