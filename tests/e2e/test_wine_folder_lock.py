# platforms: windows
"""ludarium.exe under Wine: a second server started in the folder of a
running one refuses to start (the lock file is held open without sharing),
and the first one goes on serving."""
import json
import os
import unittest

import lud

PORT = 40080


class WineFolderLock(lud.ServerTest):
    def test_a_second_server_in_the_same_folder_refuses_to_start(self):
        first = self.start()
        self.assertTrue(lud.wait_http(PORT, timeout=120))
        second = lud.Program("ludarium", keep_dir=first.dir)
        try:
            self.assertEqual(3, second.proc.wait(timeout=120))
        finally:
            second.stop()
        self.assertTrue(first.wait_log(r" e, main\.cpp:\d+ main [0-9A-F]{8} another ludarium runs in .*"
                                       r"ludarium\.lock is held\); this one ends$", timeout=30,
                                       kind="error"))
        info = lud.quote_info(json.dumps({"loginnm": "t", "data": "d"}))
        self.assertEqual(b'{"status":1,"msg":"ok"}', lud.http_get(PORT, "/loginUserSet?info=" + info)[2])
        with open(os.path.join(first.dir, "config", "ud"), "rb") as f:
            self.assertIn(b'"loginnm":"t"', f.read())


if __name__ == "__main__":
    unittest.main()
