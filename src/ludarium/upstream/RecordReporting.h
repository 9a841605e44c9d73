// The lesson records sent to the upstream server: for every command a cmd
// record (who was sent it) and a receive record (who answered), each up to
// five times 3 s apart on threads of their own; an online record from the
// main loop at most every 300 s; and the day's log when a class ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "BrocastData.h"
#include "Instruction.h"
#include "User.h"

// Thread functions started by /sendCmd; each owns (and deletes) its
// heap-allocated Instruction.
unsigned int sendCmdLog(void* instruction);
unsigned int sendResLog(void* instruction);

// Main thread, every loop pass: sends the online record when 300 s have
// passed since the last gate.
void sendOnlineLog();

// The records' compact texts (the R of each record), for tests.
std::string cmdRecord(const Instruction& instruction, const std::vector<User>& sent);
std::string receiveRecord(const Instruction& instruction, const std::vector<User>& answered);
std::string onlineRecord(const BrocastData& course, int64_t now_ms, const std::vector<User>& online);
// {"content":"<R>"}: what postForm receives.
std::string wrapRecord(const std::string& record);

// Paths on the upstream server.
extern const char* const kCmdRecordPath;
extern const char* const kReceiveRecordPath;
extern const char* const kOnlineRecordPath;

// Sleep between the passes of the two reporters (3000 ms; tests shorten it).
extern int gReportPassMs;
