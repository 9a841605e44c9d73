# platforms: linux
"""Discovery: the course broadcast, the network adapters and the policy
server. Extra interfaces are veth pairs inside the test's own namespace
(scripts/in-netns), so every datagram stays in it."""
import json
import os
import socket
import subprocess
import sys
import threading
import time
import unittest

import lud

PORT = 40080
OK = b'{"status":1,"msg":"ok"}'
POLICY = (b'<cross-domain-policy>\n<allow-access-from domain="*" to-ports="*"/>\n'
          b'</cross-domain-policy>\n')
NET0 = "10.77.0.255"  # v0, the first working adapter
NET1 = "10.78.0.255"  # v1, two addresses and a known hardware address


def commit(class_id, name="c"):
    info = json.dumps({"teacher": {"user_id": 5, "name": "t"}, "grade": {"name": "g"},
                       "class": {"class_id": class_id, "name": name}, "subject": {"name": "s"}})
    return lud.http_get(PORT, "/commitCourseInfo?info=" + lud.quote_info(info))[2]


def broadcast():
    return json.loads(lud.http_get(PORT, "/getBroadcast")[2])["broadcast"]


def read_all(sock):
    """Every byte up to the server's close. A request that reaches the
    server only after it closed draws a reset, which ends the read as well."""
    chunks = []
    while True:
        try:
            data = sock.recv(4096)
        except ConnectionResetError:
            data = b""
        if not data:
            return b"".join(chunks)
        chunks.append(data)


class BusyPort:
    """A TCP listener on 127.0.0.1 that accepts and closes every connection,
    so the server's port probes find the port in use as often as they ask."""

    def __init__(self, port):
        self.listener = lud.Listener(port)
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        while True:
            try:
                conn, _ = self.listener.sock.accept()
            except OSError:
                return
            conn.close()

    def close(self):
        self.listener.sock.shutdown(socket.SHUT_RDWR)
        self.listener.close()


def setUpModule():
    lud.add_veth("v0", ["10.77.0.1/24"])
    lud.add_veth("v1", ["10.78.0.1/24", "10.78.0.2/24"], mac="00:1a:2b:3c:4d:5e")
    lud.add_veth("v2", ["10.79.0.1/24"], up=False)


