# platforms: linux
"""The local HTTP API frame and the course endpoints, over real sockets."""
import json
import os
import re
import time
import unittest

import lud

PORT = 40080
OK = b'{"status":1,"msg":"ok"}'
NO_SUCH_API = b'{"status": 0, "msg":"no such api"}'
REPLY_HEAD = ("HTTP/1.1 200 OK\r\nAccess-Control-Allow-Origin: *\r\n"
              "Content-Type: text/plain;charset=utf-8\r\nContent-Length: %d\r\n\r\n")


def commit(info, port=PORT):
    return lud.http_get(port, "/commitCourseInfo?info=" + lud.quote_info(info))


class HttpApi(lud.ServerTest):
    def setUp(self):
        super().setUp()
        self.server = self.start()
        self.assertTrue(lud.wait_http(PORT), "the HTTP API did not come up")

    def assertReply(self, raw, body):
        self.assertEqual((REPLY_HEAD % len(body)).encode() + body, raw)

    def test_ping_bytes_and_versions(self):
        raw = lud.http_raw(PORT, b"GET /ping HTTP/1.1\r\nHost: 127.0.0.1:40080\r\n\r\n")
        body = raw.partition(b"\r\n\r\n")[2]
        self.assertReply(raw, body)
        self.assertRegex(body.decode(), r'^\{"status":1,"msg":"ok","recordset":\{"version_code":1014,'
                         r'"version_name":"3\.1\.4_[A-Z][a-z]{2}_[_ 0-9][0-9]_\d{4}_\d\d\.\d\d\.\d\d"\}\}$')
        status, _, body = lud.http_get(PORT, "/PING?info=" + lud.quote_info('{"teacher_user_id":5}'))
        self.assertEqual(b'{"status":1,"msg":"ok","recordset":{"version_code":1014,"version_name":"3.1.4"}}',
                         body)
        _, _, body = lud.http_get(PORT, "/pingx?info=" + lud.quote_info('{"teacher_user_id":0}'))
        self.assertIn(b'"version_name":"3.1.4"', body)

    def test_ping_with_bad_info(self):
        raw = lud.http_raw(PORT, b"GET /ping?info=nojson HTTP/1.1\r\n\r\n")
        body = raw.partition(b"\r\n\r\n")[2]
        self.assertReply(raw, body)  # status 200 and an exact length, also on failure
        reply = json.loads(body)
        self.assertEqual(0, reply["status"])
        self.assertTrue(reply["msg"].startswith("exception: std::runtime_error"))
        self.assertTrue(reply["msg"].endswith(" parse info error"))
        self.assertTrue(self.server.wait_log(r" w, APIPing\.cpp:\d+ APIPing::onHandleEvent [0-9A-F]{8} "
                                             r"exception: std::runtime_error\* Line 1, Column 1$"))
        self.assertTrue(self.server.wait_log(r"^ parse info error$"))

    def test_info_from_body_or_query(self):
        _, _, body = lud.http_post(PORT, "/ping", "info=%7B%7D")
        self.assertIn(b'"version_name":"3.1.4"', body)  # info {} found in the body
        _, _, body = lud.http_post(PORT, "/ping?a=1", "info=%7B%7D")
        self.assertIn(b'"version_name":"3.1.4_', body)  # a query string wins, without info
        _, _, body = lud.http_post(PORT, "/ping", "a=1&INFO=%7B%7D")
        self.assertIn(b'"version_name":"3.1.4"', body)

    def test_other_hosts_reach_only_the_open_routes(self):
        status, _, body = lud.http_get(PORT, "/ping", source="127.0.0.2")
        self.assertEqual("HTTP/1.1 200 OK", status)
        self.assertEqual(NO_SUCH_API, body)
        self.assertTrue(self.server.wait_log(r" w, .*uri=/ping, caller=127\.0\.0\.2$"))
        _, _, body = lud.http_get(PORT, "/getBroadcast", source="127.0.0.2")
        self.assertEqual(b'{"status":1,"msg":"ok","broadcast":{}}', body)
        self.assertTrue(self.server.wait_log(r"client : 127\.0\.0\.2:\d+$"))
        _, _, body = lud.http_get(PORT, "/commitCourseInfo", source="127.0.0.2")
        self.assertEqual(NO_SUCH_API, body)

    def test_unknown_uris_are_left_to_the_file_server(self):
        status, _, _ = lud.http_get(PORT, "/no-such-file.txt")
        self.assertIn("404", status)

    def test_files_for_other_hosts_stay_inside_www(self):
        os.makedirs(os.path.join(self.server.dir, "www"))
        os.makedirs(os.path.join(self.server.dir, "config"), exist_ok=True)  # made at start
        with open(os.path.join(self.server.dir, "www", "page.html"), "w") as f:
            f.write("inside www")
        with open(os.path.join(self.server.dir, "config", "ud"), "w") as f:
            f.write("SECRET")
        with open(os.path.join(self.server.dir, "wwwroot.txt"), "w") as f:
            f.write("SECRET")
        status, _, body = lud.http_get(PORT, "/www/page.html", source="127.0.0.2")
        self.assertIn("200", status)
        self.assertEqual(b"inside www", body)
        attempts = ["/www/../config/ud", "/www/%2e%2e/config/ud", "/www/%2E%2E/config/ud",
                    "/www/..%5cconfig%5cud", "/www/..\\config\\ud", "/www//../config/ud",
                    "/www/./../config/ud", "/wwwroot.txt", "/www/../ludarium", "/www/%2e%2e%2fconfig%2fud",
                    "/config/ud", "//config/ud", "/getBroadcast/../config/ud", "/www/..%2fconfig/ud"]
        for path in attempts:
            raw = lud.http_raw(PORT, ("GET %s HTTP/1.1\r\nHost: x\r\n\r\n" % path).encode(),
                               source="127.0.0.2")
            self.assertNotIn(b"SECRET", raw, path)
            self.assertNotIn(b"\x7fELF", raw, path)
        # The local machine may read its own files.
        _, _, body = lud.http_get(PORT, "/config/ud")
        self.assertEqual(b"SECRET", body)

    def test_gzip_is_never_applied(self):
        _, headers, body = lud.http_get(PORT, "/getBroadcast", headers={"Accept-Encoding": "gzip, deflate"})
        self.assertNotIn("content-encoding", headers)
        self.assertEqual(b'{"status":1,"msg":"ok","broadcast":{}}', body)

    def test_zip_test_echoes_the_request(self):
        _, _, body = lud.http_post(PORT, "/zipTest?info=q1", "info=b2")
        text = body.decode()
        self.assertIn("client : 127.0.0.1:", text)
        self.assertIn("query_string : info=q1\n", text)
        self.assertIn("method : POST\n", text)
        self.assertIn("http version : 1.1\n", text)
        self.assertIn("uri : /zipTest\n", text)
        self.assertIn("arg[info] : q1\n", text)
        self.assertIn("content[info] : b2\n", text)
        self.assertIn("header[0] Host:127.0.0.1:40080\n", text)
        # A huge echo is cut to its buffer.
        many = {"X-H%d" % i: "v" * 200 for i in range(60)}
        _, headers, body = lud.http_get(PORT, "/zipTest", headers=many)
        self.assertEqual(len(body), int(headers["content-length"]))
        self.assertLessEqual(len(body), 10239)

    def test_bodies_are_bounded_and_stalled_bodies_end(self):
        # A body far beyond the bound is answered without trouble.
        _, _, body = lud.http_post(PORT, "/ping", "a=" + "x" * 300000)
        self.assertIn(b'"version_name":"3.1.4_', body)
        # Twenty requests whose bodies never complete hold the workers only
        # until the request time-out.
        stalled = []
        for _ in range(20):
            s = lud.socket.create_connection(("127.0.0.1", PORT))
            s.sendall(b"POST /ping HTTP/1.1\r\nContent-Length: 1000\r\n\r\ninfo=")
            stalled.append(s)
        self.addCleanup(lambda: [s.close() for s in stalled])
        start = time.monotonic()
        _, _, body = lud.http_get(PORT, "/ping", timeout=60)
        self.assertIn(b'"status":1', body)
        self.assertLess(time.monotonic() - start, 45)


