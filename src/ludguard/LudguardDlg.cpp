#include "LudguardDlg.h"

#include "FWUtil.h"
#include "GuardLog.h"

void LudguardDlg::onInit() {
  serviceRunning_ = 0;
  startService();
}

void LudguardDlg::startService() {
  enableFireWall(supervisor_.executableDirectory(), supervisor_.ludariumPath());
  supervisor_.startService();
  serviceRunning_ = 1;
}

bool LudguardDlg::menuEnabled(int command) const {
  switch (command) {
    case kMenuStart:
      return serviceRunning_ == 0;
    case kMenuStop:
      return serviceRunning_ == 1;
    case kMenuExit:
      return true;
    default:
      return false;
  }
}

void LudguardDlg::onCommand(int command) {
  if (!menuEnabled(command)) return;
  if (command == kMenuStart) {
    startService();
  } else if (command == kMenuStop) {
    supervisor_.stopService();
    serviceRunning_ = 0;
  }
  // kMenuExit: the shell removes its icon and ends; ludarium ends with us.
}

std::string LudguardDlg::status() const { return supervisor_.serviceStatus(); }

void LudguardDlg::onIconAdded(bool added) {
  GUARD_LOG("ludguard", "CLudguardDlg::OnInitDialog", "%s",
            added ? "tray icon added" : "tray icon could not be added");
}
