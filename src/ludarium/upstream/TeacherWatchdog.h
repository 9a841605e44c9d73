// Ends a running class by itself when the course's teacher has not pinged
// for more than two minutes: stops the course announcement and sends
// "end_class" to our own /sendCmd, as the teacher's client would.
#pragma once

#include <cstdint>

class CourseHolder;
class HttpRecord;
class InstructionManager;
class Settings;
class TeacherPresence;

class TeacherWatchdog {
 public:
  TeacherWatchdog(CourseHolder& course, TeacherPresence& presence, InstructionManager& instructions,
                  HttpRecord& http, const Settings& settings);

  // Main thread, once a second. `port` is the local API's port.
  void checkTeacherOnline(int port);
  void checkTeacherOnline(int port, int64_t now_ms);

 private:
  CourseHolder& course_;
  TeacherPresence& presence_;
  InstructionManager& instructions_;
  HttpRecord& http_;
  const Settings& settings_;
};
