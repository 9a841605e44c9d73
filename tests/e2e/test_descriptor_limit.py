# platforms: linux
"""ludarium raises its descriptor limit at start: started with a soft limit
of 256 (the hard one left as it is), it still logs in 300 tablets, which
need about 600 descriptors."""
import json
import os
import re
import resource
import subprocess
import threading
import unittest

import lud

PORT = 40080
SOFT = 256
COUNT = 300
LUDTABLET = os.path.join(lud.BIN_DIR, "ludtablet")


class DescriptorLimit(lud.ServerTest):
    def test_more_tablets_than_the_soft_limit_allows(self):
        hard = resource.getrlimit(resource.RLIMIT_NOFILE)[1]
        if hard != resource.RLIM_INFINITY and hard < 4 * COUNT:
            self.fail("the hard descriptor limit (%d) is too low for this test" % hard)
        wrapper = ["prlimit", "--nofile=%d:%s" % (SOFT, "unlimited" if hard == resource.RLIM_INFINITY else hard),
                   "--"]
        server = self.start(wrapper=wrapper)
        self.assertTrue(lud.wait_http(PORT, timeout=30), server.console())
        self.assertTrue(server.wait_log(r"Listen ok$", timeout=30))
        self.assertTrue(server.wait_log(r"descriptor limit:\d+ \(wanted \d+\)$", timeout=10))
        limit = int(re.search(r"descriptor limit:(\d+)", server.log_text()).group(1))
        self.assertGreater(limit, 2 * COUNT + 100)
        lud.http_get(PORT, "/commitCourseInfo?info=" +
                     lud.quote_info(json.dumps({"class": {"class_id": 12, "name": "c"}})))

        tablets = subprocess.Popen([LUDTABLET, "--count", str(COUNT), "--class", "12", "--seconds", "600"],
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.addCleanup(lambda: tablets.poll() is None and tablets.kill())
        lines = []
        threading.Thread(target=lambda: lines.extend(tablets.stdout), daemon=True).start()
        logged = lud.wait_for(lambda: any(l.startswith("logged in %d of %d" % (COUNT, COUNT))
                                          for l in list(lines)), timeout=120)
        self.assertTrue(logged, "not every tablet logged in; the server's errors:\n%s"
                        % server.log_text("error")[-3000:])
        self.assertIsNone(server.proc.poll(), "ludarium ended")


if __name__ == "__main__":
    unittest.main()
