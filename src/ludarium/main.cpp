// ludarium: restores the last course and instruction from the state store,
// starts the services each on the first free port of its range, and then
// wakes once a second for ever. There is no orderly shutdown: ludguard (or
// the console closing) ends the process.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "AtomicTextFile.h"
#include "Clock.h"
#include "CrashReporter.h"
#include "DescriptorLimit.h"
#include "FileSystem.h"
#include "HttpServer.h"
#include "InstanceLock.h"
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
// Each session holds two descriptors (its socket and its wake event); the
// rest covers the HTTP connections, the policy server, upstream posts, the
// listeners and the log files.
const int kDescriptorsWanted = 2 * SocketServer::kMaxSessions + 512;

std::wstring version_text() {
  std::string text = long_version_text();
  return std::wstring(text.begin(), text.end());
}

// The state store's failures, each logged "e" once when it starts rather
// than every second; a "d" line when the store works again. Main thread only.
int gStoreFailure = 0;

void note_store_result(const char* what, const char* key, int rc) {
  if (rc == 0) return;
  if (rc != gStoreFailure) {
    LOG("e", "state store %s of %s failed (%d)%s", what, key, rc,
        rc == StateStore::kRefused ? ": the value cannot be stored whole, the previous one is kept"
                                   : "");
  }
  gStoreFailure = rc;
}

// A store that could not be opened (say /dev/shm was full) is tried again
// every second; the server serves all the same.
bool store_ready() {
  if (gStateStore.is_open()) return true;
  if (gStateStore.reopen()) {
    LOG("d", "state store opened");
    gStoreFailure = 0;
    return true;
  }
  if (gStoreFailure != -3) LOG("e", "state store cannot be opened; the course is not kept");
  gStoreFailure = -3;
  return false;
}

void restore_state() {
  if (!store_ready()) return;
  std::string course;
  int rc = gStateStore.read(kKeyCourse, &course);
  note_store_result("read", kKeyCourse, rc);
  if (rc == 0 && !course.empty()) {
    gBorcastObj.setData(BrocastData(course));
  }
  std::string instruction;
  rc = gStateStore.read(kKeyInstruction, &instruction);
  note_store_result("read", kKeyInstruction, rc);
  if (rc == 0) {
    LOG("d", "szInstruction=%s", instruction.c_str());
    if (!instruction.empty()) gInstructionManager.add(Instruction(instruction));
  }
}

void write_state() {
  if (!store_ready()) return;
  int before = gStoreFailure;
  int worst = 0;
  auto write = [&worst](const char* key, const std::string& value) {
    int rc = gStateStore.write(key, value);
    note_store_result("write", key, rc);
    if (rc != 0) worst = rc;
  };
  write(kKeyAlive, "ok");
  write(kKeyInstruction, gInstructionManager.getInstruction().jsonString());
  std::string course = gBorcastObj.getJSONString();
  write(kKeyCourse, course.empty() ? "{}" : course);
  write(kKeyLastId, int64_to_text(static_cast<int64_t>(gInstructionSet.getLastInstructionId())));
  if (worst == 0) {
    if (before != 0) LOG("d", "state store written again");
    gStoreFailure = 0;
  }
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

  // Two servers in one folder would write each other's config files and
  // state: the second one ends here, before it touches anything. Under
  // ludguard that one is launched again (once a second after five quick
  // exits) and takes over when the first one ends.
  std::string config_dir = path_join(module_dir(), "config");
  make_dir(config_dir);
  std::string lock_path = path_join(config_dir, "ludarium.lock");
  FolderLock lock = claim_folder_lock(lock_path);
  if (lock == FolderLock::kUnavailable) {
    // Not a second server: a folder we cannot write to. Serving beats
    // refusing; the config writes will report their own failures.
    LOG("w", "cannot take %s; a second server in this folder would not be stopped",
        lock_path.c_str());
  } else if (lock == FolderLock::kHeld) {
    printf("another ludarium runs in %s (%s is held); this one ends\n", module_dir().c_str(),
           lock_path.c_str());
    LOG("e", "another ludarium runs in %s (%s is held); this one ends", module_dir().c_str(),
        lock_path.c_str());
    sleep_ms(500);  // a deliberate pause: the log thread writes the line
    return 3;
  } else {
    // The folder is ours alone now: what a crash left half written goes.
    int leftovers = remove_atomic_leftovers(config_dir);
    if (leftovers > 0) {
      LOG("w", "removed %d temporary files a crash left in %s", leftovers, config_dir.c_str());
    }
  }

  // The common soft limit of 1,024 would cap the sessions near 500: the
  // accept thread would fail and tablets wait in the backlog.
  int descriptors = raise_descriptor_limit(kDescriptorsWanted);
  LOG(descriptors >= kDescriptorsWanted ? "d" : "w", "descriptor limit:%d (wanted %d)", descriptors,
      kDescriptorsWanted);

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

  // Before any handler opens the login-user store (see adoptLoginEntry).
  gConsoleGroups.adoptLoginEntry(path_join(module_dir(), "config"));

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
