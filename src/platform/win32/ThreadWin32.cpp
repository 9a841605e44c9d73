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

void thread_set_name(const char* name) {
  // SetThreadDescription came with Windows 10 (1607); looked up, so that
  // the program still starts on the Windows versions before it.
  typedef HRESULT(WINAPI * SetDescription)(HANDLE, PCWSTR);
  static const SetDescription set_description = reinterpret_cast<SetDescription>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
  if (set_description == nullptr) return;
  wchar_t wide[64];
  size_t i = 0;
  for (; name[i] != '\0' && i + 1 < sizeof(wide) / sizeof(wide[0]); ++i) {
    wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(name[i]));
  }
  wide[i] = L'\0';
  set_description(GetCurrentThread(), wide);
}

void sleep_ms(unsigned int ms) { Sleep(ms); }
