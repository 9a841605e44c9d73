// The crash reporter. It writes a report of a crash of any thread beside the
// logs: on Linux a readable text (signal, thread, backtrace) in
// log/crash-<time>-<pid>.txt under the executable's directory, installed as
// signal handlers running on a per-thread alternate stack; on Windows a
// minidump in the same folder through an unhandled-exception filter.
#pragma once

#include <cstdint>

struct CrashInstallInfo {
  int size;                    // 100
  const wchar_t* app_name;
  const wchar_t* app_version;
  const char* upload_url;      // kept, not used: reports stay on the PC
  uint32_t flags;
};

// Handler flags: every handler type except the one for the interrupt signal.
const uint32_t kCrashAllHandlers = 0x1BFF;
// Install flag: after a crash report, start the program again with the same
// command line, provided it had run for kCrashRestartMinSeconds (a program
// that crashes at start would otherwise restart for ever). On Linux the
// crashed process replaces itself (execv, same pid) after killing the
// children it launched (ChildProcess), whose supervisor thread the crash
// took away, and waiting for them to end (at most 3 s); the exec is made by
// a restarter thread that crash_install starts and that takes no lock, so a
// robust mutex held by the crashed thread is reported abandoned; on Windows a new process is created, and waits in
// crash_wait_for_predecessor until the crashed one has ended.
const uint32_t kCrashRestartFlag = 0x10000;
const int kCrashRestartMinSeconds = 60;

// Installs for the process. 0 on success, anything else on failure.
int crash_install(const CrashInstallInfo* info);
void crash_uninstall();

// Installs the handlers on the calling thread (its alternate signal stack on
// Linux). 0 on success.
int crash_install_thread(uint32_t flags);
void crash_uninstall_thread();

// Copies the last error message into buf (at most size bytes, terminated).
void crash_last_error(char* buf, int size);

// Crashes the process on purpose, through the installed reporter.
void crash_test();

// For a program restarted by the crash reporter: returns once the crashed
// process has ended (at most 30 s), so that its single-instance claim is
// free. Returns at once in any other start. Call before claiming.
void crash_wait_for_predecessor();
