# platforms: linux
"""Nothing acknowledged is lost: config writes the disk refuses, damaged and
over-large config files, a second server in the same folder, durable
atomic writes, the state mirror over a full table, a store on a full
/dev/shm or with a half-made lock, and the log sweep among files that are
not ours. Each test runs in its own mount namespace, so the small file
systems it mounts are its own."""
import glob
import json
import os
import re
import subprocess
import time
import unittest

import lud

PORT = 40080
OK = b'{"status":1,"msg":"ok"}'
COURSE_KEY = "gBorcastObj.getJSONString()"


def call(path, info):
    return lud.http_get(PORT, path + "?info=" + lud.quote_info(json.dumps(info)))[2]


def post(path, info):
    return lud.http_post(PORT, path, "info=" + lud.quote_info(json.dumps(info)))[2]


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def mount_tmpfs(path, size):
    os.makedirs(path, exist_ok=True)
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%s" % size, "tmpfs", path], check=True)


def fill(directory):
    """Fills the file system of directory; returns the filler's path."""
    filler = os.path.join(directory, "filler")
    try:
        with open(filler, "wb") as f:
            while True:
                f.write(b"\0" * 4096)
                f.flush()
    except OSError:
        pass
    return filler


class ConfigWrites(lud.ServerTest):
    def server_with_small_config(self):
        directory = lud.tempfile.mkdtemp(prefix="ludarium-")
        config = os.path.join(directory, "config")
        mount_tmpfs(config, "256k")
        self.addCleanup(subprocess.run, ["umount", "-l", config])
        server = self.start(keep_dir=directory)
        self.assertTrue(lud.wait_http(PORT))
        return server, config

    def test_a_full_disk_is_answered_as_a_failure_and_changes_nothing(self):
        server, config = self.server_with_small_config()
        self.assertEqual(OK, call("/addAPIServer", {"school_id": "1", "id": "s1", "address": "a1",
                                                    "describe": "d", "recommend": 1}))
        self.assertEqual(OK, call("/loginUserSet", {"loginnm": "t1", "data": "abc"}))
        servers = read(os.path.join(config, "servers"))
        filler = fill(config)
        self.assertEqual(b'{"status":0,"msg":"cannot write config file servers"}',
                         call("/addAPIServer", {"school_id": "1", "id": "s2", "address": "a2",
                                                "describe": "d", "recommend": 1}))
        self.assertEqual(b'{"status":0,"msg":"cannot write config file servers"}',
                         call("/delAPIServer", {"id": "s1"}))
        self.assertEqual(b'{"status":0,"msg":"cannot write config file ud"}',
                         call("/loginUserSet", {"loginnm": "t2", "data": "x" * 900}))
        self.assertEqual(b'{"status":0,"msg":"cannot write config file ud"}',
                         call("/loginUserSet", {"loginnm": "t1", "data": ""}))
        self.assertTrue(server.wait_log(r" e, ServerManager\.cpp:\d+ \S+ [0-9A-F]{8} "
                                        r"cannot write config file servers: nothing changed$",
                                        kind="error"))
        self.assertTrue(server.wait_log(r" e, UserManager\.cpp:\d+ \S+ [0-9A-F]{8} "
                                        r"cannot write config file ud: nothing changed$", kind="error"))
        # Neither the file nor what the server answers took the refused changes.
        self.assertEqual(servers, read(os.path.join(config, "servers")))
        recordset = json.loads(call("/getAPIServer", {}))["recordset"]
        self.assertEqual(["s1"], [r["id"] for r in recordset])
        users = json.loads(call("/loginUserGet", {}))["recordset"]
        self.assertEqual([("t1", "abc")], [(u["loginnm"], u["data"]) for u in users])
        self.assertEqual([], [n for n in os.listdir(config) if ".tmp" in n])
        # Room again: the same requests are taken.
        if os.path.exists(filler):
            os.remove(filler)
        self.assertEqual(OK, call("/loginUserSet", {"loginnm": "t1", "data": ""}))
        self.assertEqual(b"[]", read(os.path.join(config, "ud")))

    def test_a_directory_where_the_file_should_be(self):
        directory = lud.tempfile.mkdtemp(prefix="ludarium-")
        os.makedirs(os.path.join(directory, "config", "ud"))
        self.start(keep_dir=directory)
        self.assertTrue(lud.wait_http(PORT))
        self.assertEqual(b'{"status":0,"msg":"cannot write config file ud"}',
                         call("/loginUserSet", {"loginnm": "t1", "data": "abc"}))
        self.assertEqual(b'{"status":1,"msg":"ok","recordset":[]}', call("/loginUserGet", {}))

    def test_a_damaged_file_is_set_aside_and_old_records_get_defaults(self):
        directory = lud.tempfile.mkdtemp(prefix="ludarium-")
        config = os.path.join(directory, "config")
        os.makedirs(config)
        damaged = b'[{"loginnm":"t1","data":"one","time":"1"},{"loginnm":"t2","da'
        with open(os.path.join(config, "ud"), "wb") as f:
            f.write(damaged)
        # An older version's record without "recommend" (and "time").
        with open(os.path.join(config, "servers"), "wb") as f:
            f.write(b'[{"school_id":"1","id":"old","address":"a","describe":"d"}]')
        server = self.start(keep_dir=directory)
        self.assertTrue(lud.wait_http(PORT))
        self.assertEqual(OK, call("/loginUserSet", {"loginnm": "t3", "data": "three"}))
        aside = glob.glob(os.path.join(config, "ud.bad-*"))
        self.assertEqual(1, len(aside), os.listdir(config))
        self.assertRegex(os.path.basename(aside[0]), r"^ud\.bad-\d{8}-\d{6}$")
        self.assertEqual(damaged, read(aside[0]))
        self.assertTrue(server.wait_log(r" e, UserManager\.cpp:\d+ UserManager::readUsers [0-9A-F]{8} "
                                        r".*config/ud cannot be read \(.*\); set aside as .*ud\.bad-",
                                        kind="error"))
        users = json.loads(call("/loginUserGet", {}))["recordset"]
        self.assertEqual(["t3"], [u["loginnm"] for u in users])
        self.assertEqual(OK, call("/delAPIServer", {"id": "nothing"}))
        self.assertEqual(b'[{"school_id":"1","id":"old","address":"a","describe":"d","time":"",'
                         b'"recommend":0}]', read(os.path.join(config, "servers")))

    def test_the_file_size_is_capped(self):
        # A store just below its cap of 1 MiB, as years of use could leave it.
        directory = lud.tempfile.mkdtemp(prefix="ludarium-")
        config = os.path.join(directory, "config")
        os.makedirs(config)
        entries = [{"loginnm": "u%04d" % i, "data": "x" * 1000, "time": "1"} for i in range(1007)]
        text = json.dumps(entries, separators=(",", ":")).encode()
        self.assertLess(len(text), 1048576)
        with open(os.path.join(config, "ud"), "wb") as f:
            f.write(text)
        self.start(keep_dir=directory)
        self.assertTrue(lud.wait_http(PORT))
        self.assertEqual(1007, len(json.loads(call("/loginUserGet", {}))["recordset"]))
        self.assertEqual(b'{"status":0,"msg":"config file ud would exceed 1048576 bytes"}',
                         call("/loginUserSet", {"loginnm": "new", "data": "y" * 900}))
        self.assertEqual(text, read(os.path.join(config, "ud")))
        self.assertEqual(1007, len(json.loads(call("/loginUserGet", {}))["recordset"]))
        # Room is made by deleting; then a small entry fits again.
        self.assertEqual(OK, call("/loginUserSet", {"loginnm": "u0000", "data": ""}))
        self.assertEqual(OK, call("/loginUserSet", {"loginnm": "new", "data": "y" * 900}))


