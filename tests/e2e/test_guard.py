# platforms: linux
"""ludguard supervising ludarium: relaunch, the state mirror and its restore,
the control socket (the headless tray menu), single instance, autostart and
the firewall record."""
import json
import os
import signal
import stat
import subprocess
import time
import unittest

import lud

PORT = 40080
COURSE_KEY = "gBorcastObj.getJSONString()"
INSTRUCTION_KEY = "gInstructionManager.getInstruction().szInstruction.jsonString()"
INSTRUCTION = ('{"szInstruction":"lock","szTarget":"","publish_id":"p7","teacher_id":5,'
               '"type":"class","class_id":12,"instruct_id":"77"}')


def course(class_id):
    return json.dumps({"teacher": {"user_id": 5, "name": "t"},
                       "class": {"class_id": class_id, "name": "c%d" % class_id}})


def publish(class_id):
    _, _, body = lud.http_get(PORT, "/commitCourseInfo?info=" + lud.quote_info(course(class_id)))
    return body


def broadcast_class_id():
    body = lud.http_get(PORT, "/getBroadcast", timeout=10)[2]
    return json.loads(body)["broadcast"].get("class_id")


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode("utf-8", "replace")
    except FileNotFoundError:
        return None


def alive(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] not in ("Z", "X")
    except OSError:
        return False


def zombie_children(pid):
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if fields[0] == "Z" and int(fields[1]) == pid:
            found.append(int(entry))
    return found


def subprocess_ok(*argv):
    return subprocess.run(lud.command(*argv), capture_output=True, timeout=60).returncode == 0


class GuardTest(lud.ServerTest):
    def guard(self, args=("/test",), **kw):
        g = lud.Guard(args, **kw)
        self.addCleanup(g.cleanup)
        return g

    def one_ludarium(self, g, timeout=30):
        pids = lud.wait_for(lambda: len(g.ludarium_pids()) == 1 and g.ludarium_pids(), timeout)
        self.assertTrue(pids, "expected exactly one ludarium, got %s" % g.ludarium_pids())
        return pids[0]


class Supervision(GuardTest):
    def test_relaunch_after_kill_keeps_the_course(self):
        g = self.guard()
        self.assertTrue(lud.wait_http(PORT))
        first = self.one_ludarium(g)
        self.assertEqual(b'{"status":1,"msg":"ok"}', publish(12))
        self.assertTrue(lud.wait_for(lambda: '"class_id":12' in (lud.store_get(COURSE_KEY) or "")))
        os.kill(first, signal.SIGKILL)
        killed = time.monotonic()
        self.assertTrue(lud.wait_http(PORT, timeout=10))
        # Relaunched at once: the new server answers well within a few
        # seconds (about one in practice; the bound is generous).
        self.assertLess(time.monotonic() - killed, 5.0)
        second = self.one_ludarium(g)
        self.assertNotEqual(first, second)
        self.assertEqual(12, broadcast_class_id())
        self.assertEqual(2, g.guard_log().count("WaitForSingleObject"))
        self.assertIn("ludarium=" + os.path.join(g.dir, "ludarium"), g.guard_log())

    def test_killing_ludguard_takes_ludarium_down(self):
        g = self.guard()
        pid = self.one_ludarium(g)
        g.proc.send_signal(signal.SIGKILL)
        g.proc.wait(timeout=10)
        self.assertTrue(lud.wait_for(lambda: not alive(pid), timeout=3),
                        "ludarium outlived its ludguard")

    def test_ludarium_runs_hidden_without_arguments_in_our_directory(self):
        workdir = lud.tempfile.mkdtemp(prefix="ludguard-cwd-")
        self.addCleanup(lud.shutil.rmtree, workdir, True)
        g = self.guard(workdir=workdir)
        pid = self.one_ludarium(g)
        self.assertEqual(workdir, os.readlink("/proc/%d/cwd" % pid))
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            self.assertEqual(os.path.join(g.dir, "ludarium").encode() + b"\0", f.read())
        for fd in (0, 1, 2):
            self.assertEqual("/dev/null", os.readlink("/proc/%d/fd/%d" % (pid, fd)))
        # Its own process group, so a signal to ludguard's group spares it.
        self.assertEqual(pid, os.getpgid(pid))

    def test_missing_ludarium_is_logged_once(self):
        g = self.guard(programs=())
        self.assertTrue(g.wait_guard_log(r"failed to create process .*/ludarium, ret=0$"))
        time.sleep(3)
        log = g.guard_log()
        self.assertEqual(1, log.count("failed to create process"))
        self.assertNotIn("WaitForSingleObject", log)
        self.assertIsNone(g.proc.poll())

    def test_second_instance_refuses_to_start(self):
        g = self.guard()
        pid = self.one_ludarium(g)
        second = g.run_again("/test")
        self.assertIn("已经启动！", second.stderr.decode("utf-8", "replace"))
        self.assertEqual([pid], g.ludarium_pids())
        self.assertEqual(1, g.guard_log().count("ludarium="))

    def test_program_that_exits_at_once_is_relaunched_at_a_pace(self):
        directory = lud.tempfile.mkdtemp(prefix="ludguard-")
        fake = os.path.join(directory, "ludarium")
        with open(fake, "w") as f:
            f.write("#!/bin/sh\nexit 3\n")
        os.chmod(fake, 0o755)
        g = self.guard(programs=(), keep_dir=directory)
        self.assertTrue(g.wait_guard_log(r"relaunching once a second$"))
        count = g.guard_log().count("WaitForSingleObject")
        time.sleep(4)
        later = g.guard_log().count("WaitForSingleObject")
        # Five quick exits in a row, then at most one launch a second.
        self.assertGreaterEqual(count, 5)
        self.assertLessEqual(later - count, 6)
        self.assertGreaterEqual(later - count, 2)
        self.assertEqual(1, g.guard_log().count("relaunching once a second"))


