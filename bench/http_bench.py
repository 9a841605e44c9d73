#!/usr/bin/env python3
"""HTTP API benchmark: requests per second of /ping and /getBroadcast with 8
concurrent clients against ludarium, and against a bare CivetWeb program that
answers the same bytes, both run now on this machine; prints the ratio.
The two servers take turns in ROUNDS short runs each, so that a load that
comes and goes on a shared machine falls on both alike.
    bench/run http_bench.py [SECONDS [ROUNDS]]
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


def load(port, path, seconds):
    out = subprocess.run([os.path.join(BIN, "http_load"), str(port), path, str(seconds), "8"],
                         capture_output=True, text=True).stdout
    return float(re.match(r"([\d.]+) requests/s", out).group(1)), out.strip()


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 10
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
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
    finally:
        server.kill()
        if bare:
            bare.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
