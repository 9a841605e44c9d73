# platforms: linux
"""The teacher's console (www/) in headless Chromium against a real ludarium
with simulated tablets: a live class of 30 in two groups, a command to one
group and its answers, tablets leaving, the screen preview under Xvfb, the
Chinese labels, hostile student names and the errors shown in words.

Each run leaves screenshots in <build>/console-screenshots/."""
import os
import shutil
import subprocess
import tempfile
import time
import unittest

import lud

from chromium import browser
from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.common.by import By

HTTP = 40080
STUDENTS = 45678
CONSOLE = "http://127.0.0.1:%d/www/" % HTTP
SHOTS = os.path.join(os.path.dirname(os.path.abspath(lud.BIN_DIR or ".")), "console-screenshots")
XSS_NAME = "<img src=x onerror=alert(1)>"


class ConsoleTest(lud.ServerTest):
    def start_server(self, env=None):
        """ludarium with the console beside it, as the build lays it out."""
        directory = tempfile.mkdtemp(prefix="ludarium-")
        shutil.copytree(os.path.join(lud.BIN_DIR, "www"), os.path.join(directory, "www"))
        server = self.start(keep_dir=directory, env=env)
        self.assertTrue(lud.wait_http(HTTP))
        self.assertTrue(server.wait_log(r"Listen ok$"))
        return server

    def open_console(self, url=CONSOLE):
        driver, profile = browser()
        self.addCleanup(shutil.rmtree, profile, True)
        self.addCleanup(driver.quit)
        driver.get(url)
        self.driver = driver
        return driver

    def wait(self, predicate, message, timeout=20):
        value = lud.wait_for(predicate, timeout, 0.1)
        self.assertTrue(value, message)
        return value

    def tiles(self):
        """The roster as the page shows it: user id -> (text, classes). Read in
        one script, so a refresh between two reads cannot mix them."""
        rows = self.driver.execute_script(
            "return [...document.querySelectorAll('#tiles .tile')].map("
            "t => [t.dataset.userId, t.innerText, t.className, t.querySelector('.name').textContent])")
        return {int(r[0]): {"text": r[1], "classes": r[2].split(), "name": r[3]} for r in rows}

    def text(self, element_id):
        return self.driver.find_element(By.ID, element_id).text

    def screenshot(self, name):
        os.makedirs(SHOTS, exist_ok=True)
        path = os.path.join(SHOTS, name)
        self.assertTrue(self.driver.save_screenshot(path))
        return path

    def tablets(self, first_id, count, group):
        proc = subprocess.Popen(
            lud.command("ludtablet", "--port", str(STUDENTS), "--class", "12", "--first-id", str(first_id),
                        "--count", str(count), "--groups", "[%d]" % group, "--receipt", "now"),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: (proc.poll() is None and proc.kill(), proc.wait(30)))
        return proc

    def publish(self, teacher_id, teacher_name, class_id, class_name):
        form = self.driver.find_element(By.ID, "course-form")
        for name, value in (("teacher_id", teacher_id), ("teacher_name", teacher_name), ("class_id", class_id),
                            ("class_name", class_name), ("grade_name", "Grade 7"), ("subject_name", "Physics")):
            field = form.find_element(By.NAME, name)
            field.clear()
            field.send_keys(str(value))
        form.find_element(By.CSS_SELECTOR, "button[type=submit]").click()
        self.wait(lambda: "Course published." in self.text("course-message"), "the course was not published")


