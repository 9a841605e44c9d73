# platforms: windows
"""Install folders as schools name them, under Wine: a blank in the path of
ludguard.exe (the launch and the autostart value are quoted) and a non-ASCII
folder name (the HTTP document root is converted to UTF-8)."""
import os
import re
import subprocess
import unittest

import lud

PORT = 40080
RUN_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run"


class WinePaths(lud.ServerTest):
    def run_value(self):
        out = subprocess.run([lud.WINE_RUN, "reg", "query", RUN_KEY, "/v", "Ludguard"],
                             capture_output=True, timeout=120)
        return out.stdout.decode("utf-8", "replace")

    def remove_run_value(self):
        subprocess.run([lud.WINE_RUN, "reg", "delete", RUN_KEY, "/v", "Ludguard", "/f"],
                       capture_output=True, timeout=120)

    def test_a_blank_in_the_install_folder(self):
        self.addCleanup(self.remove_run_value)
        directory = os.path.join(lud.tempfile.mkdtemp(prefix="ludguard-"), "Class 3")
        os.mkdir(directory)
        g = lud.Guard(["/test"], keep_dir=directory)
        self.addCleanup(g.cleanup)
        self.assertTrue(lud.wait_http(PORT, timeout=120), "ludarium.exe did not answer /ping")
        self.assertTrue(g.wait_guard_log(r"\[coreThread\] ludarium=.*\\Class 3\\ludarium\.exe$"))
        # ludarium got no argument (a split path would make "3\ludarium.exe" one).
        server_log = os.path.join(directory, "log")
        self.assertTrue(lud.wait_for(lambda: any("argc:1" in open(os.path.join(server_log, f), "rb")
                                                 .read().decode("utf-8", "replace")
                                                 for f in os.listdir(server_log)
                                                 if f.endswith("verbose.log")), 30))
        value = lud.wait_for(lambda: re.search(r'REG_SZ\s+(".*")\s*$', self.run_value(), re.M), 30)
        self.assertTrue(value, self.run_value())
        self.assertRegex(value.group(1), r'^"[A-Z]:\\.*\\Class 3\\ludguard\.exe"$')

    def test_a_non_ascii_install_folder_serves_its_files(self):
        # Characters of the ANSI code page Wine uses here (1252), so the
        # folder's ANSI name is exact and only the UTF-8 conversion matters.
        server = self.start(dir_name="Clássé 3")
        os.makedirs(os.path.join(server.dir, "www"))
        with open(os.path.join(server.dir, "www", "index.html"), "wb") as f:
            f.write(b"<p>console</p>")
        self.assertTrue(lud.wait_http(PORT, timeout=120), "ludarium.exe did not answer /ping")
        status, _, body = lud.http_get(PORT, "/www/index.html")
        self.assertIn(" 200 ", status, body)
        self.assertEqual(b"<p>console</p>", body)


if __name__ == "__main__":
    unittest.main()
