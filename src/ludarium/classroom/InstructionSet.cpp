#include "InstructionSet.h"

InstructionSet::InstructionSet() {
  mutex_init(&lock_);
  cond_init(&cond_);
}

InstructionSet::~InstructionSet() {
  cond_destroy(&cond_);
  mutex_destroy(&lock_);
}

uint64_t InstructionSet::getLastInstructionId() {
  MutexGuard guard(&lock_);
  return last_instruction_id_;
}
