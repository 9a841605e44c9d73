# platforms: windows
"""ludarium.exe under Wine: its HTTP API and the course over loopback."""
import json
import unittest

import lud

PORT = 40080


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


if __name__ == "__main__":
    unittest.main()
