#include "InstructionManager.h"

#include "Clock.h"

InstructionManager::InstructionManager() {}

InstructionManager::~InstructionManager() {}

void InstructionManager::add(Instruction instruction) { add(std::move(instruction), wall_ms()); }

void InstructionManager::add(Instruction instruction, int64_t now_ms) {
  MutexGuard guard(&mutex_);
  instruction.queued_at = now_ms;
  queue_.push_back(std::move(instruction));
}

Instruction InstructionManager::getInstruction() { return getInstruction(wall_ms()); }

Instruction InstructionManager::getInstruction(int64_t now_ms) {
  MutexGuard guard(&mutex_);
  if (queue_.empty()) return Instruction();
  if (queue_.size() > 1 && now_ms - queue_.front().queued_at > kHandOverMs) queue_.pop_front();
  return queue_.front();
}

int64_t InstructionManager::untilHandOver(int64_t now_ms) {
  MutexGuard guard(&mutex_);
  if (queue_.size() < 2) return -1;
  // getInstruction drops the front once it is strictly older than kHandOverMs.
  int64_t left = queue_.front().queued_at + kHandOverMs + 1 - now_ms;
  return left > 0 ? left : 0;
}
