#include "Util.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "Clock.h"
#include "FileSystem.h"

std::string int64_to_text(int64_t value) {
  char buf[32];
  snprintf(buf, sizeof(buf), "%lld", static_cast<long long>(value));
  return buf;
}

std::string uint64_to_text(uint64_t value) {
  char buf[32];
  snprintf(buf, sizeof(buf), "%llu", static_cast<unsigned long long>(value));
  return buf;
}

uint64_t text_to_uint64(const std::string& text, bool* overflow) {
  if (overflow != nullptr) *overflow = false;
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  uint64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    if (value > (UINT64_MAX - digit) / 10) {
      if (overflow != nullptr) *overflow = true;
      return UINT64_MAX;
    }
    value = value * 10 + digit;
  }
  return value;
}

std::string replace_all(const std::string& text, const std::string& needle,
                        const std::string& replacement) {
  if (needle.empty() || replacement.find(needle) != std::string::npos) return text;
  std::string result = text;
  for (size_t pos = result.find(needle); pos != std::string::npos; pos = result.find(needle)) {
    result.replace(pos, needle.size(), replacement);
  }
  return result;
}

void url_encode(const char* src, char* dst, size_t size) {
  static const char kHex[] = "0123456789abcdef";
  static const char kKept[] = "._-$,;~()";
  if (dst == nullptr || size == 0) return;
  size_t out = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(src); p && *p; ++p) {
    if (out + 1 >= size) break;
    unsigned char c = *p;
    bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                strchr(kKept, c) != nullptr;
    if (kept) {
      dst[out++] = static_cast<char>(c);
    } else if (out + 3 < size) {
      dst[out++] = '%';
      dst[out++] = kHex[c >> 4];
      dst[out++] = kHex[c & 15];
    }
  }
  dst[out] = '\0';
}

std::string local_time_text(int64_t ms) {
  struct tm t;
  local_tm(ms, &t);
  char date[32];
  strftime(date, sizeof(date), "%Y-%m-%d %H:%M:%S", &t);
  char buf[48];
  snprintf(buf, sizeof(buf), "%s.%03d", date, static_cast<int>(ms % 1000));
  return buf;
}

std::string directory_of(const std::string& path) {
  size_t pos = path.find_last_of("/\\");
  return pos == std::string::npos ? std::string() : path.substr(0, pos);
}

std::string read_text_file(const std::string& path) {
  std::string text;
  read_whole_file(path, &text, FileRead::kText);
  return text;
}

int write_all(FILE* f, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    size_t n = fwrite(text.data() + done, 1, text.size() - done, f);
    if (n == 0) return -1;  // a full disk or a broken stream: stop instead of spinning
    done += n;
  }
  return 0;
}

int write_text_file(const std::string& path, const std::string& text) {
  FILE* f = open_file(path, "w");
  if (f == nullptr) return -1;
  int result = write_all(f, text);
  if (fclose(f) != 0) result = -1;
  return result;
}
