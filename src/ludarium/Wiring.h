// The server's process-wide objects. They are made before main runs, in the
// order of Wiring.cpp (and destroyed in the reverse), each handed the
// objects it uses. Only main.cpp includes this header: every other file
// receives what it uses through its constructor.
#pragma once

#include "ASAuthorizeServer.h"
#include "ApiContext.h"
#include "Brocast.h"
#include "ConsoleGroups.h"
#include "CourseHolder.h"
#include "HttpRecord.h"
#include "InstructionManager.h"
#include "InstructionSet.h"
#include "OpCmd.h"
#include "OriginList.h"
#include "RecordReporting.h"
#include "Settings.h"
#include "SocketServer.h"
#include "StateStore.h"
#include "TeacherPresence.h"
#include "TeacherWatchdog.h"
#include "UserRegistry.h"

extern Settings gSettings;
extern UserRegistry users;
extern TeacherPresence gTeacherPresence;
extern InstructionManager gInstructionManager;
extern HttpRecord gHttpRecord;
extern CourseHolder gBorcastObj;
extern Brocast gAnnouncer;
extern SocketServer gSocketServer;
extern InstructionSet gInstructionSet;
extern StateStore gStateStore;
extern ASAuthorizeServer gASAuthorizeServer;
extern OpCmd gOpCmd;
extern OriginList gWebOrigins;
extern ConsoleGroups gConsoleGroups;
extern RecordReporting gRecordReporting;
extern TeacherWatchdog gTeacherWatchdog;

// What the HTTP handlers use; the config stores keep their files in the
// folder "config" beside the executable.
ApiContext api_context();
