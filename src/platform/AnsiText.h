// Texts in the system's ANSI code page.
#pragma once

#include <string>

// The ANSI text (a path as module_dir gives it) in UTF-8, which is what the
// HTTP library expects of its document root. Windows converts from the
// active code page; on Linux paths are UTF-8 already and come back as they
// are. A text that cannot be converted comes back empty.
std::string ansi_to_utf8(const std::string& ansi);
