#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "ChildRegistry.h"
#include "CrashReporter.h"
#include "FileSystem.h"

namespace {

const int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGSYS};
const size_t kAltStackSize = 64 * 1024;

// Prepared at install time: the handler may not allocate.
char g_log_dir[4096];
char g_last_error[256] = "";
bool g_installed = false;
thread_local void* t_alt_stack = nullptr;

// The restart after a crash, prepared at install time (the handler may not
// allocate): the executable, the command line (from /proc/self/cmdline) as
// an argv, and when the process started.
bool g_restart = false;
char g_exe[4096];
char g_cmdline[16384];
char* g_argv[256];
struct timespec g_started;

bool prepare_restart() {
  ssize_t n = readlink("/proc/self/exe", g_exe, sizeof(g_exe) - 1);
  if (n <= 0) return false;
  g_exe[n] = '\0';
  int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  ssize_t len = read(fd, g_cmdline, sizeof(g_cmdline) - 1);
  close(fd);
  if (len <= 0) return false;
  g_cmdline[len] = '\0';
  int argc = 0;
  for (ssize_t at = 0; at < len && argc < 255; at += static_cast<ssize_t>(strlen(g_cmdline + at)) + 1) {
    g_argv[argc++] = g_cmdline + at;
  }
  g_argv[argc] = nullptr;
  return clock_gettime(CLOCK_MONOTONIC, &g_started) == 0;
}


void set_last_error(const char* text) {
  strncpy(g_last_error, text, sizeof(g_last_error) - 1);
  g_last_error[sizeof(g_last_error) - 1] = '\0';
}

// Async-signal-safe formatting helpers.
void put(int fd, const char* s) {
  size_t n = strlen(s);
  while (n > 0) {
    ssize_t w = write(fd, s, n);
    if (w <= 0) return;
    s += w;
    n -= static_cast<size_t>(w);
  }
}

char* format_decimal(long long v, char* end) {
  bool negative = v < 0;
  unsigned long long u = negative ? 0ULL - static_cast<unsigned long long>(v) : v;
  *--end = '\0';
  do {
    *--end = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u != 0);
  if (negative) *--end = '-';
  return end;
}

void append(char* dst, size_t size, const char* src) {
  size_t len = strlen(dst);
  while (*src != '\0' && len + 1 < size) dst[len++] = *src++;
  dst[len] = '\0';
}

const char* signal_name(int sig) {
  switch (sig) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGABRT: return "SIGABRT";
    case SIGSYS: return "SIGSYS";
    default: return "signal";
  }
}

// Replaces the crashed process with a fresh start of the program, when it
// has run long enough; returns only when it does not.
void restart_in_place() {
  struct timespec now;
  if (!g_restart || clock_gettime(CLOCK_MONOTONIC, &now) != 0 ||
      now.tv_sec - g_started.tv_sec < kCrashRestartMinSeconds) {
    return;
  }
  child_registry_kill_all();
  put(STDERR_FILENO, "crashed: restarting ");
  put(STDERR_FILENO, g_exe);
  put(STDERR_FILENO, "\n");
  // The handler runs with its signal blocked, and exec keeps the mask.
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  execv(g_exe, g_argv);
}

void crash_handler(int sig, siginfo_t* info, void*) {
  char num[32];
  char path[4200] = "";
  append(path, sizeof(path), g_log_dir);
  append(path, sizeof(path), "/crash-");
  append(path, sizeof(path), format_decimal(static_cast<long long>(time(nullptr)), num + sizeof(num)));
  append(path, sizeof(path), "-");
  append(path, sizeof(path), format_decimal(getpid(), num + sizeof(num)));
  append(path, sizeof(path), ".txt");
  mkdir(g_log_dir, 0755);
  int fd = open(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (fd >= 0) {
    put(fd, "crash report\nsignal: ");
    put(fd, format_decimal(sig, num + sizeof(num)));
    put(fd, " (");
    put(fd, signal_name(sig));
    put(fd, ")\naddress: ");
    put(fd, format_decimal(static_cast<long long>(reinterpret_cast<uintptr_t>(info->si_addr)),
                           num + sizeof(num)));
    put(fd, "\nprocess: ");
    put(fd, format_decimal(getpid(), num + sizeof(num)));
    put(fd, "\nthread: ");
    put(fd, format_decimal(static_cast<long long>(syscall(SYS_gettid)), num + sizeof(num)));
    put(fd, "\nbacktrace:\n");
    void* frames[64];
    int n = backtrace(frames, 64);
    backtrace_symbols_fd(frames, n, fd);
    close(fd);
  }
  put(STDERR_FILENO, "crashed: report written to ");
  put(STDERR_FILENO, path);
  put(STDERR_FILENO, "\n");
  restart_in_place();
  // Let the default action end the process with the same signal.
  signal(sig, SIG_DFL);
  raise(sig);
}

}  // namespace

int crash_install(const CrashInstallInfo* info) {
  if (info == nullptr || info->size != 100) {
    set_last_error("invalid installation record");
    return 1;
  }
  std::string dir = module_dir();
  if (dir.empty() || dir.size() + 5 >= sizeof(g_log_dir)) {
    set_last_error("cannot find the executable's directory");
    return 2;
  }
  snprintf(g_log_dir, sizeof(g_log_dir), "%s/log", dir.c_str());
  // backtrace() loads its unwinder on first use; do that now, not in the handler.
  void* frames[2];
  backtrace(frames, 2);
  struct sigaction sa;
  memset(&sa, 0, sizeof(sa));
  sa.sa_sigaction = crash_handler;
  sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  for (int sig : kSignals) {
    if (sigaction(sig, &sa, nullptr) != 0) {
      set_last_error("sigaction failed");
      return 3;
    }
  }
  g_installed = true;
  g_restart = (info->flags & kCrashRestartFlag) != 0 && prepare_restart();
  return crash_install_thread(kCrashAllHandlers);
}

void crash_uninstall() {
  for (int sig : kSignals) signal(sig, SIG_DFL);
  g_installed = false;
  g_restart = false;
}

// A restart on Linux replaces the crashed process itself: nobody to wait for.
void crash_wait_for_predecessor() {}

int crash_install_thread(uint32_t) {
  if (t_alt_stack != nullptr) return 0;
  // An alternate stack lets the handler run even when the crash was a stack overflow.
  void* mem = malloc(kAltStackSize);
  if (mem == nullptr) {
    set_last_error("no memory for the signal stack");
    return 1;
  }
  stack_t ss;
  ss.ss_sp = mem;
  ss.ss_size = kAltStackSize;
  ss.ss_flags = 0;
  if (sigaltstack(&ss, nullptr) != 0) {
    free(mem);
    set_last_error("sigaltstack failed");
    return 2;
  }
  t_alt_stack = mem;
  return 0;
}

void crash_uninstall_thread() {
  if (t_alt_stack == nullptr) return;
  stack_t ss;
  memset(&ss, 0, sizeof(ss));
  ss.ss_flags = SS_DISABLE;
  sigaltstack(&ss, nullptr);
  free(t_alt_stack);
  t_alt_stack = nullptr;
}

void crash_last_error(char* buf, int size) {
  if (buf == nullptr || size <= 0) return;
  strncpy(buf, g_last_error, static_cast<size_t>(size) - 1);
  buf[size - 1] = '\0';
}

void crash_test() {
  volatile int* p = nullptr;
  *p = 1;
}