class Mirror(GuardTest):
    def test_files_follow_the_course_and_instruction(self):
        g = self.guard()
        self.assertTrue(lud.wait_http(PORT))
        broadcast = os.path.join(g.log_dir, "broadcast")
        instruction = os.path.join(g.log_dir, "instruction")
        self.assertTrue(lud.wait_for(lambda: read(broadcast) == "{}", timeout=10))
        publish(21)
        published = time.monotonic()
        self.assertTrue(lud.wait_for(lambda: '"class_id":21' in (read(broadcast) or ""), timeout=10))
        self.assertLess(time.monotonic() - published, 5.5)
        self.assertEqual(lud.store_get(COURSE_KEY), read(broadcast))
        self.assertTrue(lud.wait_for(lambda: read(instruction) == lud.store_get(INSTRUCTION_KEY)))
        # An equal file is left alone.
        before = os.stat(broadcast).st_mtime_ns
        time.sleep(4)
        self.assertEqual(before, os.stat(broadcast).st_mtime_ns)
        self.assertNotIn("earliest", g.guard_log())

    def test_fresh_ludguard_restores_the_files_before_launching(self):
        directory = lud.tempfile.mkdtemp(prefix="ludguard-")
        os.makedirs(os.path.join(directory, "log"))
        saved = json.dumps({"class_id": 33, "class_name": "c33", "teacher_id": 5})
        with open(os.path.join(directory, "log", "broadcast"), "w") as f:
            f.write(saved)
        with open(os.path.join(directory, "log", "instruction"), "w") as f:
            f.write(INSTRUCTION)
        g = self.guard(keep_dir=directory)
        self.assertTrue(lud.wait_http(PORT))
        self.assertEqual(33, broadcast_class_id())
        # ludarium logs the instruction it found in the store at its start.
        self.assertTrue(g.wait_log(r"szInstruction=" + lud.re.escape(INSTRUCTION) + "$"))

    def test_empty_files_are_not_restored(self):
        directory = lud.tempfile.mkdtemp(prefix="ludguard-")
        os.makedirs(os.path.join(directory, "log"))
        for name in ("broadcast", "instruction"):
            open(os.path.join(directory, "log", name), "w").close()
        g = self.guard(keep_dir=directory)
        self.assertTrue(g.wait_log(r"szInstruction=$"))
        self.assertEqual("{}", lud.http_get(PORT, "/getBroadcast")[2] and
                         json.dumps(json.loads(lud.http_get(PORT, "/getBroadcast")[2])["broadcast"]))

    def test_mirror_follows_what_the_store_holds(self):
        # No ludarium: the test mode's own mirror thread still runs.
        g = self.guard(programs=("ludstore",))
        self.assertTrue(g.wait_guard_log(r"failed to create process"))
        instruction = os.path.join(g.log_dir, "instruction")
        self.assertTrue(lud.store_set(INSTRUCTION_KEY, INSTRUCTION))
        self.assertTrue(lud.wait_for(lambda: read(instruction) == INSTRUCTION, timeout=10))
        self.assertTrue(lud.store_set(INSTRUCTION_KEY, INSTRUCTION.replace("77", "78")))
        self.assertTrue(lud.wait_for(lambda: '"78"' in (read(instruction) or ""), timeout=10))
        # The course has no record: an empty value, equal to a missing file.
        self.assertIn(read(os.path.join(g.log_dir, "broadcast")), (None, ""))

    def test_instruction_and_course_survive_restarts(self):
        g = self.guard(args=())
        self.assertTrue(lud.wait_http(PORT))
        publish(55)
        # The restore step writes the mirror files back: wait for the pass.
        self.assertTrue(lud.wait_for(
            lambda: '"class_id":55' in (read(os.path.join(g.log_dir, "broadcast")) or ""), timeout=10))
        self.assertEqual(0, g.ctl("stop")[0])
        self.assertTrue(lud.wait_for(lambda: not g.ludarium_pids()))
        with open(os.path.join(g.log_dir, "instruction"), "w") as f:
            f.write(INSTRUCTION)
        self.assertEqual(0, g.ctl("start")[0])
        self.assertTrue(g.wait_log(r"szInstruction=" + lud.re.escape(INSTRUCTION) + "$", timeout=20))
        self.assertTrue(lud.wait_http(PORT))
        # What ludarium made of the restored instruction, as it stores it.
        time.sleep(2)
        kept = lud.store_get(INSTRUCTION_KEY)
        self.assertIn('"szInstruction":"lock"', kept)
        pid = self.one_ludarium(g)
        os.kill(pid, signal.SIGKILL)
        self.assertTrue(lud.wait_for(lambda: g.ludarium_pids() not in ([], [pid]), timeout=10))
        self.assertTrue(lud.wait_http(PORT))
        self.assertEqual(55, broadcast_class_id())
        time.sleep(2)
        self.assertEqual(kept, lud.store_get(INSTRUCTION_KEY))
        instruction = os.path.join(g.log_dir, "instruction")
        self.assertTrue(lud.wait_for(lambda: read(instruction) == kept, timeout=10))


