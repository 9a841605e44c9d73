// When each teacher's client last pinged the server. Written by /ping, read
// by the teacher presence watchdog. Never emptied.
//
// Thread safety: every operation holds mutex_ for its whole run.
#pragma once

#include <cstdint>
#include <map>

#include "Mutex.h"

class TeacherPresence {
 public:
  struct Entry {
    int32_t teacher_id;
    int64_t last_ping_ms;
  };

  TeacherPresence();
  ~TeacherPresence();

  // Ignores ids of 0 or less; otherwise (id, now_ms) replaces any entry.
  void recordPing(int32_t teacher_id, int64_t now_ms);
  int count();
  // The entry for the id; an unknown id is first inserted with time 0.
  Entry lookup(int32_t teacher_id);

 private:
  Mutex mutex_;
  std::map<int32_t, Entry> entries_;
};
