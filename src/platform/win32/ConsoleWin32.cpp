// Console colours on Win32.
#include <windows.h>

#include <cstdio>

#include "Console.h"

void console_set_color(int attribute) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == INVALID_HANDLE_VALUE || out == nullptr) return;
  // The attribute applies to text written from now on; text still sitting in
  // stdio's buffer must go out in the colour it was printed with.
  std::fflush(stdout);
  SetConsoleTextAttribute(out, static_cast<WORD>(attribute));
}
