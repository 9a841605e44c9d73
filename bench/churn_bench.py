#!/usr/bin/env python3
"""Session churn: the same 300 tablets log in, receive one command and
leave, forty times over (a school whose Wi-Fi keeps dropping). After each
round's command has reached every tablet, while its 300 sessions are live,
it samples the server's resident memory; it prints every fourth sample and
the growth from round 10 to round 40. It prints figures; it never fails.

Run it through bench/run (own namespaces, loopback only):
    bench/run churn_bench.py [ROUNDS] [TABLETS]     default: 40 300
"""
import json
import os
import re
import subprocess
import sys
import time

from student_link_bench import BIN, get, rss_bytes, start_server, stop_server

CLASS_ID = 31


def rss_mib(pid):
    return rss_bytes(pid) / 2**20


def info(path, **fields):
    return json.loads(get(path, info=json.dumps(fields)))["recordset"]


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 40
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 300
    server, work = start_server("ludarium-churn-")
    samples = {}
    try:
        get("/commitCourseInfo", info=json.dumps({"class": {"class_id": CLASS_ID, "name": "churn"}}))
        time.sleep(1)
        print("round  rss_MiB  login_ms  delivered  left_ms")
        for n in range(1, rounds + 1):
            tablets = subprocess.Popen([os.path.join(BIN, "ludtablet"), "--count", str(count), "--class",
                                        str(CLASS_ID), "--first-id", "500000", "--receipt", "now",
                                        "--seconds", "60"],
                                       stdout=subprocess.PIPE, text=True)
            m = re.match(r"logged in (\d+) of (\d+) after (\d+) ms", tablets.stdout.readline())
            login_ms = m.group(3) if m else "-"
            command_id = str(700000 + n)
            get("/sendCmd", target=json.dumps({"type": "class", "class_id": CLASS_ID}),
                command=json.dumps({"id": command_id, "params": {"action": "lock_screen"}}))
            delivered = 0
            end = time.monotonic() + 20
            while time.monotonic() < end:
                delivered = info("/userResponse", class_id=CLASS_ID, command_id=command_id)["response"]
                if delivered >= count:
                    break
                time.sleep(0.05)
            samples[n] = rss_mib(server.pid)
            tablets.kill()  # every tablet leaves at once
            tablets.wait()
            left = time.monotonic()
            while time.monotonic() - left < 60 and info("/activeUserList", class_id=CLASS_ID)["onlines"] > 0:
                time.sleep(0.05)
            left_ms = int((time.monotonic() - left) * 1000)
            if n % 4 == 0 or n == 1 or n == 10:
                print("%5d  %7.1f  %8s  %9d  %7d" % (n, samples[n], login_ms, delivered, left_ms))
                sys.stdout.flush()
            time.sleep(1.6)  # the next command must not wait for this one's hand-over
        if 10 in samples and rounds in samples:
            print("RSS after round %d is %+.1f %% of RSS after round 10 (%.1f -> %.1f MiB)" % (
                rounds, 100 * (samples[rounds] / samples[10] - 1), samples[10], samples[rounds]))
    finally:
        stop_server(server, work)


if __name__ == "__main__":
    main()
