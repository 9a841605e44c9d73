// Everything the HTTP handlers use, handed to the server by the wiring.
// Every object outlives the server.
#pragma once

#include <string>

#include "Brocast.h"
#include "ConsoleGroups.h"
#include "CourseHolder.h"
#include "InstructionManager.h"
#include "InstructionSet.h"
#include "OpCmd.h"
#include "OriginList.h"
#include "RecordReporting.h"
#include "TeacherPresence.h"
#include "UserRegistry.h"

struct ApiContext {
  CourseHolder& course;
  Brocast& announcer;
  UserRegistry& users;
  InstructionManager& instructions;
  InstructionSet& instruction_set;
  TeacherPresence& presence;
  RecordReporting& reporting;
  OpCmd& op_cmd;
  // The web pages the school allows besides the console (config/origins).
  OriginList& origins;
  // The names of the groups the console shows (config/groups).
  ConsoleGroups& console_groups;
  // Where the config stores keep their files.
  std::string config_dir;
};