class Course(lud.ServerTest):
    def setUp(self):
        super().setUp()
        self.server = self.start()
        self.assertTrue(lud.wait_http(PORT))
        self.assertTrue(self.server.wait_started())

    def broadcast(self):
        return json.loads(lud.http_get(PORT, "/getBroadcast")[2])["broadcast"]

    def test_no_course_and_no_info(self):
        self.assertEqual({}, self.broadcast())
        _, _, body = lud.http_get(PORT, "/commitCourseInfo")
        self.assertEqual(b'{"status":0,"msg":"no info"}', body)
        self.assertTrue(self.server.wait_log(r" w, .* no info$"))

    def test_commit_sets_the_course_section_by_section(self):
        _, _, body = commit('{"class":{"class_id":9,"name":"abc"}}')
        self.assertEqual(OK, body)
        course = self.broadcast()
        self.assertEqual(9, course["class_id"])
        self.assertEqual("abc", course["class_name"])
        self.assertEqual(-1, course["teacher_id"])
        for section in ("teacher", "grade", "subject"):
            self.assertTrue(self.server.wait_log(r" w, .*exception: std::out_of_range.* parse %s error$"
                                                 % section))
        self.assertFalse(re.search(r"parse class error", self.server.log_text()))

    def test_full_commit_and_the_course_json(self):
        info = json.dumps({"teacher": {"user_id": 5, "name": "王老师"}, "grade": {"name": "3"},
                           "class": {"class_id": 12, "name": "A/B"}, "subject": {"name": "math"}},
                          ensure_ascii=False)
        self.assertEqual(OK, commit(info)[2])
        raw = lud.http_get(PORT, "/getBroadcast")[2].decode()
        m = re.match(r'^\{"status":1,"msg":"ok","broadcast":(.*)\}$', raw)
        self.assertRegex(m.group(1),
                         r'^\{"teacher_id":5,"teacher_name":"%e7%8e%8b%e8%80%81%e5%b8%88","class_id":12,'
                         r'"class_name":"A%2fB","grade_name":"3","book_name":"","chapter_name":"",'
                         r'"subject_name":"math","course_hour":"","cache_addr":"","cache_describe":"",'
                         r'"socket_ip":"[0-9.]*","socket_port":\d+,"as_policy_port":\d+,"timeout":35,'
                         r'"runing":0\}$')
        # The store keeps the course within the next second or two.
        stored = lud.wait_for(lambda: (lud.store_get("gBorcastObj.getJSONString()") or "{}") != "{}",
                              timeout=10)
        self.assertTrue(stored)
        self.assertEqual(m.group(1), lud.store_get("gBorcastObj.getJSONString()"))

    def test_long_names_are_cut_to_whole_escapes(self):
        name = "中" * 40
        long_subject = "s" * 500
        commit(json.dumps({"teacher": {"user_id": 1, "name": name}, "class": {"class_id": 1, "name": "c"},
                           "subject": {"name": long_subject}}, ensure_ascii=False))
        course = self.broadcast()
        self.assertEqual("%e4%b8%ad" * 10, course["teacher_name"])
        self.assertEqual("s" * 92, course["subject_name"])

    def test_restart_restores_the_course_before_the_first_request(self):
        commit('{"class":{"class_id":4,"name":"x"}}')
        lud.wait_for(lambda: '"class_id":4' in (lud.store_get("gBorcastObj.getJSONString()") or ""),
                     timeout=10)
        self.server.stop()
        again = self.start()
        self.assertTrue(lud.wait_http(PORT))
        self.assertEqual(4, self.broadcast()["class_id"])
        self.assertTrue(again.wait_log(r"HttpServer running on 127\.0\.0\.1:40080$"))


class Ports(lud.ServerTest):
    def test_third_port_when_two_are_taken(self):
        held = [lud.Listener(40080), lud.Listener(40081, udp=True)]
        self.addCleanup(lambda: [h.close() for h in held])
        server = self.start()
        self.assertTrue(server.wait_log(r"HttpServer running on 127\.0\.0\.1:40082$", timeout=20))
        self.assertTrue(lud.wait_http(40082))

    def test_no_port_free(self):
        held = [lud.Listener(p) for p in (40080, 40081, 40082)]
        self.addCleanup(lambda: [h.close() for h in held])
        server = self.start()
        self.assertTrue(server.wait_log(r" e, .*HttpServer not running because ports are all in used!$",
                                        timeout=20))
        first = lud.wait_for(lambda: lud.store_get("users.getUserGetInstruct(0, 0)"), timeout=10)
        self.assertEqual("ok", first)
        self.assertEqual(1, len(re.findall("HttpServer not running", server.log_text())))


if __name__ == "__main__":
    unittest.main()
