#!/usr/bin/env python3
"""Idle benchmark: what ludarium costs with no tablet at all.

Starts the server, lets it settle, and then counts for each of its threads
how often it was put on a processor (the third field of
/proc/PID/task/TID/schedstat: one per wake-up, plus the rare preemption)
and how much processor time it used, over a window, first with no course
and then with a course published (the announcer then has work every 9 s).
Each thread is named by the function it waits in (a gdb backtrace taken
once, after the windows), or by its kernel name when gdb is missing.
The process's CPU share is measured over several windows, since the
machine is shared; the load average is printed beside the figures.

In the same run it measures the anchor (bench/base_anchor.cpp): the
fixed-period loops the server's idle threads used to run (10 ms, 100 ms,
200 ms and 1 s), doing nothing, over windows of the same length.

It prints figures; it never fails on speed.

Run it through bench/run (own namespaces, loopback only):
    bench/run idle_bench.py [SECONDS [REPEATS [TABLETS]]]     default: 30 3 0
With TABLETS, a third set of windows has that many simulated tablets
logged in to the published course.
"""
import json
import os
import re
import subprocess
import sys
import time
import urllib.parse
import urllib.request

from student_link_bench import start_server, stop_server

BIN = os.environ.get("LUD_BIN_DIR", os.path.join(os.path.dirname(__file__), "..", "build", "linux", "bin"))
ANCHOR = os.environ.get("LUD_BASE_ANCHOR", os.path.join(os.path.dirname(__file__), "..", "build", "linux",
                                                      "bin", "base_anchor"))
HTTP = "http://127.0.0.1:40080"

# Functions a thread of ours or of CivetWeb waits in, most specific first.
ROLES = [
    ("LogQueue::thread_main", "log thread"),
    ("Brocast::announcerThread", "announcer"),
    ("InstructionSet::worker", "instruction worker"),
    ("SocketTaskThread", "session"),
    ("SocketServer", "student-link listener"),
    ("ASAuthorizeServer", "policy server"),
    ("master_thread", "CivetWeb master"),
    ("worker_thread", "CivetWeb worker"),
    ("timer_thread", "CivetWeb timer"),
    ("main", "main loop"),
]


def get(path, **params):
    query = urllib.parse.urlencode(params)
    with urllib.request.urlopen(HTTP + path + ("?" + query if query else ""), timeout=30) as r:
        return r.read()


def threads(pid):
    """{tid: (runs, cpu_seconds)} for every thread of pid, from schedstat
    (nanoseconds on a processor; the clock ticks of /proc/PID/stat are too
    coarse for an idle server)."""
    out = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            fields = open("/proc/%d/task/%s/schedstat" % (pid, tid)).read().split()
            out[int(tid)] = (int(fields[2]), int(fields[0]) / 1e9)
        except (OSError, IndexError, ValueError):
            pass
    return out


def roles(pid):
    """{tid: role} from one gdb backtrace of every thread (empty without gdb)."""
    try:
        out = subprocess.run(["gdb", "-p", str(pid), "-batch", "-nx", "-ex", "thread apply all bt"],
                             capture_output=True, text=True, timeout=120).stdout
    except (OSError, subprocess.TimeoutExpired):
        return {}
    result = {}
    for block in re.split(r"\n(?=Thread \d+ )", out):
        m = re.match(r"Thread \d+ \(Thread 0x[0-9a-f]+ \(LWP (\d+)\)", block)
        if not m:
            continue
        for needle, role in ROLES:
            if re.search(r"\b%s\b" % re.escape(needle), block):
                result[int(m.group(1))] = role
                break
    return result


def window(pid, seconds):
    before, t0 = threads(pid), time.monotonic()
    time.sleep(seconds)
    after, t1 = threads(pid), time.monotonic()
    elapsed = t1 - t0
    per_thread = {}
    cpu = 0.0
    for tid, (runs, seconds_on_cpu) in after.items():
        runs0, c0 = before.get(tid, (0, 0.0))
        per_thread[tid] = ((runs - runs0) / elapsed, 100 * (seconds_on_cpu - c0) / elapsed)
        cpu += seconds_on_cpu - c0
    return per_thread, 100 * cpu / elapsed


