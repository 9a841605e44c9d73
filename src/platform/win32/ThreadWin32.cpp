// Threads on Win32.
#include <windows.h>
#include <process.h>

#include <new>

#include "Thread.h"

namespace {

struct ThreadStart {
  thread_func fn;
  void* arg;
};

// thread_func uses the C calling convention; the CRT wants __stdcall.
unsigned __stdcall ThreadEntry(void* p) {
  ThreadStart start = *static_cast<ThreadStart*>(p);
  delete static_cast<ThreadStart*>(p);
  return start.fn(start.arg);
}

}  // namespace

int start_detached_thread(thread_func fn, void* arg) {
  ThreadStart* start = new (std::nothrow) ThreadStart{fn, arg};
  if (start == nullptr) return -1;
  // _beginthreadex rather than CreateThread so the CRT's per-thread data
  // (errno, strtok, locale) is set up for threads that call into the C library.
  // The size is a reservation of addresses, not committed memory.
  uintptr_t handle = _beginthreadex(nullptr, kThreadStackBytes, ThreadEntry, start,
                                    STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (handle == 0) {
    delete start;
    return -1;
  }
  CloseHandle(reinterpret_cast<HANDLE>(handle));
  return 0;
}

uint32_t current_thread_id() { return GetCurrentThreadId(); }

uint32_t current_process_id() { return GetCurrentProcessId(); }

void sleep_ms(unsigned int ms) { Sleep(ms); }
