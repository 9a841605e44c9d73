// What every fuzz target does once before its first input.
#pragma once

#include <cstdlib>

#include "Log.h"

inline int fuzz_setup() {
  // Millions of inputs log faster than the log thread writes: lines are
  // built (that code runs too) and dropped.
  log_discard(true);
  // Screen capture then fails at once instead of grabbing a real display.
  unsetenv("DISPLAY");
  return 0;
}
