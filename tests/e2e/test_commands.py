# platforms: linux
"""A command from the teacher to the tablets and back: /sendCmd, delivery,
receipts, /userResponse, /activeUserList and the upstream records."""
import json
import re
import time
import unittest

import lud

HTTP = 40080
STUDENTS = 45678
UPSTREAM = 18080
BOUNDARY = b"7d33a816d302b61-029384gcabsdchjbadsc98*(&%"
COURSE = {"teacher_id": 5, "class_id": 12, "cache_addr": "127.0.0.1:%d" % UPSTREAM}


def send_cmd(command, target, method="GET"):
    params = "target=%s&command=%s" % (lud.quote_info(json.dumps(target)), lud.quote_info(json.dumps(command)))
    if method == "GET":
        return lud.http_get(HTTP, "/sendCmd?" + params)[2]
    return lud.http_post(HTTP, "/sendCmd", params)[2]


def info_get(path, info):
    return lud.http_get(HTTP, path + "?info=" + lud.quote_info(json.dumps(info)))[2]


class Commands(lud.ServerTest):
    reply = b"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"

    def setUp(self):
        super().setUp()
        self.upstream = lud.FakeUpstream(UPSTREAM, self.reply)
        self.addCleanup(self.upstream.close)
        # The course with its upstream address, as a restart would restore it.
        lud.store_set("gBorcastObj.getJSONString()", json.dumps(COURSE))
        self.server = self.start()
        self.assertTrue(lud.wait_http(HTTP))
        self.assertTrue(self.server.wait_log(r"Listen ok$"))

    def tablet(self, user_id, group="[1]", class_id=12):
        t = lud.Tablet(STUDENTS)
        self.addCleanup(t.close)
        reply = t.login(user_id=user_id, class_id=class_id, mac="mac%d" % user_id,
                        extra={"group_id": group, "mtype": "X1", "version_code": "2.0"})
        self.assertEqual(t.ACK, reply[0]["type"])
        return t

    def instruction(self, t, timeout=10, instruct_id=None):
        """The next instruction frame (of that id: earlier ones may be re-sent
        while they have no receipt)."""
        end = time.monotonic() + timeout
        while True:
            frame = t.expect(t.INSTRUCTION, timeout=max(0.1, end - time.monotonic()))
            self.assertIsNotNone(frame, "no instruction arrived")
            if instruct_id is None or frame[0]["instruct_id"] == instruct_id:
                return frame

    def test_lock_and_unlock_reach_the_class(self):
        a, b = self.tablet(101), self.tablet(103)
        other = self.tablet(200, class_id=12)
        self.assertEqual(b'{"status":1,"msg":"ok"}',
                         send_cmd({"id": "1001", "params": {"action": "lock_screen"}},
                                  {"type": "class", "class_id": 12}))
        for t in (a, b, other):
            head, head_text, body = self.instruction(t)
            self.assertEqual(lud.frame_head(len(body), 5, "1001"), head_text)
            self.assertEqual(b'{"id":"1001","params":{"action":"lock_screen"},"lock_screen":1}', body)
        # Receipts from two of them; /userResponse and /activeUserList show it.
        a.send_frame(a.INSTRUCTION_RECEIPT, instruct_id="1001")
        b.send_frame(b.INSTRUCTION_RECEIPT, instruct_id="1001")
        expected = b'{"status":1,"msg":"ok","recordset":{"onlines":3,"response":2,"users":[101,103]}}'
        self.assertTrue(lud.wait_for(
            lambda: info_get("/userResponse", {"class_id": 12, "command_id": "1001"}) == expected, 10))
        self.assertEqual(b'{"status":1,"msg":"ok","recordset":{"onlines":3,"users":[101,103,200]}}',
                         info_get("/activeUserList", {"class_id": 12}))
        self.assertEqual(b'{"status":1,"msg":"ok","recordset":{"onlines":0,"response":0,"users":[]}}',
                         info_get("/userResponse", {"class_id": 99, "command_id": "1001"}))
        time.sleep(1.6)  # the lock stays current for its hand-over time
        send_cmd({"id": "1002", "params": {"action": "unlock_screen"}}, {"type": "class", "class_id": 12},
                 method="POST")
        self.assertIn(b'"lock_screen":0}', self.instruction(a, instruct_id="1002")[2])

    def test_group_and_user_targets_and_the_newest_id(self):
        g1, g2, u = self.tablet(1, "[1,3]"), self.tablet(2, "[2]"), self.tablet(3, "3")
        send_cmd({"id": "50", "params": {"action": "rush_ready"}}, {"type": "group", "class_id": 12, "groups": [3]})
        self.assertEqual("50", self.instruction(g1)[0]["instruct_id"])
        time.sleep(1.6)
        send_cmd({"id": "51", "params": {"action": "x"}}, {"type": "user", "class_id": 12, "users": [3]})
        self.instruction(u, instruct_id="51")
        time.sleep(1.6)
        send_cmd({"id": "52", "params": {"action": "y"}}, {"type": "group", "class_id": 12, "groups": "[2]"})
        head, _, body = self.instruction(g2, instruct_id="52")
        # Action "y" is not in the table: it keeps the lock of the current one.
        self.assertIn(b'"lock_screen":1}', body)
        # Only the addressed students got anything.
        self.assertNotIn(b'"instruct_id":"50"', g2.raw + u.raw)
        self.assertNotIn(b'"instruct_id":"51"', g1.raw + g2.raw)
        self.assertNotIn(b'"instruct_id":"52"', g1.raw + u.raw)

    def test_records_reach_the_upstream_every_three_seconds(self):
        t = self.tablet(7)
        start = time.monotonic()
        send_cmd({"id": "77", "params": {"action": "start_class"}, "note": "中"}, {"type": "class", "class_id": 12})
        head, _, body = self.instruction(t)
        command = json.loads(body)
        self.assertEqual(1, command["lock_screen"])
        self.assertEqual(12, json.loads(command["broadcast"])["class_id"])
        t.send_frame(t.INSTRUCTION_RECEIPT, instruct_id="77")
        self.assertTrue(lud.wait_for(lambda: len(self.upstream.matching("record/receive")) >= 5, 25))
        self.assertTrue(lud.wait_for(lambda: len(self.upstream.matching("record/cmd")) >= 5, 5))
        cmd = self.upstream.matching("record/cmd")
        times = [r[0] - start for r in cmd]
        for i, at in enumerate(times):
            self.assertGreater(at, 2.5 + 3 * i)
            self.assertLess(at, 5 + 3 * i)
        raw = cmd[0][1]
        self.assertTrue(raw.startswith(b"POST /api_dist/?q=json/record/cmd/index&info={} HTTP/1.1\r\n"
                                       b"User-Agent: Tessera_Ludarium/3.0\r\nHost: 127.0.0.1\r\n"
                                       b"Pragma: no-cache\r\nAccept: text/plain\r\n"
                                       b"Content-Type: application/x-www-form-urlencoded\r\n"
                                       b"Content-Length: "), raw)
        content = lud.form_content(raw)
        self.assertRegex(content, r'^\{"cmd_id":"77","teacher_id":5,"type":"class","class_id":12,'
                         r'"users":\[\{"student_id":7,"time":"\d+","repeat":0\}\],'
                         r'"cmd_content":\{"id":"77","params":\{"action":"start_class"\},'
                         r'"note":"\\u00E4\\u00B8\\u00AD","lock_screen":1,"broadcast":".*"\}\}$')
        receive = lud.form_content(self.upstream.matching("record/receive")[0][1])
        self.assertRegex(receive, r'^\{"cmd_id":"77","teacher_id":5,"type":"class","class_id":12,'
                         r'"receives":\[\{"student_id":7,"time":"\d+"\}\]\}$')
        course = json.loads(lud.http_get(HTTP, "/getBroadcast")[2])["broadcast"]
        self.assertEqual(1, course["runing"])

    def test_end_class_uploads_the_log_before_any_receive_record(self):
        t = self.tablet(8)
        send_cmd({"id": "90", "params": {"action": "start_class"}}, {"type": "class", "class_id": 12})
        self.instruction(t)
        time.sleep(1.6)
        send_cmd({"id": "91", "params": {"action": "end_class"}}, {"type": "class", "class_id": 12})
        self.instruction(t, instruct_id="91")
        t.send_frame(t.INSTRUCTION_RECEIPT, instruct_id="91")
        self.assertTrue(lud.wait_for(lambda: self.upstream.matching("log_file"), 15))
        self.assertTrue(lud.wait_for(lambda: any(b'cmd_id%22%3a%2291' in r[1] for r in
                                                 self.upstream.matching("record/receive")), 15))
        upload = self.upstream.matching("log_file")[0]
        first_receive = [r for r in self.upstream.matching("record/receive") if b"%2291%22" in r[1]][0]
        self.assertLess(upload[0], first_receive[0])
        raw = upload[1]
        self.assertIn(b"Content-Type: multipart/form-data; boundary=" + BOUNDARY + b"\r\n", raw)
        body = raw.partition(b"\r\n\r\n")[2]
        today = time.strftime("%Y-%m-%d ").encode() + b"verbose.log"
        self.assertTrue(body.startswith(
            b"--" + BOUNDARY + b"\nContent-Disposition: form-data; name=\"content\"; \r\n"
            b"Content-Type: application/x-www-form-urlencoded \r\n\r\n"
            b'{"class_id":12,"teacher_id":5}\n--' + BOUNDARY + b"\n"
            b"Content-Disposition: form-data; name=\"file\"; filename=\"" + today + b"\";\n"
            b"Content-Type: application/octet-stream  \r\n\r\n"), body[:400])
        self.assertTrue(body.endswith(b"\r\n--" + BOUNDARY + b"--\r\n"))
        declared = int(re.search(rb"Content-Length: (\d+)", raw).group(1))
        self.assertEqual(declared, len(body))
        self.assertIn(b"lock_screen=", body)  # the day's log itself
        self.assertTrue(lud.wait_for(lambda: json.loads(lud.http_get(HTTP, "/getBroadcast")[2])
                                     ["broadcast"]["runing"] == 0, 5))

    def test_bad_commands(self):
        self.assertEqual(b'{"status":0,"msg":"no target or command"}',
                         lud.http_get(HTTP, "/sendCmd?command=" + lud.quote_info('{"id":"1"}'))[2])
        self.assertEqual(b'{"status":0,"msg":"no target or command"}', lud.http_get(HTTP, "/sendCmd")[2])
        for command, target in (({"id": "5", "params": {"action": "lock_screen"}}, {"class_id": 12}),
                                ("not json", {"type": "class", "class_id": 12}),
                                ({"params": {"action": "lock_screen"}}, {"type": "class", "class_id": 12}),
                                ([1, 2], {"type": "class", "class_id": 12})):
            params = "target=%s&command=%s" % (lud.quote_info(json.dumps(target)),
                                                lud.quote_info(command if isinstance(command, str)
                                                               else json.dumps(command)))
            reply = json.loads(lud.http_get(HTTP, "/sendCmd?" + params)[2])
            self.assertEqual(0, reply["status"], command)
            self.assertTrue(reply["msg"].startswith("exception: "), reply)
            self.assertTrue(reply["msg"].endswith(" parse target or command error"), reply)
        # A command without params is still queued, with its text unchanged.
        t = self.tablet(9)
        self.assertEqual(b'{"status":1,"msg":"ok"}', send_cmd({"id": "300"}, {"type": "class", "class_id": 12}))
        self.assertEqual(b'{"id": "300"}', self.instruction(t)[2])  # as sent
        time.sleep(1.6)
        # A command that passes 2,046 characters once its members are added
        # reaches the tablet whole, as JSON.
        send_cmd({"id": "301", "params": {"action": "lock_screen"}, "pad": "p" * 1980},
                 {"type": "class", "class_id": 12}, method="POST")
        whole = json.loads(self.instruction(t, instruct_id="301")[2])
        self.assertEqual(("p" * 1980, 1), (whole["pad"], whole["lock_screen"]))
        time.sleep(8)  # no reporter records for the refused commands
        self.assertFalse([r for r in self.upstream.matching("record/cmd") if b"%22cmd_id%22%3a%225%22" in r[1]])


