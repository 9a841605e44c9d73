# platforms: linux
"""Web pages in the teacher's browser against the local API, in headless
Chromium: a foreign page tries to read the stored sign-in texts, the roster,
the screen and the files, and to command the class with fetch, <img> and
<form>; a page on a rebinding name tries the same as a same-origin page; the
school's page works once allowed in the console's panel. Made-up names are
mapped to loopback addresses inside the browser; nothing leaves the machine."""
import http.server
import json
import os
import re
import shutil
import tempfile
import threading
import time
import unittest

import lud
from chromium import browser
from selenium.webdriver.common.by import By

HTTP = 40080
STUDENTS = 45678
API = "http://127.0.0.1:%d" % HTTP
EVIL = "http://evil.example:8000"
NO_SUCH_API = '{"status": 0, "msg":"no such api"}'
SECRET = "SIGN-IN-SECRET-42"
SHOTS = os.path.join(os.path.dirname(os.path.abspath(lud.BIN_DIR or ".")), "console-screenshots")


def q(text):
    return lud.quote_info(text)


COURSE = json.dumps({"teacher": {"user_id": 5, "name": "t"}, "class": {"class_id": 12, "name": "7B"}})
CLASS_TARGET = q(json.dumps({"type": "class", "class_id": 12}))
# The foreign page: every attack at once; window.results holds what it read.
EVIL_PAGE = """<!doctype html><html><body>
<img src="%(api)s/sendCmd?target=%(target)s&command=%(img_cmd)s">
<iframe name="sink"></iframe>
<form id="form" method="POST" action="%(api)s/sendCmd" target="sink">
<input name="target" value='{"type":"class","class_id":12}'>
<input name="command" value='{"id":"9002","params":{"action":"end_class"}}'>
</form>
<script>
window.results = null;
async function grab(path, init) {
  try { const r = await fetch("%(api)s" + path, init); return await r.text(); }
  catch (e) { return "error: " + e; }
}
async function attack() {
  const out = {};
  out.logins = await grab("/loginUserGet?info=%%7B%%7D");
  out.roster = await grab("/activeUserList?info=%(roster)s");
  out.capture = await grab("/captureScreen?info=%(capture)s");
  out.config = await grab("/config/ud");
  out.course = await grab("/commitCourseInfo?info=%(course)s");
  out.sendcmd = await grab("/sendCmd", {method: "POST",
      headers: {"Content-Type": "application/x-www-form-urlencoded"},
      body: "target=%(target)s&command=%(fetch_cmd)s"});
  out.origins = await grab("/getWebOrigins");
  out.allow = await grab("/addWebOrigin?info=%(self_origin)s");
  document.getElementById("form").submit();
  window.results = out;
}
attack();
</script></body></html>""" % {
    "api": API, "target": CLASS_TARGET,
    "img_cmd": q('{"id":"9001","params":{"action":"lock_screen"}}'),
    "fetch_cmd": q('{"id":"9003","params":{"action":"end_class"}}'),
    "roster": q('{"class_id":12,"detail":1}'), "capture": q('{"type":"json"}'),
    "course": q(json.dumps({"teacher": {"user_id": 66}, "class": {"class_id": 66}})), "self_origin": q('{"origin":"%s"}' % EVIL),
}