class SecondServer(lud.ServerTest):
    def test_a_second_server_in_the_same_folder_refuses_to_start(self):
        first = self.start()
        self.assertTrue(first.wait_started())
        second = lud.Program("ludarium", keep_dir=first.dir)
        try:
            self.assertEqual(3, second.proc.wait(timeout=30))
        finally:
            second.stop()
        with open(os.path.join(first.dir, "console.txt"), "rb") as f:
            self.assertIn(b"another ludarium runs in " + first.dir.encode(), f.read())
        self.assertTrue(first.wait_log(r" e, main\.cpp:\d+ main [0-9A-F]{8} another ludarium runs in "
                                       + re.escape(first.dir) + r" \(.*ludarium\.lock is held\); "
                                       r"this one ends$", kind="error"))
        # The first one is untouched and still the only one on its ports.
        self.assertEqual(OK, call("/loginUserSet", {"loginnm": "t", "data": "d"}))
        # In another folder a second server starts (on the next HTTP port).
        other = self.start()
        self.assertTrue(other.wait_log(r"HttpServer running on 127\.0\.0\.1:40081$", timeout=30))


class DurableWrites(lud.ServerTest):
    def test_the_file_and_its_folder_are_flushed_around_the_rename(self):
        directory = lud.tempfile.mkdtemp(prefix="ludarium-")
        trace = os.path.join(directory, "trace.txt")
        server = self.start(keep_dir=directory, wrapper=[
            "strace", "-f", "-qq", "-e", "trace=openat,fsync,fdatasync,rename,renameat,renameat2",
            "-o", trace])
        self.addCleanup(lambda: [os.kill(p, 9) for p in lud.pids_of(directory, "ludarium")])
        self.assertTrue(lud.wait_http(PORT, timeout=60))
        self.assertEqual(OK, call("/addAPIServer", {"school_id": "1", "id": "s1", "address": "a",
                                                    "describe": "d"}))
        pid = lud.pids_of(directory, "ludarium")[0]
        config = os.path.join(directory, "config")

        def steps():
            with open(trace) as f:
                text = f.read()
            tmp = re.search(r'openat\(AT_FDCWD, "' + re.escape(config) + r'/servers(\.tmp\.(\d+)\.\d+)", '
                            r'O_WRONLY\|O_CREAT\|O_TRUNC[^)]*\) = (\d+)', text)
            if not tmp:
                return None
            rest = text[tmp.end():]
            fd = tmp.group(3)
            flushed = re.search(r"\bf(data)?sync\(" + fd + r"\b", rest)
            renamed = re.search(r'rename(at2?)?\(.*"' + re.escape(config) + r'/servers\.tmp\.\d+\.\d+", '
                                r'.*"' + re.escape(config) + r'/servers"', rest)
            if not (flushed and renamed and flushed.start() < renamed.start()):
                return None
            after = rest[renamed.end():]
            folder = re.search(r'openat\(AT_FDCWD, "' + re.escape(config) + r'", O_RDONLY\|O_[^)]*'
                               r'DIRECTORY[^)]*\) = (\d+)', after)
            if not folder:
                return None
            synced = re.search(r"\bfsync\(" + folder.group(1) + r"\b", after[folder.end():])
            return synced and (tmp.group(2), folder)
        found = lud.wait_for(steps, 20)
        self.assertTrue(found, read(trace)[-4000:])
        self.assertEqual(str(pid), found[0])  # the temporary name carries the process id


