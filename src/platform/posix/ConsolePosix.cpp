#include <unistd.h>

#include <cstdio>

#include "Console.h"

void console_set_color(int attribute) {
  // Asked once: the log thread sets a colour twice per line.
  static const bool colours = isatty(STDOUT_FILENO) != 0;
  if (!colours) return;
  if ((attribute & 7) == 7) {
    fputs("\033[0m", stdout);
    return;
  }
  // Windows attribute bits: 1 blue, 2 green, 4 red; ANSI colour bits are
  // 1 red, 2 green, 4 blue.
  int ansi = ((attribute & 4) ? 1 : 0) | ((attribute & 2) ? 2 : 0) | ((attribute & 1) ? 4 : 0);
  fprintf(stdout, "\033[%s3%dm", (attribute & 8) ? "1;" : "", ansi);
}
