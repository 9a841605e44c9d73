#include "ConsoleTrace.h"

#include <cstdarg>
#include <cstdio>

void console_trace(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vprintf(format, args);
  va_end(args);
  fflush(stdout);
}
