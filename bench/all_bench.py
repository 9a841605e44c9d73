#!/usr/bin/env python3
"""Runs every benchmark of this folder once, one after the other, shows
their output, and ends with one table: each figure beside its goal and the
anchor measured in the same run (the old pass structure, bare CivetWeb),
with the machine and its load. It prints figures; it never fails on speed.
The 4,096-tablet run is the Linux one; the Wine runs of cap_bench.py are
slow and stay separate.

    bench/run all [TABLETS ...]        default tablets: 500 2000
    all_bench.py --table-from FILE     the table again from a saved run's output
"""
import os
import platform
import re
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def run(script, *args):
    print("### %s %s" % (script, " ".join(args)))
    sys.stdout.flush()
    proc = subprocess.run([sys.executable, os.path.join(HERE, script)] + list(args), stdout=subprocess.PIPE,
                          text=True)
    print(proc.stdout)
    sys.stdout.flush()
    return proc.stdout


def machine():
    cpu = "?"
    for line in open("/proc/cpuinfo"):
        if line.startswith("model name"):
            cpu = line.split(":", 1)[1].strip()
            break
    return "%s, %d cores, Linux %s" % (cpu, os.cpu_count(), platform.release())


def loadavg():
    return " ".join(open("/proc/loadavg").read().split()[:3])


def table(idle, link, http, cap=""):
    """The rows of the table from the three benchmarks' outputs."""
    rows = []
    summary = dict((m.group(1), m.groups()[1:]) for m in re.finditer(
        r"summary ([^:]+): wakeups_per_s=([\d.]+) cpu_pct=([\d.]+)/([\d.]+)/([\d.]+)", idle))
    anchor = summary.get("anchor")
    anchor_text = ("%s wake-ups/s, %s %% (%s-%s)" % (anchor[0], anchor[2], anchor[1], anchor[3])
                   if anchor else "-")
    for state in ("no course", "course published"):
        s = summary.get(state)
        rows.append(("1", "no tablets, %s" % state, "<= 0.05 %, <= 20 wake-ups/s",
                     "%s wake-ups/s, %s %% (%s-%s)" % (s[0], s[2], s[1], s[3]) if s else "-",
                     "old loops: " + anchor_text))

    row = re.compile(r"^\s*(\d+)\s+(\S+)\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)\s+(\S+)\s+(\S+)\s+"
                     r"(\S+)(?: \((\d+) got it\))?\s+(\S+)\s*$", re.M)
    for m in row.finditer(link):
        n = m.group(1)
        rows.append(("2", "idle per 100 tablets at %s" % n, "<= 0.1 %",
                     "%s %% (whole: %s %%)" % (m.group(4), m.group(3)),
                     "old session passes: %s %%/100" % m.group(5)))
        rows.append(("3", "login of %s tablets" % n, "2000 within 1 s", "%s ms" % m.group(2), "-"))
        rows.append(("4", "fan-out p50/p99/max at %s" % n, "p50 <= 110, max <= 300 ms (at 2000)",
                     "%s ms (%s got it)" % (m.group(10), m.group(11)), "floor: 0-199 ms pause"))
        rows.append(("5", "RSS per tablet at %s" % n, "<= 32 KiB (at 4096)", "%s KiB" % m.group(8), "-"))

    for m in re.finditer(r"^(/\S+)\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)(?:\s+\(([\d. ]+)\))?\s*$", http, re.M):
        rows.append(("6", "HTTP %s req/s" % m.group(1), ">= 0.9 of bare CivetWeb",
                     "%s (ratio %s; rounds %s)" % (m.group(2), m.group(4), m.group(5) or "-"), "bare CivetWeb: %s" % m.group(3)))
    cap_row = re.compile(r"^(\S+)\s+(\d+)\s+(\S+(?: all)?)\s+(\d+)\s+([\d.]+)\s+([\d.]+)\s+\S+\s+(\d+)\s+"
                         r"(\d+)\s+(\d+)\s+\S+\s+(\d+)\s+(\S+(?: \(\d+ got it\))?)\s+(\d+)\s+(-?\d+)\s+(\S+)\s*$", re.M)
    for m in cap_row.finditer(cap):
        n = m.group(2)
        rows.append(("3", "login of %s tablets (%s)" % (n, m.group(1)), "4096 within 2 s", "%s ms" % m.group(3),
                     "-"))
        rows.append(("4", "fan-out p50/p99/max at %s (%s)" % (n, m.group(1)), "reported",
                     "%s ms, %s of %s listed" % (m.group(11), m.group(10), n), "floor: 0-199 ms pause"))
        rows.append(("4", "CPU per delivery at %s (%s)" % (n, m.group(1)), "< 50 us",
                     "%s us, runs/delivery %s" % (m.group(13), m.group(14)), "-"))
        rows.append(("5", "RSS per tablet at %s (%s)" % (n, m.group(1)), "<= 32 KiB", "%s KiB" % m.group(6), "-"))
    rows.append(("5", "4,096 tablets under Wine (x64; i686 address space)", "all in, one command to all",
                 "not run by this table: bench/run cap_bench.py wine-x64 wine-i686", "-"))
    return rows


def print_table(rows):
    widths = [max(len(r[i]) for r in rows + [("goal", "figure", "target", "measured", "anchor")])
              for i in range(5)]
    line = "| " + " | ".join("%%-%ds" % w for w in widths) + " |"
    print(line % ("goal", "figure", "target", "measured", "anchor"))
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for r in sorted(rows, key=lambda r: r[0]):
        print(line % r)


def main():
    if sys.argv[1:2] == ["--table-from"]:
        text = open(sys.argv[2]).read()
        parts = dict((m.group(1), m.group(2)) for m in re.finditer(r"^### (\S+)[^\n]*\n(.*?)(?=^### |\Z)", text,
                                                                   re.M | re.S))
        print_table(table(parts.get("idle_bench.py", ""), parts.get("student_link_bench.py", ""),
                          parts.get("http_bench.py", ""), parts.get("cap_bench.py", "")))
        return
    counts = sys.argv[1:] or ["500", "2000"]
    load_before = loadavg()
    started = time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime())
    idle = run("idle_bench.py", "30", "3")
    link = run("student_link_bench.py", *counts)
    http = run("http_bench.py")
    cap = run("cap_bench.py", "linux")
    print("### all figures (%s; %s; load average %s before, %s after)" % (started, machine(), load_before,
                                                                          loadavg()))
    print_table(table(idle, link, http, cap))


if __name__ == "__main__":
    main()
