#include "WebOrigin.h"

#include <cctype>

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool host_char(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

}  // namespace

std::string canonical_origin(const std::string& text) {
  if (text == "null") return text;
  size_t colon = text.find("://");
  if (colon == std::string::npos) return "";
  std::string scheme = lower(text.substr(0, colon));
  if (scheme != "http" && scheme != "https") return "";
  size_t start = colon + 3;
  size_t end = text.find_first_of("/?#", start);
  std::string authority =
      text.substr(start, end == std::string::npos ? std::string::npos : end - start);
  // A user part ("user:pass@") is never part of the origin.
  size_t at = authority.rfind('@');
  if (at != std::string::npos) authority.erase(0, at + 1);

  std::string host, port;
  if (!authority.empty() && authority[0] == '[') {
    size_t close = authority.find(']');
    if (close == std::string::npos) return "";
    host = authority.substr(0, close + 1);
    for (size_t i = 1; i < close; ++i) {
      char c = authority[i];
      if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') return "";
    }
    if (close + 1 < authority.size()) {
      if (authority[close + 1] != ':') return "";
      port = authority.substr(close + 2);
    }
  } else {
    size_t p = authority.find(':');
    host = authority.substr(0, p);
    if (p != std::string::npos) port = authority.substr(p + 1);
    for (char c : host) {
      if (!host_char(c)) return "";
    }
  }
  if (host.empty() || host == "[]") return "";
  if (port.empty()) {
    port = scheme == "http" ? "80" : "443";
  } else {
    if (port.size() > 5) return "";
    for (char c : port) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return "";
    }
    unsigned long n = std::stoul(port);
    if (n == 0 || n > 65535) return "";
    port = std::to_string(n);
  }
  return scheme + "://" + lower(host) + ":" + port;
}

std::string origin_host(const std::string& canonical) {
  size_t start = canonical.find("://");
  if (start == std::string::npos) return "";
  start += 3;
  size_t colon = canonical.rfind(':');
  if (colon == std::string::npos || colon < start) return "";
  return canonical.substr(start, colon - start);
}

bool is_loopback_host(const std::string& host) {
  std::string h = lower(host);
  return h == "127.0.0.1" || h == "localhost" || h == "[::1]";
}
