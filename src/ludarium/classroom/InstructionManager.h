// The queue of instructions as they arrive. Each instruction stays current
// for at least 1.5 s while newer ones wait behind it, so every session gets a
// chance to deliver it before the next one replaces it.
//
// Thread safety: every method takes the manager's mutex for its own short step.
#pragma once

#include <cstdint>
#include <deque>

#include "Instruction.h"
#include "Mutex.h"

class InstructionManager {
 public:
  static const int64_t kHandOverMs = 1500;

  InstructionManager();
  ~InstructionManager();

  // Stamps the queue time and appends.
  void add(Instruction instruction);
  void add(Instruction instruction, int64_t now_ms);

  // The current instruction (id 0 when the queue is empty). With more than
  // one queued, a front older than 1.5 s is dropped first (at most one per
  // call), so every caller advances the hand-over.
  Instruction getInstruction();
  Instruction getInstruction(int64_t now_ms);

  // Milliseconds from now_ms until getInstruction would drop the front (0
  // when it would now), or -1 while at most one instruction is queued and
  // nothing will change without an add.
  int64_t untilHandOver(int64_t now_ms);

 private:
  Mutex mutex_;  // guards queue_
  std::deque<Instruction> queue_;
};
