# platforms: linux
"""The two commands of README as a newcomer meets them: `make test` stops at
once without root, `make run` installs only what running needs and keeps
ludguard's autostart entry inside build/, and the package lists name the
clang runtime that follows Debian's default compiler."""
import os
import shlex
import stat
import subprocess
import tempfile
import unittest

SOURCE = os.environ.get("LUD_SOURCE_DIR") or os.path.dirname(
    os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]


class MakeCommands(unittest.TestCase):
    def test_make_test_without_root_stops_before_building(self):
        done = subprocess.run(NOBODY + ["make", "-C", SOURCE, "test"], capture_output=True,
                              timeout=120, stdin=subprocess.DEVNULL)
        self.assertEqual(2, done.returncode)
        err = done.stderr.decode()
        self.assertIn("The tests need root", err)
        self.assertIn('"sudo make test"', err)
        # Stopped while reading the Makefile: nothing was installed or built.
        self.assertNotIn(b"install-deps", done.stdout)
        self.assertNotIn(b"cmake", done.stdout)

    def install_list(self, *args):
        """What install-deps asks for when nothing is installed (a dpkg-query
        that knows no package), as it lists it to a user who is not root."""
        fake = tempfile.mkdtemp(prefix="lud-dpkg-")
        self.addCleanup(subprocess.run, ["rm", "-rf", fake])
        os.chmod(fake, 0o755)
        query = os.path.join(fake, "dpkg-query")
        with open(query, "w") as f:
            f.write("#!/bin/sh\nexit 1\n")
        os.chmod(query, stat.S_IRWXU | stat.S_IRGRP | stat.S_IXGRP | stat.S_IROTH | stat.S_IXOTH)
        env = dict(os.environ, PATH=fake + ":" + os.environ.get("PATH", "/usr/bin:/bin"))
        done = subprocess.run(NOBODY + [os.path.join(SOURCE, "scripts", "install-deps")] +
                              list(args), capture_output=True, timeout=60, env=env)
        self.assertEqual(1, done.returncode, done.stderr)
        return done.stderr.decode().split("please install:", 1)[1].split()

    def test_run_installs_only_what_running_needs(self):
        run = self.install_list("run")
        everything = self.install_list()
        self.assertEqual(everything, self.install_list("test"))
        # CivetWeb is built here from its Debian source package, patched.
        self.assertIn("dpkg-dev", run)
        self.assertIn("patch", run)
        for tool in ("wine", "nsis", "chromium", "clang", "g++-mingw-w64-i686-posix",
                     "libgtest-dev", "xvfb"):
            self.assertNotIn(tool, run)
            self.assertIn(tool, everything)
        self.assertTrue(set(run) <= set(everything))
        # The runtime of whichever clang Debian calls its default.
        self.assertIn("libclang-rt-dev", everything)
        self.assertEqual([], [p for p in everything if p.startswith("libclang-rt-") and
                              p != "libclang-rt-dev"])

    def test_run_keeps_the_autostart_entry_inside_build(self):
        done = subprocess.run(["make", "-s", "-n", "-C", SOURCE, "run"], capture_output=True,
                              timeout=60, stdin=subprocess.DEVNULL)
        self.assertEqual(0, done.returncode, done.stderr)
        lines = done.stdout.decode().replace("\\\n", " ").splitlines()
        guard = [shlex.split(line) for line in lines if "ludguard /test" in line]
        self.assertEqual(1, len(guard), lines)
        env = dict(word.split("=", 1) for word in guard[0] if "=" in word)
        build = os.path.join(SOURCE, "build") + os.sep
        for name in ("XDG_CONFIG_DIRS", "XDG_CONFIG_HOME"):
            self.assertTrue(env.get(name, "").startswith(build), (name, env))
        self.assertFalse(any("install-deps" in line and "run" not in line for line in lines))


if __name__ == "__main__":
    unittest.main()
