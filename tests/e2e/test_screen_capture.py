# platforms: linux
"""/captureScreen under Xvfb: the three answer forms, the region rules, the
BMP work file against the PNG, and the answer without a display."""
import base64
import json
import os
import shutil
import struct
import subprocess
import tempfile
import threading
import unittest
import zlib

import lud

PORT = 40080
SCREEN_W, SCREEN_H = 1366, 768


def capture(info, path="/captureScreen"):
    return lud.http_get(PORT, path + "?info=" + lud.quote_info(info), timeout=60)


def png_size(png):
    """Width and height from the IHDR chunk."""
    assert png[:8] == b"\x89PNG\r\n\x1a\n", png[:16]
    assert png[12:16] == b"IHDR"
    return struct.unpack(">II", png[16:24])


def png_rgb_rows(png):
    """Decodes an 8-bit RGB, non-interlaced PNG into rows of RGB bytes."""
    width, height = png_size(png)
    assert png[24:29] == bytes([8, 2, 0, 0, 0]), png[24:29]
    pos, data = 8, b""
    while pos < len(png):
        length, kind = struct.unpack(">I4s", png[pos:pos + 8])
        if kind == b"IDAT":
            data += png[pos + 8:pos + 8 + length]
        pos += 12 + length
    raw = zlib.decompress(data)
    stride = width * 3
    rows, prev = [], bytearray(stride)
    for y in range(height):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 3] if i >= 3 else 0
            b = prev[i]
            c = prev[i - 3] if i >= 3 else 0
            if f == 1:
                line[i] = (line[i] + a) & 255
            elif f == 2:
                line[i] = (line[i] + b) & 255
            elif f == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 255
        rows.append(bytes(line))
        prev = line
    return rows


def Xvfb():
    return lud.Xvfb(SCREEN_W, SCREEN_H)


