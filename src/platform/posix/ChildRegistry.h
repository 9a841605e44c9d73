// The children this process launched and has not yet reaped (Linux only).
// The crash reporter ends them before it restarts the program in place:
// their death signal is tied to the launching thread, which an exec from
// that very thread would not end.
//
// Every function is async-signal-safe and lock-free; at most kMaxChildren
// are remembered (more are launched unremembered).
#pragma once

#include <sys/types.h>

const int kMaxChildren = 32;

// A launch runs between begin (false: launches are closed, do not launch)
// and end, its child added in between.
bool child_registry_begin_launch();
void child_registry_end_launch();
// Closes launches for good and waits, at most timeout_ms, for the ones
// under way to add their child. After it, the registry knows every child.
void child_registry_close(int timeout_ms);

void child_registry_add(pid_t pid);
void child_registry_remove(pid_t pid);
// SIGKILL to each remembered child's process group (each is its leader).
void child_registry_kill_all();
// Waits, at most timeout_ms, until every remembered child has ended, reaping
// each (another thread's waitpid may reap it first), and forgets them.
// True when none is left. A killed child may keep its sockets for tens of
// milliseconds (a busy ludarium: its thousands of threads are torn down
// first); one not reaped stays a zombie.
bool child_registry_wait_all(int timeout_ms);
