#include <execinfo.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
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
// How long the restart waits for the killed children to end before it
// starts the program again (their ports must be free for the successor's).
const int kChildEndTimeoutMs = 3000;
// The restarter thread waits on this pipe; a crashed thread writes the
// crash signal's number into it. -1: no restarter.
int g_restart_pipe[2] = {-1, -1};
std::atomic<bool> g_restarter_running{false};
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

// Whether the crashed process is to be started again.
bool restart_due() {
  struct timespec now;
  return g_restart && clock_gettime(CLOCK_MONOTONIC, &now) == 0 &&
         now.tv_sec - g_started.tv_sec >= kCrashRestartMinSeconds;
}

// Ends the children, waits for them (bounded) and replaces the process with
// a fresh start of the program; returns only when the exec failed.
//
// The exec is made from the restarter thread (or the main thread): a thread
// that execs takes over the main thread's id, so a robust mutex that the
// exec'ing thread held (the state store's, taken by a crashed worker) would
// never be reported abandoned, and every later lock in both programs would
// time out. The crashed thread instead dies in the exec like every other
// thread, and the kernel marks what it held as abandoned.
void restart_now() {
  // A supervisor thread would launch a replacement as soon as the child
  // ends: launches are closed first (one under way is let finish, so that
  // its child is known and killed too).
  child_registry_close(1000);
  child_registry_kill_all();
  child_registry_wait_all(kChildEndTimeoutMs);
  put(STDERR_FILENO, "crashed: restarting ");
  put(STDERR_FILENO, g_exe);
  put(STDERR_FILENO, "\n");
  // The handler runs with its signal blocked, and exec keeps the mask.
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  execv(g_exe, g_argv);
}

// The restarter thread: blocks every signal, never takes a lock, and sleeps
// on the pipe until a crashed thread asks for the restart.
void* restarter_thread(void*) {
  int sig = 0;
  for (;;) {
    ssize_t n = read(g_restart_pipe[0], &sig, sizeof(sig));
    if (n == static_cast<ssize_t>(sizeof(sig))) break;
    if (n < 0 && errno == EINTR) continue;
    return nullptr;  // the pipe is gone: no restart
  }
  restart_now();
  // The exec failed: the process ends by the crash's signal.
  signal(sig, SIG_DFL);
  kill(getpid(), sig);
  for (;;) pause();
}

bool start_restarter() {
  if (pipe2(g_restart_pipe, O_CLOEXEC) != 0) return false;
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &old);  // the thread inherits the mask
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_attr_setstacksize(&attr, 64 * 1024);
  pthread_t thread;
  bool started = pthread_create(&thread, &attr, restarter_thread, nullptr) == 0;
  pthread_attr_destroy(&attr);
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  if (!started) {
    close(g_restart_pipe[0]);
    close(g_restart_pipe[1]);
    g_restart_pipe[0] = g_restart_pipe[1] = -1;
  }
  return started;
}

// Hands the restart to the restarter thread and waits there for the exec to
// end this thread; without a restarter only the main thread restarts in
// place. Returns when there is no restart.
void restart_after_crash(int sig) {
  if (!restart_due()) return;
  if (g_restarter_running.load() &&
      write(g_restart_pipe[1], &sig, sizeof(sig)) == static_cast<ssize_t>(sizeof(sig))) {
    for (;;) pause();
  }
  if (syscall(SYS_gettid) == getpid()) restart_now();
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
  restart_after_crash(sig);
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
  if (g_restart && !g_restarter_running.load()) g_restarter_running.store(start_restarter());
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
