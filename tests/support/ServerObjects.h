// A server's objects, made afresh for one test and wired as the running
// server wires them, without starting its threads or listeners. The
// announcer sees no adapters.
#pragma once

#include <string>

#include "ApiContext.h"
#include "Brocast.h"
#include "CourseHolder.h"
#include "HttpRecord.h"
#include "HttpServer.h"
#include "InstructionManager.h"
#include "InstructionSet.h"
#include "OpCmd.h"
#include "RecordReporting.h"
#include "Settings.h"
#include "TeacherPresence.h"
#include "UserRegistry.h"

inline AdapterSource no_adapters() {
  AdapterSource none;
  none.status = [](std::vector<AdapterStatus>* out, std::string*) {
    out->clear();
    return 0;
  };
  none.records = [](std::vector<AdapterRecord>* out) {
    out->clear();
    return 0;
  };
  return none;
}

struct ServerObjects {
  explicit ServerObjects(std::string config = "config") : config_dir(std::move(config)) {}

  ApiContext context() {
    return ApiContext{course,    announcer, users,   manager,        set,       presence,
                      reporting, op_cmd,    origins, console_groups, config_dir};
  }

  std::string config_dir;
  Settings settings;
  UserRegistry users;
  TeacherPresence presence;
  InstructionManager manager;
  HttpRecord http;
  CourseHolder course{settings};
  Brocast announcer{course, no_adapters()};
  InstructionSet set{manager};
  OpCmd op_cmd;
  OriginList origins{config_dir};
  ConsoleGroups console_groups{config_dir};
  RecordReporting reporting{http, users, course};
  HttpServer server{0, context()};
};
