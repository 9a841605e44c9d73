#include "Thread.h"

#include <cstdio>

#include "CrashReporter.h"

namespace {

struct StartRecord {
  thread_func fn;
  void* arg;
};

// Runs on the new thread: the crash handlers are in place for the whole of
// the caller's function; a failed installation is reported but not fatal.
unsigned int trampoline(void* p) {
  StartRecord* record = static_cast<StartRecord*>(p);
  int installed = crash_install_thread(kCrashAllHandlers);
  if (installed != 0) {
    char msg[256] = {0};
    crash_last_error(msg, sizeof(msg));
    printf("%s,%d[%s]:%08X, nInstResult=%d, msg=%s\n", "src\\Util.cpp", 606, "thread_begin",
           current_thread_id(), installed, msg);
  }
  unsigned int result = record->fn(record->arg);
  delete record;
  if (installed == 0) crash_uninstall_thread();
  return result;
}

}  // namespace

int thread_begin(thread_func fn, void* arg) {
  StartRecord* record = new StartRecord{fn, arg};
  if (start_detached_thread(trampoline, record) != 0) {
    delete record;
    return -1;
  }
  return 0;
}
