// What the instruction set files per class, group or student.
#pragma once

#include <cstdint>
#include <string>

#include "InstructionTarget.h"

struct InstructionEntry {
  uint64_t instruct_id = 0;  // 0: none
  std::string command;
  InstructionTarget target;
  int64_t filed_at = 0;  // elapsed_ms() when it was filed
};
