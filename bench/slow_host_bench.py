#!/usr/bin/env python3
"""One slow host against the HTTP API: the latency of this machine's /ping
while another host (a client bound to 127.0.0.2) holds 200 slow connections
to the port (tests/e2e/slow_host.py), against ludarium and against the bare
CivetWeb program of http_bench.py configured the same way, both run now on
this machine. Prints p50/p99/max of the local pings, quiet and under the
slow host, and how many were answered within 100 ms and at all (5 s).
    bench/run slow_host_bench.py [SECONDS]
"""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from slow_host import SlowHost  # noqa: E402

BIN = os.environ.get("LUD_BIN_DIR", os.path.join(os.path.dirname(__file__), "..", "build", "linux", "bin"))
TIMEOUT = 5.0


def ping(port, source="127.0.0.1", path="/ping"):
    """Seconds until the whole reply came, or None when none came in time."""
    start = time.monotonic()
    try:
        with socket.create_connection(("127.0.0.1", port), TIMEOUT, (source, 0)) as s:
            s.settimeout(TIMEOUT)
            s.sendall(b"GET %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n\r\n" % (path.encode(), port))
            reply = b""
            while True:
                data = s.recv(65536)
                if not data:
                    break
                reply += data
    except OSError:
        return None
    return time.monotonic() - start if reply.startswith(b"HTTP/1.1 200") else None


def pings(port, seconds, source="127.0.0.1", path="/ping"):
    """One request every 50 ms (or right after a slower one) for that long."""
    times = []
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        t = ping(port, source, path)
        times.append(t)
        if t is not None and t < 0.05:
            time.sleep(0.05 - t)
    return times


def figures(times):
    ok = sorted(t for t in times if t is not None)
    if not ok:
        return "%4d sent, none answered" % len(times)
    pick = lambda q: ok[min(len(ok) - 1, int(q * len(ok)))] * 1000
    return "%4d sent %4d answered %4d <100ms   p50 %7.1f  p99 %7.1f  max %7.1f ms" % (
        len(times), len(ok), sum(1 for t in ok if t < 0.1), pick(0.5), pick(0.99), ok[-1] * 1000)


def measure(name, port, seconds):
    print("%-14s quiet        %s" % (name, figures(pings(port, 5))))
    host = SlowHost(port, count=200, seconds=seconds + 15).start()
    time.sleep(3)  # the slow host's first connections are in
    local = pings(port, seconds)
    other = pings(port, 3, source="127.0.0.3", path="/getBroadcast")
    host.stop()
    print("%-14s slow host    %s" % (name, figures(local)))
    print("%-14s other host   %s   (/getBroadcast from 127.0.0.3)" % (name, figures(other)))
    print("%-14s the slow host opened %d connections, %d closed by the server within 1 s, "
          "%d open at most" % (name, host.opened, host.closed_early, host.most_open))
    time.sleep(11)  # the workers the slow host held are free again


def main():
    seconds = int(sys.argv[1]) if len(sys.argv) > 1 else 20
    work = tempfile.mkdtemp(prefix="ludarium-slow-host-bench-")
    shutil.copy2(os.path.join(BIN, "ludarium"), work)
    server = subprocess.Popen([os.path.join(work, "ludarium")], cwd=work, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    bare = None
    try:
        body = os.path.join(work, "broadcast.json")
        with open(body, "wb") as f:
            f.write(b'{"status":1,"msg":"ok","broadcast":{}}')
        bare = subprocess.Popen([os.path.join(BIN, "bare_civetweb"), "40090", body])
        time.sleep(1.5)
        measure("ludarium", 40080, seconds)
        measure("bare CivetWeb", 40090, seconds)
    finally:
        server.kill()
        if bare:
            bare.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
