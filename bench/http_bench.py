#!/usr/bin/env python3
"""HTTP API benchmark: requests per second of /ping and /getBroadcast with 8
concurrent clients against ludarium, and against a bare CivetWeb program that
answers the same bytes, both run now on this machine; prints the ratio.
The two servers take turns in ROUNDS short runs each, so that a load that
comes and goes on a shared machine falls on both alike.
    bench/run http_bench.py [SECONDS [ROUNDS]] [--threads] [--perf DIR]
--threads: after the rounds, one more run of each path against ludarium,
  with the processor time per request of each of its threads (by name).
--perf DIR: that run under `perf record` as well, leaving PATH.data in DIR
  (`perf report -i DIR/getBroadcast.data --sort comm,sym`).
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

from cap_bench import thread_stats

BIN = os.environ.get("LUD_BIN_DIR", os.path.join(os.path.dirname(__file__), "..", "build", "linux", "bin"))


def load(port, path, seconds):
    out = subprocess.run([os.path.join(BIN, "http_load"), str(port), path, str(seconds), "8"],
                         capture_output=True, text=True).stdout
    return float(re.match(r"([\d.]+) requests/s", out).group(1)), out.strip()


def profile_run(pid, path, seconds, perf_dir):
    """One load run of path with the server's processor time per request by
    thread name, under perf record when perf_dir is given."""
    perf = None
    if perf_dir:
        perf = subprocess.Popen(["perf", "record", "-q", "-F", "4000", "-p", str(pid), "-o",
                                 os.path.join(perf_dir, path.strip("/") + ".data")],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1)
    before = thread_stats(pid)
    rate = load(40080, path, seconds)[0]
    after = thread_stats(pid)
    if perf:
        perf.send_signal(2)
        perf.wait()
    requests = max(rate * seconds, 1)
    by_name = {}
    for tid, (name, ns, _) in after.items():
        by_name[name] = by_name.get(name, 0) + ns - before.get(tid, (name, 0, 0))[1]
    print("  %s: %.0f requests/s; processor time per request by thread:" % (path, rate))
    for name, ns in sorted(by_name.items(), key=lambda kv: -kv[1]):
        if ns > 0:
            print("    %-16s %6.2f us" % (name, ns / 1000 / requests))


def main():
    args = sys.argv[1:]
    perf_dir = None
    if "--perf" in args:
        perf_dir = args[args.index("--perf") + 1]
        del args[args.index("--perf"):args.index("--perf") + 2]
        os.makedirs(perf_dir, exist_ok=True)
    threads = perf_dir is not None or "--threads" in args
    args = [a for a in args if a != "--threads"]
    seconds = float(args[0]) if len(args) > 0 else 10
    rounds = int(args[1]) if len(args) > 1 else 5
    work = tempfile.mkdtemp(prefix="ludarium-http-bench-")
    shutil.copy2(os.path.join(BIN, "ludarium"), work)
    server = subprocess.Popen([os.path.join(work, "ludarium")], cwd=work, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    bare = None
    try:
        time.sleep(1.5)
        info = json.dumps({"teacher": {"user_id": 5, "name": "t"}, "class": {"class_id": 12, "name": "c"}})
        urllib.request.urlopen("http://127.0.0.1:40080/commitCourseInfo?info=" + urllib.parse.quote(info)).read()
        body = urllib.request.urlopen("http://127.0.0.1:40080/getBroadcast").read()
        with open(os.path.join(work, "broadcast.json"), "wb") as f:
            f.write(body)
        bare = subprocess.Popen([os.path.join(BIN, "bare_civetweb"), "40090", os.path.join(work, "broadcast.json")])
        time.sleep(0.5)
        print("path           ludarium req/s   bare CivetWeb req/s   ratio   (ratio of each round)")
        for path in ("/ping", "/getBroadcast"):
            ours, theirs, ratios = [], [], []
            for _ in range(rounds):
                ours.append(load(40080, path, seconds / rounds)[0])
                theirs.append(load(40090, path, seconds / rounds)[0])
                ratios.append("%.2f" % (ours[-1] / theirs[-1]))
            mean_ours, mean_theirs = sum(ours) / rounds, sum(theirs) / rounds
            print("%-13s  %15.0f   %19.0f   %5.2f   (%s)" %
                  (path, mean_ours, mean_theirs, mean_ours / mean_theirs, " ".join(ratios)))
        if threads:
            for path in ("/ping", "/getBroadcast"):
                profile_run(server.pid, path, seconds / rounds, perf_dir)
    finally:
        server.kill()
        if bare:
            bare.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
