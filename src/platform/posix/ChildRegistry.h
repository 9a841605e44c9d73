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

void child_registry_add(pid_t pid);
void child_registry_remove(pid_t pid);
// SIGKILL to each remembered child's process group (each is its leader).
void child_registry_kill_all();
