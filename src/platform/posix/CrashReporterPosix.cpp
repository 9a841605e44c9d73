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
  return crash_install_thread(kCrashAllHandlers);
}

void crash_uninstall() {
  for (int sig : kSignals) signal(sig, SIG_DFL);
  g_installed = false;
}

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
