# platforms: linux
"""Hostile input on both ports never ends the server: numbers that once
crashed the JSON reader, nesting deeper than any stack, binary junk and
oversized lines, to every endpoint and in frame heads and USER_INFO bodies.
Members of another JSON type convert instead of refusing a record."""
import json
import socket
import time
import unittest
import urllib.parse

import lud

HTTP = 40080
STUDENTS = 45678
HOSTILE_JSON = [
    "[0.970368547758075e-334]",
    "{\"a\":0e50,\"b\":-0,\"c\":1e-400,\"d\":0.0e308,\"e\":4.9e-324}",
    "[" * 250,
    "[" * 250 + "]" * 250,
    "{\"a\":" * 5000,
    "[1e400]",
    "[\"\\ud800\",\"\\u0000\"]",
    "{\"class_id\":\"12\",\"type\":\"class\",\"teacher_user_id\":[[[[[]]]]]}",
]
ENDPOINTS = ["/ping", "/activeUserList", "/userResponse", "/commitCourseInfo", "/selectNetCard",
             "/captureScreen", "/addAPIServer", "/delAPIServer", "/selectAPIServer",
             "/getAPIServer", "/loginUserSet", "/loginUserGet", "/getBroadcast",
             "/getMoreNetCardInfo", "/zipTest"]


def q(text):
    return urllib.parse.quote(text, safe="")


class HostileInput(lud.ServerTest):
    def setUp(self):
        super().setUp()
        self.server = self.start(args=["10"])
        self.assertTrue(lud.wait_http(HTTP))
        self.assertTrue(self.server.wait_log(r"Listen ok$"))
        info = json.dumps({"class": {"class_id": 12, "name": "c"}})
        lud.http_get(HTTP, "/commitCourseInfo?info=" + lud.quote_info(info))

    def tablet(self):
        t = lud.Tablet(STUDENTS)
        self.addCleanup(t.close)
        return t

    def assert_alive(self):
        self.assertIsNone(self.server.proc.poll(), "the server ended")
        self.assertTrue(lud.http_get(HTTP, "/ping")[2].startswith(b'{"status":1,"msg":"ok"'))

    def test_every_endpoint_survives_hostile_info(self):
        for endpoint in ENDPOINTS:
            for text in HOSTILE_JSON:
                lud.http_get(HTTP, endpoint + "?info=" + q(text))
                lud.http_post(HTTP, endpoint, "info=" + q(text))
        for text in HOSTILE_JSON:
            lud.http_get(HTTP, "/sendCmd?target=" + q(text) + "&command=" + q(text))
            lud.http_get(HTTP, "/sendOpCmd?type=" + q(text) + "&info=" + q(text))
            lud.http_get(HTTP, "/pullOpCmd?timeout=1&type=" + q(text))
        self.assert_alive()
        # The line that once ended the process answers a parse error now.
        body = lud.http_get(HTTP, "/ping?info=" + q("[0.970368547758075e-334]"))[2]
        self.assertTrue(body.startswith(b'{"status":1,"msg":"ok"'), body)
        deep = json.loads(lud.http_get(HTTP, "/activeUserList?info=" + q("[" * 250))[2])
        self.assertEqual(0, deep["status"])
        self.assertIn("nested deeper than 64 levels", deep["msg"])

    def test_raw_junk_on_the_http_port(self):
        for raw in (b"\x00\xff" * 5000 + b"\r\n\r\n",
                    b"GET /" + b"A" * 70000 + b" HTTP/1.1\r\n\r\n",
                    b"GET /ping?info=" + b"[" * 100000 + b" HTTP/1.1\r\n\r\n",
                    b"POST /ping HTTP/1.1\r\nContent-Length: 300000\r\n\r\ninfo=" + b"%5B" * 99998,
                    b"POST /sendCmd HTTP/1.1\r\nContent-Length: -5\r\n\r\n",
                    b"[0.970368547758075e-334]\n"):
            try:
                lud.http_raw(HTTP, raw, timeout=15)
            except OSError:
                pass
        self.assert_alive()

    def test_hostile_lines_and_user_info_on_the_student_port(self):
        lines = [text.encode() + b"\n" for text in HOSTILE_JSON]
        lines += [b"{\"type\":0e50,\"content-length\":-0}\n",
                  b"{\"type\":\"2\",\"content-length\":\"1e999\"}\n",
                  b"[" * 100000 + b"\n",
                  b"\x00\x01\x02\xff\n"]
        for line in lines:
            t = self.tablet()
            t.recv_frame()
            t.send(line)
            t.closed(timeout=5)
        # The same texts as USER_INFO bodies, after the server's ask.
        for text in HOSTILE_JSON:
            t = self.tablet()
            t.expect(t.USER_INFO_REQUEST)
            t.send_frame(t.USER_INFO, text)
            t.recv_frame(timeout=5)
        self.assert_alive()
        good = self.tablet()
        self.assertEqual(good.ACK, good.login(user_id=40)[0]["type"])

    def test_members_of_another_type_are_converted(self):
        # Login with a text log_type, and heads whose numbers are texts.
        for log_type in ("", "abc", "0"):
            t = self.tablet()
            self.assertEqual(t.ACK, t.login(user_id=41, extra={"log_type": log_type},
                                             mac="m-" + log_type)[0]["type"], log_type)
        t = self.tablet()
        t.expect(t.USER_INFO_REQUEST)
        body = json.dumps({"user_id": "42", "class_id": "12", "user_mac": "m42"}).encode()
        t.send(('{"type":"2","content-length":"%d"}\n' % len(body)).encode() + body)
        self.assertEqual(t.ACK, t.recv_frame()[0]["type"])
        online = json.loads(lud.http_get(HTTP, "/activeUserList?info=" + q('{"class_id":"12"}'))[2])
        self.assertEqual(1, online["status"])
        self.assertIn(42, online["recordset"]["users"])
        # A target with a text class id is accepted; one without "type" is
        # refused with the empty text of a missing member.
        ok = lud.http_get(HTTP, "/sendCmd?target=" + q('{"type":"class","class_id":"12"}') +
                          "&command=" + q('{"id":"5","params":{"action":"lock_screen"}}'))[2]
        self.assertEqual(b'{"status":1,"msg":"ok"}', ok)
        missing = lud.http_get(HTTP, "/sendCmd?target=" + q('{"class_id":12}') +
                               "&command=" + q('{"id":"6"}'))[2]
        self.assertEqual(b'{"status":0,"msg":"exception: std::out_of_range parse target or command error"}',
                         missing)
        responses = json.loads(lud.http_get(HTTP, "/userResponse?info=" +
                                            q('{"class_id":"12","command_id":"5"}'))[2])
        self.assertEqual(1, responses["status"])


if __name__ == "__main__":
    unittest.main()
