// The instructions filed for the current class, by target (class, group,
// student). A worker thread files the manager's current instruction and
// wakes the sessions; each session asks which filed instruction applies to
// its student (the one with the highest id).
//
// Thread safety: lock_ guards every field from class_id_ down. The worker holds
// no lock while it calls the manager, the course holder or wake_sessions.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "Instruction.h"
#include "InstructionEntry.h"
#include "InstructionManager.h"
#include "Mutex.h"
#include "User.h"

class InstructionSet {
 public:
  // Files what manager hands over as current.
  explicit InstructionSet(InstructionManager& manager);
  ~InstructionSet();

  // Starts the worker thread (once). wake_sessions is called when a new
  // instruction was filed; class_of_course tells the published class id.
  // The worker runs for the rest of the process.
  void start(std::function<void()> wake_sessions, std::function<int32_t()> class_of_course);

  void set_current(const Instruction& instruction);
  InstructionEntry select_for(const User& student);
  // The same with the student's group ids already parsed from its record.
  InstructionEntry select_for(const User& student, const std::vector<int32_t>& groups);
  uint64_t getLastInstructionId();
  void reset_for_class(int32_t class_id);
  int32_t class_id();
  // Ends the worker's pause at once: a new instruction, or a change of the
  // published class.
  void wake_worker();

 private:
  static unsigned int worker(void* self);
  // One pass of the worker after its pause.
  void workOnce();
  // How long the worker may sleep after a pass made at now_ms when nothing
  // wakes it: until the manager hands over to the next queued instruction,
  // or without limit (-1).
  int64_t idleMs(int64_t now_ms);

  InstructionManager& manager_;
  std::function<void()> wake_sessions_;       // set before the worker starts
  std::function<int32_t()> class_of_course_;  // likewise
  std::atomic<bool> started_{false};

  Mutex lock_;
  Condition cond_;
  int32_t class_id_ = -1;
  uint64_t last_instruction_id_ = 0;
  InstructionTarget current_target_;
  InstructionEntry class_entry_;
  std::map<int32_t, InstructionEntry> groups_;
  std::map<int32_t, InstructionEntry> users_;
};
