// ludarium: restores the last course and instruction from the state store,
// starts the services each on the first free port of its range, and then
// wakes once a second for ever. There is no orderly shutdown: ludguard (or
// the console closing) ends the process.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Clock.h"
#include "CrashReporter.h"
#include "HttpServer.h"
#include "Log.h"
#include "Net.h"
#include "PortRange.h"
#include "StateKeys.h"
#include "Thread.h"
#include "Util.h"
#include "Version.h"
#include "Wiring.h"

namespace {

const int kHttpFirstPort = 40080;
const int kHttpLastPort = 40082;

std::wstring version_text() {
  std::string text = long_version_text();
  return std::wstring(text.begin(), text.end());
}

void restore_state() {
  std::string course;
  if (gStateStore.read(kKeyCourse, &course) == 0 && !course.empty()) {
    gBorcastObj.setData(BrocastData(course));
  }
  std::string instruction;
  if (gStateStore.read(kKeyInstruction, &instruction) == 0) {
    LOG("d", "szInstruction=%s", instruction.c_str());
    if (!instruction.empty()) gInstructionManager.add(Instruction(instruction));
  }
}

void write_state() {
  gStateStore.write(kKeyAlive, "ok");
  gStateStore.write(kKeyInstruction, gInstructionManager.getInstruction().jsonString());
  std::string course = gBorcastObj.getJSONString();
  gStateStore.write(kKeyCourse, course.empty() ? "{}" : course);
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
  // Every handler, no restart of its own: ludguard launches it again at
  // once, and a second restart would race that relaunch.
  info.flags = 0x17BFF & ~kCrashRestartFlag;
  int installed = crash_install(&info);
  if (installed != 0) {
    char msg[256] = {0};
    crash_last_error(msg, sizeof(msg));
    printf("%s,%d[%s]:%08X, nInstResult=%d, msg=%s\n", "src\\ludarium.cpp", 199, "main",
           current_thread_id(), installed, msg);
    return 0;
  }

  // Sessions and the instruction worker sleep until they have work: a new
  // class or a new instruction wakes them. Set before any thread can change
  // the course.
  gBorcastObj.on_class_change([] {
    gInstructionSet.wake_worker();
    gSocketServer.wake_sessions();
  });
  LOG("d", "%s", "");
  restore_state();
  LOG("d", "%s", "");

  gSettings.setItimeout(0);
  LOG("d", "argc:%d", argc);
  LOG("d", "argv:%s", argv[0]);
  if (argc > 1) {
    gSettings.setItimeout(atoi(argv[1]));
    LOG("d", "itimeout:%d", gSettings.itimeout());
  }

  // The first free port of the range; the watchdog later calls this port.
  static HttpServer http(kHttpFirstPort, api_context());
  int http_port = first_free_port(kHttpFirstPort, kHttpLastPort, "127.0.0.1");
  if (http_port <= kHttpLastPort) {
    http.setPort(http_port);
    if (http.start() == 0) {
      LOG("d", "HttpServer running on %s:%d", "127.0.0.1", http_port);
    } else {
      LOG("e", "HttpServer error");
    }
  } else {
    LOG("e", "HttpServer not running because ports are all in used!");
  }

  LOG("d", "%s", "");
  gInstructionSet.start([] { gSocketServer.wake_sessions(); },
                        [] { return gBorcastObj.classId(); });

  LOG("d", "%s", "");
  if (gSocketServer.checkPort() < SocketServer::kLastPort + 1) gSocketServer.Start();

  LOG("d", "%s", "");
  if (gASAuthorizeServer.checkPort() <= ASAuthorizeServer::kLastPort) gASAuthorizeServer.Start();

  LOG("d", "%s", "");
  gSettings.setLoopStartMs(wall_ms());

  for (;;) {
    sleep_ms(1000);
    gRecordReporting.sendOnlineLog();
    gTeacherWatchdog.checkTeacherOnline(http_port);
    write_state();
  }
}
