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

std::atomic<int> g_switched{0};
std::atomic<int> g_unlinked{0};

unsigned int switch_icon(void*) {
  setTrayIcon(kIconRunning);
  g_switched = 1;
  return 0;
}

unsigned int unlink_tray(void*) {
  setTrayLink(nullptr);
  g_unlinked = 1;
  return 0;
}

bool wait_until(const std::atomic<int>& flag) {
  for (int i = 0; i < 1000 && flag == 0; ++i) sleep_ms(10);
  return flag != 0;
}

}  // namespace

// The shell clears the link and then destroys the tray; a switch that is
// still inside setIcon must finish first, or it runs on a freed tray.
TEST(TrayLink, ClearingWaitsForASwitchInProgressAndStopsLaterOnes) {
  SlowTray tray;
  setTrayLink(&tray);
  g_switched = 0;
  g_unlinked = 0;
  ASSERT_EQ(0, thread_begin(switch_icon, nullptr));
  ASSERT_TRUE(wait_until(tray.entered));
  ASSERT_EQ(0, thread_begin(unlink_tray, nullptr));
  sleep_ms(200);
  EXPECT_EQ(0, g_unlinked.load()) << "the link was cleared while setIcon ran";
  tray.release = 1;
  ASSERT_TRUE(wait_until(g_unlinked));
  EXPECT_TRUE(wait_until(g_switched));
  EXPECT_EQ(kIconRunning, tray.last_icon.load());

  setTrayIcon(kIconStopped);  // no tray linked any more: nothing is called
  EXPECT_EQ(1, tray.calls.load());
}
