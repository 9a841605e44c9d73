# platforms: linux
"""Student sessions where tablets go away or misbehave: a closed connection
is noticed at once in every state, impossible body lengths end the session,
a record of up to 1 MiB is read, and the same-device and live-session rules
look at live sessions only."""
import json
import re
import time
import unittest

import lud

HTTP = 40080
STUDENTS = 45678


def commit(class_id):
    info = json.dumps({"class": {"class_id": class_id, "name": "c"}})
    return lud.http_get(HTTP, "/commitCourseInfo?info=" + lud.quote_info(info))[2]


def online(class_id=12):
    reply = lud.http_get(HTTP, "/activeUserList?info=" + lud.quote_info(json.dumps({"class_id": class_id})))[2]
    return json.loads(reply)["recordset"]["users"]


class SessionFaults(lud.ServerTest):
    def setUp(self):
        super().setUp()
        self.server = self.start()
        self.assertTrue(lud.wait_http(HTTP))
        self.assertTrue(self.server.wait_log(r"Listen ok$"))
        commit(12)

    def tablet(self):
        t = lud.Tablet(STUDENTS)
        self.addCleanup(t.close)
        return t

    def logged_in(self, user_id, mac):
        t = self.tablet()
        self.assertEqual(t.ACK, t.login(user_id=user_id, mac=mac)[0]["type"])
        return t

    def test_closed_connection_ends_the_session_in_every_state(self):
        # Waiting for the record: ended at once, not by the 2 s overtime.
        t = self.tablet()
        self.assertEqual(t.USER_INFO_REQUEST, t.recv_frame()[0]["type"])
        t.close()
        self.assertTrue(self.server.wait_log(r" e, .*offline 127\.0\.0\.1:\d+ 0 \[offline\]$", timeout=1.5))
        # Working: the student leaves the online list within a moment.
        t = self.logged_in(50, "m50")
        self.assertIn(50, online())
        t.close()
        self.assertTrue(self.server.wait_log(r"offline 10\.0\.0\.50:\d+ 0 \[offline\]$", timeout=3))
        self.assertTrue(lud.wait_for(lambda: 50 not in online(), 3))
        # Saying goodbye (QUIT for another class), closed without an answer.
        t = self.logged_in(51, "m51")
        commit(13)
        self.assertIsNotNone(t.expect(t.QUIT, timeout=5))
        t.close()
        self.assertTrue(self.server.wait_log(r"offline 10\.0\.0\.51:\d+ 0 \[offline\]$", timeout=3))
        self.assertNotIn("rquit_overtime", self.server.log_text())
        self.assertTrue(self.server.wait_log(r"task size:0$"))

    def test_impossible_body_lengths_end_the_session(self):
        for user_id, length, type_ in ((52, 2000000, 8), (53, -5, 9)):
            t = self.logged_in(user_id, "m%d" % user_id)
            t.send(('{"type":%d,"content-length":%d,"instruct_id":"1"}\n' % (type_, length)).encode()
                   + lud.frame_head(0, 8).encode() + b"\n")
            self.assertTrue(t.closed(timeout=5))
            self.assertTrue(self.server.wait_log(
                r" e, .*offline 10\.0\.0\.%d:\d+ content-length %d type %d \[offline\]$" % (user_id, length, type_)))
        self.assertIsNone(self.server.proc.poll())

    def test_record_of_nearly_one_mebibyte_is_read(self):
        t = self.tablet()
        t.expect(t.USER_INFO_REQUEST)
        name = "n" * (1024 * 1024 - 200)
        body = json.dumps({"user_id": 54, "class_id": 12, "user_name": name, "user_ip": "10.0.0.54"})
        self.assertLessEqual(len(body), 1024 * 1024)
        t.send_frame(t.USER_INFO, body)
        self.assertEqual(t.ACK, t.recv_frame(timeout=5)[0]["type"])
        self.assertIn(54, online())

    def test_same_device_login_spares_a_session_saying_goodbye(self):
        # Student 61 is known (logged in once from device M, then left).
        b = self.logged_in(61, "M")
        b.close()
        self.assertTrue(lud.wait_for(lambda: 61 not in online(), 3))
        # Student 60 on M, then again on N: the session on M is kicked off and
        # waits for its answer, which never comes.
        self.logged_in(60, "M")
        self.logged_in(60, "N")
        self.assertTrue(self.server.wait_log(r"task \d+ kick off$"))
        # Student 61 comes back on M while that session says goodbye. It no
        # longer speaks for student 60, whose login on N must stay online.
        self.logged_in(61, "M")
        self.assertTrue(self.server.wait_log(r"rkickoff_overtime \[offline\]$", timeout=5))
        self.assertNotRegex(self.server.log_text(), r"exit by same mac")
        self.assertEqual([60, 61], online())

    def test_kicked_session_does_not_keep_its_student_online(self):
        self.logged_in(70, "A")
        second = self.logged_in(70, "B")  # kicks the first, which never answers
        self.assertTrue(self.server.wait_log(r"task \d+ kick off$"))
        second.close()  # the new login drops at once
        self.assertTrue(self.server.wait_log(r"offline 10\.0\.0\.70:\d+ 0 \[offline\]$", timeout=3))
        self.assertTrue(self.server.wait_log(r"rkickoff_overtime \[offline\]$", timeout=5))
        self.assertNotIn(70, online())


if __name__ == "__main__":
    unittest.main()