@unittest.skipUnless(os.environ.get("LUD_SLOW_TESTS", "1") == "1", "slow test")
class Stall(GuardTest):
    def test_stall_line_while_ludarium_is_stopped(self):
        g = self.guard()
        pid = self.one_ludarium(g)
        self.assertTrue(lud.wait_for(lambda: len(lud.store_dump()) == 4, timeout=20))
        os.kill(pid, signal.SIGSTOP)
        try:
            m = g.wait_guard_log(
                r"\[deamonThread\] \n1 \[[-0-9 :.]+\] \| 2 \[[-0-9 :.]+\] \| 3 \[[-0-9 :.]+\] "
                r"\| 4 \[[-0-9 :.]+\] \| earliest \[([-0-9 :.]+)\] \| curr \[([-0-9 :.]+)\]$",
                timeout=40)
            self.assertTrue(m, g.guard_log())
            earliest = time.mktime(time.strptime(m.group(1)[:19], "%Y-%m-%d %H:%M:%S"))
            curr = time.mktime(time.strptime(m.group(2)[:19], "%Y-%m-%d %H:%M:%S"))
            self.assertGreaterEqual(curr - earliest, 20)
        finally:
            os.kill(pid, signal.SIGCONT)
        # Writes resume: no further stall lines after a pass or two.
        time.sleep(4)
        count = g.guard_log().count("earliest")
        time.sleep(7)
        self.assertEqual(count, g.guard_log().count("earliest"))