def measure(title, pid, seconds, repeats):
    print("== %s (%d windows of %d s; load average before: %s)" % (
        title, repeats, seconds, open("/proc/loadavg").read().split(" ", 3)[:3]))
    totals = {}
    cpus = []
    for _ in range(repeats):
        per_thread, cpu = window(pid, seconds)
        cpus.append(cpu)
        for tid, (wakes, _) in per_thread.items():
            totals.setdefault(tid, []).append(wakes)
    return totals, cpus


def comm(pid, tid):
    try:
        return open("/proc/%d/task/%d/comm" % (pid, tid)).read().strip()
    except OSError:
        return "?"


def print_table(pid, totals, cpus, names):
    """Wake-ups per second of every thread in each window, busiest first;
    threads of one role (sessions, CivetWeb workers) are summed."""
    groups = {}
    for tid, wakes in totals.items():
        name = names.get(tid, comm(pid, tid))
        count, sums = groups.get(name, (0, [0.0] * len(wakes)))
        groups[name] = (count + 1, [a + b for a, b in zip(sums, wakes)])
    print("  %-24s %7s  %s" % ("thread", "threads", "wake-ups/s per window (all threads of the row)"))
    for name, (count, sums) in sorted(groups.items(), key=lambda g: -sum(g[1][1])):
        print("  %-24s %7d  %s" % (name, count, "  ".join("%7.2f" % s for s in sums)))
    sums = [sum(w[i] for w in totals.values()) for i in range(len(cpus))]
    print("  %-24s %7d  %s" % ("all threads", len(totals), "  ".join("%7.2f" % s for s in sums)))
    print("  %-24s %7s  %s" % ("CPU % of one core", "", "  ".join("%7.4f" % c for c in cpus)))
    print("  load average after: %s" % open("/proc/loadavg").read().split(" ", 3)[:3])
    sys.stdout.flush()


def main():
    seconds = int(sys.argv[1]) if len(sys.argv) > 1 else 30
    repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    tablets = int(sys.argv[3]) if len(sys.argv) > 3 else 0
    server, work = start_server("ludarium-idle-")
    try:
        time.sleep(3)
        results = []
        results.append(("no course",) + measure("idle, no course", server.pid, seconds, repeats))
        get("/commitCourseInfo", info=json.dumps({"class": {"class_id": 7, "name": "idle"}}))
        time.sleep(3)
        results.append(("course published",) + measure("idle, course published", server.pid, seconds,
                                                       repeats))
        if tablets:
            sim = subprocess.Popen([os.path.join(BIN, "ludtablet"), "--count", str(tablets), "--class", "7",
                                    "--first-id", "700000", "--seconds", str(seconds * repeats + 60)],
                                   stdout=subprocess.PIPE, text=True)
            print("tablets: " + sim.stdout.readline().strip())
            time.sleep(3)
            results.append(("%d tablets" % tablets,) + measure("idle, %d tablets" % tablets, server.pid,
                                                                seconds, repeats))
        anchor = subprocess.Popen([ANCHOR], stdout=subprocess.PIPE, text=True)
        try:
            anchor.stdout.readline()  # "ready"
            time.sleep(1)
            results.append(("anchor: the old fixed-period loops",) + measure(
                "anchor", anchor.pid, seconds, repeats))
            anchor_names = {tid: "anchor thread" for tid in threads(anchor.pid)}
            print("-- anchor: the old fixed-period loops (10 ms, 100 ms, 200 ms, 1 s)")
            print_table(anchor.pid, results[-1][1], results[-1][2], anchor_names)
        finally:
            anchor.kill()
            anchor.wait()
        anchor_result = results.pop()
        names = roles(server.pid)
        if tablets:
            sim.kill()
            sim.wait()
        for title, totals, cpus in results:
            print("-- %s" % title)
            print_table(server.pid, totals, cpus, names)
        # One line per state for bench/run all: mean wake-ups/s over the
        # windows, CPU % of one core as min/mean/max.
        for title, totals, cpus in [anchor_result] + results:
            wakes = sum(sum(w) for w in totals.values()) / len(cpus)
            print("summary %s: wakeups_per_s=%.2f cpu_pct=%.4f/%.4f/%.4f" % (
                title.split(":")[0], wakes, min(cpus), sum(cpus) / len(cpus), max(cpus)))
    finally:
        stop_server(server, work)


if __name__ == "__main__":
    main()