class LiveClass(ConsoleTest):
    @classmethod
    def setUpClass(cls):
        cls.xvfb = lud.Xvfb()

    @classmethod
    def tearDownClass(cls):
        cls.xvfb.stop()

    def test_a_class_of_thirty_in_two_groups(self):
        env = dict(os.environ, DISPLAY=self.xvfb.display)
        self.start_server(env=env)
        driver = self.open_console()
        self.wait(lambda: "Publish a course first" in self.text("roster-message"), "no hint before a course")

        self.publish(5, "王老师", 12, "7B")
        self.wait(lambda: "Nobody yet" in self.text("roster-message"), "no 'nobody yet' state")
        self.assertIn("王老师", self.text("course-line"))

        self.tablets(1001, 15, 1)
        self.tablets(2001, 10, 2)
        leaving = self.tablets(2011, 5, 2)
        self.wait(lambda: len(self.tiles()) == 30, "30 tiles did not appear", timeout=30)
        counts = self.text("roster-counts")
        self.assertIn("30 online", counts)
        self.assertIn("Group 1: 15", counts)
        self.assertIn("Group 2: 15", counts)
        self.assertEqual("", self.text("roster-message"))
        tile = self.tiles()[2003]
        self.assertEqual("sim2003", tile["name"])
        self.assertIn("127.0.0.1", tile["text"])
        self.assertIn("ludtablet", tile["text"])
        self.assertIn("Group 2", tile["text"])

        # Lock the screens of group 2: exactly its 15 tiles answer.
        driver.find_element(By.CSS_SELECTOR, "input[name=target][value=group]").click()
        driver.find_element(By.CSS_SELECTOR, "#target-group option[value='2']").click()
        driver.find_element(By.CSS_SELECTOR, "button[data-action=lock_screen]").click()
        bar = driver.find_element(By.ID, "progress")
        self.wait(lambda: bar.get_attribute("data-answered") == "15", "group 2 did not answer", timeout=30)
        self.assertEqual("15", bar.get_attribute("data-addressed"))
        self.assertEqual("All answered: 15 of 15", self.text("progress-text"))
        tiles = self.tiles()
        self.assertEqual(set(range(2001, 2016)), {i for i, t in tiles.items() if "answered" in t["classes"]})
        self.assertEqual([], [i for i, t in tiles.items() if "waiting" in t["classes"]])

        # Five tablets end. The server notices a closed session only when a
        # heartbeat to it fails (7-9 s apart), then the tiles go at the next
        # refresh.
        leaving.kill()
        leaving.wait(30)
        self.wait(lambda: len(self.tiles()) == 25, "the five did not leave the roster", timeout=40)
        self.assertFalse(set(range(2011, 2016)) & set(self.tiles()))
        self.assertIn("Group 2: 10", self.text("roster-counts"))

        # The teacher's screen, from Xvfb.
        driver.find_element(By.ID, "capture").click()
        image = driver.find_element(By.ID, "screen-image")
        self.wait(lambda: image.is_displayed() and driver.execute_script(
            "return arguments[0].complete && arguments[0].naturalWidth", image), "no screen image", timeout=30)
        self.assertEqual([1364, 768], driver.execute_script(
            "return [arguments[0].naturalWidth, arguments[0].naturalHeight]", image))
        self.assertEqual("", self.text("screen-message"))

        driver.execute_script("arguments[0].scrollIntoView(false)", image)
        self.screenshot("console-live-class.png")
        driver.find_element(By.ID, "lang").click()
        self.wait(lambda: "在线学生" in self.text("roster"), "no Chinese labels")
        self.assertIn("25 人在线", self.text("roster-counts"))
        self.assertEqual("English", driver.find_element(By.ID, "lang").text)
        self.screenshot("console-live-class-zh.png")


class Panels(ConsoleTest):
    def test_groups_servers_network_and_a_command_to_chosen_tiles(self):
        lud.add_veth("v0", ["10.77.0.1/24"])
        lud.add_veth("v1", ["10.78.0.1/24"])
        self.start_server()
        driver = self.open_console()
        self.publish(5, "Ms Li", 12, "7B")
        self.tablets(4001, 2, 2)
        self.wait(lambda: len(self.tiles()) == 2, "the two tablets did not appear")

        # Group names, kept in the login-user store, label tiles and counts.
        driver.find_element(By.CSS_SELECTOR, "#course-more summary").click()
        groups = driver.find_element(By.ID, "groups")
        groups.send_keys("2 Blue team")
        driver.find_element(By.ID, "groups-save").click()
        self.wait(lambda: "Group 2 Blue team: 2" in self.text("roster-counts"), "group names not used")
        stored = lud.http_get(HTTP, "/loginUserGet?info=%7B%7D")[2].decode()
        self.assertIn('"loginnm":"ludarium-console-groups","data":"2 Blue team"', stored)

        # An API server added and chosen becomes the course's.
        form = driver.find_element(By.ID, "server-form")
        for name, value in (("school_id", "100"), ("id", "s1"), ("address", "10.0.0.5:8080"), ("describe", "main")):
            form.find_element(By.NAME, name).send_keys(value)
        form.find_element(By.NAME, "recommend").click()
        form.find_element(By.CSS_SELECTOR, "button[data-op=add]").click()
        self.wait(lambda: "s1: 10.0.0.5:8080 (main)" in self.text("servers-recommended"), "server not added")
        form.find_element(By.CSS_SELECTOR, "button[data-op=select]").click()
        self.wait(lambda: "10.0.0.5:8080 (main)" == self.text("course-server"), "server not chosen")
        form.find_element(By.NAME, "id").clear()
        form.find_element(By.NAME, "id").send_keys("nope")
        form.find_element(By.CSS_SELECTOR, "button[data-op=select]").click()
        self.wait(lambda: "no such server :id=nope" in self.text("course-message"), "no error for a bad id")

        # The adapter list and the choice of the one the course goes out on:
        # of the two test adapters, the one not in use is chosen. The table is
        # rebuilt by each refresh, so rows are read, and a button clicked, in
        # one script each.
        rows = "return [...document.querySelectorAll('#cards tbody tr')].map(r => r.innerText)"
        driver.find_element(By.ID, "net-refresh").click()

        def one_in_use():
            found = [r for r in driver.execute_script(rows) if "10.7" in r and "255.255.255.0" in r]
            return found if len(found) == 2 and sum("in use" in r for r in found) == 1 else None
        listed = self.wait(one_in_use, "the two adapters are not listed with one in use")
        ip = "10.78.0.1" if "in use" in [r for r in listed if "10.77.0.1" in r][0] else "10.77.0.1"
        self.assertIn("tablets connect to %s:45678" % ("10.77.0.1" if ip == "10.78.0.1" else "10.78.0.1"),
                      self.text("broadcast-state"))
        self.assertTrue(driver.execute_script(
            "const r = [...document.querySelectorAll('#cards tbody tr')].find(r => r.innerText.includes(arguments[0]));"
            "const b = r && r.querySelector('button'); if (b) b.click(); return !!b", ip))
        self.wait(lambda: "tablets connect to %s:45678" % ip in self.text("broadcast-state"), "no choice shown")
        self.wait(lambda: any(ip in r and "in use" in r for r in driver.execute_script(rows)), "not shown in use")

        # A free-form command to one chosen tile: only that one is addressed.
        driver.find_element(By.CSS_SELECTOR, "#tiles .tile[data-user-id='4002']").click()
        self.wait(lambda: "1 chosen" in self.text("roster-selected"), "the tile was not chosen")
        driver.find_element(By.CSS_SELECTOR, "input[name=target][value=users]").click()
        driver.find_element(By.ID, "free-params").send_keys('{"page":')
        driver.find_element(By.ID, "free-action").send_keys("show_page")
        driver.find_element(By.ID, "free-send").click()
        self.wait(lambda: "not a JSON object" in self.text("cmd-message"), "bad params not refused")
        driver.find_element(By.ID, "free-params").send_keys("3}")
        driver.find_element(By.ID, "free-send").click()
        bar = driver.find_element(By.ID, "progress")
        self.wait(lambda: bar.get_attribute("data-answered") == "1", "the chosen student did not answer")
        self.assertEqual("1", bar.get_attribute("data-addressed"))
        tiles = self.tiles()
        self.assertIn("answered", tiles[4002]["classes"])
        self.assertNotIn("answered", tiles[4001]["classes"])
        self.assertNotIn("waiting", tiles[4001]["classes"])