class Mirror(lud.ServerTest):
    def test_a_full_table_neither_wipes_the_backup_nor_goes_unreported(self):
        directory = lud.tempfile.mkdtemp(prefix="ludguard-")
        os.makedirs(os.path.join(directory, "log"))
        course = '{"class_id":77,"teacher_name":"kept"}'
        with open(os.path.join(directory, "log", "broadcast"), "w") as f:
            f.write(course)
        lud.copy_programs(directory, ["ludstore"])
        for i in range(100):
            self.assertTrue(lud.store_set("junk%d" % i, "v"))
        g = lud.Guard(["/test"], programs=(), keep_dir=directory)
        self.addCleanup(g.cleanup)
        self.assertTrue(g.wait_guard_log(r"\[restoreState\] error: restoring gBorcastObj\.getJSONString\(\) "
                                         r"failed \(-4\): the state store has no room for it$", 30))
        # A few passes of the mirror over the absent key: the file stays.
        time.sleep(8)
        self.assertEqual(course.encode(), read(os.path.join(directory, "log", "broadcast")))
        self.assertEqual([], [n for n in os.listdir(g.log_dir) if ".tmp" in n])


class Store(lud.ServerTest):
    def remount_shm(self, size):
        subprocess.run(["mount", "-o", "remount,size=%s" % size, "/dev/shm"], check=True)

    def test_a_full_dev_shm_neither_kills_the_server_nor_keeps_the_store_closed(self):
        self.remount_shm("64k")  # less than the table's 206,400 bytes
        self.addCleanup(self.remount_shm, "64m")
        server = self.start()
        self.assertTrue(lud.wait_http(PORT))
        self.assertTrue(server.wait_log(r" e, main\.cpp:\d+ \S+ [0-9A-F]{8} state store cannot be opened; "
                                        r"the course is not kept$", kind="error"))
        time.sleep(2)
        self.assertIsNone(server.proc.poll(), "ludarium ended on a full /dev/shm")
        self.assertEqual(1, server.log_text("error").count("state store cannot be opened"))
        self.remount_shm("64m")
        self.assertTrue(server.wait_log(r"state store opened$", timeout=20))
        self.assertEqual("ok", lud.wait_for(lambda: lud.store_get("users.getUserGetInstruct(0, 0)"), 20))
        self.assertIsNone(server.proc.poll())

    def test_a_lock_object_that_never_became_ready_is_made_again(self):
        lock = "/dev/shm/com.norvale.tessera.ipc.lock"
        for content in (b"", b"\0" * 64):  # never sized; sized but never marked ready
            for name in os.listdir("/dev/shm"):
                os.remove(os.path.join("/dev/shm", name))
            with open(lock, "wb") as f:
                f.write(content)
            self.assertTrue(lud.store_set("A", "1"), content)
            self.assertEqual("1", lud.store_get("A"))


class LogSweep(lud.ServerTest):
    def test_only_our_own_daily_files_are_swept(self):
        directory = lud.tempfile.mkdtemp(prefix="ludarium-")
        log = os.path.join(directory, "log")
        os.makedirs(log)
        elsewhere = os.path.join(directory, "precious.txt")
        with open(elsewhere, "w") as f:
            f.write("x")
        names = ["2014-08-01 verbose.log", "2014-08-01 error.log", "2014-08-01 debug.log",
                 "2014-08-01 notes.docx", "2014-02-31 verbose.log", "2014-08-01 Ludguard.log"]
        for name in names:
            with open(os.path.join(log, name), "w") as f:
                f.write("x")
        os.symlink(elsewhere, os.path.join(log, "2014-08-02 verbose.log"))
        server = self.start(keep_dir=directory)
        self.assertTrue(server.wait_started())
        left = sorted(os.listdir(log))
        for name in names[:3]:
            self.assertNotIn(name, left)
        for name in names[3:] + ["2014-08-02 verbose.log"]:
            self.assertIn(name, left)
        self.assertTrue(os.path.exists(elsewhere))


if __name__ == "__main__":
    unittest.main()
