# platforms: linux
"""Student sessions over real sockets: login, heartbeats, refusals,
kick-off, same-device exit, QUIT, time-outs and bad input."""
import json
import re
import socket
import time
import unittest

import lud

HTTP = 40080
STUDENTS = 45678


def commit(class_id):
    info = json.dumps({"class": {"class_id": class_id, "name": "c"}})
    return lud.http_get(HTTP, "/commitCourseInfo?info=" + lud.quote_info(info))[2]


class Sessions(lud.ServerTest):
    ARGS = ["10"]  # itimeout 10: heartbeats every 2-4 s, time-out 10 s

    def setUp(self):
        super().setUp()
        self.server = self.start(args=self.ARGS)
        self.assertTrue(lud.wait_http(HTTP))
        self.assertTrue(self.server.wait_log(r"Listen ok$"))
        commit(12)

    def tablet(self, **kw):
        t = lud.Tablet(STUDENTS, **kw)
        self.addCleanup(t.close)
        return t

    def test_first_frame_login_and_heartbeats(self):
        t = self.tablet()
        first = t.recv_frame()
        self.assertEqual((lud.frame_head(0, 3) + "\n").encode(), t.raw)
        self.assertEqual(3, first[0]["type"])
        t.send_frame(t.USER_INFO, json.dumps({"user_id": 7, "class_id": 12, "user_mac": "m7"}))
        self.assertEqual(t.ACK, t.recv_frame()[0]["type"])
        self.assertTrue(self.server.wait_log(r"Accept 127\.0\.0\.1:\d+$"))
        # Heartbeats 2000 ms plus 0-1999 ms apart; replies keep the session.
        times = []
        for _ in range(3):
            frame = t.recv_frame(timeout=8)
            self.assertEqual(lud.frame_head(0, 4), frame[1])
            times.append(time.monotonic())
            t.send_frame(t.HEARTBEAT_REPLY)
        gaps = [b - a for a, b in zip(times, times[1:])]
        for gap in gaps:
            self.assertGreater(gap, 1.7)
            self.assertLess(gap, 4.6)

    def test_silent_client_is_dropped_after_two_seconds(self):
        t = self.tablet()
        self.assertEqual(3, t.recv_frame()[0]["type"])
        self.assertTrue(t.closed(timeout=10))
        self.assertTrue(self.server.wait_log(r" e, .*offline 127\.0\.0\.1:\d+ rc_overtime \[offline\]$"))
        self.assertTrue(self.server.wait_log(r"task size:1$"))
        self.assertTrue(self.server.wait_log(r"task size:0$"))

    def test_login_without_user_id_is_refused(self):
        t = self.tablet()
        reply = t.login(user_id=None)
        self.assertEqual(t.LOGIN_REFUSED, reply[0]["type"])
        self.assertTrue(t.closed())

    def test_second_login_kicks_the_first_off(self):
        first = self.tablet()
        self.assertEqual(first.ACK, first.login(user_id=5, mac="A")[0]["type"])
        second = self.tablet()
        self.assertEqual(second.ACK, second.login(user_id=5, mac="B")[0]["type"])
        self.assertIsNotNone(first.expect(first.KICKOFF, timeout=5))
        first.send_frame(first.ACK)
        self.assertTrue(first.closed(timeout=5))
        self.assertTrue(self.server.wait_log(r"task 0 kick off$"))
        # The second session stays.
        self.assertIsNotNone(second.expect(second.HEARTBEAT, timeout=8, skip=()))

    def test_second_login_of_type_one_is_refused(self):
        first = self.tablet()
        first.login(user_id=6, mac="A", log_type=0)
        second = self.tablet()
        self.assertEqual(second.LOGIN_REFUSED, second.login(user_id=6, mac="B", log_type=1)[0]["type"])
        self.assertTrue(second.closed())
        frame = first.recv_frame(timeout=5)  # the first session goes on with heartbeats
        self.assertEqual(first.HEARTBEAT, frame[0]["type"])

    def test_same_device_ends_its_old_session(self):
        old = self.tablet()
        old.login(user_id=8, mac="SAME")
        new = self.tablet()
        self.assertEqual(new.ACK, new.login(user_id=9, mac="SAME")[0]["type"])
        # The new login is another student: it is accepted; the old one, same
        # device, ends without a farewell frame only when its student logs in
        # again. Log in student 8 again from the same device:
        again = self.tablet()
        self.assertEqual(again.ACK, again.login(user_id=8, mac="SAME")[0]["type"])
        self.assertTrue(self.server.wait_log(r"task \d+ exit by same mac$"))
        self.assertTrue(old.closed(timeout=5))
        self.assertNotIn(b'"type":7', old.raw)

    def test_class_change_sends_quit(self):
        t = self.tablet()
        t.login(user_id=10, class_id=12)
        commit(13)
        self.assertIsNotNone(t.expect(t.QUIT, timeout=5))
        t.send_frame(t.ACK)
        self.assertTrue(t.closed(timeout=5))

    def test_student_without_class_gets_quit(self):
        t = self.tablet()
        t.login(user_id=11, extra={"class_id": -1})
        self.assertIsNotNone(t.expect(t.QUIT, timeout=5))
        self.assertTrue(t.closed(timeout=5))
        self.assertTrue(self.server.wait_log(r"offline 10\.0\.0\.11:\d+ rquit_overtime \[offline\]$"))

    def test_unanswered_heartbeats_time_out(self):
        t = self.tablet()
        t.login(user_id=12)
        start = time.monotonic()
        beats = 0
        while True:
            frame = t.recv_frame(timeout=15)
            if frame is None:
                break
            beats += 1
        self.assertTrue(t.closed(timeout=2))
        self.assertGreater(time.monotonic() - start, 9)
        self.assertLessEqual(beats, 5)
        self.assertTrue(self.server.wait_log(r"offline 10\.0\.0\.12:\d+ overtime \[offline\]$"))

    def test_bad_input_never_stalls_other_sessions(self):
        good = self.tablet()
        good.login(user_id=20)
        junk = []
        for payload in (b"\x00\xff\xfe garbage without newline",
                        b"[1,2,3]\n",
                        b"{not json}\n",
                        lud.frame_head(1000, 2).encode() + b"\n{\"user_id\":"):  # never completes
            t = self.tablet()
            t.recv_frame()
            t.send(payload)
            junk.append(t)
        vanished = self.tablet()
        vanished.recv_frame()
        vanished.send(lud.frame_head(50, 2).encode() + b"\n{\"us")
        vanished.close()
        silent = self.tablet()  # connects and says nothing
        endless = self.tablet()  # logged in, then a head line that never ends
        endless.login(user_id=21)
        endless.send(b"x" * 70000)
        junk.append(endless)
        # The good session keeps its heartbeats all along.
        for _ in range(3):
            frame = good.recv_frame(timeout=8)
            self.assertEqual(good.HEARTBEAT, frame[0]["type"])
            good.send_frame(good.HEARTBEAT_REPLY)
        for t in junk + [silent]:
            self.assertTrue(t.closed(timeout=10))
        self.assertTrue(self.server.wait_log(r"head line too long"))
        self.assertIsNone(self.server.proc.poll())

    def test_frames_sent_back_to_back_are_both_taken(self):
        t = self.tablet()
        t.expect(t.USER_INFO_REQUEST)
        body = json.dumps({"user_id": 30, "class_id": 12}).encode()
        # The login and a heartbeat reply in one segment, the reply split
        # across two sends.
        whole = lud.frame_head(len(body), 2).encode() + b"\n" + body + lud.frame_head(0, 8).encode()
        t.send(whole[:-10])
        time.sleep(0.3)
        t.send(whole[-10:] + b"\n")
        self.assertEqual(t.ACK, t.recv_frame()[0]["type"])
        self.assertFalse(re.search(r"parse_head_json exception", self.server.log_text()))


class DefaultTimeout(lud.ServerTest):
    def test_heartbeats_seven_to_nine_seconds_apart(self):
        server = self.start()
        self.assertTrue(lud.wait_http(HTTP))
        self.assertTrue(server.wait_log(r"Listen ok$"))
        commit(12)
        t = lud.Tablet(STUDENTS)
        self.addCleanup(t.close)
        t.login(user_id=40)
        times = [time.monotonic()]
        for _ in range(2):
            frame = t.recv_frame(timeout=12)
            self.assertEqual(t.HEARTBEAT, frame[0]["type"])
            times.append(time.monotonic())
            t.send_frame(t.HEARTBEAT_REPLY)
        for a, b in zip(times[1:], times[2:]):
            self.assertGreater(b - a, 6.7)
            self.assertLess(b - a, 9.6)


if __name__ == "__main__":
    unittest.main()
