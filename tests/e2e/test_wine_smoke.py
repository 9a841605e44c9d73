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
        server = self.start()
        self.assertTrue(lud.wait_http(PORT, timeout=120), "ludarium.exe did not answer /ping")
        # The policy server starts last: the start-up is over when it listens.
        self.assertTrue(server.wait_started())
        # Every candidate port: under Wine the server's port probe may find a
        # port of this listener busy.
        listener = lud.CourseListener("10.77.0.255", [p for ch in lud.COURSE_CHANNELS for p in ch])
        self.addCleanup(listener.close)
        info = json.dumps({"class": {"class_id": 21, "name": "w"}})
        self.assertEqual(b'{"status":1,"msg":"ok"}',
                         lud.http_get(PORT, "/commitCourseInfo?info=" + lud.quote_info(info))[2])
        # The adapter choice runs after the commit has stored the course: the
        # course may go out once before it settles (a changed text goes out
        # at once, so the settled one follows).
        courses = []

        def settled():
            got = listener.receive(timeout=5)
            if got is not None:
                courses.append(json.loads(got[1]))
            return courses and courses[-1]["class_id"] == 21 and courses[-1]["socket_ip"] == "10.77.0.1"
        self.assertTrue(lud.wait_for(settled, timeout=60), courses)
        course = courses[-1]
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


    def test_one_tablet_logs_in_gets_a_command_and_answers(self):
        server = self.start(args=["10"])
        self.assertTrue(lud.wait_http(PORT, timeout=120))
        self.assertTrue(server.wait_log(r"Listen ok$", timeout=30))
        info = json.dumps({"class": {"class_id": 12, "name": "c"}})
        lud.http_get(PORT, "/commitCourseInfo?info=" + lud.quote_info(info))
        t = lud.Tablet(45678)
        self.addCleanup(t.close)
        self.assertEqual(t.ACK, t.login(user_id=5, class_id=12)[0]["type"])
        self.assertIsNotNone(t.expect(t.HEARTBEAT, timeout=10, skip=()))
        t.send_frame(t.HEARTBEAT_REPLY)
        command = json.dumps({"id": "1001", "params": {"action": "lock_screen"}})
        target = json.dumps({"type": "class", "class_id": 12})
        _, _, body = lud.http_get(PORT, "/sendCmd?target=%s&command=%s" % (lud.quote_info(target),
                                                                            lud.quote_info(command)))
        self.assertEqual(b'{"status":1,"msg":"ok"}', body)
        frame = t.expect(t.INSTRUCTION, timeout=15)
        self.assertIsNotNone(frame)
        self.assertEqual(b'{"id":"1001","params":{"action":"lock_screen"},"lock_screen":1}', frame[2])
        t.send_frame(t.INSTRUCTION_RECEIPT, instruct_id="1001")
        expected = b'{"status":1,"msg":"ok","recordset":{"onlines":1,"response":1,"users":[5]}}'
        info = lud.quote_info(json.dumps({"class_id": 12, "command_id": "1001"}))
        self.assertTrue(lud.wait_for(lambda: lud.http_get(PORT, "/userResponse?info=" + info)[2] == expected, 15))


if __name__ == "__main__":
    unittest.main()
