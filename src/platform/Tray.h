// The shell of ludguard's tray mode: a notification-area icon whose menu
// starts, stops and exits the service.
//
// Windows: a hidden dialog (resource template 102) owns a Shell_NotifyIcon
// icon; a right click pops up the menu, built afresh from the handler's
// enable rules; the dialog's system menu carries the About item.
// Linux: a headless shell. The menu is served on a Unix control socket,
// "ludguard.ctl" beside the executable: a client sends one command line
// ("start", "stop", "exit" or "status") and reads one reply line.
// tray_remote_command is that client (`ludguard --ctl ...`). There is no
// icon to show; visible() is false so the caller logs the switches.
#pragma once

#include <string>

#include "TrayResources.h"

// Icon resources.
const int kIconApp = IDR_MAINFRAME;
const int kIconRunning = IDI_RUNNING;
const int kIconStopped = IDI_STOPPED;

// Menu command ids and texts.
const int kMenuStart = 1026;  // "启动服务"
const int kMenuStop = 1027;   // "关闭服务"
const int kMenuExit = 1028;   // "退出"

// What the shell asks of the application. All calls come on the shell's
// own thread (the GUI thread on Windows, the control thread on Linux).
class TrayHandler {
 public:
  virtual ~TrayHandler() {}
  // The dialog was created and its icon added: start the service.
  virtual void onInit() = 0;
  virtual bool menuEnabled(int command) const = 0;
  // Runs a menu command; the shell checks menuEnabled first. After
  // kMenuExit the shell removes its icon and run() returns.
  virtual void onCommand(int command) = 0;
  // One line for "status": "running pid=N" or "stopped pid=N exit=C".
  virtual std::string status() const = 0;
  // Windows: the icon was added to the notification area (at start-up, and
  // again whenever Explorer restarts), or adding it failed.
  virtual void onIconAdded(bool added) {}
};

class Tray {
 public:
  // Creates the shell for `handler` (not owned) with the tooltip text
  // (UTF-8). Null when the control socket cannot be made (Linux); on
  // Windows the dialog is made by run(), which returns 1 when it cannot be.
  static Tray* create(TrayHandler* handler, const std::string& tooltip);
  virtual ~Tray() {}

  // Runs the shell until the exit command; calls handler->onInit() first.
  // Returns the process exit code.
  virtual int run() = 0;

  // Switches the icon (kIconRunning / kIconStopped); any thread.
  virtual void setIcon(int icon) = 0;

  // False when there is no icon on screen (Linux).
  virtual bool visible() const = 0;
};

// Linux: sends one command to the running instance's control socket and
// stores its reply line. 0 when the command was carried out, 2 when the
// menu item is not enabled, 1 when no instance answered. Windows: 1, the
// menu lives on the notification icon.
int tray_remote_command(const std::string& command, std::string* reply);

// A message to the user (UTF-8): a message box on Windows, a line on
// standard error on Linux.
void show_message(const std::string& text);

// Makes standard input and output usable for the console test mode: a
// Windows GUI program attaches to its parent's console (or opens one) when
// it was given no standard handles. Nothing to do on Linux.
void attach_test_console();
