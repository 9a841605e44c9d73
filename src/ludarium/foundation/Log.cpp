#include "Log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "Clock.h"
#include "LogQueue.h"
#include "LogWriter.h"
#include "Thread.h"

namespace {

std::atomic<bool> discard_lines{false};

const size_t kLineBuffer = 1024;  // a line holds at most 1023 characters

// The text after the last separator of the compiled source path.
const char* source_file_name(const char* file) {
  const char* name = file;
  for (const char* p = file; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/') name = p + 1;
  }
  return name;
}

// "main.cpp:12 main": the part of the prefix that is the same for every
// line of one call site.
std::string site_text(const char* file, int line, const char* pretty_function) {
  std::string function = qualified_function_name(pretty_function);
  char buf[kLineBuffer];
  snprintf(buf, sizeof(buf), "%s:%d %s", source_file_name(file), line, function.c_str());
  return buf;
}

// Writes the prefix into buf; returns its length (cut to the buffer).
size_t write_prefix(char* buf, const char* level, const std::string& where) {
  int n = snprintf(buf, kLineBuffer, "%s, %s %08X ", level, where.c_str(), current_thread_id());
  if (n < 0) return 0;
  return static_cast<size_t>(n) < kLineBuffer ? static_cast<size_t>(n) : kLineBuffer - 1;
}

void format_and_push(const char* level, const std::string& where, const char* format,
                     va_list args) {
  char buf[kLineBuffer] = {0};
  size_t n = write_prefix(buf, level, where);
  vsnprintf(buf + n, kLineBuffer - n, format, args);
  if (!discard_lines) log_queue().push(level, buf);
}

}  // namespace

std::string qualified_function_name(const char* pretty_function) {
  std::string s = pretty_function;
  // Drop "(anonymous namespace)::" so its parentheses do not confuse the scan.
  const std::string anon = "(anonymous namespace)::";
  for (size_t pos = s.find(anon); pos != std::string::npos; pos = s.find(anon)) s.erase(pos, anon.size());
  // The parameter list begins at the first "(" outside template brackets.
  int depth = 0;
  size_t end = s.size();
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '<') depth++;
    else if (s[i] == '>' && depth > 0) depth--;
    else if (s[i] == '(' && depth == 0) {
      // "operator()" keeps its own parentheses.
      if (i >= 8 && s.compare(i - 8, 8, "operator") == 0 && s.compare(i, 2, "()") == 0) {
        end = i + 2;
        break;
      }
      end = i;
      break;
    }
  }
  s = s.substr(0, end);
  // The name is the last blank-separated word outside template brackets.
  depth = 0;
  size_t begin = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '<') depth++;
    else if (s[i] == '>' && depth > 0) depth--;
    else if (s[i] == ' ' && depth == 0) begin = i + 1;
  }
  s = s.substr(begin);
  while (!s.empty() && (s[0] == '*' || s[0] == '&')) s.erase(0, 1);
  return s;
}

LogSite::LogSite(const char* file, int line, const char* pretty_function)
    : where(new std::string(site_text(file, line, pretty_function))) {}

std::string log_build_line(const char* level, const char* file, int line,
                           const char* pretty_function, const char* message) {
  char buf[kLineBuffer] = {0};
  size_t n = write_prefix(buf, level, site_text(file, line, pretty_function));
  snprintf(buf + n, kLineBuffer - n, "%s", message);
  return buf;
}

void log_site_format(const char* level, const LogSite& site, const char* format, ...) {
  va_list args;
  va_start(args, format);
  format_and_push(level, *site.where, format, args);
  va_end(args);
}

void log_format(const char* level, const char* file, int line, const char* pretty_function,
                const char* format, ...) {
  va_list args;
  va_start(args, format);
  format_and_push(level, site_text(file, line, pretty_function), format, args);
  va_end(args);
}

void log_discard(bool on) { discard_lines = on; }

std::string today_verbose_log_name() { return log_date_text(wall_ms()) + "verbose.log"; }
