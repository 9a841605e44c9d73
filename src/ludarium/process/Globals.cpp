// The process-wide objects, defined in one file so that they are constructed
// in this order (and destroyed in the reverse): later constructors may use
// earlier objects. The log queue comes first, on its first use.
#include "Globals.h"

#include "ASAuthorizeServer.h"
#include "Brocast.h"
#include "HttpRecord.h"
#include "SocketServer.h"
#include "UserRegistry.h"
#include "InstructionManager.h"
#include "InstructionSet.h"
#include "Log.h"
#include "LogQueue.h"
#include "OpCmd.h"
#include "StateStore.h"
#include "TeacherPresence.h"

int itimeout = 0;
int64_t gLoopStartMs = 0;

const char* const kKeyAlive = "users.getUserGetInstruct(0, 0)";
const char* const kKeyInstruction = "gInstructionManager.getInstruction().szInstruction.jsonString()";
const char* const kKeyCourse = "gBorcastObj.getJSONString()";
const char* const kKeyLastId = "gInstructionSet.getLastInstructionId()";

namespace {
// Starts the log thread before any other process-wide object exists.
LogQueue& gLogQueueStarted = log_queue();
}  // namespace

UserRegistry users;
TeacherPresence gTeacherPresence;
InstructionManager gInstructionManager;
HttpRecord gHttpRecord;
Brocast gBorcastObj;
SocketServer gSocketServer;
InstructionSet gInstructionSet;
StateStore gStateStore;
ASAuthorizeServer gASAuthorizeServer;
OpCmd gOpCmd;
