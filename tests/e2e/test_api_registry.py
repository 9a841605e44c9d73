# platforms: linux
"""The API-server registry and the login-user store: their files byte for
byte, their answers, and the URIs they serve."""
import json
import os
import re
import time
import unittest

import lud

PORT = 40080
OK = b'{"status":1,"msg":"ok"}'
NO_SUCH_API = b'{"status": 0, "msg":"no such api"}'


def call(uri, info=None, source="127.0.0.1"):
    path = uri if info is None else uri + "?info=" + lud.quote_info(info)
    return lud.http_get(PORT, path, source=source)[2]


def record(id_, address, time_, recommend, school="100", describe="main"):
    return ('{"school_id":"%s","id":"%s","address":"%s","describe":"%s","time":"%s","recommend":%d}'
            % (school, id_, address, describe, time_, recommend))


class Registry(lud.ServerTest):
    def setUp(self):
        super().setUp()
        self.server = self.start()
        self.assertTrue(lud.wait_http(PORT))
        self.path = os.path.join(self.server.dir, "config", "servers")

    def file(self):
        with open(self.path, "rb") as f:
            return f.read()

    def write_file(self, text):
        os.makedirs(os.path.dirname(self.path), exist_ok=True)
        with open(self.path, "w") as f:
            f.write(text)

    def test_add_writes_the_record_and_a_second_add_replaces_it(self):
        before = int(time.time())
        body = call("/addAPIServer", '{"school_id":"100","id":"s1","address":"10.0.0.5:8080",'
                                     '"describe":"main","recommend":1}')
        after = int(time.time())
        self.assertEqual(OK, body)
        m = re.match(rb'^\[\{"school_id":"100","id":"s1","address":"10\.0\.0\.5:8080","describe":"main",'
                     rb'"time":"(\d+)","recommend":1\}\]$', self.file())
        self.assertTrue(m, self.file())
        self.assertTrue(before <= int(m.group(1)) <= after)
        time.sleep(1.1)
        self.assertEqual(OK, call("/addAPIServer", '{"school_id":7,"id":"s1","address":"h2","describe":"x"}'))
        m2 = re.match(rb'^\[\{"school_id":"7","id":"s1","address":"h2","describe":"x","time":"(\d+)",'
                      rb'"recommend":0\}\]$', self.file())
        self.assertTrue(m2, self.file())
        self.assertGreater(int(m2.group(1)), int(m.group(1)))
        self.assertTrue(self.server.wait_log(r" d, ServerManager\.cpp:\d+ ServerManager::addServer [0-9A-F]{8} $"))
        self.assertTrue(self.server.wait_log(r" d, APIServerManager\.cpp:\d+ APIServerManager::addServer "
                                             r"[0-9A-F]{8} $"))
        self.assertFalse(os.path.exists(self.path + ".tmp"))

    def test_recommendation_goes_by_time(self):
        self.write_file("[" + record("a", "h1", "1409821595", 1) + "," + record("b", "h2", "1409821600", 1) + ","
                        + record("c", "h3", "1509821600", 0) + "]")
        self.assertEqual(('{"status":1,"msg":"ok","recordset":[%s]}' % record("b", "h2", "1409821600", 1)).encode(),
                         call("/getAPIServer", "{}"))
        self.write_file("[" + record("a", "h1", "1409821595", 0) + "]")
        # The table keeps what it read before, so b stays recommended.
        self.assertIn(b'"id":"b"', call("/getAPIServer", "[]"))

    def test_nothing_recommended_and_bad_info(self):
        self.assertEqual(b'{"status":1,"msg":"ok","recordset":[]}', call("/getAPIServer", "{}"))
        self.assertTrue(self.server.wait_log(r" d, ServerManager\.cpp:\d+ ServerManager::readServers [0-9A-F]{8} "
                                             r"exception: std::runtime_error$"))
        self.assertEqual(b'{"status":0,"msg":"no info"}', call("/getAPIServer"))
        self.assertTrue(self.server.wait_log(r" w, APIServerManager\.cpp:\d+ APIServerManager::getServers "
                                             r"[0-9A-F]{8} no info$"))
        reply = json.loads(call("/getAPIServer", "not json"))
        self.assertEqual(0, reply["status"])
        self.assertTrue(reply["msg"].startswith("exception: std::runtime_error"))
        self.assertTrue(reply["msg"].endswith(" parse info error"))

    def test_add_without_address_changes_nothing(self):
        call("/addAPIServer", '{"school_id":"1","id":"s0","address":"a","describe":"d"}')
        before = self.file()
        reply = json.loads(call("/addAPIServer", '{"school_id":"1","id":"s1","describe":"d","recommend":1}'))
        self.assertEqual(0, reply["status"])
        self.assertTrue(reply["msg"].endswith(" parse info error"), reply["msg"])
        self.assertEqual(before, self.file())

    def test_select_copies_into_the_course(self):
        self.assertEqual(OK, lud.http_get(PORT, "/commitCourseInfo?info=" + lud.quote_info(
            '{"class":{"class_id":3,"name":"c"}}'))[2])
        call("/addAPIServer", '{"school_id":"1","id":"s1","address":"10.0.0.5:8080","describe":"main/2"}')
        before = self.file()
        self.assertEqual(b'{"status":0,"msg":"no such server :id=xyz"}', call("/selectAPIServer", '{"id":"xyz"}'))
        self.assertTrue(self.server.wait_log(r" w, APIServerManager\.cpp:\d+ APIServerManager::selectServer "
                                             r"[0-9A-F]{8} no such server :id=xyz$"))
        self.assertEqual(before, self.file())
        self.assertEqual(OK, call("/selectAPIServer", '{"id":"s1"}'))
        course = json.loads(lud.http_get(PORT, "/getBroadcast")[2])["broadcast"]
        self.assertEqual("10.0.0.5:8080", course["cache_addr"])
        self.assertEqual("main/2", course["cache_describe"])
        self.assertEqual(before, self.file())  # a selection is not written to the registry

    def test_delete_and_records_lost_from_the_file(self):
        call("/addAPIServer", '{"school_id":"1","id":"s1","address":"a1","describe":"d"}')
        call("/addAPIServer", '{"school_id":"1","id":"s2","address":"a2","describe":"d"}')
        both = self.file()
        self.assertEqual(OK, call("/delAPIServer", '{"id":"nope"}'))
        self.assertEqual(both, self.file())
        # Removed by hand: the running server's table still has it and writes it back.
        self.write_file("[]")
        self.assertEqual(OK, call("/delAPIServer", '{"id":"nope"}'))
        self.assertEqual(both, self.file())
        self.assertEqual(OK, call("/delAPIServer/", '{"id":"s1"}'))
        self.assertNotIn(b'"s1"', self.file())
        self.assertIn(b'"s2"', self.file())

    def test_exact_uris_only(self):
        self.assertIn(b'"recordset":[]', call("/GETAPISERVER", "{}"))
        self.assertIn(b'"recordset":[]', call("/getAPIServer/", "{}"))
        raw = lud.http_raw(PORT, b"GET /getAPIServerX?info=%7B%7D HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
        self.assertEqual(b"", raw)
        self.assertEqual(b"", lud.http_raw(PORT, b"GET /addAPIServer//?info=%7B%7D HTTP/1.1\r\n\r\n"))
        self.assertEqual(NO_SUCH_API, call("/getAPIServer", "{}", source="127.0.0.2"))


class LoginUsers(lud.ServerTest):
    def setUp(self):
        super().setUp()
        self.server = self.start()
        self.assertTrue(lud.wait_http(PORT))
        self.path = os.path.join(self.server.dir, "config", "ud")

    def file(self):
        with open(self.path, "rb") as f:
            return f.read()

    def test_fresh_store_set_replace_and_delete(self):
        self.assertEqual(b'{"status":1,"msg":"ok","recordset":[]}', call("/loginUserGet", "{}"))
        self.assertTrue(self.server.wait_log(r" d, UserManager\.cpp:\d+ UserManager::readUsers [0-9A-F]{8} "
                                             r"exception: std::runtime_error$"))
        self.assertTrue(self.server.wait_log(r" d, APIUserManager\.cpp:\d+ APIUserManager::APIUserManager "
                                             r"[0-9A-F]{8} $"))
        self.assertTrue(self.server.wait_log(r" d, APIUserManager\.cpp:\d+ APIUserManager::getUsers [0-9A-F]{8} $"))
        before = int(time.time())
        self.assertEqual(OK, call("/loginUserSet", '{"loginnm":"teacher01","data":"abc"}'))
        m = re.match(rb'^\[\{"loginnm":"teacher01","data":"abc","time":"(\d+)"\}\]$', self.file())
        self.assertTrue(m, self.file())
        self.assertTrue(before <= int(m.group(1)) <= int(time.time()))
        self.assertEqual(b'{"status":1,"msg":"ok","recordset":' + self.file() + b"}", call("/loginUserGet", "{}"))
        time.sleep(1.1)
        self.assertEqual(OK, call("/loginUserSet", '{"loginnm":"teacher01","data":"\u00e9 \\" /"}'))
        m2 = re.match(rb'^\[\{"loginnm":"teacher01","data":"\\u00C3\\u00A9 \\" \\/","time":"(\d+)"\}\]$',
                      self.file())
        self.assertTrue(m2, self.file())
        self.assertGreater(int(m2.group(1)), int(m.group(1)))
        self.assertEqual(OK, call("/loginUserSet", '{"loginnm":"teacher01","data":""}'))
        self.assertEqual(b"[]", self.file())
        self.assertFalse(os.path.exists(self.path + ".tmp"))

    def test_order_and_bad_requests(self):
        for name in ("zed", "Bob", "amy", "_x"):
            self.assertEqual(OK, call("/loginUserSet", '{"loginnm":"%s","data":"d"}' % name))
        names = [e["loginnm"] for e in json.loads(call("/LOGINUSERGET", "{}"))["recordset"]]
        self.assertEqual(["Bob", "_x", "amy", "zed"], names)
        before = self.file()
        reply = json.loads(call("/loginUserSet", '{"loginnm":"amy"}'))
        self.assertEqual(0, reply["status"])
        self.assertTrue(reply["msg"].endswith(" parse info error"))
        self.assertEqual(before, self.file())
        self.assertEqual(b'{"status":0,"msg":"no info"}', call("/loginUserGet"))
        self.assertEqual(b"", lud.http_raw(PORT, b"GET /loginUserGetX?info=%7B%7D HTTP/1.1\r\n\r\n"))
        self.assertIn(b'"recordset":[', call("/loginUserGet/", "{}"))


if __name__ == "__main__":
    unittest.main()
