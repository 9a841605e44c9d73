// What every session uses besides its connection and the directory of the
// other sessions: the student registry, the filed instructions, the course
// and the settings. The socket server hands it to each session it starts.
#pragma once

#include "CourseHolder.h"
#include "InstructionSet.h"
#include "Settings.h"
#include "UserRegistry.h"

struct SessionContext {
  UserRegistry& users;
  InstructionSet& instructions;
  CourseHolder& course;
  const Settings& settings;
};
