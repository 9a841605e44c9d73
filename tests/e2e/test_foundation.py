# platforms: linux windows
"""The server process: start-up, its log files, the state store it keeps."""
import os
import re
import subprocess
import time
import unittest

import lud

KEYS = [
    "users.getUserGetInstruct(0, 0)",
    "gInstructionManager.getInstruction().szInstruction.jsonString()",
    "gBorcastObj.getJSONString()",
    "gInstructionSet.getLastInstructionId()",
]

EMPTY_INSTRUCTION = ('{"szInstruction":"","szTarget":"","publish_id":"","teacher_id":0,'
                     '"type":"","class_id":0,"instruct_id":"0"}')


class StartUp(lud.ServerTest):
    def test_writes_its_four_keys_every_second(self):
        server = self.start()
        rows = lud.wait_for(lambda: len(lud.store_dump()) >= 4, timeout=20) and lud.store_dump()
        self.assertEqual(KEYS, [r[1] for r in rows])
        values = {r[1]: r[2] for r in rows}
        self.assertEqual("ok", values[KEYS[0]])
        self.assertEqual(EMPTY_INSTRUCTION, values[KEYS[1]])
        self.assertEqual("{}", values[KEYS[2]])
        self.assertEqual("0", values[KEYS[3]])
        # The records are rewritten every second, not added again.
        first_time = rows[0][3]
        self.assertTrue(lud.wait_for(lambda: lud.store_dump()[0][3] != first_time, timeout=10))
        self.assertEqual(4, len(lud.store_dump()))
        self.assertIsNone(server.proc.poll())

    def test_log_files_beside_the_executable(self):
        server = self.start(args=["120"])
        self.assertTrue(server.wait_log(r"itimeout:120$", timeout=20))
        verbose = server.log_text("verbose").splitlines()
        self.assertTrue(verbose)
        for line in verbose:
            self.assertRegex(line, lud.LOG_LINE)
        m = lud.LOG_LINE.match(verbose[0])
        self.assertEqual("d", m.group(2))
        self.assertEqual("main.cpp", m.group(3))
        self.assertEqual("main", m.group(5))
        self.assertIn("argc:2", server.log_text("verbose"))
        self.assertIn("argv:", server.log_text("debug"))
        self.assertEqual("", server.log_text("error"))
        # Only the three dated files of today are there.
        names = sorted(os.listdir(server.log_dir))
        self.assertEqual(sorted(os.path.basename(server.log_file(k))
                                for k in ("verbose", "debug")), names)

    def test_non_numeric_argument_gives_no_timeout(self):
        server = self.start(args=["abc"])
        self.assertTrue(server.wait_log(r"itimeout:0$", timeout=20))


class StoreLock(lud.ServerTest):
    def test_a_lock_held_by_another_process_times_out_and_an_abandoned_one_recovers(self):
        self.start()  # keeps the store alive under Wine, and writes it meanwhile
        self.assertEqual("ok", lud.wait_for(lambda: lud.store_get(KEYS[0]), timeout=60))
        self.assertTrue(lud.store_set("A", "1"))
        holder = subprocess.Popen(lud.command("ludstore", "hold", "4"), stdout=subprocess.PIPE)
        self.addCleanup(holder.wait)
        self.assertEqual(b"held", holder.stdout.readline().strip())
        start = time.monotonic()
        out = subprocess.run(lud.command("ludstore", "get", "A"), capture_output=True, timeout=60)
        self.assertEqual(1, out.returncode)
        self.assertIn(b"store error -1", out.stderr)
        self.assertGreater(time.monotonic() - start, 1.9)
        holder.wait(timeout=30)
        # The holder ended without releasing: the first wait fails (-3) and
        # gives the lock back, the next one succeeds.
        out = subprocess.run(lud.command("ludstore", "get", "A"), capture_output=True, timeout=60)
        if out.returncode != 0:
            self.assertIn(b"store error -3", out.stderr)
            out = subprocess.run(lud.command("ludstore", "get", "A"), capture_output=True, timeout=60)
        self.assertEqual(b"1", out.stdout.strip())


@unittest.skipIf(lud.PLATFORM == "windows",
                 "under Wine the store ends with its last process; the supervisor keeps it")
class Restart(lud.ServerTest):
    def test_a_restarted_server_logs_the_kept_instruction(self):
        first = self.start()
        lud.wait_for(lambda: lud.store_get(KEYS[1]), timeout=20)
        first.stop()
        second = self.start()
        self.assertTrue(second.wait_log(r"szInstruction=" + re.escape(EMPTY_INSTRUCTION) + "$",
                                        timeout=20))


if __name__ == "__main__":
    unittest.main()
