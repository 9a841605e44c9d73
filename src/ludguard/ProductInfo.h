// Names the user sees and the build tag given to the crash reporter.
#pragma once

#include <string>

// Tray tooltip, message boxes, firewall entry name.
extern const char* const kProductFullName;  // "Ludarium Classroom Guard"
// Crash reporter's application name, the main dialog's text.
extern const char* const kProductShortName;  // "Ludguard"
// Autostart entry (registry value / XDG entry).
extern const char* const kAutostartName;  // "Ludguard"

// "0.0.1_" + build date + "_" + build time, blanks as "_" and ":" as ".",
// e.g. 0.0.1_Apr_22_2014_13.26.37.
std::string buildTag();