class Capture(lud.ServerTest):
    @classmethod
    def setUpClass(cls):
        cls.xvfb = Xvfb()

    @classmethod
    def tearDownClass(cls):
        cls.xvfb.stop()

    def setUp(self):
        super().setUp()
        # The work files land in a temporary directory of this test's own.
        self.tmp = tempfile.mkdtemp(prefix="cap-")
        self.addCleanup(shutil.rmtree, self.tmp, True)
        os.environ["DISPLAY"] = self.xvfb.display
        os.environ["TMPDIR"] = self.tmp
        try:
            self.server = self.start()
        finally:
            del os.environ["DISPLAY"]
            del os.environ["TMPDIR"]
        self.assertTrue(lud.wait_http(PORT))

    def test_whole_screen_as_json_data_url(self):
        _, headers, body = capture("{}")
        self.assertTrue(body.startswith(b'{"status":1,"msg":"ok","img":"data:image\\/png;base64,'), body[:80])
        self.assertEqual("text/plain;charset=utf-8", headers["content-type"])
        url = json.loads(body)["img"]
        self.assertTrue(url.startswith("data:image/png;base64,"))
        png = base64.b64decode(url[len("data:image/png;base64,"):], validate=True)
        self.assertEqual((SCREEN_W - 2, SCREEN_H), png_size(png))  # 1366 cut to a multiple of 4
        # A rect missing "h" takes the whole screen too.
        png = base64.b64decode(json.loads(capture('{"rect":{"x":5,"y":5,"w":40}}')[2])["img"][22:])
        self.assertEqual((SCREEN_W - 2, SCREEN_H), png_size(png))

    def test_rect_width_is_cut_to_a_multiple_of_four_and_corners_normalised(self):
        _, headers, png = capture('{"fmt":"png","rect":{"x":0,"y":0,"w":1366,"h":700}}')
        self.assertEqual("image/png;", headers["content-type"])
        self.assertEqual(str(len(png)), headers["content-length"])
        self.assertEqual((1364, 700), png_size(png))
        _, _, png = capture('{"fmt":"raw","rect":{"x":100,"y":90,"w":-50,"h":-30}}')
        self.assertEqual((48, 30), png_size(png))

    def test_string_form_and_the_work_files(self):
        _, headers, body = capture('{"fmt":"string","rect":{"x":10,"y":20,"w":37,"h":23}}')
        self.assertTrue(body.startswith(b"data:image/png;base64,"), body[:40])
        self.assertEqual(str(len(body)), headers["content-length"])
        png = base64.b64decode(body[22:], validate=True)
        self.assertEqual((36, 23), png_size(png))
        with open(os.path.join(self.tmp, "cap.png"), "rb") as f:
            self.assertEqual(png, f.read())
        with open(os.path.join(self.tmp, "cap.bmp"), "rb") as f:
            bmp = f.read()
        fields = struct.unpack("<2sIHHIIiiHHIIiiII", bmp[:54])
        self.assertEqual((b"BM", 54 + 36 * 23 * 3, 0, 0, 54, 40, 36, -23, 1, 24, 0, 36 * 23 * 3, 0, 0, 0, 0),
                         fields)
        # The PNG shows the BMP's pixels, top row first.
        rows = png_rgb_rows(png)
        for y in range(23):
            bgr = bmp[54 + y * 36 * 3:54 + (y + 1) * 36 * 3]
            rgb = bytes(v for i in range(0, len(bgr), 3) for v in (bgr[i + 2], bgr[i + 1], bgr[i]))
            self.assertEqual(rgb, rows[y], "row %d" % y)
        # The root window's stipple alternates from row to row: one row
        # lower, the image starts with what was the second row.
        self.assertGreater(len(set(rows)), 1)
        _, _, lower = capture('{"fmt":"png","rect":{"x":10,"y":21,"w":36,"h":23}}')
        self.assertEqual(rows[1:], png_rgb_rows(lower)[:-1])

    def test_regions_off_screen_empty_or_huge(self):
        _, _, png = capture('{"fmt":"png","rect":{"x":1350,"y":760,"w":40,"h":20}}')
        rows = png_rgb_rows(png)
        self.assertEqual((40, 20), png_size(png))
        self.assertEqual(b"\0" * 40 * 3, rows[19])  # beyond the screen: black
        self.assertEqual(b'{"status":0,"msg":"empty region"}',
                         capture('{"rect":{"x":0,"y":0,"w":3,"h":100}}')[2])
        self.assertEqual(b'{"status":0,"msg":"empty region"}',
                         capture('{"rect":{"x":0,"y":0,"w":100,"h":0}}')[2])
        self.assertEqual(b'{"status":0,"msg":"region too large"}',
                         capture('{"rect":{"x":0,"y":0,"w":100000,"h":100000}}')[2])
        self.assertEqual(b'{"status":0,"msg":"no info"}', lud.http_get(PORT, "/captureScreen")[2])

    def test_concurrent_captures_keep_their_own_images(self):
        sizes = [(4 * (i + 1), 10 + i) for i in range(8)]
        results = [None] * len(sizes)

        def run(i):
            w, h = sizes[i]
            info = '{"fmt":"png","rect":{"x":%d,"y":0,"w":%d,"h":%d}}' % (i, w, h)
            results[i] = capture(info)[2]
        threads = [threading.Thread(target=run, args=(i,)) for i in range(len(sizes))]
        for t in threads:
            t.start()
        for t in threads:
            t.join(120)
        for i, (w, h) in enumerate(sizes):
            self.assertEqual((w, h), png_size(results[i]))


class NoDisplay(lud.ServerTest):
    def test_without_a_display_the_failure_says_so(self):
        saved = os.environ.pop("DISPLAY", None)
        try:
            self.start()
        finally:
            if saved is not None:
                os.environ["DISPLAY"] = saved
        self.assertTrue(lud.wait_http(PORT))
        self.assertEqual(b'{"status":0,"msg":"no display"}', capture("{}")[2])
        self.assertEqual(b'{"status":0,"msg":"no display"}', capture('{"cap_wnd":true,"fmt":"png"}')[2])


if __name__ == "__main__":
    unittest.main()
