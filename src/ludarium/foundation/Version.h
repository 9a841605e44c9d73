// The server's version.
#pragma once

#include <string>

const int kVersionCode = 1014;
extern const char* const kVersionName;  // "3.1.4"

// "3.1.4_" + build date + "_" + build time, with blanks as "_" and ":" as
// ".", e.g. 3.1.4_Sep__4_2014_17.06.35.
std::string long_version_text();
