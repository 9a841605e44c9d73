// The process-wide objects, defined in one file so that they are made in
// this order (and destroyed in the reverse): a constructor may use the
// objects above it. The log queue comes first, on its first use, so that
// every constructor can log. A reference to an object further down (the
// instruction set in the sessions' context) is only bound here, not used.
#include "Wiring.h"

#include "FileSystem.h"
#include "LogQueue.h"

namespace {
// Starts the log thread before any other process-wide object exists.
LogQueue& gLogQueueStarted = log_queue();
}  // namespace

Settings gSettings;
UserRegistry users;
TeacherPresence gTeacherPresence;
InstructionManager gInstructionManager;
HttpRecord gHttpRecord;
CourseHolder gBorcastObj(gSettings);
Brocast gAnnouncer(gBorcastObj);
SocketServer gSocketServer(SessionContext{users, gInstructionSet, gBorcastObj, gSettings});
InstructionSet gInstructionSet(gInstructionManager);
StateStore gStateStore;
ASAuthorizeServer gASAuthorizeServer(gBorcastObj);
OpCmd gOpCmd;
OriginList gWebOrigins(path_join(module_dir(), "config"));
ConsoleGroups gConsoleGroups(path_join(module_dir(), "config"));
RecordReporting gRecordReporting(gHttpRecord, users, gBorcastObj);
TeacherWatchdog gTeacherWatchdog(gBorcastObj, gTeacherPresence, gInstructionManager, gHttpRecord,
                                 gSettings);

ApiContext api_context() {
  return ApiContext{gBorcastObj,
                    gAnnouncer,
                    users,
                    gInstructionManager,
                    gInstructionSet,
                    gTeacherPresence,
                    gRecordReporting,
                    gOpCmd,
                    gWebOrigins,
                    gConsoleGroups,
                    path_join(module_dir(), "config")};
}
