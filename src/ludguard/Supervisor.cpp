#include "Supervisor.h"

#include <cstdint>
#include <cstdlib>

#include "ChildProcess.h"
#include "Clock.h"
#include "FileSystem.h"
#include "GuardLog.h"
#include "Thread.h"
#include "Tray.h"

namespace {

// A ludarium that ends within this time of its launch counts as a quick
// exit; after kQuickExitLimit of them in a row, relaunches are paced to one
// per kQuickExitPauseMs so a program that cannot start does not spin a core
// and flood the log. A normal crash (after a run of a second or more) is
// relaunched at once.
const int64_t kQuickExitMs = 1000;
const int kQuickExitLimit = 5;
const unsigned int kQuickExitPauseMs = 1000;

}  // namespace

struct Supervisor::CoreStart {
  Supervisor* supervisor;
  unsigned long generation;
};

Supervisor::Supervisor(StateStore* store)
    : mirror_(store, [this] { return stopRequested(); }) {}

void Supervisor::init() {
  exe_dir_ = module_dir();
  log_dir_ = path_join(exe_dir_, "log");
  make_dir(log_dir_);
  log_dir_ = path_join(log_dir_, "");
  setLogFile(log_dir_ + "Ludguard.log");
  ludarium_path_ = path_join(exe_dir_, program_file_name("ludarium"));
  mirror_.setDirectory(log_dir_);
  job_ = KillJob::create();
  if (job_ == nullptr) std::_Exit(1);
}

void Supervisor::setTrayLink(Tray* tray) {
  // Under the process lock: once the link is cleared no setIcon is still
  // running on the old tray, which its owner may then destroy.
  MutexGuard guard(&process_lock_);
  tray_ = tray;
}

void Supervisor::setTrayIcon(int icon) {
  MutexGuard guard(&process_lock_);
  if (tray_ == nullptr) return;
  tray_->setIcon(icon);
  if (!tray_->visible()) GUARD_LOG("ludguard", "coreThread", "tray icon %d", icon);
}

void Supervisor::pauseUnlessStopped(unsigned int ms) {
  for (unsigned int waited = 0; waited < ms && stop_requested_.load() == 0; waited += 100) {
    sleep_ms(100);
  }
}

void Supervisor::waitForPreviousEnd() {
  std::shared_ptr<ChildProcess> previous;
  {
    MutexGuard guard(&process_lock_);
    previous = process_;
  }
  for (int i = 0; previous && !previous->ended() && i < 250; ++i) sleep_ms(20);
}

unsigned int Supervisor::coreThread(void* arg) {
  thread_set_name("supervise");
  std::unique_ptr<CoreStart> start(static_cast<CoreStart*>(arg));
  start->supervisor->supervise(start->generation);
  return 0;
}

void Supervisor::supervise(unsigned long generation) {
  GUARD_LOG("ludguard", "coreThread", "ludarium=%s", ludarium_path_.c_str());
  mirror_.restore();
  int quick_exits = 0;
  for (;;) {
    waitForPreviousEnd();
    std::shared_ptr<ChildProcess> child;
    {
      MutexGuard guard(&process_lock_);
      if (stop_requested_.load() != 0 || generation != generation_) break;
      int created = 0;
      ChildProcess* launched_child = nullptr;
      KillJob::LaunchResult launched = job_->launch(ludarium_path_, &launched_child, &created);
      if (launched == KillJob::kCreateFailed) {
        GUARD_LOG("ludguard", "coreThread", "failed to create process %s, ret=%d\n",
                  ludarium_path_.c_str(), created);
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
      process_ = child;
    }
    int64_t started = elapsed_ms();
    mirror_.start();
    {
      // Under the lock, with the generation test below, so that a thread
      // of an older generation never sets its icon over a newer one's.
      MutexGuard guard(&process_lock_);
      setTrayIcon(kIconRunning);
    }
    GUARD_LOG("ludguard", "coreThread", "WaitForSingleObject");
    child->wait();
    {
      MutexGuard guard(&process_lock_);
      if (generation == generation_) setTrayIcon(kIconStopped);
    }

    quick_exits = elapsed_ms() - started < kQuickExitMs ? quick_exits + 1 : 0;
    if (quick_exits >= kQuickExitLimit) {
      if (quick_exits == kQuickExitLimit) {
        GUARD_LOG("ludguard", "coreThread",
                  "ludarium ended within %d ms of its launch %d times in a row; "
                  "relaunching once a second",
                  static_cast<int>(kQuickExitMs), quick_exits);
      }
      pauseUnlessStopped(kQuickExitPauseMs);
    }
  }
}

int Supervisor::startGeneration(unsigned long generation) {
  CoreStart* start = new CoreStart{this, generation};
  if (thread_begin(coreThread, start) == 0) return 0;
  delete start;
  return -1;
}

int Supervisor::startCore() {
  unsigned long generation;
  {
    MutexGuard guard(&process_lock_);
    generation = generation_;
  }
  return startGeneration(generation);
}

int Supervisor::startService() {
  unsigned long generation;
  {
    MutexGuard guard(&process_lock_);
    generation = ++generation_;
    stop_requested_.store(0);
  }
  return startGeneration(generation);
}

void Supervisor::stopService() {
  MutexGuard guard(&process_lock_);
  stop_requested_.store(1);
  if (process_ != nullptr) process_->terminate(1);
}

std::string Supervisor::serviceStatus() {
  MutexGuard guard(&process_lock_);
  if (process_ == nullptr) return "stopped pid=0";
  std::string pid = std::to_string(process_->pid());
  if (!process_->ended()) return "running pid=" + pid;
  return "stopped pid=" + pid + " exit=" + std::to_string(process_->exit_code());
}
