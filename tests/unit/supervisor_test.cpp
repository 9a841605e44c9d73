#include <gtest/gtest.h>

#include <atomic>

#include "Supervisor.h"
#include "Thread.h"
#include "Tray.h"

namespace {

// A tray whose setIcon stays inside until released, like a slow shell call.
class SlowTray : public Tray {
 public:
  int run() override { return 0; }
  void setIcon(int icon) override {
    entered = 1;
    while (release == 0) sleep_ms(5);
    last_icon = icon;
    calls++;
  }
  bool visible() const override { return true; }

  std::atomic<int> entered{0};
  std::atomic<int> release{0};
  std::atomic<int> last_icon{0};
  std::atomic<int> calls{0};
};

struct Shell {
  Supervisor supervisor{nullptr};
  std::atomic<int> switched{0};
  std::atomic<int> unlinked{0};

  static unsigned int switch_icon(void* arg) {
    Shell* shell = static_cast<Shell*>(arg);
    shell->supervisor.setTrayIcon(kIconRunning);
    shell->switched = 1;
    return 0;
  }
  static unsigned int unlink_tray(void* arg) {
    Shell* shell = static_cast<Shell*>(arg);
    shell->supervisor.setTrayLink(nullptr);
    shell->unlinked = 1;
    return 0;
  }
};

bool wait_until(const std::atomic<int>& flag) {
  for (int i = 0; i < 1000 && flag == 0; ++i) sleep_ms(10);
  return flag != 0;
}

}  // namespace

// The shell clears the link and then destroys the tray; a switch that is
// still inside setIcon must finish first, or it runs on a freed tray.
TEST(TrayLink, ClearingWaitsForASwitchInProgressAndStopsLaterOnes) {
  SlowTray tray;
  Shell shell;
  shell.supervisor.setTrayLink(&tray);
  ASSERT_EQ(0, thread_begin(Shell::switch_icon, &shell));
  ASSERT_TRUE(wait_until(tray.entered));
  ASSERT_EQ(0, thread_begin(Shell::unlink_tray, &shell));
  sleep_ms(200);
  EXPECT_EQ(0, shell.unlinked.load()) << "the link was cleared while setIcon ran";
  tray.release = 1;
  ASSERT_TRUE(wait_until(shell.unlinked));
  EXPECT_TRUE(wait_until(shell.switched));
  EXPECT_EQ(kIconRunning, tray.last_icon.load());

  shell.supervisor.setTrayIcon(kIconStopped);  // no tray linked any more: nothing is called
  EXPECT_EQ(1, tray.calls.load());
}
