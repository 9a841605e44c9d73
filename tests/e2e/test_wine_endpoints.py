# platforms: windows
"""ludarium.exe under Wine: the operation-command relay, the registry file
and one screen capture (GDI and GDI+ on Wine's display-less desktop)."""
import base64
import json
import os
import struct
import threading
import time
import unittest
import urllib.parse

import lud

PORT = 40080
OK = b'{"status":1,"msg":"ok"}'


def png_size(png):
    assert png[:8] == b"\x89PNG\r\n\x1a\n", png[:16]
    return struct.unpack(">II", png[16:24])


class WineEndpoints(lud.ServerTest):
    def test_relay_registry_and_capture(self):
        server = self.start()
        self.assertTrue(lud.wait_http(PORT, timeout=120), "ludarium.exe did not answer /ping")

        # Relay: order, other hosts, and a command sent during a wait. Few
        # requests: Wine 8.0's wineserver can fail an assertion in its socket
        # polling under rapid connection churn and take the process's
        # sockets with it.
        for i in range(1, 4):
            lud.http_get(PORT, "/sendOpCmd?" + urllib.parse.urlencode({"type": "t", "info": "c%d" % i}),
                         source="127.0.0.2")
        self.assertEqual(b"c1", lud.http_get(PORT, "/pullOpCmd?type=t&timeout=1", source="127.0.0.2")[2])
        result = {}

        def late_pull():
            start = time.monotonic()
            result["body"] = lud.http_get(PORT, "/pullOpCmd?type=late&timeout=15", timeout=60)[2]
            result["took"] = time.monotonic() - start
        t = threading.Thread(target=late_pull)
        t.start()
        time.sleep(1)
        self.assertEqual(OK, lud.http_get(PORT, "/sendOpCmd?type=late&info=now")[2])
        t.join(60)
        self.assertEqual(b"now", result["body"])
        self.assertLess(result["took"], 10)

        # Registry file in config beside the executable, replaced atomically.
        info = '{"school_id":"100","id":"s1","address":"10.0.0.5:8080","describe":"main","recommend":1}'
        self.assertEqual(OK, lud.http_get(PORT, "/addAPIServer?info=" + lud.quote_info(info))[2])
        with open(os.path.join(server.dir, "config", "servers"), "rb") as f:
            self.assertRegex(f.read(), rb'^\[\{"school_id":"100","id":"s1","address":"10\.0\.0\.5:8080",'
                                       rb'"describe":"main","time":"\d+","recommend":1\}\]$')
        self.assertEqual(OK, lud.http_get(PORT, "/loginUserSet?info=" + lud.quote_info(
            '{"loginnm":"t","data":"d"}'))[2])
        self.assertIn(b'"loginnm":"t","data":"d"', lud.http_get(PORT, "/loginUserGet?info=%7B%7D")[2])

        # Web pages: a foreign one and a foreign Host are refused, a page
        # listed through the API (config/origins, CRLF on Windows) is served.
        refused = b'{"status": 0, "msg":"no such api"}'
        page = {"Origin": "https://platform.school.example", "Sec-Fetch-Site": "cross-site"}
        self.assertEqual(refused, lud.http_get(PORT, "/loginUserGet?info=%7B%7D", headers=page)[2])
        self.assertEqual(OK, lud.http_get(PORT, "/addWebOrigin?info=" + lud.quote_info(
            '{"origin":"HTTPS://Platform.School.Example"}'))[2])
        with open(os.path.join(server.dir, "config", "origins"), "rb") as f:
            self.assertEqual(b"https://platform.school.example:443\r\n", f.read())
        self.assertIn(b'"data":"d"', lud.http_get(PORT, "/loginUserGet?info=%7B%7D", headers=page)[2])
        self.assertEqual(refused, lud.http_raw(
            PORT, b"GET /loginUserGet?info=%7B%7D HTTP/1.1\r\nHost: rebind.example\r\n\r\n").partition(
                b"\r\n\r\n")[2])

        # Capture: the whole screen as JSON, and a region as raw PNG.
        body = lud.http_get(PORT, "/captureScreen?info=%7B%7D", timeout=60)[2]
        url = json.loads(body)["img"]
        self.assertTrue(url.startswith("data:image/png;base64,"), body[:80])
        width, height = png_size(base64.b64decode(url[22:], validate=True))
        self.assertEqual(0, width % 4)
        self.assertGreater(width * height, 0)
        _, headers, png = lud.http_get(PORT, "/captureScreen?info=" + lud.quote_info(
            '{"fmt":"png","rect":{"x":0,"y":0,"w":37,"h":-20}}'), timeout=60)
        self.assertEqual("image/png;", headers["content-type"])
        self.assertEqual((36, 20), png_size(png))


if __name__ == "__main__":
    unittest.main()
