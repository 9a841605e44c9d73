// Wall clock, local time and a monotonic clock.
#pragma once

#include <cstdint>
#include <ctime>

// Milliseconds since 1970-01-01 00:00:00 UTC.
int64_t wall_ms();

// Local broken-down time of a time in milliseconds since 1970 (UTC).
void local_tm(int64_t ms, struct tm* out);

// Local midnight of the given date as seconds since 1970, or -1.
int64_t local_midnight(int year, int month, int day);

// Milliseconds since the process started, never going backwards. This is
// what the C clock() gives on Windows; on Linux clock() is CPU time.
int64_t elapsed_ms();
