#include "UriMatch.h"

#include <cstring>

bool uri_is(const std::string& uri, const char* name) {
  size_t n = strlen(name);
  if (uri.size() != n && !(uri.size() == n + 1 && uri[n] == '/')) return false;
  for (size_t i = 0; i < n; ++i) {
    char x = uri[i], y = name[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}
