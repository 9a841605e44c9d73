#include "ChildRegistry.h"

#include <signal.h>

#include <atomic>

namespace {

std::atomic<pid_t> g_children[kMaxChildren];  // 0: a free slot

}  // namespace

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
