# platforms: windows
"""The setup program under Wine, the one that matches the Wine in use
(dist/ludarium-setup.exe under 32-bit Wine, dist/ludarium-setup-x64.exe
under 64-bit Wine; LUD_SETUP names another): a silent install into a folder
with a blank (with the web pages the school allows), an upgrade over it, an
upgrade that meets a locked file, the silent uninstall with and without
/purge; what a deployment tool meets (/NOSTART, a program of the same name
elsewhere, a folder of another program, the quiet uninstall, a missing
firewall entry, a failure late in an upgrade, the other architecture's
installation) and the installer's decision whether to start the service."""
import os
import re
import shutil
import subprocess
import tempfile
import unittest

import lud

PORT = 40080
RUN_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ludarium"
PROGRAMS = ("ludarium.exe", "ludguard.exe", "ludstore.exe", "ludtablet.exe", "uninstall.exe")
SETUP = os.environ.get("LUD_SETUP") or os.path.join(
    os.environ.get("LUD_SOURCE_DIR", ""), "dist",
    "ludarium-setup-x64.exe" if os.environ.get("LUD_WINE_ARCH") == "win64"
    else "ludarium-setup.exe")
# ludguard's tray is a window: these tests need a display.
setUpModule = lud.start_module_display
tearDownModule = lud.stop_module_display


def windows_path(path):
    """The path as Wine's drive Z: (the Unix root) names it."""
    return "Z:" + path.replace("/", "\\")


def wine(*args, timeout=300, env=None):
    """Runs a Windows program to its end; (exit code, output). The output
    goes through a file: programs the setup starts (ludguard) outlive it and
    would hold a pipe open."""
    with tempfile.TemporaryFile() as out:
        code = subprocess.run([lud.WINE_RUN] + list(args), stdout=out, stderr=subprocess.STDOUT,
                              stdin=subprocess.DEVNULL, timeout=timeout,
                              env=dict(os.environ, **(env or {}))).returncode
        out.seek(0)
        return code, out.read().decode("utf-8", "replace")


def reg_value(key, name, *view):
    """The data of a registry value as `reg query` prints it, or None; view
    "/reg:32" or "/reg:64" picks a registry view."""
    code, out = wine("reg", "query", key, "/v", name, *view, timeout=120)
    m = re.search(r"^\s*%s\s+REG_\w+\s+(.*?)\s*$" % re.escape(name), out, re.M)
    return m.group(1) if code == 0 and m else None


