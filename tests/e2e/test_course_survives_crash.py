# platforms: linux windows
"""A course in Chinese, with a selected upstream server described in Chinese
and a start_class instruction with a Chinese note, all longer than one
record of the state store: after ludarium is killed, ludguard's relaunch
restores every byte of it, and the mirror files hold it whole."""
import json
import os
import signal
import time
import unittest

import lud

PORT = 40080
COURSE_KEY = "gBorcastObj.getJSONString()"
INSTRUCTION_KEY = "gInstructionManager.getInstruction().szInstruction.jsonString()"


def info_get(path, info):
    return lud.http_get(PORT, path + "?info=" + lud.quote_info(json.dumps(info, ensure_ascii=False)))[2]


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode("utf-8", "replace").replace("\r\n", "\n")
    except FileNotFoundError:
        return None


class ChineseCourse(lud.ServerTest):
    def test_a_crash_restores_the_course_and_instruction_byte_for_byte(self):
        g = lud.Guard(["/test"])
        self.addCleanup(g.cleanup)
        if os.environ.get("LUD_KEEP"):
            self.addCleanup(lambda: print(g.log_text("error")[-3000:]))
        self.assertTrue(lud.wait_http(PORT, timeout=120), "ludarium did not answer /ping")
        self.assertTrue(lud.wait_for(lambda: len(g.ludarium_pids()) == 1, 60))
        ok = b'{"status":1,"msg":"ok"}'
        self.assertEqual(ok, info_get("/commitCourseInfo", {
            "teacher": {"user_id": 5, "name": "王晓明老师"},
            "grade": {"name": "三年级"},
            "class": {"class_id": 12, "name": "三年级二班（实验班）"},
            "subject": {"name": "语文阅读与写作"}}))
        self.assertEqual(ok, info_get("/addAPIServer", {
            "school_id": "100", "id": "cn", "address": "127.0.0.1:18081",
            "describe": "北京市海淀区第一实验小学教学资源服务器（主楼三层机房，备用）", "recommend": 1}))
        self.assertEqual(ok, info_get("/selectAPIServer", {"id": "cn"}))
        note = "请打开课本第二十八页，读第三段。" * 30
        command = {"id": "4711", "params": {"action": "start_class"}, "note": note}
        params = "target=%s&command=%s" % (
            lud.quote_info(json.dumps({"type": "class", "class_id": 12})),
            lud.quote_info(json.dumps(command, ensure_ascii=False)))
        self.assertEqual(ok, lud.http_post(PORT, "/sendCmd", params)[2])

        # Settled: the store holds what the server answers, the mirror too.
        def settled():
            course = lud.store_get(COURSE_KEY) or ""
            return ('"cache_describe"' in course and course == read(os.path.join(g.log_dir, "broadcast"))
                    and "4711" in (lud.store_get(INSTRUCTION_KEY) or "") and course)
        self.assertTrue(lud.wait_for(settled, 60))
        time.sleep(2)
        course = lud.store_get(COURSE_KEY)
        instruction = lud.store_get(INSTRUCTION_KEY)
        answer = lud.http_get(PORT, "/getBroadcast")[2]
        self.assertGreater(len(course), 1024)
        self.assertGreater(len(instruction), 1024)
        # The command as sent, whole, with the course in it: longer than
        # the 2,046 bytes a command was once cut to.
        sent = json.loads(instruction)["szInstruction"]
        self.assertIn("\\u00E8\\u00AF\\u00B7", sent)  # 请
        self.assertGreater(len(sent), 2046)
        self.assertEqual(note, json.loads(sent)["note"].encode("latin-1").decode("utf-8"))
        self.assertIn("\\u00E5\\u008C\\u0097\\u00E4\\u00BA\\u00AC", course)  # 北京, byte by byte

        pid = g.ludarium_pids()[0]
        os.kill(pid, signal.SIGKILL)
        self.assertTrue(lud.wait_for(lambda: g.ludarium_pids() not in ([], [pid]), 60))
        self.assertTrue(lud.wait_http(PORT, timeout=120))
        time.sleep(2)  # a few passes of the main loop: it writes back what it restored
        self.assertEqual(answer, lud.http_get(PORT, "/getBroadcast")[2])
        self.assertEqual(course, lud.store_get(COURSE_KEY))
        self.assertEqual(instruction, lud.store_get(INSTRUCTION_KEY))
        self.assertTrue(lud.wait_for(
            lambda: read(os.path.join(g.log_dir, "instruction")) == instruction, 30))
        self.assertEqual(course, read(os.path.join(g.log_dir, "broadcast")))


if __name__ == "__main__":
    unittest.main()
