#include "LudguardApp.h"

#include <cstdio>
#include <memory>
#include <string>

#include "Autostart.h"
#include "CrashReporter.h"
#include "FWUtil.h"
#include "FileSystem.h"
#include "GuardLog.h"
#include "InstanceLock.h"
#include "LudguardDlg.h"
#include "ProductInfo.h"
#include "Supervisor.h"
#include "TestCrashHook.h"
#include "Thread.h"
#include "Tray.h"

namespace {

const uint32_t kCrashFlags = 0x17BFF;
// Exit code of "/install" when ludarium is not an enabled firewall entry.
const int kInstallFirewallFailed = 2;

std::wstring widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::string lower(const char* text) {
  std::string out;
  for (; *text != '\0'; ++text) {
    char c = *text;
    out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return out;
}

// Reads standard input until a "q". When input ends without one (a closed
// pipe, /dev/null), supervision goes on until the process is ended.
void runTestMode(Supervisor& supervisor) {
  attach_test_console();
  supervisor.startCore();
  supervisor.mirror().start();
  for (;;) {
    int c = getchar();
    if (c == 'q') return;
    if (c == EOF) {
      for (;;) sleep_ms(60 * 1000);
    }
  }
}

int runTrayMode(Supervisor& supervisor) {
  GUARD_LOG("ludguard", "CLudguardApp::InitInstance", "%s", "");
  LudguardDlg dialog(supervisor);  // outlives the tray, which is made after it
  std::unique_ptr<Tray> tray(Tray::create(&dialog, kProductFullName));
  if (!tray) return 1;
  supervisor.setTrayLink(tray.get());
  int code = tray->run();
  supervisor.setTrayLink(nullptr);
  return code;
}

}  // namespace

int runLudguard(int argc, char** argv, Supervisor& supervisor) {
  std::string option = argc > 1 ? lower(argv[1]) : std::string();
  // Setup programs run /install and /uninstall, often silently and while an
  // instance may still run: those never claim the instance, so they never
  // wait for a click on the "already started" message.
  bool setup_mode = option == "/install" || option == "/uninstall";
  crash_wait_for_predecessor();
  if (!setup_mode && !claim_single_instance()) {
    show_message(std::string(kProductFullName) + "已经启动！");
    return 0;
  }

  static const std::wstring app_name = widen(kProductShortName);
  static const std::wstring version = widen(buildTag());
  CrashInstallInfo info = {};
  info.size = 100;
  info.app_name = app_name.c_str();
  info.app_version = version.c_str();
  info.upload_url = "";
  info.flags = kCrashFlags;
  if (crash_install(&info) != 0) {
    char msg[256] = {0};
    crash_last_error(msg, sizeof(msg));
    return option == "/install" ? kInstallFirewallFailed : 0;
  }

  supervisor.init();
  autostart_register(kAutostartName, module_path());
  start_test_crash_hook();

  int code = 0;
  if (argc <= 1) {
    code = runTrayMode(supervisor);
  } else if (option == "/install") {
    // The setup program fails on this: without the entry tablets cannot
    // connect.
    fw_result r = enableFireWall(supervisor.executableDirectory(), supervisor.ludariumPath());
    code = r < 0 ? kInstallFirewallFailed : 0;
  } else if (option == "/uninstall") {
    // The entry the common start-up has just written would otherwise start
    // an uninstalled program at the next logon.
    autostart_unregister(kAutostartName);
    disableFireWall(supervisor.executableDirectory(), supervisor.ludariumPath());
  } else if (option == "/crash") {
    crash_test();
  } else if (option == "/test") {
    runTestMode(supervisor);
  }
  crash_uninstall();
  return code;
}
