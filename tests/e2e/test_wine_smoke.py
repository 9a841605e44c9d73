# platforms: windows
"""ludarium.exe under Wine: its HTTP API and the course over loopback, and
the course broadcast on a veth interface inside the test's namespace."""
import json
import socket
import unittest

import lud

PORT = 40080


def setUpModule():
    lud.add_veth("v0", ["10.77.0.1/24"])


class WineSmoke(lud.ServerTest):
    def test_ping_commit_and_get_broadcast(self):
        server = self.start()
        self.assertTrue(lud.wait_http(PORT, timeout=120), "ludarium.exe did not answer /ping")
        _, _, body = lud.http_get(PORT, "/ping")
        self.assertTrue(body.startswith(b'{"status":1,"msg":"ok","recordset":{"version_code":1014,'))
        info = json.dumps({"teacher": {"user_id": 5, "name": "王"}, "class": {"class_id": 12, "name": "c"}},
                          ensure_ascii=False)
        _, _, body = lud.http_get(PORT, "/commitCourseInfo?info=" + lud.quote_info(info))
        self.assertEqual(b'{"status":1,"msg":"ok"}', body)
        course = json.loads(lud.http_get(PORT, "/getBroadcast", source="127.0.0.2")[2])["broadcast"]
        self.assertEqual(12, course["class_id"])
        self.assertEqual("%e7%8e%8b", course["teacher_name"])
        self.assertTrue(server.wait_log(r"HttpServer running on 127\.0\.0\.1:40080$", timeout=30))
        stored = lud.wait_for(lambda: '"class_id":12' in (lud.store_get("gBorcastObj.getJSONString()") or ""),
                              timeout=30)
        self.assertTrue(stored)

    def test_course_broadcast_reaches_a_tablet(self):
        self.start()
        self.assertTrue(lud.wait_http(PORT, timeout=120), "ludarium.exe did not answer /ping")
        # Every candidate port: under Wine the server's port probe may find a
        # port of this listener busy.
        listener = lud.CourseListener("10.77.0.255", [p for ch in lud.COURSE_CHANNELS for p in ch])
        self.addCleanup(listener.close)
        info = json.dumps({"class": {"class_id": 21, "name": "w"}})
        self.assertEqual(b'{"status":1,"msg":"ok"}',
                         lud.http_get(PORT, "/commitCourseInfo?info=" + lud.quote_info(info))[2])
        got = listener.receive(timeout=60)
        self.assertIsNotNone(got, "no course datagram from ludarium.exe")
        course = json.loads(got[1])
        self.assertEqual(21, course["class_id"])
        self.assertEqual("10.77.0.1", course["socket_ip"])
        self.assertEqual(40300, course["as_policy_port"])
        with socket.create_connection(("127.0.0.1", 40300), timeout=60) as s:
            reply = b""
            while True:
                data = s.recv(4096)
                if not data:
                    break
                reply += data
        self.assertEqual(90, len(reply))
        self.assertTrue(reply.startswith(b"<cross-domain-policy>\n"))


if __name__ == "__main__":
    unittest.main()
