// Launching and supervising a child on Win32: CreateProcess suspended, a
// kill-on-close job object, resume. See ChildProcess.h.
#include <windows.h>

#include "ChildProcess.h"
#include "CommandLine.h"

namespace {

class Win32Child : public ChildProcess {
 public:
  Win32Child(HANDLE process, HANDLE thread, DWORD pid)
      : process_(process), thread_(thread), pid_(pid) {}
  ~Win32Child() override {
    if (thread_ != nullptr) CloseHandle(thread_);
    CloseHandle(process_);
  }

  int wait() override {
    WaitForSingleObject(process_, INFINITE);
    // The main thread's handle is of no further use once the process ended.
    CloseHandle(thread_);
    thread_ = nullptr;
    return exit_code();
  }

  // The process handle stays open until this object is deleted, so this
  // reaches the same process however long ago it ended.
  int terminate(int exit_code) override {
    return TerminateProcess(process_, static_cast<UINT>(exit_code)) ? 0 : -1;
  }

  bool ended() const override { return WaitForSingleObject(process_, 0) == WAIT_OBJECT_0; }

  int exit_code() const override {
    DWORD code = 0;
    if (!GetExitCodeProcess(process_, &code)) return -1;
    return static_cast<int>(code);
  }

  unsigned long pid() const override { return pid_; }

 private:
  HANDLE process_;
  HANDLE thread_;  // only the waiting thread touches it after the launch
  DWORD pid_;
};

class Win32Job : public KillJob {
 public:
  explicit Win32Job(HANDLE job) : job_(job) {}

  LaunchResult launch(const std::string& path, ChildProcess** child, int* create_result) override {
    // CreateProcess may write into the command line it is given.
    wchar_t command[520] = {0};
    MultiByteToWideChar(CP_ACP, 0, program_command_line(path).c_str(), -1, command, 520);
    command[519] = 0;
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    si.hStdInput = INVALID_HANDLE_VALUE;
    si.hStdOutput = INVALID_HANDLE_VALUE;
    si.hStdError = INVALID_HANDLE_VALUE;
    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof(pi));
    BOOL created = CreateProcessW(nullptr, command, nullptr, nullptr, TRUE,
                                  CREATE_SUSPENDED | CREATE_NEW_CONSOLE | CREATE_BREAKAWAY_FROM_JOB,
                                  nullptr, nullptr, &si, &pi);
    if (!created) {
      *create_result = created;
      return kCreateFailed;
    }
    if (!AssignProcessToJobObject(job_, pi.hProcess)) {
      TerminateProcess(pi.hProcess, 1);
      CloseHandle(pi.hProcess);
      CloseHandle(pi.hThread);
      return kAssignFailed;
    }
    if (ResumeThread(pi.hThread) == static_cast<DWORD>(-1)) {
      TerminateProcess(pi.hProcess, 1);
      CloseHandle(pi.hProcess);
      CloseHandle(pi.hThread);
      return kResumeFailed;
    }
    *child = new Win32Child(pi.hProcess, pi.hThread, pi.dwProcessId);
    return kLaunched;
  }

 private:
  HANDLE job_;  // never closed: the system closes it when we end, killing the job
};

}  // namespace

KillJob* KillJob::create() {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job == nullptr) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION info;
  ZeroMemory(&info, sizeof(info));
  if (!QueryInformationJobObject(job, JobObjectExtendedLimitInformation, &info, sizeof(info),
                                 nullptr)) {
    CloseHandle(job);
    return nullptr;
  }
  info.BasicLimitInformation.LimitFlags |= JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &info, sizeof(info))) {
    CloseHandle(job);
    return nullptr;
  }
  return new Win32Job(job);
}

std::string program_file_name(const std::string& name) { return name + ".exe"; }