class Shell(GuardTest):
    def test_stop_and_start_from_the_menu(self):
        g = self.guard(args=())
        self.assertTrue(lud.wait_http(PORT))
        pid = self.one_ludarium(g)
        self.assertEqual((0, "running pid=%d" % pid), g.ctl("status"))
        self.assertEqual(2, g.ctl("start")[0])  # not enabled while running
        self.assertEqual(0, g.ctl("stop")[0])
        self.assertTrue(lud.wait_for(lambda: not alive(pid), timeout=5))
        self.assertTrue(lud.wait_for(lambda: g.ctl("status") == (0, "stopped pid=%d exit=1" % pid)))
        self.assertEqual(2, g.ctl("stop")[0])
        # It stays down; the restore step of the next start puts the saved
        # course back before the launch.
        saved = json.dumps({"class_id": 44, "class_name": "c44", "teacher_id": 5})
        with open(os.path.join(g.log_dir, "broadcast"), "w") as f:
            f.write(saved)
        time.sleep(2)
        self.assertEqual([], g.ludarium_pids())
        self.assertEqual(1, g.guard_log().count("ludarium="))
        self.assertEqual(0, g.ctl("start")[0])
        self.assertTrue(lud.wait_http(PORT))
        self.assertEqual(44, broadcast_class_id())
        self.assertEqual(2, g.guard_log().count("ludarium="))
        self.assertEqual(1, len(g.ludarium_pids()))

    def test_exit_ends_both(self):
        g = self.guard(args=())
        pid = self.one_ludarium(g)
        self.assertEqual(0, g.ctl("exit")[0])
        self.assertEqual(0, g.proc.wait(timeout=10))
        self.assertTrue(lud.wait_for(lambda: not alive(pid), timeout=3))
        self.assertFalse(os.path.exists(os.path.join(g.dir, "ludguard.ctl")))
        self.assertNotEqual(0, g.ctl("status")[0])

    def test_install_records_the_firewall_entry_once(self):
        g = self.guard(args=("/install",), programs=())
        self.assertEqual(0, g.proc.wait(timeout=30))
        path = os.path.join(g.dir, "ludarium")
        log = g.guard_log()
        self.assertIn("fwutil:", log)
        self.assertIn("[FWUtil::WindowsFirewallAppIsEnabled] Authorized application %s is disabled "
                      "in the firewall.\n" % path, log)
        self.assertIn("[FWUtil::WindowsFirewallAddApp] Authorized application %s is now enabled "
                      "in the firewall.\n" % path, log)
        self.assertEqual("1\t%s\tLudarium Classroom Guard\n" % path,
                         read(os.path.join(g.dir, "config", "firewall")))
        again = g.run_again("/install")
        self.assertEqual(0, again.returncode)
        log = g.guard_log()
        self.assertEqual(1, log.count("is now enabled"))
        self.assertIn("Authorized application %s is enabled in the firewall.\n" % path, log)
        # Another application's entry stays when /uninstall removes ours.
        with open(os.path.join(g.dir, "config", "firewall"), "a") as f:
            f.write("1\t/opt/other\tOther\n")
        self.assertEqual(0, g.run_again("/uninstall").returncode)
        self.assertIn("[FWUtil::WindowsFirewallRemoveApp] Authorized application %s is removed "
                      "from the firewall.\n" % path, g.guard_log())
        self.assertEqual("1\t/opt/other\tOther\n", read(os.path.join(g.dir, "config", "firewall")))

    def test_setup_switches_run_beside_an_instance_and_report_the_firewall(self):
        # A setup program runs /install and /uninstall while an instance may
        # still run: they do their work and never stop at the "already
        # started" message (a message box on Windows).
        g = self.guard()
        pid = self.one_ludarium(g)
        path = os.path.join(g.dir, "ludarium")
        done = g.run_again("/install")
        self.assertEqual(0, done.returncode, done.stderr)
        self.assertNotIn("已经启动！", done.stderr.decode("utf-8", "replace"))
        self.assertIn("Authorized application %s is now enabled" % path, g.guard_log())
        self.assertEqual(0, g.run_again("/uninstall").returncode)
        self.assertIn("Authorized application %s is removed" % path, g.guard_log())
        # An entry that cannot be written is not reported as success.
        os.makedirs(os.path.join(g.dir, "config", "firewall.tmp"))
        failed = g.run_again("/install")
        self.assertEqual(2, failed.returncode, failed.stderr)
        self.assertIn("[enableFireWall] WindowsFirewallAddApp failed: 0x80070005", g.guard_log())
        self.assertEqual([pid], g.ludarium_pids())

    def test_crash_switch_leaves_a_crash_report(self):
        # A crash in the first minute is not restarted (no restart loop).
        g = self.guard(args=("/crash",), programs=())
        self.assertNotEqual(0, g.proc.wait(timeout=30))
        reports = [n for n in os.listdir(g.log_dir) if n.startswith("crash-")]
        self.assertEqual(1, len(reports), os.listdir(g.log_dir))
        self.assertNotIn("restarting", g.console())

    def test_ludguard_restarts_itself_after_its_own_crash(self):
        g = self.guard()
        self.assertTrue(lud.wait_http(PORT))
        first = self.one_ludarium(g)
        self.assertEqual(b'{"status":1,"msg":"ok"}', publish(12))
        # Restarts apply to a program that has run for a minute.
        time.sleep(61)
        os.kill(g.proc.pid, signal.SIGSEGV)
        self.assertTrue(lud.wait_for(lambda: "crashed: restarting" in g.console(), timeout=10),
                        g.console())
        self.assertTrue(lud.wait_for(lambda: not alive(first), timeout=10),
                        "the crashed ludguard's ludarium lives on")
        # The same process, started afresh, supervises a new ludarium that
        # picks up the course from the store.
        second = self.one_ludarium(g)
        self.assertNotEqual(first, second)
        self.assertIsNone(g.proc.poll())
        self.assertTrue(lud.wait_http(PORT, timeout=30))
        self.assertEqual(12, broadcast_class_id())
        reports = [n for n in os.listdir(g.log_dir) if n.startswith("crash-")]
        self.assertEqual(1, len(reports), os.listdir(g.log_dir))
        # And it is supervising: a killed ludarium is launched again.
        os.kill(second, signal.SIGKILL)
        third = lud.wait_for(lambda: [p for p in g.ludarium_pids() if p != second], timeout=10)
        self.assertTrue(third)

    def test_restart_after_a_crash_holding_the_store_lock(self):
        # A worker thread of ludguard crashes while it holds the store's
        # lock (a test-only hook, after the minute that restarts need).
        g = self.guard(env={"LUD_TEST_CRASH_HOLDING_STORE": "61"})
        self.assertTrue(lud.wait_http(PORT))
        first = self.one_ludarium(g)
        self.assertTrue(lud.wait_for(lambda: "crashed: restarting" in g.console(), timeout=120),
                        g.console())
        second = self.one_ludarium(g)
        self.assertNotEqual(first, second)
        # The lock the crashed thread held was released as abandoned: the
        # store works for every program, and ludarium writes it again.
        self.assertTrue(lud.wait_for(lambda: subprocess_ok("ludstore", "set", "probe", "1"), timeout=30))
        self.assertEqual("1", lud.store_get("probe"))
        self.assertTrue(lud.wait_http(PORT, timeout=30))
        self.assertEqual(b'{"status":1,"msg":"ok"}', publish(14))
        self.assertTrue(lud.wait_for(lambda: '"class_id":14' in (lud.store_get(COURSE_KEY) or ""),
                                     timeout=10), lud.store_dump())
        # The killed ludarium was waited for: no zombie is left behind.
        self.assertEqual([], zombie_children(g.proc.pid))
        self.assertIsNone(g.proc.poll())

    def test_autostart_entry_written_only_when_it_differs(self):
        directory = lud.tempfile.mkdtemp(prefix="ludguard-")
        os.makedirs(os.path.join(directory, "xdg"))
        g = self.guard(args=("/uninstall-not-a-switch",), programs=(), keep_dir=directory)
        self.assertEqual(0, g.proc.wait(timeout=30))
        entry = os.path.join(directory, "xdg", "autostart", "ludguard.desktop")
        text = read(entry)
        self.assertIn('Exec="%s"\n' % os.path.join(directory, "ludguard"), text)
        first = os.stat(entry)
        time.sleep(0.05)
        self.assertEqual(0, g.run_again("/anything").returncode)
        self.assertEqual(first.st_mtime_ns, os.stat(entry).st_mtime_ns)
        self.assertEqual(first.st_ino, os.stat(entry).st_ino)
        with open(entry, "w") as f:
            f.write(text.replace("Exec=", "Exec=/old"))
        self.assertEqual(0, g.run_again("/anything").returncode)
        self.assertEqual(text, read(entry))
        self.assertEqual(0, g.run_again("/uninstall").returncode)
        self.assertFalse(os.path.exists(entry))


if __name__ == "__main__":
    unittest.main()