class Discovery(lud.ServerTest):
    def start_server(self):
        server = self.start()
        self.assertTrue(lud.wait_http(PORT), "the HTTP API did not come up")
        self.assertTrue(server.wait_started())
        return server

    def listen(self, broadcast_ip, ports):
        listener = lud.CourseListener(broadcast_ip, ports)
        self.addCleanup(listener.close)
        return listener

    def busy(self, port):
        b = BusyPort(port)
        self.addCleanup(b.close)
        return b

    def receive_both(self, listener, timeout=10.0):
        """The next datagram of each of two ports: {port: (bytes, time)}."""
        got = {}
        end = time.monotonic() + timeout
        while len(got) < 2:
            r = listener.receive(max(0.0, end - time.monotonic()))
            self.assertIsNotNone(r, "only %s received" % sorted(got))
            got[r[0]] = (r[1], r[2])
        return got

    def receive_course(self, listener, class_name, timeout=10.0):
        """The next course datagram with that class name, parsed."""
        end = time.monotonic() + timeout
        while True:
            r = listener.receive(max(0.0, end - time.monotonic()))
            self.assertIsNotNone(r, "no course %s" % class_name)
            course = json.loads(r[1])
            if course["class_name"] == class_name:
                return course

    def test_course_goes_out_on_both_channels_at_once_then_every_nine_seconds(self):
        server = self.start_server()
        listener = self.listen(NET0, (40011, 40214))
        sent = time.monotonic()
        self.assertEqual(OK, commit(12))
        got = self.receive_both(listener)
        self.assertEqual({40011, 40214}, set(got))
        text = got[40011][0]
        self.assertEqual(text, got[40214][0])
        course = json.loads(text)
        self.assertEqual(broadcast(), course)
        self.assertEqual(12, course["class_id"])
        self.assertEqual("10.77.0.1", course["socket_ip"])
        self.assertEqual(40300, course["as_policy_port"])
        self.assertIn("socket_port", course)
        first = got[40011][1]
        print("\nfirst datagram %.0f ms after the commit was sent" % ((first - sent) * 1000),
              file=sys.stderr)
        self.assertIn("-----------Send: " + text.decode() + " \n", server.console())

        # A repeat right after the first is allowed (an old tick); then the
        # same text comes back about 9 s later, not sooner.
        arrivals = []
        while True:
            r = listener.receive(20)
            self.assertIsNotNone(r, "no repeat within 20 s")
            if r[0] != 40011:
                continue
            self.assertEqual(text, r[1])
            arrivals.append(r[2] - first)
            if r[2] - first > 1.0:
                break
        repeat = arrivals[-1]
        print("repeat %.2f s after the first" % repeat, file=sys.stderr)
        self.assertGreater(repeat, 5.0)

    def test_simulated_tablets_find_the_server_from_the_broadcast_alone(self):
        self.start_server()
        self.assertEqual(OK, commit(12))
        out = subprocess.run([os.path.join(lud.BIN_DIR, "ludtablet"), "--discover", "10.77.0.255",
                              "--count", "3", "--class", "12", "--seconds", "5"],
                             capture_output=True, text=True, timeout=60)
        self.assertRegex(out.stdout, r"discovered 10\.77\.0\.1:4567\d")
        self.assertIn("logged in 3 of 3", out.stdout)

    def test_channel_zero_moves_to_ports_not_in_use(self):
        self.busy(40011)
        self.start_server()
        listener = self.listen(NET0, (40011, 40112, 40213, 40214))
        self.assertEqual(OK, commit(7, "first"))
        got = self.receive_both(listener)
        self.assertEqual({40112, 40214}, set(got))
        self.assertEqual("first", json.loads(got[40112][0])["class_name"])

        self.busy(40112)
        self.assertEqual(OK, commit(7, "second"))  # a changed course goes out at once
        got = {}
        while len(got) < 2:
            r = listener.receive(10)
            self.assertIsNotNone(r)
            if json.loads(r[1])["class_name"] == "second":
                got[r[0]] = r[1]
        self.assertEqual({40213, 40214}, set(got))

    def test_policy_reply_with_or_without_a_request(self):
        server = self.start_server()
        self.assertTrue(server.wait_log(r"Bind ok,Port:40300$"))
        self.assertTrue(server.wait_log(r"ASAuthorizeServer::ListenSocket [0-9A-F]{8} Listen ok$"))
        with socket.create_connection(("127.0.0.1", 40300), timeout=30) as s:
            own_port = s.getsockname()[1]
            self.assertEqual(POLICY, read_all(s))  # nothing sent: the reply, then the close
        self.assertTrue(server.wait_log(r"Accept 127\.0\.0\.1:%d$" % own_port))
        with socket.create_connection(("127.0.0.1", 40300), timeout=30) as s:
            s.sendall(b"<policy-file-request/>\0")
            self.assertEqual(POLICY, read_all(s))
        self.assertNotIn("Accept error", server.log_text())

    def test_policy_server_takes_the_next_free_port(self):
        self.busy(40300)
        server = self.start_server()
        self.assertTrue(server.wait_log(r"Bind ok,Port:40301$"))
        # A tablet that listens before the course is published.
        result = []
        tablet = threading.Thread(target=lambda: result.append(lud.discover_server(NET0)))
        tablet.start()
        time.sleep(0.5)
        self.assertEqual(OK, commit(3))
        self.assertEqual(40301, broadcast()["as_policy_port"])
        tablet.join()
        found = result[0]
        self.assertIsNotNone(found)
        self.assertEqual(40301, found["as_policy_port"])
        self.assertEqual("10.77.0.1", found["socket_ip"])
        with socket.create_connection(("127.0.0.1", found["as_policy_port"]), timeout=30) as s:
            self.assertEqual(POLICY, read_all(s))

    def test_adapter_listing(self):
        server = self.start_server()
        _, _, body = lud.http_get(PORT, "/getMoreNetCardInfo")
        reply = json.loads(body)
        self.assertEqual(1, reply["status"])
        self.assertEqual(["status", "msg", "recordset"], list(reply))
        cards = reply["recordset"]
        self.assertEqual(["v0", "v1"], [c["name"] for c in cards])  # not v2 (down), not lo
        v1 = cards[1]
        self.assertEqual(["name", "desc", "mac", "IP Address", "IP Mask", "Gateway"], list(v1))
        self.assertEqual("00-1a-2b-3c-4d-5e", v1["mac"])
        self.assertEqual("10.78.0.1", v1["IP Address"])  # listed once, with its first address
        self.assertEqual("255.255.255.0", v1["IP Mask"])
        self.assertEqual("0.0.0.0", v1["Gateway"])
        self.assertEqual("veth", v1["desc"])
        self.assertIn("Status: deactive\n", server.console())

        subprocess.run(["ip", "route", "add", "default", "via", "10.77.0.254", "dev", "v0"], check=True)
        self.addCleanup(subprocess.run, ["ip", "route", "del", "default"])
        cards = json.loads(lud.http_get(PORT, "/getMoreNetCardInfo")[2])["recordset"]
        self.assertEqual(["10.77.0.254", "0.0.0.0"], [c["Gateway"] for c in cards])

    def test_select_net_card(self):
        server = self.start_server()
        listener1 = self.listen(NET1, (40011,))
        listener0 = self.listen(NET0, (40011,))
        self.assertEqual(OK, commit(1))
        self.assertEqual("10.77.0.1", broadcast()["socket_ip"])

        _, _, body = lud.http_get(PORT, "/selectNetCard?info=" + lud.quote_info('{"ip":"10.78.0.1"}'))
        self.assertEqual(OK, body)
        self.assertIn("-----------------selectNetCard", server.console())
        self.assertEqual("10.78.0.1", broadcast()["socket_ip"])
        self.assertEqual(OK, commit(1, "on-v1"))  # a replaced course keeps the choice
        course = self.receive_course(listener1, "on-v1")
        self.assertEqual("10.78.0.1", course["socket_ip"])

        # An address no adapter carries: the first working adapter again.
        _, _, body = lud.http_get(PORT, "/selectNetCard?info=" + lud.quote_info('{"ip":"10.99.0.1"}'))
        self.assertEqual(OK, body)
        self.assertEqual("10.77.0.1", broadcast()["socket_ip"])
        self.assertEqual(OK, commit(1, "back-on-v0"))
        self.assertEqual("10.77.0.1", self.receive_course(listener0, "back-on-v0")["socket_ip"])

        # A matching adapter is taken even when it is down.
        lud.http_get(PORT, "/selectNetCard?info=" + lud.quote_info('{"ip":"10.79.0.1"}'))
        self.assertEqual("10.79.0.1", broadcast()["socket_ip"])

    def test_select_net_card_refuses_bad_info(self):
        self.start_server()
        reply = json.loads(lud.http_get(PORT, "/selectNetCard?info=%7B%7D")[2])
        self.assertEqual(0, reply["status"])
        self.assertTrue(reply["msg"].startswith("exception: "))
        self.assertTrue(reply["msg"].endswith(" parse info error"))
        reply = json.loads(lud.http_get(PORT, "/selectNetCard?info=nojson")[2])
        self.assertTrue(reply["msg"].endswith(" parse info error"))
        self.assertEqual(b'{"status":0,"msg":"no info"}', lud.http_get(PORT, "/selectNetCard")[2])
        too_long = lud.quote_info('{"ip":"%s"}' % ("1" * 1020))  # 1029 bytes decoded
        self.assertEqual(b'{"status":0,"msg":"no info"}',
                         lud.http_get(PORT, "/selectNetCard?info=" + too_long)[2])
        _, _, body = lud.http_get(PORT, "/selectNetCard", source="127.0.0.2")
        self.assertEqual(b'{"status": 0, "msg":"no such api"}', body)


if __name__ == "__main__":
    unittest.main()
