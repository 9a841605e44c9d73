// The supervisor core: keeps ludarium (the program of that name beside
// ludguard) running, in a job that ends it when ludguard ends.
//
// Threads: the shell's thread (initSupervisor, the start/stop commands),
// coreThread, the mirror thread. stopRequested is atomic; the launched
// process is guarded by the supervisor's process lock (see Supervisor.cpp).
#pragma once

#include <atomic>
#include <string>

class KillJob;
class Tray;

extern std::string ludariumPath;  // executable directory + ludarium's file name
extern KillJob* ludariumJob;      // never deleted: its end ends ludarium
extern std::atomic<int> stopRequested;

// Sets up paths, log and the job; ends the process with exit code 1 when the
// job cannot be set up. Once, before any thread starts.
void initSupervisor();

// Executable directory and the log directory (ending with a separator).
const std::string& executableDirectory();
const std::string& logDirectory();

// The tray whose icon coreThread switches; null in the console test mode.
// Clearing it waits for a switch in progress, so the tray may be destroyed
// as soon as setTrayLink(nullptr) returns. Any thread.
void setTrayLink(Tray* tray);

// Switches the linked tray's icon (kIconRunning, kIconStopped), if any.
void setTrayIcon(int icon);

// The supervisor thread (started with thread_begin): restore, then launch,
// wait and launch again until stopRequested is set, a launch fails or a
// later start command has begun a newer supervisor. Its argument is null
// when started before any start command (tray start-up, test mode).
unsigned int coreThread(void*);

// The start command's half: clears stopRequested and starts coreThread.
// Any earlier coreThread still winding down leaves without launching.
int startService();

// The stop command's half: sets stopRequested and ends ludarium with exit
// code 1 (when one was launched and still runs).
void stopService();

// "running pid=N" while the last ludarium runs, else "stopped pid=N exit=C"
// ("stopped pid=0" before the first launch).
std::string serviceStatus();