class BlackHoledUpstream(Commands):
    reply = None  # accepts and never answers

    def test_nothing_waits_for_the_upstream(self):
        t = self.tablet(11)
        for i in range(3):
            start = time.monotonic()
            reply = send_cmd({"id": str(400 + i), "params": {"action": "lock_screen"}},
                             {"type": "class", "class_id": 12})
            self.assertEqual(b'{"status":1,"msg":"ok"}', reply)
            self.assertLess(time.monotonic() - start, 3)
            self.instruction(t, instruct_id=str(400 + i))
            t.send_frame(t.INSTRUCTION_RECEIPT, instruct_id=str(400 + i))
            time.sleep(1.6)
        start = time.monotonic()
        info_get("/userResponse", {"class_id": 12, "command_id": "402"})
        self.assertLess(time.monotonic() - start, 3)
        self.assertTrue(lud.wait_for(lambda: self.upstream.matching("record/cmd"), 10))

    # The other tests of the base class need a working upstream.
    test_records_reach_the_upstream_every_three_seconds = None
    test_end_class_uploads_the_log_before_any_receive_record = None
    test_lock_and_unlock_reach_the_class = None
    test_group_and_user_targets_and_the_newest_id = None
    test_bad_commands = None


class BadUpstreams(lud.ServerTest):
    """Upstream addresses and servers that cannot take records: commands,
    receipts and sessions go on as if nothing were wrong."""

    def run_class(self, cache_addr, reply=None, listen=False):
        if listen:
            upstream = lud.FakeUpstream(UPSTREAM, reply)
            self.addCleanup(upstream.close)
        course = dict(COURSE, cache_addr=cache_addr)
        lud.store_set("gBorcastObj.getJSONString()", json.dumps(course))
        server = self.start()
        self.addCleanup(server.stop)
        self.assertTrue(lud.wait_http(HTTP))
        self.assertTrue(server.wait_log(r"Listen ok$"))
        t = lud.Tablet(STUDENTS)
        self.addCleanup(t.close)
        t.login(user_id=31, class_id=12)
        for i, action in enumerate(("lock_screen", "end_class")):
            start = time.monotonic()
            self.assertEqual(b'{"status":1,"msg":"ok"}',
                             send_cmd({"id": str(500 + i), "params": {"action": action}},
                                      {"type": "class", "class_id": 12}))
            self.assertLess(time.monotonic() - start, 3)
            frame = t.expect(t.INSTRUCTION, timeout=10)
            self.assertEqual(str(500 + i), frame[0]["instruct_id"])
            t.send_frame(t.INSTRUCTION_RECEIPT, instruct_id=str(500 + i))
            time.sleep(1.6)
        expected = b'{"status":1,"msg":"ok","recordset":{"onlines":1,"response":1,"users":[31]}}'
        info = {"class_id": 12, "command_id": "501"}
        self.assertTrue(lud.wait_for(lambda: info_get("/userResponse", info) == expected, 10))
        time.sleep(7)  # the reporters try their records meanwhile
        self.assertIsNone(server.proc.poll())
        self.assertEqual(expected, info_get("/userResponse", info))
        return server

    def test_empty_address(self):
        self.run_class("")

    def test_unresolvable_address(self):
        self.run_class("no-such-host.invalid")

    def test_bad_port(self):
        self.run_class("127.0.0.1:notaport")

    def test_garbage_reply(self):
        server = self.run_class("127.0.0.1:%d" % UPSTREAM, reply=b"\x00\xffgarbage\r\n", listen=True)
        self.assertTrue(server.wait_log(r"send: $"))  # the log upload went out

    def test_closed_at_once(self):
        server = self.run_class("127.0.0.1:%d" % UPSTREAM, reply=b"", listen=True)
        self.assertTrue(server.wait_log(r"Connection Closed\.$"))

    def test_only_part_of_a_status_line(self):
        self.run_class("127.0.0.1:%d" % UPSTREAM, reply=b"HTT", listen=True)


if __name__ == "__main__":
    unittest.main()
