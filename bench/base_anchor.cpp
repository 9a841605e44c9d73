// The anchor of the idle benchmark: the fixed-period loops the server ran
// before its threads learned to wait for their work, with nothing to do in
// them: a 10 ms pause (the log thread), a 100 ms pause (the announcer), a
// 200 ms timed wait on a condition nobody signals (the instruction worker)
// and the main loop's 1 s pause. Its wake-ups and CPU, measured in the same
// run as the server's, show what the machine makes of such loops today.
//
//   base_anchor       (runs until killed; prints "ready" once all run)
#include <cstdint>
#include <cstdio>

#include "Mutex.h"
#include "Thread.h"

namespace {

cond_t gCondition;

unsigned int sleep_loop(void* arg) {
  unsigned int ms = static_cast<unsigned int>(reinterpret_cast<uintptr_t>(arg));
  for (;;) sleep_ms(ms);
  return 0;
}

unsigned int wait_loop(void*) {
  for (;;) cond_timedwait(&gCondition, nullptr, 200);
  return 0;
}

}  // namespace

int main() {
  cond_init(&gCondition);
  if (thread_begin(sleep_loop, reinterpret_cast<void*>(uintptr_t{10})) != 0) return 1;
  if (thread_begin(sleep_loop, reinterpret_cast<void*>(uintptr_t{100})) != 0) return 1;
  if (thread_begin(wait_loop, nullptr) != 0) return 1;
  printf("ready\n");
  fflush(stdout);
  for (;;) sleep_ms(1000);
}
