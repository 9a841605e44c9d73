#include "AnsiText.h"

std::string ansi_to_utf8(const std::string& ansi) { return ansi; }
