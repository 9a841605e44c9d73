// How many files and sockets the process may hold open at once.
#pragma once

// Raises the limit to at least `wanted` where the system lets the process do
// so itself, and returns the limit in force afterwards. Linux: the soft
// RLIMIT_NOFILE, raised up to the hard limit (never above it; a soft limit
// already higher is kept). Windows has no such per-process limit on sockets
// or handles below what memory allows: `wanted` comes back unchanged.
// Call it once at start, before threads open sockets.
int raise_descriptor_limit(int wanted);
