// The supervisor core: keeps ludarium (the program of that name beside
// ludguard) running, in a job that ends it when ludguard ends, and runs the
// state mirror beside it.
//
// Threads: the shell's thread (init, the start/stop commands), the
// supervisor threads (coreThread), the mirror thread. The stop flag is
// atomic; the launched process, the generation and the tray link are
// guarded by the process lock, which is also held while a child is
// launched and published, so that a stop command either comes before a
// launch (which then does not happen) or finds the new child to terminate.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "MirrorThread.h"
#include "Mutex.h"

class ChildProcess;
class KillJob;
class StateStore;
class Tray;

class Supervisor {
 public:
  // store: the process's state store, which the mirror keeps (may be null;
  // it outlives the supervisor). Nothing is set up before init.
  explicit Supervisor(StateStore* store);
  Supervisor(const Supervisor&) = delete;
  Supervisor& operator=(const Supervisor&) = delete;

  // Sets up paths, log and the job; ends the process with exit code 1 when
  // the job cannot be set up. Once, before any thread starts.
  void init();

  // Executable directory and the log directory (ending with a separator),
  // and the program it launches: executable directory + ludarium's file name.
  const std::string& executableDirectory() const { return exe_dir_; }
  const std::string& logDirectory() const { return log_dir_; }
  const std::string& ludariumPath() const { return ludarium_path_; }

  // The tray whose icon the supervisor switches; null in the console test
  // mode. Clearing it waits for a switch in progress, so the tray may be
  // destroyed as soon as setTrayLink(nullptr) returns. Any thread.
  void setTrayLink(Tray* tray);
  // Switches the linked tray's icon (kIconRunning, kIconStopped), if any.
  void setTrayIcon(int icon);

  // Starts a supervisor thread of the current generation without a start
  // command (the console test mode, before any start command).
  int startCore();
  // The start command's half: clears the stop flag and starts a supervisor
  // thread of a new generation; any earlier one still winding down leaves
  // without launching.
  int startService();
  // The stop command's half: sets the stop flag and ends ludarium with exit
  // code 1 (when one was launched and still runs).
  void stopService();
  bool stopRequested() const { return stop_requested_.load() != 0; }

  // "running pid=N" while the last ludarium runs, else "stopped pid=N
  // exit=C" ("stopped pid=0" before the first launch).
  std::string serviceStatus();

  MirrorThread& mirror() { return mirror_; }

 private:
  struct CoreStart;
  static unsigned int coreThread(void* start);
  // Restore, then launch, wait and launch again until the stop flag is set,
  // a launch fails or a later start command has begun a newer generation.
  void supervise(unsigned long generation);
  int startGeneration(unsigned long generation);
  // Waits up to ms, returning early when the service is stopped.
  void pauseUnlessStopped(unsigned int ms);
  // A stop followed at once by a start: the stopped ludarium may still be
  // dying, holding its ports; the next one must not start beside it.
  void waitForPreviousEnd();

  std::string exe_dir_;
  std::string log_dir_;
  std::string ludarium_path_;
  KillJob* job_ = nullptr;  // never deleted: its end ends ludarium
  std::atomic<int> stop_requested_{0};
  Mutex process_lock_;
  Tray* tray_ = nullptr;  // guarded by the process lock
  // The ludarium launched last, shared with the supervisor thread that
  // waits for it; the previous one is released when a launch replaces it,
  // so the stop command can always use it. Guarded by the process lock.
  std::shared_ptr<ChildProcess> process_;
  // Bumped by every start command; a supervisor thread of an older
  // generation leaves. Guarded by the process lock.
  unsigned long generation_ = 0;
  MirrorThread mirror_;
};
