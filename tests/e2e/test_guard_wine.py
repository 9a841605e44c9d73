# platforms: windows
"""ludguard.exe under Wine: launches ludarium.exe in its job, relaunches it
after it is killed, takes it down when killed itself, and /install logs its
firewall lines. The Run value every start writes is removed again (the
prefix's registry is shared by every test)."""
import os
import re
import signal
import subprocess
import unittest

import lud

PORT = 40080
RUN_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run"
# ludguard's tray is a window: these tests need a display.
setUpModule = lud.start_module_display
tearDownModule = lud.stop_module_display


class WineGuard(lud.ServerTest):
    def remove_run_value(self):
        subprocess.run([lud.WINE_RUN, "reg", "delete", RUN_KEY, "/v", "Ludguard", "/f"],
                       capture_output=True, timeout=120)

    def test_supervision_and_install(self):
        self.addCleanup(self.remove_run_value)
        g = lud.Guard(["/test"])
        self.addCleanup(g.cleanup)
        self.assertTrue(lud.wait_http(PORT, timeout=120), "ludarium.exe did not answer /ping")
        pids = lud.wait_for(lambda: len(g.ludarium_pids()) == 1 and g.ludarium_pids(), 30)
        self.assertTrue(pids, "no single ludarium.exe process")
        self.assertTrue(g.wait_guard_log(r"\[coreThread\] ludarium=.*\\ludarium\.exe$"))

        os.kill(pids[0], signal.SIGKILL)
        self.assertTrue(g.wait_guard_log(r"(WaitForSingleObject\n.*){2}", timeout=60),
                        g.guard_log())
        self.assertTrue(lud.wait_http(PORT, timeout=60), "no relaunch after the kill")
        again = lud.wait_for(lambda: g.ludarium_pids() not in ([], pids) and g.ludarium_pids(), 30)
        self.assertTrue(again)

        # The job ends ludarium.exe with ludguard.exe.
        g.proc.send_signal(signal.SIGKILL)
        g.proc.wait(timeout=30)
        self.assertTrue(lud.wait_for(lambda: not g.ludarium_pids(), timeout=30),
                        "ludarium.exe outlived ludguard.exe")

        installed = g.run_again("/install", timeout=120)
        self.assertEqual(0, installed.returncode)
        log = g.guard_log()
        self.assertRegex(log, r"fwutil:\d+\[FWUtil::WindowsFirewallAppIsEnabled\] Authorized "
                              r"application .*\\ludarium\.exe is (dis|en)abled in the firewall\.")
        self.assertRegex(log, r"fwutil:\d+\[FWUtil::WindowsFirewallAddApp\] Authorized "
                              r"application .*\\ludarium\.exe is now enabled in the firewall\.|"
                              r"is enabled in the firewall\.")
        self.assertEqual(0, g.run_again("/uninstall", timeout=120).returncode)

    def test_tray_icon_comes_back_after_an_explorer_restart(self):
        self.addCleanup(self.remove_run_value)
        g = lud.Guard([])  # tray mode
        self.addCleanup(g.cleanup)
        icon = r"\[CLudguardDlg::OnInitDialog\] tray icon (added|could not be added)$"
        self.assertTrue(g.wait_guard_log(icon, timeout=120), g.guard_log())
        self.assertTrue(lud.wait_http(PORT, timeout=120), "ludarium.exe did not answer /ping")
        # What Explorer broadcasts when it starts again.
        broadcast = subprocess.run([lud.WINE_RUN, os.path.join(lud.BIN_DIR, "taskbar_created.exe")],
                                   capture_output=True, timeout=120)
        self.assertEqual(0, broadcast.returncode, broadcast.stderr)
        added = lambda: len(re.findall(icon, g.guard_log(), re.M))
        self.assertTrue(lud.wait_for(lambda: added() == 2, timeout=30), g.guard_log())

    def test_successor_after_a_crash_takes_over(self):
        # A worker thread crashes holding the state store's lock (a
        # test-only hook, after the minute that restarts need). The crashed
        # ludguard.exe starts its successor, whose job then launches a new
        # ludarium.exe: the single-instance claim died with the crashed one.
        self.addCleanup(self.remove_run_value)
        g = lud.Guard(["/test"], env={"LUD_TEST_CRASH_HOLDING_STORE": "61"})
        self.addCleanup(g.cleanup)
        # The successor is not g.proc: end it (and with its job its
        # ludarium.exe) before the next test.
        self.addCleanup(lambda: [os.kill(pid, signal.SIGKILL) for pid in lud.pids_of(g.dir, "ludguard")])
        self.assertTrue(lud.wait_http(PORT, timeout=120), "ludarium.exe did not answer /ping")
        first = lud.wait_for(lambda: len(g.ludarium_pids()) == 1 and g.ludarium_pids(), 30)
        self.assertTrue(first, "no single ludarium.exe process")
        self.assertTrue(lud.wait_for(lambda: "crashed: restarted" in g.console(), timeout=150), g.console())
        launched = r"\[coreThread\] ludarium=.*\\ludarium\.exe$"
        self.assertTrue(lud.wait_for(lambda: len(re.findall(launched, g.guard_log(), re.M)) == 2, timeout=90),
                        g.guard_log()[-3000:])
        again = lud.wait_for(lambda: g.ludarium_pids() not in ([], first) and g.ludarium_pids(), 60)
        self.assertTrue(again, "no ludarium.exe after the restart")
        self.assertTrue(lud.wait_http(PORT, timeout=120), "the new ludarium.exe did not answer /ping")


if __name__ == "__main__":
    unittest.main()
