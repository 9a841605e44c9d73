# platforms: linux
"""The operation-command relay: order, limits, waits, other hosts, and the
bound on waiting pulls that keeps the rest of the API answering."""
import re
import threading
import time
import unittest
import urllib.parse

import lud

PORT = 40080
OK = b'{"status":1,"msg":"ok"}'
WORKERS = 20


def send(type_, cmd, source="127.0.0.1"):
    q = urllib.parse.urlencode({"type": type_, "info": cmd})
    return lud.http_get(PORT, "/sendOpCmd?" + q, source=source)[2]


def pull(type_, timeout, source="127.0.0.1"):
    """Returns (body, seconds taken)."""
    q = urllib.parse.urlencode({"type": type_, "timeout": timeout})
    start = time.monotonic()
    body = lud.http_get(PORT, "/pullOpCmd?" + q, source=source, timeout=60)[2]
    return body, time.monotonic() - start


class Relay(lud.ServerTest):
    def setUp(self):
        super().setUp()
        self.server = self.start()
        self.assertTrue(lud.wait_http(PORT))

    def test_oldest_twenty_are_kept_and_types_do_not_mix(self):
        for i in range(1, 26):
            self.assertEqual(OK, send("a", "cmd%d" % i))
        self.assertEqual(OK, send("b", "other"))
        self.assertEqual(b"cmd6", pull("a", "1")[0])
        self.assertTrue(self.server.wait_log(r" w, OpCmd\.cpp:\d+ OpCmd::set [0-9A-F]{8} "
                                             r"typeList\.size\(\)=21, drop old cmd$"))
        drops = lambda: len(re.findall(r"typeList\.size\(\)=21, drop old cmd", self.server.log_text()))
        self.assertTrue(lud.wait_for(lambda: drops() >= 5))
        self.assertEqual(b"other", pull("b", "1")[0])
        self.assertEqual(b"cmd7", pull("a", "1")[0])
        self.assertEqual(5, drops())

    def test_raw_reply_and_missing_parameters(self):
        send("t", "a&b c/é")
        _, headers, body = lud.http_post(PORT, "/pullOpCmd", "type=t&timeout=3")
        self.assertEqual("a&b c/é".encode(), body)
        self.assertEqual(str(len(body)), headers["content-length"])
        self.assertEqual("text/plain;charset=utf-8", headers["content-type"])
        self.assertEqual(b'{"status":0,"msg":"no info or type"}',
                         lud.http_get(PORT, "/sendOpCmd?info=x&type=")[2])
        self.assertEqual(b'{"status":0,"msg":"no timeout or type"}', lud.http_get(PORT, "/pullOpCmd?type=t")[2])

    def test_an_empty_wait_and_a_command_sent_during_a_wait(self):
        body, took = pull("empty", "5")
        self.assertEqual(b"", body)
        self.assertGreaterEqual(took, 4.9)
        self.assertLess(took, 15)
        result = {}
        t = threading.Thread(target=lambda: result.update(r=pull("late", "15")))
        t.start()
        time.sleep(1)
        send("late", "now")
        t.join(60)
        body, took = result["r"]
        self.assertEqual(b"now", body)
        self.assertLess(took, 10)  # well before the 15 s wait ran out

    def test_other_hosts_send_and_pull(self):
        self.assertEqual(OK, send("x", "from-far", source="127.0.0.2"))
        self.assertEqual(b"from-far", pull("x", "2", source="127.0.0.3")[0])

    def test_waiting_pulls_never_starve_the_api(self):
        # Twice the limit: half wait, the rest are answered at once. The
        # odd timeouts all mean 20 s. From this machine: another host may
        # not hold that many connections at once (test_slow_host.py).
        timeouts = ["0", "abc", "-1", "100"]
        results = [None] * WORKERS
        threads = []
        for i in range(WORKERS):
            def run(i=i):
                results[i] = pull("starve", timeouts[i % 4])
            threads.append(threading.Thread(target=run))
        start = time.monotonic()
        for t in threads:
            t.start()
        # The pulls beyond the limit come back empty at once, with a warning.
        self.assertTrue(lud.wait_for(lambda: sum(r is not None for r in results) >= WORKERS // 2, timeout=15))
        self.assertTrue(self.server.wait_log(r" w, APIPullOpCmd\.cpp:\d+ APIPullOpCmd::pull [0-9A-F]{8} "
                                             r"10 pulls wait already"))
        self.assertEqual(WORKERS // 2, sum(r is not None for r in results))
        # While the limit's worth of pulls wait, the rest of the API answers.
        send_cmd = ("/sendCmd?target=" + lud.quote_info('{"type":"class","class_id":12}') +
                    "&command=" + lud.quote_info('{"id":"7","params":{"action":"lock_screen"}}'))
        for path in ("/ping", "/getBroadcast", "/getAPIServer?info=%7B%7D", "/loginUserGet?info=%7B%7D",
                     send_cmd):
            t0 = time.monotonic()
            status, _, body = lud.http_get(PORT, path, timeout=30)
            self.assertIn(b'"status":1', body, path)
            self.assertLess(time.monotonic() - t0, 5, path)
        # A command sent now goes to one of the waiting pulls.
        self.assertEqual(OK, send("starve", "wake"))
        for t in threads:
            t.join(60)
        self.assertEqual(1, sum(r[0] == b"wake" for r in results))
        waited = [took for body, took in results if body == b"" and took > 10]
        self.assertEqual(WORKERS // 2 - 1, len(waited))
        for took in waited:
            self.assertGreaterEqual(took, 19.5)  # every odd timeout waited 20 s
        self.assertLess(time.monotonic() - start, 60)


if __name__ == "__main__":
    unittest.main()
