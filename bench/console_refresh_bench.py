#!/usr/bin/env python3
"""The console's roster refresh at the size of a big school: COUNT simulated
tablets (in four groups) in one class, the console open in headless
Chromium for SECONDS. For every /activeUserList reply the page receives it
prints, per kind of reply (with the students' records or the ids alone):
the reply's size, the time from the call to the reply's text, the time the
page's script then ran (parse and roster update, until the next task), and
the time until the next frame was drawn; and the longest task the page ran
(the longest time it could not answer a click). It prints figures; it never
fails.

The page is measured from outside (a wrapped fetch injected before the
page's own script), so an older console can be measured the same way:
    git show REV:www/console.js > /tmp/old-www/console.js  (and the rest)
    bench/run console_refresh_bench.py --www /tmp/old-www

Run it through bench/run (own namespaces, loopback only, ulimit -n raised),
with a python3 that has selenium (the system's: PATH=/usr/bin:$PATH):
    bench/run console_refresh_bench.py [--www DIR] [COUNT] [SECONDS]
                                                   default: the build's www, 2000, 40
"""
import json
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
from chromium import browser  # noqa: E402
from student_link_bench import BIN, get, start_server, stop_server  # noqa: E402

CLASS_ID = 12
STUDENT_PORT = 45678

PROBE = """
window.__bench = { replies: [], longest: 0, tasks: 0 };
try {
  new PerformanceObserver((list) => {
    for (const e of list.getEntries()) {
      window.__bench.tasks++;
      window.__bench.longest = Math.max(window.__bench.longest, e.duration);
    }
  }).observe({ type: "longtask", buffered: true });
} catch (e) {}
const realFetch = window.fetch;
window.fetch = function (path, init) {
  const t0 = performance.now();
  const answer = realFetch.apply(this, arguments);
  if (String(path).indexOf("/activeUserList") < 0) return answer;
  return answer.then((response) => {
    const text = response.text.bind(response);
    response.text = () => text().then((body) => {
      const t1 = performance.now();
      setTimeout(() => {
        const t2 = performance.now();
        requestAnimationFrame(() => setTimeout(() => {
          window.__bench.replies.push({ detail: body.indexOf('"students"') >= 0, bytes: body.length,
                                        fetch: t1 - t0, script: t2 - t1, frame: performance.now() - t1 });
        }, 0));
      }, 0);
      return body;
    });
    return response;
  });
};
"""


def figures(rows, key):
    values = sorted(r[key] for r in rows)
    return "median %8.1f  max %8.1f" % (statistics.median(values), values[-1])


def main():
    args = sys.argv[1:]
    www = os.path.join(BIN, "www")
    if args[:1] == ["--www"]:
        www, args = args[1], args[2:]
    count = int(args[0]) if args else 2000
    seconds = int(args[1]) if len(args) > 1 else 40
    server, work = start_server("ludarium-console-bench-", www)
    tablets = []
    driver = profile = None
    try:
        get("/commitCourseInfo", info=json.dumps({"teacher": {"user_id": 5, "name": "bench"},
                                                  "class": {"class_id": CLASS_ID, "name": "big"}}))
        quarter = count // 4
        for g in range(4):
            n = quarter if g < 3 else count - 3 * quarter
            tablets.append(subprocess.Popen(
                [os.path.join(BIN, "ludtablet"), "--port", str(STUDENT_PORT), "--class", str(CLASS_ID),
                 "--first-id", str(1000000 + g * 100000), "--count", str(n), "--groups", "[%d]" % (g + 1),
                 "--receipt", "now"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        deadline = time.time() + 120
        online = 0
        while time.time() < deadline:
            online = json.loads(get("/activeUserList", info=json.dumps({"class_id": CLASS_ID})))["recordset"]["onlines"]
            if online >= count:
                break
            time.sleep(0.5)
        print("tablets online: %d of %d" % (online, count))
        driver, profile = browser()
        driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": PROBE})
        driver.get("http://127.0.0.1:40080/www/")
        time.sleep(seconds)
        result = driver.execute_script(
            "return {b: window.__bench, tiles: document.querySelectorAll('#tiles .tile').length}")
        bench = result["b"]
        print("www: %s   tiles shown: %d   replies: %d   over %d s" % (www, result["tiles"], len(bench["replies"]),
                                                                       seconds))
        for detail in (True, False):
            rows = [r for r in bench["replies"] if r["detail"] == detail]
            if not rows:
                continue
            print("%-16s n=%3d  bytes %s" % ("with records" if detail else "ids alone", len(rows),
                                            figures(rows, "bytes")))
            for key, label in (("fetch", "call to reply ms"), ("script", "script ms"), ("frame", "to frame ms")):
                print("  %-18s %s" % (label, figures(rows, key)))
        print("long tasks (>50 ms): %d, longest %.1f ms" % (bench["tasks"], bench["longest"]))
    finally:
        if driver:
            driver.quit()
        if profile:
            shutil.rmtree(profile, True)
        for t in tablets:
            t.kill()
            t.wait()
        stop_server(server, work)


if __name__ == "__main__":
    main()
