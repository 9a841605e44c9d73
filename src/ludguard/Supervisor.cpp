#include "Supervisor.h"

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "ChildProcess.h"
#include "Clock.h"
#include "FileSystem.h"
#include "GuardLog.h"
#include "Mutex.h"
#include "StateMirror.h"
#include "Thread.h"
#include "Tray.h"

std::string ludariumPath;
KillJob* ludariumJob = nullptr;
std::atomic<int> stopRequested(0);

namespace {

// A ludarium that ends within this time of its launch counts as a quick
// exit; after kQuickExitLimit of them in a row, relaunches are paced to one
// per kQuickExitPauseMs so a program that cannot start does not spin a core
// and flood the log. A normal crash (after a run of a second or more) is
// relaunched at once.
const int64_t kQuickExitMs = 1000;
const int kQuickExitLimit = 5;
const unsigned int kQuickExitPauseMs = 1000;

std::string g_exe_dir;
std::string g_log_dir;
Tray* g_tray = nullptr;  // guarded by the process lock

// The process lock guards ludariumProcess, g_generation and g_tray, and is held
// while a child is launched and published, so that a stop command either
// comes before a launch (which then does not happen) or finds the new child
// to terminate.
mutex_t* process_lock() {
  // Created on first use, so that the tray link is safe to set before
  // initSupervisor and in tests that never call it.
  // Never destroyed: detached threads may still use it while the process ends.
  static Mutex* lock = new Mutex;
  return lock->get();
}

// The ludarium launched last, shared with the coreThread that waits for it;
// the previous one is released when a launch replaces it, so the stop
// command can always use it.
std::shared_ptr<ChildProcess> ludariumProcess;
// Bumped by every start command; a coreThread of an older generation leaves.
unsigned long g_generation = 0;

// Waits up to ms, returning early when the service is stopped.
void pause_unless_stopped(unsigned int ms) {
  for (unsigned int waited = 0; waited < ms && stopRequested.load() == 0; waited += 100) {
    sleep_ms(100);
  }
}

// A stop followed at once by a start: the stopped ludarium may still be
// dying, holding its ports; the next one must not start beside it.
void waitForPreviousEnd() {
  std::shared_ptr<ChildProcess> previous;
  {
    MutexGuard guard(process_lock());
    previous = ludariumProcess;
  }
  for (int i = 0; previous && !previous->ended() && i < 250; ++i) sleep_ms(20);
}

}  // namespace

void initSupervisor() {
  g_exe_dir = module_dir();
  g_log_dir = path_join(g_exe_dir, "log");
  make_dir(g_log_dir);
  g_log_dir = path_join(g_log_dir, "");
  setLogFile(g_log_dir + "Ludguard.log");
  ludariumPath = path_join(g_exe_dir, program_file_name("ludarium"));
  ludariumJob = KillJob::create();
  if (ludariumJob == nullptr) std::_Exit(1);
}

const std::string& executableDirectory() { return g_exe_dir; }
const std::string& logDirectory() { return g_log_dir; }

void setTrayLink(Tray* tray) {
  // Under the process lock: once the link is cleared no setIcon is still
  // running on the old tray, which its owner may then destroy.
  MutexGuard guard(process_lock());
  g_tray = tray;
}

void setTrayIcon(int icon) {
  MutexGuard guard(process_lock());
  if (g_tray == nullptr) return;
  g_tray->setIcon(icon);
  if (!g_tray->visible()) GUARD_LOG("ludguard", "coreThread", "tray icon %d", icon);
}

unsigned int coreThread(void* arg) {
  // The generation its start command gave it (0 for the first start).
  const unsigned long generation = static_cast<unsigned long>(reinterpret_cast<uintptr_t>(arg));
  GUARD_LOG("ludguard", "coreThread", "ludarium=%s", ludariumPath.c_str());
  restoreState();
  int quick_exits = 0;
  for (;;) {
    waitForPreviousEnd();
    std::shared_ptr<ChildProcess> child;
    {
      MutexGuard guard(process_lock());
      if (stopRequested.load() != 0 || generation != g_generation) break;
      int created = 0;
      ChildProcess* launched_child = nullptr;
      KillJob::LaunchResult launched = ludariumJob->launch(ludariumPath, &launched_child, &created);
      if (launched == KillJob::kCreateFailed) {
        GUARD_LOG("ludguard", "coreThread", "failed to create process %s, ret=%d\n",
                  ludariumPath.c_str(), created);
        break;
      }
      if (launched == KillJob::kAssignFailed) {
        GUARD_LOG("ludguard", "coreThread", "failed Assign Process To JobObject\n");
        break;
      }
      if (launched == KillJob::kResumeFailed) {
        GUARD_LOG("ludguard", "coreThread", "ResumeThread failed");
        break;
      }
      child.reset(launched_child);
      ludariumProcess = child;
    }
    int64_t started = elapsed_ms();
    startMirror();
    {
      // Under the lock, with the generation test below, so that a thread
      // of an older generation never sets its icon over a newer one's.
      MutexGuard guard(process_lock());
      setTrayIcon(kIconRunning);
    }
    GUARD_LOG("ludguard", "coreThread", "WaitForSingleObject");
    child->wait();
    {
      MutexGuard guard(process_lock());
      if (generation == g_generation) setTrayIcon(kIconStopped);
    }

    quick_exits = elapsed_ms() - started < kQuickExitMs ? quick_exits + 1 : 0;
    if (quick_exits >= kQuickExitLimit) {
      if (quick_exits == kQuickExitLimit) {
        GUARD_LOG("ludguard", "coreThread",
                  "ludarium ended within %d ms of its launch %d times in a row; "
                  "relaunching once a second",
                  static_cast<int>(kQuickExitMs), quick_exits);
      }
      pause_unless_stopped(kQuickExitPauseMs);
    }
  }
  return 0;
}

int startService() {
  unsigned long generation;
  {
    MutexGuard guard(process_lock());
    generation = ++g_generation;
    stopRequested.store(0);
  }
  return thread_begin(coreThread, reinterpret_cast<void*>(static_cast<uintptr_t>(generation)));
}

void stopService() {
  MutexGuard guard(process_lock());
  stopRequested.store(1);
  if (ludariumProcess != nullptr) ludariumProcess->terminate(1);
}

std::string serviceStatus() {
  MutexGuard guard(process_lock());
  if (ludariumProcess == nullptr) return "stopped pid=0";
  std::string pid = std::to_string(ludariumProcess->pid());
  if (!ludariumProcess->ended()) return "running pid=" + pid;
  return "stopped pid=" + pid + " exit=" + std::to_string(ludariumProcess->exit_code());
}
