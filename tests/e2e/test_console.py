# platforms: linux
"""The teacher's console (www/) in headless Chromium against a real ludarium
with simulated tablets: a live class of 30 in two groups, a command to one
group and its answers, tablets leaving, the screen preview under Xvfb, the
Chinese labels, hostile student names and the errors shown in words; a
lesson of 40 in eight groups (choosing, searching, asking before a
class-wide lock, who did not answer, who left), sorting, the keyboard and
the labels, a choice too long for one command, and a server that goes away
and comes back.

Each run leaves screenshots in <build>/console-screenshots/."""
import json
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
from selenium.webdriver.common.keys import Keys

HTTP = 40080
STUDENTS = 45678
CONSOLE = "http://127.0.0.1:%d/www/" % HTTP
SHOTS = os.path.join(os.path.dirname(os.path.abspath(lud.BIN_DIR or ".")), "console-screenshots")
XSS_NAME = "<img src=x onerror=alert(1)>"


class ConsoleTest(lud.ServerTest):
    def start_server(self, env=None, config=None, directory=None):
        """ludarium with the console beside it, as the build lays it out;
        config: file name -> text, written into its config folder first;
        directory: start again in the folder of an earlier start."""
        if directory is None:
            directory = tempfile.mkdtemp(prefix="ludarium-")
            shutil.copytree(os.path.join(lud.BIN_DIR, "www"), os.path.join(directory, "www"))
        for name, text in (config or {}).items():
            os.makedirs(os.path.join(directory, "config"), exist_ok=True)
            with open(os.path.join(directory, "config", name), "w", encoding="utf-8") as f:
                f.write(text)
        server = self.start(keep_dir=directory, env=env)
        self.assertTrue(lud.wait_http(HTTP))
        self.assertTrue(server.wait_log(r"Listen ok$"))
        self.server_dir = directory
        return server

    def server_stop(self):
        for pid in lud.pids_of(self.server_dir, "ludarium"):
            os.kill(pid, 9)

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

    def tablets(self, first_id, count, group, receipt="now"):
        proc = subprocess.Popen(
            lud.command("ludtablet", "--port", str(STUDENTS), "--class", "12", "--first-id", str(first_id),
                        "--count", str(count), "--groups", "[%d]" % group, "--receipt", receipt),
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
        self.assertIn("第 2 组（15 名学生）", self.text("cmd-message"))  # the message made again
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

        # Group names, kept in a store of their own (not as a login the
        # teacher's client sees), label tiles and counts.
        driver.find_element(By.CSS_SELECTOR, "#course-more summary").click()
        groups = driver.find_element(By.ID, "groups")
        groups.send_keys("2 Blue team")
        driver.find_element(By.ID, "groups-save").click()
        self.wait(lambda: "Group 2 Blue team: 2" in self.text("roster-counts"), "group names not used")
        stored = lud.http_get(HTTP, "/getConsoleGroups")[2].decode()
        self.assertIn('"groups":[{"group_id":2,"name":"Blue team"}]', stored)
        self.assertNotIn("console-groups", lud.http_get(HTTP, "/loginUserGet?info=%7B%7D")[2].decode())

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


COUNT_REFRESHES = "return performance.getEntriesByName(location.origin + '/activeUserList').length"


class Lesson(ConsoleTest):
    def chosen(self):
        return {i for i, t in self.tiles().items() if "chosen" in t["classes"]}

    def shown_ids(self):
        return [int(i) for i in self.driver.execute_script(
            "return [...document.querySelectorAll('#tiles .tile')].map(t => t.dataset.userId)")]

    def click(self, selector):
        self.driver.find_element(By.CSS_SELECTOR, selector).click()

    def wait_refreshes(self, n):
        start = self.driver.execute_script(COUNT_REFRESHES)
        self.wait(lambda: self.driver.execute_script(COUNT_REFRESHES) >= start + n, "no refresh", timeout=30)

    def test_a_lesson_of_forty_in_eight_groups(self):
        self.start_server()
        driver = self.open_console()
        self.publish(5, "Ms Li", 12, "7B")
        # Eight groups of five; group 8's tablets never answer a command.
        tablets = {g: self.tablets(1000 + g * 100 + 1, 5, g, receipt="never" if g == 8 else "now")
                   for g in range(1, 9)}
        self.wait(lambda: len(self.tiles()) == 40, "40 tiles did not appear", timeout=40)

        # Eight groups, eight colours, each far from the others.
        rows = driver.execute_script("return [...document.querySelectorAll('#tiles .tile')].map("
                                     "t => [t.dataset.groups, getComputedStyle(t).borderLeftColor])")
        colours = {}
        for group, colour in rows:
            colours.setdefault(group, set()).add(colour)
        self.assertEqual(8, len(colours))
        self.assertTrue(all(len(c) == 1 for c in colours.values()), colours)
        rgb = [tuple(int(x) for x in c.pop()[4:-1].split(",")) for c in colours.values()]
        closest = min(sum((a - b) ** 2 for a, b in zip(p, q)) ** 0.5
                      for i, p in enumerate(rgb) for q in rgb[i + 1:])
        self.assertGreater(closest, 40, rgb)

        # Refreshes update the tiles in place: no tile is added, moved or
        # replaced, and the group list of the drop-down stays the same
        # elements (rebuilding it closes it while the teacher has it open).
        driver.execute_script(
            "window.kept = document.querySelector(\"#tiles .tile[data-user-id='1101']\");"
            "window.keptOption = document.querySelector('#target-group option');"
            "window.moves = 0; new MutationObserver(m => window.moves += m.length)"
            ".observe(document.getElementById('tiles'), {childList: true});")
        self.wait_refreshes(2)
        self.assertTrue(driver.execute_script(
            "return window.kept === document.querySelector(\"#tiles .tile[data-user-id='1101']\")"
            " && window.keptOption.isConnected"))
        self.assertEqual(0, driver.execute_script("return window.moves"))

        # Choosing tiles makes them the target, in view beside the buttons.
        self.assertEqual("To: whole class \u00b7 40 students", self.text("target-summary"))
        for user_id in (1101, 1202, 1303):
            self.click("#tiles .tile[data-user-id='%d']" % user_id)
        self.assertTrue(driver.find_element(By.CSS_SELECTOR, "input[name=target][value=users]").is_selected())
        self.assertEqual("To: 3 chosen students", self.text("target-summary"))
        self.assertEqual({1101, 1202, 1303}, self.chosen())
        self.screenshot("console-class-of-40-with-a-selection.png")
        self.click("button[data-action=lock_screen]")  # no question for three students
        bar = driver.find_element(By.ID, "progress")
        self.wait(lambda: bar.get_attribute("data-answered") == "3", "the three did not answer", timeout=30)
        self.assertEqual("3", bar.get_attribute("data-addressed"))
        self.assertEqual({1101, 1202, 1303}, {i for i, t in self.tiles().items() if "answered" in t["classes"]})

        # Search, choose all shown, invert, none.
        driver.find_element(By.ID, "roster-filter").send_keys("sim14")
        self.wait(lambda: self.shown_ids() == list(range(1401, 1406)), "the search did not find sim14..")
        self.assertIn("5 shown", self.text("roster-counts"))
        self.click("#choose-all")
        self.assertEqual(set(range(1401, 1406)), self.chosen())
        self.assertEqual("8 chosen", self.text("roster-selected"))  # the three kept, out of sight
        driver.find_element(By.ID, "roster-filter").clear()
        driver.find_element(By.ID, "roster-filter").send_keys("#1202")
        self.wait(lambda: self.shown_ids() == [1202], "no search by id")
        self.click("#choose-invert")
        self.assertNotIn(1202, self.chosen())
        driver.find_element(By.ID, "roster-filter").clear()
        driver.find_element(By.ID, "roster-filter").send_keys(" ")  # an input event for the cleared box
        self.wait(lambda: len(self.shown_ids()) == 40, "the search was not cleared")
        self.assertEqual({1101, 1303} | set(range(1401, 1406)), self.chosen())
        self.click("#choose-invert")
        self.assertEqual(40 - 7, len(self.chosen()))
        self.assertEqual("To: 33 chosen students", self.text("target-summary"))
        self.click("#choose-none")
        self.assertEqual(set(), self.chosen())

        # A whole-class lock asks first; "Cancel" sends nothing.
        self.click("input[name=target][value=class]")
        self.click("button[data-action=lock_screen]")
        confirm = driver.find_element(By.ID, "confirm")
        self.assertTrue(confirm.is_displayed())
        self.assertIn("whole class (40 students)", self.text("confirm-text"))
        self.click("#confirm-no")
        self.assertFalse(confirm.is_displayed())
        time.sleep(1)
        self.assertEqual("3", bar.get_attribute("data-addressed"))
        self.click("button[data-action=lock_screen]")
        self.click("#confirm-yes")
        self.wait(lambda: bar.get_attribute("data-addressed") == "40", "the class lock was not sent")
        self.wait(lambda: bar.get_attribute("data-answered") == "35", "the 35 did not answer", timeout=30)
        self.assertIn("Not answered yet (5)", self.text("missing"))
        # After the wait, the five who did not answer, and a button for them.
        self.wait(lambda: "Did not answer (5)" in self.text("missing"), "no 'did not answer' list", timeout=45)
        self.assertEqual(", ".join("sim%d (#%d)" % (i, i) for i in range(1801, 1806)), self.text("missing-list"))
        self.screenshot("console-did-not-answer.png")
        self.click("#missing-resend")
        self.wait(lambda: bar.get_attribute("data-addressed") == "5", "not sent again to the five")
        self.assertIn("to 5 chosen students", self.text("cmd-message"))

        # Who left the class since it began: the server drops a tablet that
        # leaves command after command unanswered, and group 7 goes.
        self.wait(lambda: "Left the class (5):" in self.text("left"), "the five dropped are not listed", timeout=60)
        tablets[7].kill()
        tablets[7].wait(30)
        self.wait(lambda: len(self.tiles()) == 30, "group 7 did not leave", timeout=40)
        self.assertIn("Left the class (10):", self.text("left"))
        for i in list(range(1701, 1706)) + list(range(1801, 1806)):
            self.assertIn("sim%d" % i, self.text("left-list"))

    def test_sorting_keyboard_labels_and_online_time_from_the_tablet(self):
        self.start_server()
        driver = self.open_console()
        self.publish(5, "Ms Li", 12, "7B")
        now = time.time()
        local = time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(now - 10 * 60 - 5))
        for user_id, name, group, log_time in ((3001, "Zoe", 2, str(int(now) - 30 * 60 - 5)),
                                               (3002, "Amy", 3, local), (3003, "Bob", 1, "")):
            t = lud.Tablet(STUDENTS)
            self.addCleanup(t.close)
            extra = {"user_name": name, "group_id": "[%d]" % group}
            if log_time:
                extra["log_time"] = log_time
            self.assertEqual(t.ACK, t.login(user_id=user_id, extra=extra)[0]["type"])
        self.wait(lambda: len(self.tiles()) == 3, "the three did not appear")
        tiles = self.tiles()
        # The tablet's own login time (seconds since 1970, or local text);
        # without one, the time the page first saw the student.
        self.assertIn("online 30 min", tiles[3001]["text"])
        self.assertIn("online 10 min", tiles[3002]["text"])
        self.assertIn("online 0 min", tiles[3003]["text"])

        sort = driver.find_element(By.ID, "roster-sort")
        for value, order in (("name", [3002, 3003, 3001]), ("group", [3003, 3001, 3002]),
                             ("time", [3001, 3002, 3003]), ("id", [3001, 3002, 3003])):
            sort.find_element(By.CSS_SELECTOR, "option[value=%s]" % value).click()
            self.wait(lambda: self.shown_ids() == order, "not sorted by " + value)

        # The keyboard: one tab stop in the tiles, arrows move, Space chooses,
        # and the state is in the tile's role.
        tiles_box = driver.find_element(By.ID, "tiles")
        self.assertEqual("listbox", tiles_box.get_attribute("role"))
        first = driver.find_element(By.CSS_SELECTOR, "#tiles .tile[tabindex='0']")
        self.assertEqual("3001", first.get_attribute("data-user-id"))
        first.send_keys(Keys.ARROW_RIGHT)
        focused = driver.switch_to.active_element
        self.assertEqual("3002", focused.get_attribute("data-user-id"))
        focused.send_keys(Keys.SPACE)
        self.wait(lambda: self.chosen() == {3002}, "Space did not choose the tile")
        tile = driver.find_element(By.CSS_SELECTOR, "#tiles .tile[data-user-id='3002']")
        self.assertEqual("option", tile.get_attribute("role"))
        self.assertEqual("true", tile.get_attribute("aria-selected"))
        self.assertEqual("0", tile.get_attribute("tabindex"))
        self.assertEqual("To: 1 chosen students", self.text("target-summary"))
        driver.switch_to.active_element.send_keys(Keys.ENTER)
        self.wait(lambda: self.chosen() == set(), "Enter did not undo the choice")
        self.click("button[data-action=unlock_screen]")
        self.wait(lambda: "Choose one or more tiles first" in self.text("cmd-message"), "an empty choice was sent")

        # Every field has a name a screen reader says, every message box is
        # a live region.
        unnamed = driver.execute_script(
            "return [...document.querySelectorAll('input, select, textarea, progress')].filter(e =>"
            " !e.getAttribute('aria-label') && !e.getAttribute('aria-labelledby') && !(e.labels && e.labels.length))"
            ".map(e => e.id || e.name || e.outerHTML)")
        self.assertEqual([], unnamed)
        silent = driver.execute_script(
            "return [...document.querySelectorAll('.message, #progress-text, #target-summary, #roster-selected')]"
            ".filter(e => !e.getAttribute('aria-live')).map(e => e.id)")
        self.assertEqual([], silent)

    def test_a_long_choice_goes_out_in_several_commands(self):
        self.start_server()
        driver = self.open_console()
        self.publish(5, "Ms Li", 12, "7B")
        # 150 ids of seven digits: more than one /sendCmd target holds.
        self.tablets(1000001, 150, 1)
        self.wait(lambda: len(self.tiles()) == 150, "150 tiles did not appear", timeout=60)
        self.click("#choose-all")
        self.assertEqual("To: 150 chosen students", self.text("target-summary"))
        self.click("button[data-action=lock_screen]")
        self.wait(lambda: "in 2 commands" in self.text("cmd-message"), "not sent in two commands")
        bar = driver.find_element(By.ID, "progress")
        self.assertEqual("150", bar.get_attribute("data-addressed"))
        self.wait(lambda: bar.get_attribute("data-answered") == "150", "not all 150 answered", timeout=40)

    def test_a_lost_server_leaves_a_stale_roster_and_its_return_reloads_the_page(self):
        # Groups a console kept as a login move into their own store.
        legacy = [{"loginnm": "ludarium-console-groups", "data": "2 Blue team\n3 Red team", "time": "1700000000"},
                  {"loginnm": "teacher", "data": "kept", "time": "1700000000"}]
        server = self.start_server(config={"ud": json.dumps(legacy)})
        driver = self.open_console()
        self.publish(5, "Ms Li", 12, "7B")
        self.tablets(5001, 4, 2)
        self.wait(lambda: "Group 2 Blue team: 4" in self.text("roster-counts"), "the moved groups are not used",
                  timeout=30)
        logins = lud.http_get(HTTP, "/loginUserGet?info=%7B%7D")[2].decode()
        self.assertNotIn("console-groups", logins)
        self.assertIn('"teacher"', logins)
        self.assertIn('{"group_id":3,"name":"Red team"}', lud.http_get(HTTP, "/getConsoleGroups")[2].decode())
        # Like every call not open to the network, only for this PC.
        for uri in ("/getConsoleGroups", "/setConsoleGroups?info=%7B%22groups%22%3A%5B%5D%7D"):
            self.assertEqual(b'{"status": 0, "msg":"no such api"}', lud.http_get(HTTP, uri, source="127.0.0.2")[2])
        self.assertIn("Red team", lud.http_get(HTTP, "/getConsoleGroups")[2].decode())
        before = self.tiles()

        self.server_stop()
        self.wait(lambda: "No answer" in self.text("server-state"), "a lost server is not shown")
        self.wait(lambda: "stale" in driver.find_element(By.ID, "roster").get_attribute("class"), "not stale")
        self.assertIn("the tiles show who was online then, not who is online now", self.text("roster-stale"))
        self.assertIn("4 last known", self.text("roster-counts"))
        self.assertNotIn("4 online", self.text("roster-counts"))
        self.assertEqual({i: t["text"] for i, t in before.items()}, {i: t["text"] for i, t in self.tiles().items()})
        self.screenshot("console-stale.png")

        # Back, with other group names: the page loads them again by itself.
        server.stop()
        with open(os.path.join(self.server_dir, "config", "groups"), "w") as f:
            f.write('[{"group_id":2,"name":"Green team"}]')
        self.start_server(directory=self.server_dir)
        self.wait(lambda: "Connected" in self.text("server-state"), "the return is not shown", timeout=30)
        self.wait(lambda: "stale" not in driver.find_element(By.ID, "roster").get_attribute("class"), "still stale")
        self.assertFalse(driver.find_element(By.ID, "roster-stale").is_displayed())
        self.wait(lambda: driver.find_element(By.ID, "groups").get_attribute("value") == "2 Green team",
                  "the groups were not loaded again", timeout=30)


if __name__ == "__main__":
    unittest.main()
