# platforms: linux windows
"""A load of short connections: student connections that each send a
USER_INFO whose body is one of the JSON texts of our fuzz corpora and close
about 50 ms later (some after reading the server's ask, some at once, some
with a reset), beside HTTP requests that carry the same texts as the `info`
of /ping and /commitCourseInfo. Afterwards the server still answers, every
one of those sessions has ended, and a real tablet logs in."""
import json
import os
import socket
import struct
import threading
import time
import unittest

import lud

HTTP = 40080
STUDENTS = 45678
CORPORA = ("json_round_trip", "course", "instruction", "user_info")
SECONDS = 15          # the load runs at least this long ...
MOST_SECONDS = 180    # ... and until every text went both ways, within this


def corpus_texts():
    """Every text of the JSON corpora, and each cut short twice (a body or an
    info that ends in the middle of a value)."""
    root = os.path.join(os.environ.get("LUD_SOURCE_DIR", "."), "tests", "fuzz", "corpus")
    texts = []
    for corpus in CORPORA:
        directory = os.path.join(root, corpus)
        for name in sorted(os.listdir(directory)):
            with open(os.path.join(directory, name), "rb") as f:
                text = f.read()
            texts.append(text)
            for cut in (len(text) // 3, len(text) - 1):
                if 0 < cut < len(text):
                    texts.append(text[:cut])
    return texts


class Load:
    """Runs student and HTTP workers over the texts until stopped; counts
    what they did and keeps the HTTP requests that got no reply."""

    def __init__(self, texts):
        self.texts = texts
        self.lock = threading.Lock()
        self.bodies_sent = set()     # indexes of texts sent as a USER_INFO body
        self.infos_sent = set()      # indexes of texts answered as an info
        self.connections = 0
        self.requests = 0
        self.unanswered = []         # (path, what happened)
        self.stop = threading.Event()

    def student(self, worker):
        n = worker
        while not self.stop.is_set():
            index = n % len(self.texts)
            body = self.texts[index]
            try:
                s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
                s.settimeout(10)
                s.connect(("127.0.0.1", STUDENTS))
                if n % 3 == 0:
                    s.recv(4096)  # the server's USER_INFO_REQUEST
                frame = lud.frame_head(len(body), lud.Tablet.USER_INFO).encode() + b"\n" + body
                s.sendall(frame)
                time.sleep(0.05)
                if n % 4 == 1:
                    # Ends with a reset instead of an orderly close.
                    s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                s.close()
                with self.lock:
                    self.connections += 1
                    self.bodies_sent.add(index)
            except OSError:
                pass  # the server may close a session at any point; the next one goes on
            n += 4

    def http(self, worker):
        n = worker
        while not self.stop.is_set():
            index = n % len(self.texts)
            info = lud.quote_info(self.texts[index].decode("latin-1"))
            answered = 0
            for path in ("/ping", "/commitCourseInfo"):
                try:
                    status = lud.http_get(HTTP, "%s?info=%s" % (path, info), timeout=30)[0]
                except OSError as e:
                    status = repr(e)
                if status.startswith("HTTP/1.1 200"):
                    answered += 1
                else:
                    self.unanswered.append((path, status))
                    self.stop.set()
            with self.lock:
                self.requests += 2
                if answered == 2:
                    self.infos_sent.add(index)
            n += 2

    def covered(self):
        with self.lock:
            return len(self.bodies_sent) == len(self.texts) and len(self.infos_sent) == len(self.texts)


class ShortConnectionsTest(lud.ServerTest):
    def test_the_server_outlives_many_short_connections(self):
        server = self.start()
        self.assertTrue(lud.wait_http(HTTP, timeout=120), "ludarium did not answer /ping")
        self.assertTrue(server.wait_log(r"Listen ok$", timeout=60))
        course = "/commitCourseInfo?info=" + lud.quote_info(
            json.dumps({"class": {"class_id": 12, "name": "c"}}))
        lud.http_get(HTTP, course)

        load = Load(corpus_texts())
        workers = [threading.Thread(target=load.student, args=(i,), daemon=True) for i in range(4)]
        workers += [threading.Thread(target=load.http, args=(i,), daemon=True) for i in range(2)]
        started = time.monotonic()
        for w in workers:
            w.start()
        load.stop.wait(SECONDS)
        lud.wait_for(lambda: load.stop.is_set() or load.covered(), MOST_SECONDS - SECONDS, 0.5)
        load.stop.set()
        for w in workers:
            w.join(60)
        print("%d short student connections and %d HTTP requests in %.1f s over %d texts"
              % (load.connections, load.requests, time.monotonic() - started, len(load.texts)))

        def why():
            return "ludarium %s; its console:\n%s" % (
                "ended" if server.proc.poll() is not None else "runs", server.console()[-2000:])

        self.assertEqual([], load.unanswered[:5], why())
        self.assertTrue(load.covered(), "not every text was sent both ways; " + why())
        self.assertIsNone(server.proc.poll(), why())
        self.assertTrue(lud.http_get(HTTP, "/ping", timeout=30)[0].startswith("HTTP/1.1 200"))
        lud.http_get(HTTP, course)

        tablet = lud.Tablet(STUDENTS)
        self.addCleanup(tablet.close)
        reply = tablet.login(user_id=4242, class_id=12, mac="real-tablet")
        self.assertIsNotNone(reply, why())
        self.assertEqual(lud.Tablet.ACK, reply[0]["type"])
        # Every short session has ended: only the real tablet is online.
        only = b'{"status":1,"msg":"ok","recordset":{"onlines":1,"users":[4242]}}'
        online = lambda: lud.http_get(HTTP, "/activeUserList?info=" + lud.quote_info(
            json.dumps({"class_id": 12})), timeout=30)[2]
        self.assertTrue(lud.wait_for(lambda: online() == only, 60, 0.5), online())


if __name__ == "__main__":
    unittest.main()
