// Console text colours, given as Windows console attributes (2 green, 4 red,
// 6 yellow, 7 white on black). On Linux they become ANSI escapes, written
// only when standard output is a terminal; otherwise nothing is written.
#pragma once

void console_set_color(int attribute);
