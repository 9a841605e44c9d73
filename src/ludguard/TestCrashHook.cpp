#include "TestCrashHook.h"

#include <cstdint>
#include <cstdlib>

#include "CrashReporter.h"
#include "SharedState.h"
#include "StateStore.h"
#include "Thread.h"

namespace {

unsigned int crash_holding_store(void* arg) {
  sleep_ms(static_cast<unsigned>(reinterpret_cast<uintptr_t>(arg)) * 1000);
  // Kept where the leak checker sees it: it is held to the end on purpose.
  static NamedMutex* const lock = NamedMutex::open(StateStore::kMutexName);
  if (lock == nullptr) return 1;
  NamedMutex::WaitResult taken = lock->lock(StateStore::kLockTimeoutMs);
  if (taken != NamedMutex::kAcquired && taken != NamedMutex::kAbandoned) return 1;
  crash_test();
  return 0;
}

}  // namespace

void start_test_crash_hook() {
  const char* seconds = getenv("LUD_TEST_CRASH_HOLDING_STORE");
  if (seconds == nullptr || atoi(seconds) <= 0) return;
  thread_begin(crash_holding_store, reinterpret_cast<void*>(static_cast<uintptr_t>(atoi(seconds))));
}
