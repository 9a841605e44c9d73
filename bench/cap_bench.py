#!/usr/bin/env python3
"""Cap benchmark: the full 4,096 simulated tablets against one ludarium,
on Linux and against the Windows builds under Wine.

For each target it starts the server, logs N tablets in (one ludtablet
process), and reports: how many were in and when, the server's resident
memory per tablet (above the server with no tablet; under Wine also the
growth of wineserver, which keeps the sockets), its address space (VmSize
of the process: for the i686 build under 32-bit Wine this is the reserved
address space that must stay well below 4 GiB), its thread count, and one
/sendCmd delivered to all (fan-out p50/p99/max from the moment /sendCmd
answered, and how many got it). It prints figures; it never fails on speed.

Every process gets its own descriptor limit (RLIMIT_NOFILE): the tablets
one per connection, the server (and under Wine the wineserver it starts,
which holds every socket of the namespace) two per session and room for
the rest. bench/run raises the hard limit for the namespace.

Run it through bench/run (own namespaces, loopback only):
    bench/run cap_bench.py [TARGET ...] [--tablets N]
TARGET: linux (default), wine-x64 (build/windows-x64 under 64-bit Wine),
wine-i686 (build/windows under 32-bit Wine).
"""
import json
import os
import re
import resource
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
HTTP = "http://127.0.0.1:40080"
PAGE = os.sysconf("SC_PAGE_SIZE")
TARGETS = {
    "linux": (os.path.join(REPO, "build", "linux", "bin"), None),
    "wine-x64": (os.path.join(REPO, "build", "windows-x64", "bin"), "win64"),
    "wine-i686": (os.path.join(REPO, "build", "windows", "bin"), "win32"),
}
TABLET = os.path.join(REPO, "build", "linux", "bin", "ludtablet")


def get(path, timeout=30, **params):
    query = urllib.parse.urlencode(params)
    with urllib.request.urlopen(HTTP + path + ("?" + query if query else ""), timeout=timeout) as r:
        return r.read()


def descriptor_limit(n):
    """A preexec_fn that sets the child's descriptor limit to n (the hard
    limit too, when it is below)."""
    def apply():
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        if hard != resource.RLIM_INFINITY and hard < n:
            try:
                resource.setrlimit(resource.RLIMIT_NOFILE, (n, n))
                return
            except (ValueError, OSError):
                n2 = hard
        else:
            n2 = n
        resource.setrlimit(resource.RLIMIT_NOFILE, (n2, hard))
    return apply


def status(pid):
    """VmSize, VmPeak, VmRSS (bytes) and Threads of /proc/PID/status."""
    out = {}
    try:
        for line in open("/proc/%d/status" % pid):
            key, _, value = line.partition(":")
            if key in ("VmSize", "VmPeak", "VmRSS"):
                out[key] = int(value.split()[0]) * 1024
            elif key == "Threads":
                out[key] = int(value)
    except OSError:
        pass
    return out


def find_process(pattern):
    """The pid of the newest process whose command line matches pattern."""
    found = None
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            cmd = open("/proc/%s/cmdline" % name, "rb").read().replace(b"\0", b" ").decode(errors="replace")
        except OSError:
            continue
        if re.search(pattern, cmd) and (found is None or int(name) > found):
            found = int(name)
    return found


def start(target, sessions):
    """The server of target in a fresh folder, answering /ping:
    (process, pid of the program itself, folder)."""
    bin_dir, wine = TARGETS[target]
    work = tempfile.mkdtemp(prefix="ludarium-cap-")
    exe = "ludarium.exe" if wine else "ludarium"
    shutil.copy2(os.path.join(bin_dir, exe), work)
    env = dict(os.environ)
    if wine:
        env["LUD_WINE_ARCH"] = wine
        argv = [os.path.join(REPO, "scripts", "wine-run"), os.path.join(work, exe)]
    else:
        argv = [os.path.join(work, exe)]
    # Two descriptors a session (its socket and its wake-up) and room for
    # the rest; under Wine the wineserver started here inherits the limit.
    server = subprocess.Popen(argv, cwd=work, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              preexec_fn=descriptor_limit(3 * sessions + 1024))
    end = time.monotonic() + 120
    while time.monotonic() < end:
        try:
            get("/ping", timeout=5)
            break
        except OSError:
            time.sleep(0.2)
    pid = server.pid
    if wine:
        pid = find_process(re.escape(os.path.join(work, exe))) or server.pid
    return server, pid, work


