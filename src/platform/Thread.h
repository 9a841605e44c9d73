// Threads. Every thread of both programs starts through thread_begin, which
// wraps the function with the crash reporter's per-thread handlers.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

typedef unsigned int (*thread_func)(void* arg);

// Stack reserved for every thread that thread_begin starts. A 32-bit
// Windows process has 2 GiB of addresses (4 GiB large-address-aware on a
// 64-bit Windows), and each thread's reservation counts against them. The
// deepest stacks here are the JSON readers, whose nesting is limited.
// Sanitizer builds need more room per frame.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
const unsigned int kThreadStackBytes = 1024 * 1024;
#else
const unsigned int kThreadStackBytes = 256 * 1024;
#endif

// Starts a detached thread running fn(arg) on a stack of kThreadStackBytes.
// Returns 0, or -1 when the thread could not be started (no memory, no
// address space, too many threads; fn is then never called). There is no
// handle to join.
int thread_begin(thread_func fn, void* arg);

// thread_begin for a callable that owns what the thread needs (a Socket,
// say): the new thread runs fn() and destroys it. When no thread starts, fn
// is destroyed here, uncalled, and -1 is returned.
template <typename Fn>
int thread_run(Fn fn) {
  struct Body {
    static unsigned int run(void* p) {
      std::unique_ptr<Fn> owned(static_cast<Fn*>(p));
      (*owned)();
      return 0;
    }
  };
  std::unique_ptr<Fn> owned(new Fn(std::move(fn)));
  if (thread_begin(&Body::run, owned.get()) != 0) return -1;
  owned.release();
  return 0;
}

// Id of the calling thread as the log prints it (kernel thread id on Linux,
// GetCurrentThreadId on Windows).
uint32_t current_thread_id();

// Id of the calling process.
uint32_t current_process_id();

// Names the calling thread for the system's tools (top, perf, a debugger,
// /proc/PID/task/TID/comm on Linux): an ASCII text, cut to 15 characters on
// Linux. On a Windows without thread descriptions (before Windows 10) it
// does nothing. A name is only ever a help: nothing depends on it.
void thread_set_name(const char* name);

// Sleeps the calling thread for at least ms milliseconds.
void sleep_ms(unsigned int ms);

// Starts fn(arg) on a new detached OS thread without the crash wrapper; the
// building block of thread_begin. Returns 0 or -1.
int start_detached_thread(thread_func fn, void* arg);