class Hostile(ConsoleTest):
    def test_student_texts_are_shown_as_text(self):
        self.start_server()
        driver = self.open_console()
        self.publish(5, "Ms Li", 12, "7B")
        for user_id, name, device in ((3001, XSS_NAME, "<b>pad</b>"), (3002, "李雷", "平板")):
            t = lud.Tablet(STUDENTS)
            self.addCleanup(t.close)
            reply = t.login(user_id=user_id, extra={"user_name": name, "mtype": device, "group_id": "[1]"})
            self.assertEqual(t.ACK, reply[0]["type"])
        self.wait(lambda: len(self.tiles()) == 2, "the two students did not appear")
        tiles = self.tiles()
        self.assertEqual(XSS_NAME, tiles[3001]["name"])
        self.assertIn("<b>pad</b>", tiles[3001]["text"])
        self.assertEqual("李雷", tiles[3002]["name"])
        self.assertIn("平板", tiles[3002]["text"])
        self.assertEqual([], driver.find_elements(By.CSS_SELECTOR, "#tiles img, #tiles b"))
        time.sleep(0.5)  # an onerror handler would have run by now
        with self.assertRaises(NoAlertPresentException):
            driver.switch_to.alert.text

    def test_failures_are_shown_in_words(self):
        self.start_server()  # without a display
        driver = self.open_console()
        self.wait(lambda: "Connected" in self.text("server-state"), "no connection shown")
        # A command before any course.
        driver.find_element(By.CSS_SELECTOR, "button[data-action=lock_screen]").click()
        self.wait(lambda: "Publish a course before" in self.text("cmd-message"), "no error for a command")
        # The server's own words when it has no screen to capture.
        driver.find_element(By.ID, "capture").click()
        self.wait(lambda: "ludarium answered: no display" in self.text("screen-message"), "no capture error")
        # A server that is gone.
        self.server_stop()
        self.wait(lambda: "No answer" in self.text("server-state"), "a lost server is not shown")
        self.assertIn("Cannot reach ludarium", self.text("roster-message"))

    def server_stop(self):
        for pid in lud.pids_of(self.server_dir, "ludarium"):
            os.kill(pid, 9)

    def start_server(self, env=None):
        server = super().start_server(env)
        self.server_dir = server.dir
        return server

    def test_from_another_host_the_calls_are_refused_in_words(self):
        # Another host's view: an address of the test's own namespace, on its
        # loopback interface, that is not 127.0.0.1 (a browser asking
        # 127.0.0.2 would still call from 127.0.0.1).
        subprocess.run(["ip", "addr", "add", "10.99.0.1/32", "dev", "lo"], check=True)
        self.start_server()
        # The page itself is served to anyone; its calls are not.
        self.open_console("http://10.99.0.1:%d/www/" % HTTP)
        self.wait(lambda: "127.0.0.1" in self.text("remote-banner"), "no banner for a remote page")
        # /getBroadcast is open to every host, the rest of the page's calls not.
        for box in ("net-message", "course-message"):
            self.wait(lambda: "ludarium refused the call" in self.text(box), "no refusal shown in " + box)


if __name__ == "__main__":
    unittest.main()
