// "/sendCmd": the teacher sends a command to the class, some groups or some
// students. It becomes an instruction the sessions deliver, and is reported
// upstream by two reporter threads after the reply.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "BaseHttpAPI.h"
#include "CourseHolder.h"
#include "Instruction.h"
#include "InstructionManager.h"
#include "InstructionSet.h"
#include "RecordReporting.h"

class APISendCmd : public BaseHttpAPI {
 public:
  APISendCmd(CourseHolder& course, InstructionManager& manager, InstructionSet& set,
             RecordReporting& reporting);
  int onHandleEvent(HttpRequest& request) override;

  // Builds the instruction from the two parameters. False with the failure
  // text in *error when the target (or a command without "id") is unusable,
  // or the id is not a whole number in 1 .. 2^64-2 (kBadIdText); nothing of
  // such a command is kept, the lock state included.
  bool buildInstruction(const std::string& target, const std::string& command,
                        Instruction* instruction, std::string* error);

  static const char* const kBadIdText;

 private:
  CourseHolder& course_;
  InstructionManager& manager_;
  InstructionSet& set_;
  RecordReporting& reporting_;
  // 1 while the students' screens are to be locked.
  std::atomic<int32_t> lockScreen{0};
};
