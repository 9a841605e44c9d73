// Exact URI dispatch inside a handler that the frame reached by prefix.
#pragma once

#include <string>

// Whether uri equals name without regard to case, or equals name followed
// by one "/".
bool uri_is(const std::string& uri, const char* name);
