#!/usr/bin/env python3
"""Student-link benchmark: N simulated tablets against one ludarium.

For each N it measures the time until every tablet has logged in, the
server's CPU share and resident memory while idle for 30 s (also per 100
tablets), the heartbeat gaps the tablets saw, the fan-out of one /sendCmd
to all tablets (p50, p99, max from the moment /sendCmd answered) and the
time until /userResponse lists them all. It prints figures; it never fails
on speed.

In the same run, for each N, it measures the idle CPU of the anchor
(bench/pass_anchor.cpp): N threads with the pass structure sessions used
to have (a 10 ms readiness wait and a 200 ms timed wait, nothing else).
The ratio column is the server's idle CPU divided by the anchor's. A first
line gives the server's idle CPU with no tablet at all.

Run it through bench/run (own namespaces, loopback only):
    bench/run student_link_bench.py [N ...]      default: 50 500 2000
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

BIN = os.environ.get("LUD_BIN_DIR", os.path.join(os.path.dirname(__file__), "..", "build", "linux", "bin"))
ANCHOR = os.environ.get("LUD_ANCHOR", os.path.join(os.path.dirname(__file__), "..", "build", "linux", "bin",
                                                  "pass_anchor"))
HTTP = "http://127.0.0.1:40080"
TICKS = os.sysconf("SC_CLK_TCK")
PAGE = os.sysconf("SC_PAGE_SIZE")


def get(path, **params):
    query = urllib.parse.urlencode(params)
    with urllib.request.urlopen(HTTP + path + ("?" + query if query else ""), timeout=30) as r:
        return r.read()


def cpu_seconds(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def rss_bytes(pid):
    return int(open("/proc/%d/statm" % pid).read().split()[1]) * PAGE


def run(count, class_id):
    tablets = subprocess.Popen([os.path.join(BIN, "ludtablet"), "--count", str(count), "--class", str(class_id),
                                "--first-id", str(class_id * 100000), "--seconds", "75"],
                               stdout=subprocess.PIPE, text=True)
    line = tablets.stdout.readline()
    m = re.match(r"logged in (\d+) of (\d+) after (\d+) ms", line)
    login_ms = int(m.group(3)) if m else None
    return tablets, login_ms


def idle_cpu(pid, seconds):
    cpu0, t0 = cpu_seconds(pid), time.monotonic()
    time.sleep(seconds)
    return 100 * (cpu_seconds(pid) - cpu0) / (time.monotonic() - t0)


def anchor_idle(count, seconds=20):
    """Idle CPU (% of one core) of the anchor with `count` threads."""
    anchor = subprocess.Popen([ANCHOR, str(count)], stdout=subprocess.PIPE, text=True)
    try:
        anchor.stdout.readline()  # "ready N"
        time.sleep(2)
        return idle_cpu(anchor.pid, seconds)
    finally:
        anchor.kill()
        anchor.wait()



def start_server(prefix, www=None):
    """ludarium copied into a fresh folder (with the console when www names
    it), started and answering /ping; (process, folder)."""
    work = tempfile.mkdtemp(prefix=prefix)
    shutil.copy2(os.path.join(BIN, "ludarium"), work)
    if www:
        shutil.copytree(www, os.path.join(work, "www"))
    server = subprocess.Popen([os.path.join(work, "ludarium")], cwd=work, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    for _ in range(100):
        try:
            get("/ping")
            break
        except OSError:
            time.sleep(0.1)
    return server, work


def stop_server(server, work):
    server.kill()
    server.wait()
    shutil.rmtree(work, ignore_errors=True)

def main():
    counts = [int(a) for a in sys.argv[1:]] or [50, 500, 2000]
    server, work = start_server("ludarium-bench-")
    try:
        print("tablets  login_ms  idle_cpu_%  idle_%/100  anchor_%/100  ratio  rss_MiB  rss_KiB/tablet  "
              "hb_gap_ms(min-max)  fanout_p50/p99/max_ms  all_listed_ms")
        base_rss = rss_bytes(server.pid)
        # What the server costs with no tablet at all (its log, announcer,
        # instruction worker and HTTP threads): part of every idle figure.
        print("idle with no tablets: %.2f %% of one core" % idle_cpu(server.pid, 20))
        for n, count in enumerate(counts):
            class_id = 20 + n
            get("/commitCourseInfo", info=json.dumps({"class": {"class_id": class_id, "name": "b"}}))
            time.sleep(1)
            tablets, login_ms = run(count, class_id)
            time.sleep(2)
            idle = idle_cpu(server.pid, 30)
            rss = rss_bytes(server.pid)
            command_id = str(900000 + n)
            get("/sendCmd", target=json.dumps({"type": "class", "class_id": class_id}),
                command=json.dumps({"id": command_id, "params": {"action": "lock_screen"}}))
            answered = time.time() * 1000
            listed_ms = None
            start = time.monotonic()
            while time.monotonic() - start < 30:
                reply = json.loads(get("/userResponse", info=json.dumps({"class_id": class_id,
                                                                         "command_id": command_id})))
                if reply["recordset"]["response"] >= count:
                    listed_ms = int(time.time() * 1000 - answered)
                    break
                time.sleep(0.02)
            out = tablets.communicate(timeout=120)[0]
            m = re.search(r"instruction %s: (\d+)/\d+ first=(\d+) p50=(\d+) p99=(\d+) max=(\d+)" % command_id, out)
            fan = "-"
            if m:
                fan = "%d/%d/%d (%s got it)" % (int(m.group(3)) - answered, int(m.group(4)) - answered,
                                                int(m.group(5)) - answered, m.group(1))
            g = re.search(r"heartbeat gaps: \d+ min=(\d+) max=(\d+)", out)
            gaps = "%s-%s" % (g.group(1), g.group(2)) if g else "-"
            time.sleep(5)  # sessions of this round end once their tablets have gone
            anchor = anchor_idle(count)
            per100 = idle * 100 / count
            anchor100 = anchor * 100 / count
            print("%7d  %8s  %10.2f  %10.3f  %12.3f  %5.2f  %7.1f  %14.1f  %18s  %21s  %13s" % (
                count, login_ms, idle, per100, anchor100, per100 / anchor100 if anchor100 else 0,
                rss / 2**20, (rss - base_rss) / 1024 / count, gaps, fan, listed_ms))
            sys.stdout.flush()
            time.sleep(35)  # let the sessions of this round time out (earlier builds did not notice a close)
    finally:
        stop_server(server, work)


if __name__ == "__main__":
    main()
