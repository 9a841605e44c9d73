// The instructions filed for the current class, by target (class, group,
// user). A worker thread files the manager's current instruction and wakes
// the sessions, which ask which filed instruction applies to their student.
//
// Thread safety: lock_ guards every field below it.
#pragma once

#include <cstdint>

#include "Mutex.h"

class InstructionSet {
 public:
  InstructionSet();
  ~InstructionSet();

  // Id of the last instruction filed (0 before the first).
  uint64_t getLastInstructionId();

 private:
  mutex_t lock_;
  cond_t cond_;
  int32_t class_id_ = -1;
  uint64_t last_instruction_id_ = 0;
};

extern InstructionSet gInstructionSet;
