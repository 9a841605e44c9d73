// The tray dialog's behaviour: starts the service when the shell is up and
// carries out the menu's start, stop and exit commands with their enable
// rules. Every call comes on the shell's thread.
#pragma once

#include <string>

#include "Supervisor.h"
#include "Tray.h"

class LudguardDlg : public TrayHandler {
 public:
  explicit LudguardDlg(Supervisor& supervisor) : supervisor_(supervisor) {}
  void onInit() override;
  bool menuEnabled(int command) const override;
  void onCommand(int command) override;
  std::string status() const override;
  void onIconAdded(bool added) override;

  // 1 after a supervisor was started from here, 0 after the stop command;
  // not changed when the supervisor ends by itself.
  int serviceRunning() const { return serviceRunning_; }

 private:
  void startService();

  Supervisor& supervisor_;
  int serviceRunning_ = 0;
};
