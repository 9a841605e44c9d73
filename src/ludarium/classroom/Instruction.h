// One instruction as the teacher's client sent it through /sendCmd; a plain
// value copied freely between threads.
#pragma once

#include <cstdint>
#include <string>

struct Instruction {
  std::string szInstruction;  // the command's JSON text
  std::string szTarget;       // the target's JSON text
  std::string publish_id;
  int32_t teacher_id = 0;
  std::string type;           // "class", "group" or "user", from the target
  uint64_t instruct_id = 0;   // 0 = no instruction
  int32_t class_id = 0;
  int64_t queued_at = 0;      // ms since 1970, set by InstructionManager::add
  int32_t lock_screen = 0;    // the command's "lock_screen" member

  Instruction() = default;
  // Reads the stored form (keys in any order). The command text must carry
  // "lock_screen". An error is logged ("... parse error"); the fields read
  // before it keep their values.
  explicit Instruction(const std::string& json);

  // The stored form: {"szInstruction":…,"szTarget":…,"publish_id":…,
  // "teacher_id":N,"type":…,"class_id":N,"instruct_id":"decimal"}.
  std::string jsonString() const;
};
