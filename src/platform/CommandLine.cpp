#include "CommandLine.h"

std::string program_command_line(const std::string& path) { return "\"" + path + "\""; }
