#include "InstructionSet.h"

#include <vector>

#include "Clock.h"
#include "Thread.h"

InstructionSet::InstructionSet(InstructionManager& manager) : manager_(manager) {}

InstructionSet::~InstructionSet() {}

void InstructionSet::start(std::function<void()> wake_sessions,
                           std::function<int32_t()> class_of_course) {
  if (started_.exchange(true)) return;
  wake_sessions_ = std::move(wake_sessions);
  class_of_course_ = std::move(class_of_course);
  thread_begin(worker, this);
}

namespace {
// While instructions wait behind the current one, the worker's passes stay
// this far apart, as they were when it woke on a fixed period.
const int64_t kQueuedPassMs = 200;
// A wait with nothing due still ends now and then; it costs nothing.
const int64_t kIdleWaitMs = 60 * 1000;
}  // namespace

unsigned int InstructionSet::worker(void* self) {
  thread_set_name("instructions");
  InstructionSet* set = static_cast<InstructionSet*>(self);
  for (;;) {
    set->workOnce();
    // A pause that a wake_worker ends early; the lock is not held meanwhile.
    // A wake given during the pass is kept by the condition until this wait.
    int64_t pause = set->idleMs(wall_ms());
    if (cond_timedwait(set->cond_.get(), nullptr, static_cast<int>(pause)) < 0) {
      sleep_ms(static_cast<unsigned int>(kQueuedPassMs));  // no condition: poll
    }
  }
}

int64_t InstructionSet::idleMs(int64_t now_ms) {
  int64_t hand_over = manager_.untilHandOver(now_ms);
  if (hand_over < 0) return kIdleWaitMs;
  return hand_over < kQueuedPassMs ? kQueuedPassMs : hand_over;
}

void InstructionSet::workOnce() {
  int32_t course_class = class_of_course_ ? class_of_course_() : -1;
  if (course_class == -1) return;
  // A new class forgets the old one's instructions; what is current now is
  // then filed for the new class in the same pass.
  if (course_class != class_id()) reset_for_class(course_class);
  Instruction current = manager_.getInstruction();
  if (current.instruct_id != getLastInstructionId()) {
    set_current(current);
    // Sessions are woken only when something was filed. An instruction that
    // cannot be filed (another class's, left current after a class change)
    // would otherwise wake every session on every pass for nothing.
    if (getLastInstructionId() == current.instruct_id && wake_sessions_) wake_sessions_();
  }
}

void InstructionSet::set_current(const Instruction& instruction) {
  if (instruction.szTarget.empty()) return;
  InstructionTarget target(instruction.szTarget);
  if (target.class_id != class_id()) return;
  InstructionEntry entry;
  entry.instruct_id = instruction.instruct_id;
  entry.command = instruction.szInstruction;
  entry.target = target;
  entry.filed_at = elapsed_ms();
  // The id lists are parsed before the lock is taken.
  std::vector<int32_t> ids;
  if (target.type == "group") ids = parse_id_list(target.groups);
  if (target.type == "user") ids = parse_id_list(target.users);

  MutexGuard guard(&lock_);
  current_target_ = target;
  if (target.type == "class") {
    class_entry_ = entry;
  } else if (target.type == "group") {
    for (int32_t id : ids) groups_[id] = entry;
  } else if (target.type == "user") {
    for (int32_t id : ids) users_[id] = entry;
  }
  last_instruction_id_ = instruction.instruct_id;
}

InstructionEntry InstructionSet::select_for(const User& student) {
  {
    MutexGuard guard(&lock_);
    if (student.class_id != class_id_ || groups_.empty()) return select_for(student, {});
  }
  return select_for(student, parse_id_list(student.group_id));
}

InstructionEntry InstructionSet::select_for(const User& student, const std::vector<int32_t>& groups) {
  InstructionEntry result;
  MutexGuard guard(&lock_);
  if (student.class_id != class_id_) return result;
  const InstructionEntry* best = nullptr;
  auto consider = [&](const InstructionEntry& e) {
    if (e.instruct_id != 0 && (best == nullptr || e.instruct_id > best->instruct_id)) best = &e;
  };
  consider(class_entry_);
  auto user = users_.find(student.user_id);
  if (user != users_.end()) consider(user->second);
  if (!groups_.empty()) {
    for (int32_t group : groups) {
      auto it = groups_.find(group);
      if (it != groups_.end()) consider(it->second);
    }
  }
  if (best != nullptr) result = *best;
  return result;
}

uint64_t InstructionSet::getLastInstructionId() {
  MutexGuard guard(&lock_);
  return last_instruction_id_;
}

void InstructionSet::reset_for_class(int32_t class_id) {
  MutexGuard guard(&lock_);
  last_instruction_id_ = 0;
  class_entry_ = InstructionEntry();
  groups_.clear();
  users_.clear();
  class_id_ = class_id;
}

int32_t InstructionSet::class_id() {
  MutexGuard guard(&lock_);
  return class_id_;
}

void InstructionSet::wake_worker() { cond_.signal(); }