class WineInstaller(unittest.TestCase):
    def setUp(self):
        self.assertTrue(os.path.isfile(SETUP), "no setup program %s (make windows)" % SETUP)
        self.root = tempfile.mkdtemp(prefix="ludsetup-")
        self.dir = os.path.join(self.root, "Lud Classroom")
        self.addCleanup(shutil.rmtree, self.root, True)
        self.addCleanup(self.end_everything)

    def end_everything(self):
        for name in ("ludguard", "ludarium"):
            for pid in lud.pids_of(self.dir, name):
                try:
                    os.kill(pid, 9)
                except OSError:
                    pass
        subprocess.run([lud.WINE_RUN, "reg", "delete", RUN_KEY, "/v", "Ludguard", "/f"],
                       capture_output=True, timeout=120)
        subprocess.run([lud.WINE_RUN, "reg", "delete", UNINSTALL_KEY, "/f"],
                       capture_output=True, timeout=120)

    def install(self, *switches, folder=None, env=None):
        # /D= comes last and unquoted, blanks and all, as a school types it;
        # cmd passes the line on as it is (Wine would quote an argument).
        return wine("cmd.exe", "/c", "%s /S %s /D=%s" % (windows_path(SETUP), " ".join(switches),
                                                          windows_path(folder or self.dir)),
                    env=env)

    def hold(self, name, program="hold_file.exe"):
        """A process that holds the installed file open without sharing."""
        holder = subprocess.Popen(
            [lud.WINE_RUN, program if os.path.isabs(program) else os.path.join(lud.BIN_DIR, program),
             windows_path(os.path.join(self.dir, name))],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.assertEqual(b"held", holder.stdout.readline().strip())
        return holder

    def release(self, holder):
        holder.stdin.close()
        holder.wait(timeout=60)
        holder.stdout.close()

    def pids(self, name):
        return lud.pids_of(self.dir, name)

    def assert_service_up(self):
        self.assertTrue(lud.wait_http(PORT, timeout=120), "ludarium.exe did not answer /ping")
        self.assertTrue(lud.wait_for(lambda: len(self.pids("ludguard")) == 1, 30))
        self.assertTrue(lud.wait_for(lambda: len(self.pids("ludarium")) == 1, 30))

    def assert_uninstalled(self):
        self.assertTrue(lud.wait_for(lambda: not self.pids("ludguard") and not self.pids("ludarium"),
                                     60), "the service outlived the uninstaller")
        self.assertTrue(lud.wait_for(
            lambda: not any(os.path.exists(os.path.join(self.dir, p)) for p in PROGRAMS), 60),
            os.listdir(self.dir) if os.path.isdir(self.dir) else "")
        self.assertTrue(lud.wait_for(lambda: reg_value(UNINSTALL_KEY, "DisplayName") is None, 60))
        self.assertIsNone(reg_value(RUN_KEY, "Ludguard"))
        self.assertFalse(lud.wait_http(PORT, timeout=3), "something still answers /ping")

    def guard_log(self):
        try:
            with open(os.path.join(self.dir, "log", "Ludguard.log"), "rb") as f:
                return f.read().decode("utf-8", "replace")
        except FileNotFoundError:
            return ""

    def origins(self):
        with open(os.path.join(self.dir, "config", "origins"), "rb") as f:
            return f.read()

    def test_install_upgrade_and_uninstall(self):
        code, out = self.install("/ORIGINS=https://platform.school.example,http://10.1.2.3:8080")
        self.assertEqual(0, code, out)
        self.assertEqual(b"https://platform.school.example\r\nhttp://10.1.2.3:8080\r\n", self.origins())
        for name in PROGRAMS:
            self.assertTrue(os.path.isfile(os.path.join(self.dir, name)), name)
        # ludarium answers once the setup program has returned.
        self.assert_service_up()
        self.assertEqual('"%s"' % windows_path(os.path.join(self.dir, "ludguard.exe")).lower(),
                         (reg_value(RUN_KEY, "Ludguard") or "").lower())
        self.assertRegex(self.guard_log(), r"\[FWUtil::WindowsFirewallAddApp\] Authorized "
                                           r"application .*\\Lud Classroom\\ludarium\.exe is "
                                           r"(now )?enabled in the firewall\.")
        self.assertEqual("0.0.1", reg_value(UNINSTALL_KEY, "DisplayVersion"))
        self.assertEqual(windows_path(self.dir).lower(),
                         (reg_value(UNINSTALL_KEY, "InstallLocation") or "").lower())

        # An upgrade ends the running service, keeps config/ and starts it again.
        first = self.pids("ludarium") + self.pids("ludguard")
        servers = os.path.join(self.dir, "config", "servers")
        os.makedirs(os.path.dirname(servers), exist_ok=True)
        with open(servers, "wb") as f:
            f.write(b'[{"name":"school","url":"http:\\/\\/10.1.2.3:8080\\/api"}]')
        with open(os.path.join(self.dir, "config", "origins"), "ab") as f:
            f.write(b"# added by hand, no line end: http://kept.example")
        code, out = self.install("/ORIGINS=http://10.1.2.3:8080,https://new.example")
        self.assertEqual(0, code, out)
        self.assert_service_up()
        self.assertFalse(set(first) & set(self.pids("ludarium") + self.pids("ludguard")))
        self.assertEqual(b"https://platform.school.example\r\nhttp://10.1.2.3:8080\r\n"
                         b"# added by hand, no line end: http://kept.example\r\nhttps://new.example\r\n",
                         self.origins())
        with open(servers, "rb") as f:
            self.assertEqual(b'[{"name":"school","url":"http:\\/\\/10.1.2.3:8080\\/api"}]', f.read())

        # A program file held open by another process cannot be replaced: the
        # setup fails with a non-zero exit code and leaves the service running.
        holder = self.hold("ludstore.exe")
        try:
            code, out = self.install()
            self.assertEqual(2, code, out)
            self.assert_service_up()
        finally:
            self.release(holder)

        # The uninstaller returns at once and finishes from a copy of itself.
        code, out = wine(os.path.join(self.dir, "uninstall.exe"), "/S")
        self.assertEqual(0, code, out)
        self.assert_uninstalled()
        with open(servers, "rb") as f:
            self.assertIn(b"10.1.2.3", f.read())
        self.assertTrue(os.path.isdir(os.path.join(self.dir, "log")))
        self.assertRegex(self.guard_log(), r"\[FWUtil::WindowsFirewallRemoveApp\] Authorized "
                                           r"application .*\\Lud Classroom\\ludarium\.exe is "
                                           r"removed from the firewall\.")

        # "setup /uninstall" waits for the uninstaller and returns its exit
        # code: 2 while a program file is held, then 0, and with /purge
        # nothing of the installation stays, not even the folder.
        code, out = self.install()
        self.assertEqual(0, code, out)
        self.assert_service_up()
        holder = self.hold("ludstore.exe")
        try:
            code, out = self.install("/uninstall", "/purge")
            self.assertEqual(2, code, out)
            self.assertIsNotNone(reg_value(UNINSTALL_KEY, "DisplayName"))
        finally:
            self.release(holder)
        code, out = self.install("/uninstall", "/purge")
        self.assertEqual(0, code, out)
        self.assertFalse(os.path.exists(self.dir), os.listdir(self.dir) if os.path.isdir(self.dir)
                         else "")
        self.assert_uninstalled()

    def test_deployment_ends_only_its_own_and_waits_for_the_quiet_uninstall(self):
        # A program named ludguard.exe in another folder is none of ours: the
        # setup program ends only the programs of its own folder.
        other = os.path.join(self.root, "elsewhere")
        os.makedirs(other)
        shutil.copy2(os.path.join(lud.BIN_DIR, "hold_file.exe"), os.path.join(other, "ludguard.exe"))
        with open(os.path.join(other, "data.txt"), "wb") as f:
            f.write(b"data")
        stranger = subprocess.Popen(
            [lud.WINE_RUN, os.path.join(other, "ludguard.exe"),
             windows_path(os.path.join(other, "data.txt"))],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.assertEqual(b"held", stranger.stdout.readline().strip())
        try:
            # A folder that holds another program's files is refused, and
            # left as it was.
            os.makedirs(self.dir)
            with open(os.path.join(self.dir, "notes.txt"), "wb") as f:
                f.write(b"a teacher's notes")
            code, out = self.install()
            self.assertEqual(2, code, out)
            self.assertEqual(["notes.txt"], os.listdir(self.dir))
            self.assertIsNone(reg_value(UNINSTALL_KEY, "DisplayName"))
            os.remove(os.path.join(self.dir, "notes.txt"))

            # /NOSTART: installed and registered for the next logon, not
            # started.
            code, out = self.install("/NOSTART")
            self.assertEqual(0, code, out)
            self.assertEqual('"%s"' % windows_path(os.path.join(self.dir, "ludguard.exe")).lower(),
                             (reg_value(RUN_KEY, "Ludguard") or "").lower())
            self.assertFalse(lud.wait_for(lambda: self.pids("ludguard"), 5))
            self.assertRegex(self.guard_log(), r"is (now )?enabled in the firewall\.")
            # An upgrade ends the running service and leaves the stranger be.
            subprocess.Popen([lud.WINE_RUN, windows_path(os.path.join(self.dir, "ludguard.exe"))],
                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
            self.assert_service_up()
            first = self.pids("ludguard")
            code, out = self.install()
            self.assertEqual(0, code, out)
            self.assert_service_up()
            self.assertFalse(set(first) & set(self.pids("ludguard")))
            self.assertIsNone(stranger.poll(), "the setup program ended another folder's program")
        finally:
            self.release(stranger)

        # The quiet uninstall string waits and returns the real exit code.
        quiet = reg_value(UNINSTALL_KEY, "QuietUninstallString")
        self.assertIn("_?=", quiet)
        batch = os.path.join(self.root, "quiet.cmd")
        with open(batch, "w") as f:
            f.write("@%s\r\n@exit /b %%errorlevel%%\r\n" % quiet)
        holder = self.hold("ludstore.exe")
        try:
            code, out = wine("cmd.exe", "/c", windows_path(batch))
            self.assertEqual(2, code, out)
            self.assertIsNotNone(reg_value(UNINSTALL_KEY, "DisplayName"))
        finally:
            self.release(holder)
        code, out = wine("cmd.exe", "/c", windows_path(batch))
        self.assertEqual(0, code, out)
        # Done when it returns: no waiting for the programs to go.
        self.assertEqual([], [p for p in PROGRAMS[:4] if os.path.exists(os.path.join(self.dir, p))])
        self.assertIsNone(reg_value(UNINSTALL_KEY, "DisplayName"))
        self.assert_uninstalled()
        self.assertTrue(lud.wait_for(
            lambda: not os.path.exists(os.path.join(self.dir, "uninstall.exe")), 60))

    def test_missing_firewall_entry_and_a_failure_late_in_an_upgrade(self):
        # Without the firewall's COM server the entry cannot be added: the
        # service is installed and runs, and the exit code says 3.
        code, out = self.install(env={"WINEDLLOVERRIDES": "mscoree=;mshtml=;hnetcfg=d"})
        self.assertEqual(3, code, out)
        self.assert_service_up()
        self.assertIn("[enableFireWall] WindowsFirewallInitialize failed", self.guard_log())

        # A failure after the programs were replaced (config\origins cannot
        # be written) puts the earlier programs back and starts them again.
        store = os.path.join(self.dir, "ludstore.exe")
        with open(store, "ab") as f:
            f.write(b"earlier version")
        os.makedirs(os.path.join(self.dir, "config", "origins"))
        first = self.pids("ludguard")
        code, out = self.install("/ORIGINS=https://platform.school.example")
        self.assertEqual(2, code, out)
        with open(store, "rb") as f:
            self.assertTrue(f.read().endswith(b"earlier version"))
        self.assertTrue(os.path.isfile(os.path.join(self.dir, "www", "index.html")))
        self.assert_service_up()
        self.assertFalse(set(first) & set(self.pids("ludguard")))

    def test_the_other_architecture_is_replaced(self):
        # An installation registered in the other registry view (as the other
        # architecture's setup program registers it) in another folder.
        if os.environ.get("LUD_WINE_ARCH") == "win32":
            # A 32-bit Windows has one registry view: no other architecture's
            # setup can have run there (the x64 path tests this case).
            self.skipTest("32-bit Windows has no 64-bit registry view")
        code, out = self.install("/NOSTART")
        self.assertEqual(0, code, out)
        own, other = ("/reg:64", "/reg:32") if "x64" in os.path.basename(SETUP) else ("/reg:32", "/reg:64")
        for name in ("DisplayName", "InstallLocation"):
            value = reg_value(UNINSTALL_KEY, name, own)
            self.assertEqual(0, wine("reg", "add", UNINSTALL_KEY, "/v", name, "/t", "REG_SZ",
                                     "/d", value, "/f", other, timeout=120)[0])
        self.assertEqual(0, wine("reg", "delete", UNINSTALL_KEY, "/f", own, timeout=120)[0])
        newer = os.path.join(self.root, "Newer")
        self.addCleanup(lambda: [os.kill(p, 9) for n in ("ludguard", "ludarium")
                                 for p in lud.pids_of(newer, n)])
        code, out = self.install(folder=newer)
        self.assertEqual(0, code, out)
        self.assertIsNone(reg_value(UNINSTALL_KEY, "DisplayName", other))
        self.assertEqual(windows_path(newer).lower(),
                         (reg_value(UNINSTALL_KEY, "InstallLocation", own) or "").lower())
        self.assertEqual([], [p for p in PROGRAMS if os.path.exists(os.path.join(self.dir, p))])
        self.assertTrue(lud.wait_http(PORT, timeout=120))
        self.assertTrue(lud.wait_for(lambda: len(lud.pids_of(newer, "ludguard")) == 1, 30))

    def test_the_decision_to_start_the_service(self):
        """installer/ServiceStart.nsh, built into a program of its own."""
        source = os.path.join(os.environ.get("LUD_SOURCE_DIR", ""), "installer", "ServiceStart.nsh")
        rows = ((1, 0, 0, "1 "), (2, 0, 0, "1 "), (0, 0, 0, "0 the setup program runs in session 0"),
                (1, 1, 0, "0 the setup program runs as SYSTEM"),
                (0, 1, 0, "0 the setup program runs as SYSTEM"), (1, 0, 1, "0 /NOSTART"))
        script = ["Unicode true",
                  "Target %s" % ("amd64-unicode" if "x64" in os.path.basename(SETUP) else "x86-unicode"),
                  "OutFile decision.exe", "SilentInstall silent", "RequestExecutionLevel user",
                  "!include LogicLib.nsh", '!include "%s"' % source, "Section",
                  'FileOpen $9 "$EXEDIR\\decisions.txt" w']
        for session, system, nostart, _ in rows:
            script += ["StrCpy $R0 %d" % session, "StrCpy $R1 %d" % system,
                       "StrCpy $R2 %d" % nostart, "Call ServiceStartDecision",
                       'FileWrite $9 "$R3 $R4$\\n"']
        script += ["Call ServiceStartFacts", 'FileWrite $9 "facts $R0 $R1$\\n"', "FileClose $9",
                   "SectionEnd"]
        work = os.path.join(self.root, "decision")
        os.makedirs(work)
        with open(os.path.join(work, "decision.nsi"), "w") as f:
            f.write("\n".join(script) + "\n")
        built = subprocess.run(["makensis", "-V1", "decision.nsi"], cwd=work, capture_output=True)
        self.assertEqual(0, built.returncode, built.stdout + built.stderr)
        code, out = wine(os.path.join(work, "decision.exe"))
        self.assertEqual(0, code, out)
        with open(os.path.join(work, "decisions.txt"), "rb") as f:
            lines = f.read().decode().split("\n")
        self.assertEqual([r[3] for r in rows], lines[:len(rows)])
        # Wine runs its programs as a user in session 1, as a logged-on teacher.
        self.assertEqual("facts 1 0", lines[len(rows)])


if __name__ == "__main__":
    unittest.main()
