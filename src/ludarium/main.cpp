// ludarium: restores the last course and instruction from the state store,
// starts the services each on the first free port of its range, and then
// wakes once a second for ever. There is no orderly shutdown: ludguard (or
// the console closing) ends the process.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Clock.h"
#include "CrashReporter.h"
#include "Globals.h"
#include "InstructionManager.h"
#include "InstructionSet.h"
#include "Log.h"
#include "StateStore.h"
#include "Thread.h"
#include "Util.h"

namespace {

// "3.1.4_" + build date + "_" + build time, blanks as "_" and ":" as ".".
std::wstring version_text() {
  std::string text = replace_all(
      replace_all(std::string("3.1.4_") + __DATE__ + "_" + __TIME__, " ", "_"), ":", ".");
  return std::wstring(text.begin(), text.end());
}

void restore_state() {
  std::string course;
  if (gStateStore.read(kKeyCourse, &course) == 0 && !course.empty()) {
    // The course record joins here once the course holder exists.
  }
  std::string instruction;
  if (gStateStore.read(kKeyInstruction, &instruction) == 0) {
    LOG("d", "szInstruction=%s", instruction.c_str());
  }
}

void write_state() {
  gStateStore.write(kKeyAlive, "ok");
  gStateStore.write(kKeyInstruction, gInstructionManager.getInstruction().jsonString());
  gStateStore.write(kKeyCourse, "{}");
  gStateStore.write(kKeyLastId,
                    int64_to_text(static_cast<int64_t>(gInstructionSet.getLastInstructionId())));
}

}  // namespace

int main(int argc, char** argv) {
  static const std::wstring version = version_text();
  CrashInstallInfo info = {};
  info.size = 100;
  info.app_name = L"Ludarium";
  info.app_version = version.c_str();
  info.upload_url = "";
  info.flags = 0x17BFF;
  int installed = crash_install(&info);
  if (installed != 0) {
    char msg[256] = {0};
    crash_last_error(msg, sizeof(msg));
    printf("%s,%d[%s]:%08X, nInstResult=%d, msg=%s\n", "src\\ludarium.cpp", 199, "main",
           current_thread_id(), installed, msg);
    return 0;
  }

  LOG("d", "%s", "");
  restore_state();
  LOG("d", "%s", "");

  itimeout = 0;
  LOG("d", "argc:%d", argc);
  LOG("d", "argv:%s", argv[0]);
  if (argc > 1) {
    itimeout = atoi(argv[1]);
    LOG("d", "itimeout:%d", itimeout);
  }

  LOG("d", "%s", "");
  gLoopStartMs = wall_ms();

  for (;;) {
    sleep_ms(1000);
    write_state();
  }
}
