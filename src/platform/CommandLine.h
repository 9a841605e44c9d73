// The command line that starts a program with no arguments.
#pragma once

#include <string>

// `path` in double quotes. Windows splits an unquoted command line at its
// first blank: "D:\Class 3\ludarium.exe" would first try to run
// "D:\Class.exe" and hand the rest to the program as its arguments. A
// Windows path cannot contain a double quote, so no escaping is needed.
// Used for the launch of ludarium and for the autostart value.
std::string program_command_line(const std::string& path);
