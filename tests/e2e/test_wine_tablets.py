# platforms: windows
"""Many tablets against ludarium.exe under Wine: the Linux tablet simulator
logs LUD_WINE_TABLETS tablets in (300 here; 2,000 for the full-size run,
see README) and one /sendCmd reaches every one of them. The times it prints
are for reading, never checked."""
import json
import os
import re
import subprocess
import threading
import time
import unittest

import lud

PORT = 40080
COUNT = int(os.environ.get("LUD_WINE_TABLETS", "300"))
LUDTABLET = os.path.join(os.environ.get("LUD_SOURCE_DIR", "."), "build", "linux", "bin", "ludtablet")


class WineTablets(lud.ServerTest):
    def test_every_tablet_logs_in_and_gets_the_command(self):
        server = self.start()
        self.assertTrue(lud.wait_http(PORT, timeout=120), "ludarium.exe did not answer /ping")
        self.assertTrue(server.wait_log(r"Listen ok$", timeout=60))
        info = json.dumps({"class": {"class_id": 12, "name": "c"}})
        lud.http_get(PORT, "/commitCourseInfo?info=" + lud.quote_info(info))

        # -v prints every frame a tablet receives; the run is ended here once
        # every tablet has the command.
        tablets = subprocess.Popen([LUDTABLET, "--count", str(COUNT), "--class", "12",
                                    "--receipt", "now", "--seconds", "900", "-v"],
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.addCleanup(lambda: tablets.poll() is None and tablets.kill())
        lines = []
        reader = threading.Thread(target=lambda: lines.extend(tablets.stdout), daemon=True)
        reader.start()
        started = time.monotonic()
        logged = lud.wait_for(lambda: next((l for l in list(lines) if l.startswith("logged in")), None),
                              600)
        closed = sum(1 for l in list(lines) if l.endswith(": connection closed\n"))
        self.assertTrue(logged, "%d tablets' connections closed; the server's errors:\n%s"
                        % (closed, server.log_text("error")[-3000:]))
        login_s = time.monotonic() - started

        command = json.dumps({"id": "4242", "params": {"action": "lock_screen"}})
        target = json.dumps({"type": "class", "class_id": 12})
        sent = time.monotonic()
        _, _, body = lud.http_get(PORT, "/sendCmd?target=%s&command=%s"
                                  % (lud.quote_info(target), lud.quote_info(command)))
        self.assertEqual(b'{"status":1,"msg":"ok"}', body)
        delivery = re.compile(r'^(\d+): \{[^\n]*"type":5[^\n]*\}[^\n]*"id":"4242"')

        def reached():
            return {m.group(1) for m in map(delivery.match, list(lines)) if m}
        self.assertTrue(lud.wait_for(lambda: len(reached()) == COUNT, 300),
                        "%d of %d tablets got the command" % (len(reached()), COUNT))
        print("%d tablets under Wine: all logged in after %.1f s, all had the command %.1f s after "
              "/sendCmd" % (COUNT, login_s, time.monotonic() - sent))
        self.assertIsNone(server.proc.poll(), "ludarium.exe ended")


if __name__ == "__main__":
    unittest.main()
