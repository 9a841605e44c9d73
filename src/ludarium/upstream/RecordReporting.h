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

class CourseHolder;
class HttpRecord;
class UserRegistry;

class RecordReporting {
 public:
  // Records go to the course's upstream address through http; pass_ms is
  // the sleep between the passes of the two reporters (tests shorten it).
  RecordReporting(HttpRecord& http, UserRegistry& users, CourseHolder& course,
                  int pass_ms = 3000);

  // /sendCmd: each starts the reporter of its record on a thread of its own
  // with a copy of the instruction. false when the thread could not start.
  bool sendCmdLog(const Instruction& instruction);
  bool sendResLog(const Instruction& instruction);

  // Main thread, every loop pass: sends the online record when 300 s have
  // passed since the last gate.
  void sendOnlineLog();

 private:
  struct Job;
  bool startReporter(void (RecordReporting::*run)(const Instruction&),
                     const Instruction& instruction);
  static unsigned int reporterThread(void* job);
  void runCmdLog(const Instruction& instruction);
  void runResLog(const Instruction& instruction);
  void sendRecord(const std::string& record, const char* path);

  HttpRecord& http_;
  UserRegistry& users_;
  CourseHolder& course_;
  const int pass_ms_;
  int64_t online_clock_ = 0;  // main thread only
};

// The records' compact texts (the R of each record), for tests.
std::string cmdRecord(const Instruction& instruction, const std::vector<UserTimes>& sent);
std::string receiveRecord(const Instruction& instruction, const std::vector<UserTimes>& answered);
// The same from whole records.
std::string cmdRecord(const Instruction& instruction, const std::vector<User>& sent);
std::string receiveRecord(const Instruction& instruction, const std::vector<User>& answered);
std::string onlineRecord(const BrocastData& course, int64_t now_ms, const std::vector<User>& online);
// {"content":"<R>"}: what postForm receives.
std::string wrapRecord(const std::string& record);

// Paths on the upstream server.
extern const char* const kCmdRecordPath;
extern const char* const kReceiveRecordPath;
extern const char* const kOnlineRecordPath;
