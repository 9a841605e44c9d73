// The server's log. LOG(level, format, ...) formats one line on the calling
// thread (prefix "level, file:line function threadid " and the message, cut
// to 1023 characters) and hands it to the process-wide LogQueue; the log
// thread writes it to the console and the day's files in log/ beside the
// executable. A caller never waits for the disk, only for one queue push.
//
// Levels: "d" debug, "w" warning, "e" error ("x" is treated as an error).
#pragma once

#include <string>

// Each call site works out its "file:line function" text once, on its first
// line, rather than with every line: the HTTP handlers log a line per
// request, and taking the decorated name apart cost more than the rest of
// the line.
#define LOG(level, ...)                                                             \
  do {                                                                              \
    static const LogSite lud_log_site_(__FILE__, __LINE__, __PRETTY_FUNCTION__);    \
    log_site_format((level), lud_log_site_, __VA_ARGS__);                           \
  } while (0)

// Where a LOG line comes from, as its prefix shows it: "main.cpp:12 main".
// The text is never freed and the site has nothing to destroy, so a thread
// that logs while the process exits never meets a destroyed site.
struct LogSite {
  LogSite(const char* file, int line, const char* pretty_function);
  const std::string* where;
};

// What LOG expands to.
void log_site_format(const char* level, const LogSite& site, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// A line from a site known only at run time. `pretty_function` is the
// compiler's decorated name; the log shows the qualified name
// ("ASAuthorizeServer::BindSocket").
void log_format(const char* level, const char* file, int line, const char* pretty_function,
                const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 5, 6)))
#endif
    ;

// When on, LOG builds each line and drops it instead of queueing it. For
// fuzz targets, which log millions of lines faster than the log thread
// writes them. Off by default.
void log_discard(bool on);

// Builds the line LOG would push, without pushing it (for tests).
std::string log_build_line(const char* level, const char* file, int line,
                           const char* pretty_function, const char* message);

// "Namespace::Class::method" out of a decorated function name such as
// "static int Namespace::Class::method(int, char*) const".
std::string qualified_function_name(const char* pretty_function);

// "YYYY-MM-DD verbose.log" for today's local date.
std::string today_verbose_log_name();
