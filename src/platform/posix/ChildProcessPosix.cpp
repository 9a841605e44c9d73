// Launching and supervising a child on Linux: fork/exec, own process group,
// PR_SET_PDEATHSIG. See ChildProcess.h.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "ChildProcess.h"
#include "ChildRegistry.h"

namespace {

class PosixChild : public ChildProcess {
 public:
  explicit PosixChild(pid_t pid) : pid_(pid) {}

  int wait() override {
    // Wait without reaping first: until it is reaped the pid cannot be
    // reused, so terminate() on another thread never signals a stranger.
    siginfo_t info;
    for (;;) {
      info.si_pid = 0;
      if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) == 0) break;
      if (errno != EINTR) break;
    }
    std::lock_guard<std::mutex> guard(mutex_);
    int status = 0;
    pid_t r;
    do {
      r = waitpid(pid_, &status, 0);
    } while (r < 0 && errno == EINTR);
    if (r == pid_) {
      child_registry_remove(pid_);
      if (WIFEXITED(status)) {
        exit_code_ = WEXITSTATUS(status);
      } else if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL && requested_code_ >= 0) {
        exit_code_ = requested_code_;
      } else if (WIFSIGNALED(status)) {
        exit_code_ = 128 + WTERMSIG(status);
      }
    }
    ended_ = true;
    return exit_code_;
  }

  int terminate(int exit_code) override {
    std::lock_guard<std::mutex> guard(mutex_);
    if (ended_) return -1;
    requested_code_ = exit_code;
    return kill(pid_, SIGKILL) == 0 ? 0 : -1;
  }

  bool ended() const override {
    std::lock_guard<std::mutex> guard(mutex_);
    return ended_;
  }
  int exit_code() const override {
    std::lock_guard<std::mutex> guard(mutex_);
    return exit_code_;
  }
  unsigned long pid() const override { return static_cast<unsigned long>(pid_); }

 private:
  const pid_t pid_;
  mutable std::mutex mutex_;  // guards the three fields below
  bool ended_ = false;
  int exit_code_ = -1;
  int requested_code_ = -1;
};

// A launch from before the fork until the child is in the registry.
struct LaunchWindow {
  LaunchWindow() : open(child_registry_begin_launch()) {}
  ~LaunchWindow() {
    if (open) child_registry_end_launch();
  }
  const bool open;
};

class PosixJob : public KillJob {
 public:
  LaunchResult launch(const std::string& path, ChildProcess** child, int* create_result) override {
    // No launch while the crash reporter ends the children before a restart.
    LaunchWindow window;
    if (!window.open) {
      *create_result = 0;
      return kCreateFailed;
    }
    // The child reports a failed exec through this pipe; a successful exec
    // closes it (close-on-exec) without a byte.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
      *create_result = 0;
      return kCreateFailed;
    }
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) {
      close(fds[0]);
      close(fds[1]);
      *create_result = 0;
      return kCreateFailed;
    }
    if (pid == 0) {
      // Only async-signal-safe calls from here to exec.
      close(fds[0]);
      setpgid(0, 0);
      int err = 0;
      if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) err = errno;
      // The parent may have ended before the death signal was armed.
      if (err == 0 && getppid() != parent) _exit(1);
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      int null_fd = open("/dev/null", O_RDWR);
      if (null_fd >= 0) {
        dup2(null_fd, 0);
        dup2(null_fd, 1);
        dup2(null_fd, 2);
        if (null_fd > 2) close(null_fd);
      }
      if (err == 0) {
        char* const argv[] = {const_cast<char*>(path.c_str()), nullptr};
        execv(path.c_str(), argv);
        err = errno;
      }
      ssize_t ignored = write(fds[1], &err, sizeof(err));
      (void)ignored;
      _exit(127);
    }
    close(fds[1]);
    int err = 0;
    ssize_t n;
    do {
      n = read(fds[0], &err, sizeof(err));
    } while (n < 0 && errno == EINTR);
    close(fds[0]);
    if (n > 0) {
      int status;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      *create_result = 0;
      return kCreateFailed;
    }
    child_registry_add(pid);
    *child = new PosixChild(pid);
    return kLaunched;
  }
};

}  // namespace

KillJob* KillJob::create() { return new PosixJob(); }

std::string program_file_name(const std::string& name) { return name; }
