// The server's log. LOG(level, format, ...) formats one line on the calling
// thread (prefix "level, file:line function threadid " and the message, cut
// to 1023 characters) and hands it to the process-wide LogQueue; the log
// thread writes it to the console and the day's files in log/ beside the
// executable. A caller never waits for the disk, only for one queue push.
//
// Levels: "d" debug, "w" warning, "e" error ("x" is treated as an error).
#pragma once

#include <string>

#define LOG(level, ...) log_format((level), __FILE__, __LINE__, __PRETTY_FUNCTION__, __VA_ARGS__)

// What LOG expands to. `pretty_function` is the compiler's decorated name;
// the log shows the qualified name ("ASAuthorizeServer::BindSocket").
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