class PageServer:
    """The foreign web site: a static server on 127.0.0.3:8000."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="evil-")
        with open(os.path.join(self.dir, "evil.html"), "w") as f:
            f.write(EVIL_PAGE)
        with open(os.path.join(self.dir, "blank.html"), "w") as f:
            f.write("<!doctype html><title>blank</title>")
        handler = lambda *a, **kw: http.server.SimpleHTTPRequestHandler(*a, directory=self.dir, **kw)
        http.server.ThreadingHTTPServer.log_message = lambda *a: None
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.3", 8000), handler)
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()
        shutil.rmtree(self.dir, True)


def native(path):
    return lud.http_get(HTTP, path)[2].decode("latin-1")


class BrowserAttacks(lud.ServerTest):
    def setUp(self):
        super().setUp()
        directory = tempfile.mkdtemp(prefix="ludarium-")
        shutil.copytree(os.path.join(lud.BIN_DIR, "www"), os.path.join(directory, "www"))
        self.server = self.start(keep_dir=directory)
        self.assertTrue(lud.wait_http(HTTP))
        self.assertTrue(self.server.wait_log(r"Listen ok$"))
        self.assertIn('"status":1', native("/commitCourseInfo?info=" + q(COURSE)))
        self.assertIn('"status":1', native("/loginUserSet?info=" + q('{"loginnm":"t","data":"%s"}' % SECRET)))
        self.tablet = lud.Tablet(STUDENTS)
        self.addCleanup(self.tablet.close)
        self.assertEqual(self.tablet.ACK, self.tablet.login(user_id=1001, class_id=12)[0]["type"])
        self.pages = PageServer()
        self.addCleanup(self.pages.close)
        self.driver, profile = browser(
            ["--host-resolver-rules=MAP evil.example 127.0.0.3, MAP rebind.example 127.0.0.1"])
        self.addCleanup(shutil.rmtree, profile, True)
        self.addCleanup(self.driver.quit)

    def run_evil_page(self):
        self.driver.get(EVIL + "/evil.html")
        results = lud.wait_for(lambda: self.driver.execute_script("return window.results"), 30, 0.2)
        self.assertTrue(results, "the foreign page did not finish")
        return results

    def fetch_in_page(self, url):
        return self.driver.execute_async_script(
            "const done = arguments[arguments.length - 1];"
            "fetch(arguments[0]).then(r => r.text()).then(done, e => done('error: ' + e));", url)

    def instruction(self, timeout):
        return self.tablet.expect(self.tablet.INSTRUCTION, timeout=timeout)

    def refusal_lines(self, pattern):
        return [l for l in self.server.log_text().splitlines() if re.search(pattern, l)]

    def screenshot(self, name):
        os.makedirs(SHOTS, exist_ok=True)
        self.assertTrue(self.driver.save_screenshot(os.path.join(SHOTS, name)))

    def test_a_foreign_page_reads_nothing_and_commands_nothing_until_allowed(self):
        results = self.run_evil_page()
        for name, text in results.items():
            self.assertNotIn(SECRET, text, name)
            self.assertNotIn("s1001", text, name)
            self.assertEqual(NO_SUCH_API, text, name)
        self.assertIsNone(self.instruction(timeout=4), "a foreign page commanded the class")
        self.assertNotIn('"class_id":66', native("/getBroadcast"))
        # One warning for the origin, however often it tried.
        lines = self.refusal_lines(r" w, .*origin=http://evil\.example:8000 refused")
        self.assertEqual(1, len(lines), lines)
        refused = json.loads(native("/getWebOrigins"))["origins"]["refused"]
        self.assertEqual(EVIL, refused[0]["origin"])
        self.assertGreaterEqual(refused[0]["count"], 9)

        # The teacher allows it in the console's panel.
        self.driver.get(API + "/www/")
        self.driver.find_element(By.CSS_SELECTOR, "#web-pages summary").click()
        allow = lud.wait_for(lambda: self.driver.find_elements(By.CSS_SELECTOR, "#web-refused tbody button"), 20, 0.2)
        self.assertTrue(allow, "the refused page is not shown in the panel")
        self.assertIn("evil.example:8000", self.driver.find_element(By.ID, "web-refused").text)
        allow[0].click()
        self.assertTrue(lud.wait_for(
            lambda: "evil.example:8000" in self.driver.find_element(By.ID, "web-allowed").text, 20, 0.2))
        self.screenshot("web-pages-panel.png")
        with open(os.path.join(self.server.dir, "config", "origins")) as f:
            self.assertEqual("http://evil.example:8000\n", f.read())

        # Now the same page works, as the school's platform page would...
        self.driver.get(EVIL + "/blank.html")
        self.assertIn(SECRET, self.fetch_in_page(API + "/loginUserGet?info=%7B%7D"))
        self.assertIn('"status":1', self.fetch_in_page(
            API + "/sendCmd?target=%s&command=%s" % (CLASS_TARGET, q('{"id":"9010","params":{"action":"x"}}'))))
        frame = self.instruction(timeout=10)
        self.assertIsNotNone(frame)
        self.assertEqual("9010", frame[0]["instruct_id"])
        # ...but cannot see or change the list itself.
        self.assertEqual(NO_SUCH_API, self.fetch_in_page(API + "/getWebOrigins"))
        self.assertEqual(NO_SUCH_API, self.fetch_in_page(
            API + "/delWebOrigin?info=" + q('{"origin":"%s"}' % EVIL)))

        # Removed natively (the teacher's client), it is refused again.
        self.assertEqual('{"status":1,"msg":"ok"}', native("/delWebOrigin?info=" + q('{"origin":"%s"}' % EVIL)))
        self.assertEqual(NO_SUCH_API, self.fetch_in_page(API + "/loginUserGet?info=%7B%7D"))

    def test_a_rebinding_name_reads_nothing(self):
        self.driver.get("http://rebind.example:%d/www/index.html" % HTTP)
        self.assertEqual(NO_SUCH_API, self.driver.find_element(By.TAG_NAME, "body").text)
        for path in ("/loginUserGet?info=%7B%7D", "/config/ud", "/www/index.html",
                     "/activeUserList?info=" + q('{"class_id":12,"detail":1}')):
            self.assertEqual(NO_SUCH_API, self.fetch_in_page("/" + path.lstrip("/")), path)
        self.assertTrue(self.refusal_lines(r" w, .*uri=/\S+, caller=127\.0\.0\.1, host=rebind\.example:40080 refused"))
        # The console itself, on 127.0.0.1, works as before.
        self.driver.get(API + "/www/")
        self.assertTrue(lud.wait_for(
            lambda: "Connected" in self.driver.find_element(By.ID, "server-state").text, 20, 0.2))
        self.assertIn(SECRET, self.fetch_in_page(API + "/loginUserGet?info=%7B%7D"))

    def test_native_callers_get_the_same_bytes_as_before(self):
        head = ("HTTP/1.1 200 OK\r\nAccess-Control-Allow-Origin: *\r\n"
                "Content-Type: text/plain;charset=utf-8\r\nContent-Length: %d\r\n\r\n")
        for request in (b"GET /loginUserGet?info=%7B%7D HTTP/1.1\r\nHost: 127.0.0.1:40080\r\n\r\n",
                        b"GET /loginUserGet?info=%7B%7D HTTP/1.0\r\n\r\n",
                        b"GET /loginUserGet?info=%7B%7D HTTP/1.1\r\nHost: localhost\r\nUser-Agent: curl/8\r\n\r\n"):
            raw = lud.http_raw(HTTP, request)
            body = raw.partition(b"\r\n\r\n")[2]
            self.assertIn(SECRET.encode(), body)
            self.assertEqual((head % len(body)).encode() + body, raw)
        # Tablets and other hosts: the open URIs as before, the rest refused.
        self.assertIn(b'"broadcast":{', lud.http_get(HTTP, "/getBroadcast", source="127.0.0.2")[2])
        self.assertEqual(NO_SUCH_API.encode(), lud.http_get(HTTP, "/loginUserGet?info=%7B%7D", source="127.0.0.2")[2])


if __name__ == "__main__":
    unittest.main()
