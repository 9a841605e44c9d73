// Launching a child program whose life is tied to ours, and waiting for it.
//
// Windows: a job object with JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE whose handle
// is never closed, so the system kills every process in it when we end,
// however we end. A child is created suspended with a hidden console of its
// own, put into the job, then resumed.
// Linux: there is no job. The child runs in a process group of its own with
// PR_SET_PDEATHSIG = SIGKILL, set in the child before exec and checked
// against a parent that already ended; its standard streams are /dev/null
// (the "hidden console"). The death signal follows the THREAD that launched
// the child: that thread must stay alive until the child has ended (the
// supervisor's launching thread waits for its child, so it does).
// On both: no arguments, our environment and our current directory. The
// Windows command line is the quoted path (program_command_line).
#pragma once

#include <string>

class ChildProcess {
 public:
  virtual ~ChildProcess() {}  // releases the handle; does not end the child

  // Blocks until the child has ended; returns its exit code. Call from one
  // thread only (the launching one). A child ended by terminate(code) gives
  // `code` (on Linux, where a killed process has no exit code, the platform
  // reports the code that terminate asked for).
  virtual int wait() = 0;

  // Ends the child with that exit code; safe from any thread, also while
  // another thread waits, and harmless (returns -1) once the child has
  // ended and been waited for: the handle never reaches a recycled pid.
  virtual int terminate(int exit_code) = 0;

  virtual bool ended() const = 0;
  virtual int exit_code() const = 0;  // meaningful once ended()
  virtual unsigned long pid() const = 0;
};

class KillJob {
 public:
  // Sets the job up. Null when it cannot be created, queried or configured
  // (whatever was obtained is released). Never deleted by the program.
  static KillJob* create();
  virtual ~KillJob() {}

  enum LaunchResult {
    kLaunched = 0,
    kCreateFailed = 1,  // *create_result holds the creation call's result
    kAssignFailed = 2,  // the child was terminated (code 1) and released
    kResumeFailed = 3,  // the child was terminated (code 1) and released
  };
  // Launches `path` as described above. On kLaunched *child receives the new
  // child (owned by the caller); otherwise *child is untouched.
  virtual LaunchResult launch(const std::string& path, ChildProcess** child,
                              int* create_result) = 0;
};

// The file name of a program: name + ".exe" on Windows, name on Linux.
std::string program_file_name(const std::string& name);
