#include "ChildRegistry.h"

#include <errno.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>

#include <atomic>

namespace {

std::atomic<pid_t> g_children[kMaxChildren];  // 0: a free slot
// Sequentially consistent: a launch that began unseen by close() sees the
// closed flag, or close() sees it under way.
std::atomic<int> g_launching{0};
std::atomic<bool> g_closed{false};

void sleep_a_little() {
  struct timespec step = {0, 5 * 1000000L};
  nanosleep(&step, nullptr);
}

}  // namespace

bool child_registry_begin_launch() {
  g_launching.fetch_add(1);
  if (!g_closed.load()) return true;
  g_launching.fetch_sub(1);
  return false;
}

void child_registry_end_launch() { g_launching.fetch_sub(1); }

void child_registry_close(int timeout_ms) {
  g_closed.store(true);
  for (int waited = 0; g_launching.load() > 0 && waited < timeout_ms; waited += 5) sleep_a_little();
}

void child_registry_add(pid_t pid) {
  for (auto& slot : g_children) {
    pid_t expected = 0;
    if (slot.compare_exchange_strong(expected, pid)) return;
  }
}

void child_registry_remove(pid_t pid) {
  for (auto& slot : g_children) {
    pid_t expected = pid;
    if (slot.compare_exchange_strong(expected, 0)) return;
  }
}

void child_registry_kill_all() {
  for (auto& slot : g_children) {
    pid_t pid = slot.load();
    if (pid > 0) kill(-pid, SIGKILL);
  }
}

bool child_registry_wait_all(int timeout_ms) {
  const int kStepMs = 5;
  for (int waited = 0;; waited += kStepMs) {
    bool left = false;
    for (auto& slot : g_children) {
      pid_t pid = slot.load();
      if (pid <= 0) continue;
      int status;
      pid_t r = waitpid(pid, &status, WNOHANG);
      if (r == pid || (r < 0 && errno == ECHILD)) {
        pid_t expected = pid;
        slot.compare_exchange_strong(expected, 0);
      } else {
        left = true;
      }
    }
    if (!left) return true;
    if (waited >= timeout_ms) return false;
    sleep_a_little();
  }
}
