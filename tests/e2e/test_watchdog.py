# platforms: linux
"""The teacher presence watchdog over two real minutes: it ends a class once
when the teacher's client stops pinging."""
import json
import time
import unittest
import urllib.parse

import lud

HTTP = 40080
UPSTREAM = 18080


class Watchdog(lud.ServerTest):
    def test_fires_once_after_two_minutes_without_pings(self):
        upstream = lud.FakeUpstream(UPSTREAM)
        self.addCleanup(upstream.close)
        course = {"teacher_id": 12, "class_id": 3, "cache_addr": "127.0.0.1:%d" % UPSTREAM}
        lud.store_set("gBorcastObj.getJSONString()", json.dumps(course))
        server = self.start()
        self.assertTrue(lud.wait_http(HTTP))
        start = time.monotonic()
        # Another teacher pings: that ends the grace period, but teacher 12
        # of the course has pinged too, so nothing happens for two minutes.
        lud.http_get(HTTP, "/ping?info=" + lud.quote_info('{"teacher_user_id":12}'))
        fired = server.wait_log(r"teacher off line", timeout=150)
        self.assertTrue(fired)
        self.assertGreater(time.monotonic() - start, 118)
        text = server.log_text()
        posted = server.wait_log(r'^\{"target":"\{\\"type\\":\\"class\\", \\"class_id\\":3\}",'
                                 r'"command":"\{\\"class\\":\\"order\\",\\"id\\":1,'
                                 r'\\"params\\":\{\\"action\\":\\"end_class\\"\}\}"\}$', timeout=10)
        self.assertTrue(posted, text[-3000:])
        self.assertTrue(server.wait_log(r"post http://127\.0\.0\.1:40080/sendCmd\t$"))
        # The local API took it as a command: it is current and reported.
        self.assertTrue(lud.wait_for(lambda: upstream.matching("log_file"), 20))
        stored = lud.wait_for(lambda: "end_class" in (lud.store_get(
            "gInstructionManager.getInstruction().szInstruction.jsonString()") or ""), 10)
        self.assertTrue(stored)
        # It fires once: ten more seconds bring no second line.
        time.sleep(10)
        self.assertEqual(1, server.log_text().count("teacher off line"))
        course_now = json.loads(lud.http_get(HTTP, "/getBroadcast")[2])["broadcast"]
        self.assertEqual(0, course_now["runing"])


if __name__ == "__main__":
    unittest.main()
