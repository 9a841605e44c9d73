// ludguard's own log: one line per call appended to log/Ludguard.log beside
// the executable, "<local time with ms> <unit>:<line>[<function>] <message>".
// Any thread; a process-local lock serialises the writes.
#pragma once

#include <string>

// Sets the log file. Called once by the supervisor's set-up before any thread starts.
void setLogFile(const std::string& path);

// Appends "<time> <line>\n"; the line is lost when the file cannot be opened.
void writeLog(const char* line);

// Builds "<unit>:<line>[<function>] " + the formatted message in a 1024-byte
// buffer (a longer message is cut) and writes it with writeLog.
void guardLog(const char* unit, int line, const char* function, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;

#define GUARD_LOG(unit, function, ...) guardLog(unit, __LINE__, function, __VA_ARGS__)
