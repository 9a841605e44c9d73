# platforms: windows
"""Many tablets against ludarium.exe under Wine: the Linux tablet simulator
logs LUD_WINE_TABLETS tablets in (300 here; 2,000 for the full-size run,
see README) and one /sendCmd reaches every one of them."""
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

        tablets = subprocess.Popen([LUDTABLET, "--count", str(COUNT), "--class", "12",
                                    "--receipt", "now", "--seconds", "60"],
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.addCleanup(lambda: tablets.poll() is None and tablets.kill())
        lines = []
        reader = threading.Thread(target=lambda: lines.extend(tablets.stdout), daemon=True)
        reader.start()
        self.assertTrue(lud.wait_for(lambda: any(l.startswith("logged in") for l in lines), 240),
                        lines)
        logged = re.match(r"logged in (\d+) of (\d+) after (\d+) ms", lines[0])
        self.assertEqual((COUNT, COUNT), (int(logged.group(1)), int(logged.group(2))), lines)

        command = json.dumps({"id": "4242", "params": {"action": "lock_screen"}})
        target = json.dumps({"type": "class", "class_id": 12})
        _, _, body = lud.http_get(PORT, "/sendCmd?target=%s&command=%s"
                                  % (lud.quote_info(target), lud.quote_info(command)))
        self.assertEqual(b'{"status":1,"msg":"ok"}', body)
        tablets.wait(timeout=120)
        reader.join(timeout=30)
        arrived = [l for l in lines if l.startswith("instruction 4242:")]
        self.assertTrue(arrived, lines)
        self.assertRegex(arrived[0], r"^instruction 4242: %d/%d " % (COUNT, COUNT))
        print("%d tablets under Wine: %s%s" % (COUNT, lines[0], arrived[0]))
        self.assertIsNone(server.proc.poll(), "ludarium.exe ended")


if __name__ == "__main__":
    unittest.main()
