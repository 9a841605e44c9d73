// Threads. Every thread of both programs starts through thread_begin, which
// wraps the function with the crash reporter's per-thread handlers.
#pragma once

#include <cstdint>

typedef unsigned int (*thread_func)(void* arg);

// Starts a detached thread running fn(arg). Returns 0, or -1 when the thread
// could not be started (fn is then never called). There is no handle to join.
int thread_begin(thread_func fn, void* arg);

// Id of the calling thread as the log prints it (kernel thread id on Linux,
// GetCurrentThreadId on Windows).
uint32_t current_thread_id();

// Sleeps the calling thread for at least ms milliseconds.
void sleep_ms(unsigned int ms);

// Starts fn(arg) on a new detached OS thread without the crash wrapper; the
// building block of thread_begin. Returns 0 or -1.
int start_detached_thread(thread_func fn, void* arg);