def stop(target, server, work):
    server.kill()
    server.wait()
    if TARGETS[target][1]:
        env = dict(os.environ, LUD_WINE_ARCH=TARGETS[target][1])
        subprocess.run([os.path.join(REPO, "scripts", "wine-run"), "--unix", "wineserver", "-k"], env=env,
                       capture_output=True, timeout=60)
    shutil.rmtree(work, ignore_errors=True)


def wineserver_rss():
    pid = find_process(r"(^|/)wineserver( |$)")
    return status(pid).get("VmRSS", 0) if pid else 0


def run(target, count, class_id=30):
    server, pid, work = start(target, count)
    try:
        get("/commitCourseInfo", info=json.dumps({"class": {"class_id": class_id, "name": "cap"}}))
        time.sleep(2)
        base = status(pid)
        base_wine = wineserver_rss() if TARGETS[target][1] else 0
        tablets = subprocess.Popen([TABLET, "--count", str(count), "--class", str(class_id),
                                    "--first-id", str(class_id * 100000), "--seconds", "60"],
                                   stdout=subprocess.PIPE, text=True, preexec_fn=descriptor_limit(count + 256))
        lines = []
        reader = threading.Thread(target=lambda: lines.extend(tablets.stdout), daemon=True)
        reader.start()
        login_ms = None
        end = time.monotonic() + 90
        while time.monotonic() < end and tablets.poll() is None:
            m = next((re.match(r"logged in (\d+) of (\d+) after (\d+) ms", l) for l in lines
                      if l.startswith("logged in")), None)
            if m:
                login_ms = int(m.group(3))
                break
            time.sleep(0.1)
        time.sleep(3)
        loaded = status(pid)
        loaded_wine = wineserver_rss() if TARGETS[target][1] else 0
        get("/sendCmd", target=json.dumps({"type": "class", "class_id": class_id}),
            command=json.dumps({"id": "910001", "params": {"action": "lock_screen"}}))
        answered = time.time() * 1000
        listed = 0
        end = time.monotonic() + 30
        while time.monotonic() < end:
            reply = json.loads(get("/userResponse", info=json.dumps({"class_id": class_id, "command_id": "910001"})))
            listed = reply["recordset"]["response"]
            if listed >= count:
                break
            time.sleep(0.1)
        peak = status(pid)
        # The tablets report the arrivals when their 60 s are over.
        try:
            tablets.wait(timeout=120)
        except subprocess.TimeoutExpired:
            tablets.kill()
            tablets.wait()
        reader.join(10)
        out = "".join(lines)
        m = re.search(r"instruction 910001: (\d+)/\d+ first=(\d+) p50=(\d+) p99=(\d+) max=(\d+)", out)
        fan = "%d/%d/%d (%s got it)" % (int(m.group(3)) - answered, int(m.group(4)) - answered,
                                        int(m.group(5)) - answered, m.group(1)) if m else "-"
        rss_per = (loaded.get("VmRSS", 0) - base.get("VmRSS", 0)) / 1024 / count
        wine_per = (loaded_wine - base_wine) / 1024 / count
        print("%-9s  %7d  %8s  %7d  %9.1f  %14.1f  %13s  %10.0f  %10.0f  %10.0f  %7d  %s" % (
            target, count, login_ms if login_ms is not None else "not all", loaded.get("Threads", 0),
            loaded.get("VmRSS", 0) / 2**20, rss_per, "%.1f" % wine_per if TARGETS[target][1] else "-",
            base.get("VmSize", 0) / 2**20, loaded.get("VmSize", 0) / 2**20, peak.get("VmPeak", 0) / 2**20,
            listed, fan))
        sys.stdout.flush()
    finally:
        stop(target, server, work)


def main():
    args = sys.argv[1:]
    count = 4096
    if "--tablets" in args:
        i = args.index("--tablets")
        count = int(args[i + 1])
        del args[i:i + 2]
    targets = args or ["linux"]
    print("target     tablets  login_ms  threads  rss_MiB  rss_KiB/tablet  wineserver_KiB/tablet  "
          "vmsize_MiB(0)  vmsize_MiB  vmpeak_MiB  listed  fanout_p50/p99/max_ms")
    for target in targets:
        run(target, count)


if __name__ == "__main__":
    main()
