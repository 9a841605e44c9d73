# platforms: linux
"""Out of threads, ludarium refuses one connection at a time: it logs the
refusal, closes that connection and goes on serving the HTTP API, the
sessions it has and, once threads are free again, new tablets."""
import os
import subprocess
import tempfile
import unittest

import lud

PORT = 40080
NOBODY = 65534
# Sessions share runner threads, up to 255 sessions each on Linux: one more
# tablet than that needs a second runner.
SESSIONS_PER_RUNNER = 255


def threads_of(pid):
    with open("/proc/%d/status" % pid) as status:
        return next(int(line.split()[1]) for line in status if line.startswith("Threads:"))


class OutOfThreads(lud.ServerTest):
    def test_refused_connections_leave_the_server_serving(self):
        directory = tempfile.mkdtemp(prefix="ludarium-limits-")
        os.chmod(directory, 0o777)
        # RLIMIT_NPROC counts every thread of the user and binds only an
        # unprivileged one: the server runs as nobody.
        wrapper = ["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY, "--clear-groups", "--"]
        # A 3-second session time-out frees the sessions of silent tablets.
        server = self.start(args=["3"], keep_dir=directory, wrapper=wrapper)
        self.assertTrue(lud.wait_http(PORT, timeout=30), server.console())
        self.assertTrue(server.wait_log(r"Listen ok$", timeout=30))
        # Room for the threads it runs now and one runner: the tablets beyond
        # the first runner's find no thread.
        pid = server.proc.pid
        # (Set as nobody: only the same user may change another's limits here.)
        subprocess.run(wrapper + ["prlimit", "--pid", str(pid), "--nproc=%d" % (threads_of(pid) + 1)],
                       check=True)

        tablets = []
        for _ in range(SESSIONS_PER_RUNNER + 40):
            t = lud.Tablet(45678)
            self.addCleanup(t.close)
            tablets.append(t)
        self.assertTrue(server.wait_log(r"no thread for a new session, connection closed$",
                                        timeout=30), server.log_text()[-3000:])
        asked = sum(1 for t in tablets if t.recv_frame(timeout=3) is not None)
        self.assertGreater(asked, 0, "no tablet got a session")
        self.assertLess(asked, len(tablets), "every tablet got a session despite the limit")

        self.assertIsNone(server.proc.poll(), "ludarium ended")
        self.assertEqual(b'{"status":1,"msg":"ok"', lud.http_get(PORT, "/ping")[2][:22])

        for t in tablets:
            t.close()

        def served():
            t = lud.Tablet(45678)
            try:
                frame = t.recv_frame(timeout=2)
                return frame is not None and frame[0]["type"] == lud.Tablet.USER_INFO_REQUEST
            finally:
                t.close()
        self.assertTrue(lud.wait_for(served, timeout=60), "no session for a new tablet afterwards")
        self.assertIsNone(server.proc.poll(), "ludarium ended")


if __name__ == "__main__":
    unittest.main()
