"""A slow host: from one address, keeps up to `count` connections open to an
HTTP port, each sending a request's head a line a second and never ending
it; every 2-3 s it opens new ones in place of those the server closed. It is
bounded: it stops by itself after `seconds` and closes everything.

Used by the end-to-end test of the HTTP API under such a host and by
bench/slow_host_bench.py."""
import errno
import random
import selectors
import socket
import threading
import time


class SlowHost:
    def __init__(self, port, source="127.0.0.2", count=200, seconds=20.0, path="/getBroadcast"):
        self.port = port
        self.source = source
        self.count = count
        self.seconds = seconds
        self.request_line = ("GET %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n" % (path, port)).encode()
        self.opened = 0          # connections opened in all
        self.closed_early = 0    # closed by the server within a second of opening
        self.most_open = 0       # most connections open at once
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)

    def start(self):
        self._thread.start()
        return self

    def stop(self):
        self._stop.set()
        self._thread.join(30)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def _open(self, sel, conns):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.setblocking(False)
        try:
            s.bind((self.source, 0))
            s.connect_ex(("127.0.0.1", self.port))
        except OSError:
            s.close()
            return
        self.opened += 1
        conns[s] = {"born": time.monotonic(), "sent": 0}
        sel.register(s, selectors.EVENT_READ)

    def _close(self, sel, conns, s, by_server):
        if by_server and time.monotonic() - conns[s]["born"] < 1.0:
            self.closed_early += 1
        sel.unregister(s)
        del conns[s]
        s.close()

    def _drip(self, sel, conns):
        for s, state in list(conns.items()):
            piece = self.request_line if state["sent"] == 0 else b"X-Slow-%d: 1\r\n" % state["sent"]
            try:
                s.send(piece)
                state["sent"] += 1
            except (BlockingIOError, InterruptedError):
                pass
            except OSError as e:
                if e.errno not in (errno.ENOTCONN, errno.EAGAIN):
                    self._close(sel, conns, s, True)

    def _run(self):
        sel = selectors.DefaultSelector()
        conns = {}
        end = time.monotonic() + self.seconds
        next_open = next_drip = time.monotonic()
        try:
            while not self._stop.is_set():
                now = time.monotonic()
                if now >= end:
                    break
                if now >= next_open:
                    while len(conns) < self.count:
                        self._open(sel, conns)
                    self.most_open = max(self.most_open, len(conns))
                    next_open = now + random.uniform(2.0, 3.0)
                if now >= next_drip:
                    self._drip(sel, conns)
                    next_drip = now + 1.0
                for key, _ in sel.select(0.1):
                    s = key.fileobj
                    try:
                        data = s.recv(4096)
                    except (BlockingIOError, InterruptedError):
                        continue
                    except OSError:
                        data = b""
                    if not data:
                        self._close(sel, conns, s, True)
        finally:
            for s in list(conns):
                self._close(sel, conns, s, False)
            sel.close()
