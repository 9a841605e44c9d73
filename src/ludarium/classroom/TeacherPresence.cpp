#include "TeacherPresence.h"

TeacherPresence::TeacherPresence() {}

TeacherPresence::~TeacherPresence() {}

void TeacherPresence::recordPing(int32_t teacher_id, int64_t now_ms) {
  if (teacher_id <= 0) return;
  MutexGuard guard(&mutex_);
  entries_[teacher_id] = Entry{teacher_id, now_ms};
}

int TeacherPresence::count() {
  MutexGuard guard(&mutex_);
  return static_cast<int>(entries_.size());
}

TeacherPresence::Entry TeacherPresence::lookup(int32_t teacher_id) {
  MutexGuard guard(&mutex_);
  auto it = entries_.find(teacher_id);
  if (it == entries_.end()) it = entries_.emplace(teacher_id, Entry{teacher_id, 0}).first;
  return it->second;
}
