#!/usr/bin/env python3
"""Draws ludguard's three icons as .ico files (32-bit, alpha):
  ludguard.ico  the application: a blue shield with a white check, 8 sizes
  running.ico   a green disc with a white "play" triangle, 32 x 32
  stopped.ico   a grey disc with a white square, 32 x 32
Shapes are sampled 4 x 4 per pixel for smooth edges.

    draw_icons.py OUTPUT_DIR
"""
import math
import os
import struct
import sys

SAMPLES = 4


def shield(x, y):
    """Shield in the unit square: straight top half, pointed bottom."""
    if not (0.12 <= x <= 0.88 and 0.08 <= y <= 0.94):
        return False
    if y < 0.5:
        return True
    half = 0.38 * math.cos((y - 0.5) / 0.44 * math.pi / 2)
    return abs(x - 0.5) <= half


def check(x, y):
    """A check mark: two thick strokes."""
    def near(ax, ay, bx, by, width):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        return math.hypot(x - ax - t * dx, y - ay - t * dy) <= width
    return near(0.30, 0.50, 0.45, 0.66, 0.07) or near(0.45, 0.66, 0.72, 0.32, 0.07)


def disc(x, y):
    return math.hypot(x - 0.5, y - 0.5) <= 0.46


def triangle(x, y):
    return 0.38 <= x <= 0.72 and abs(y - 0.5) <= (0.72 - x) * 0.58


def square(x, y):
    return 0.33 <= x <= 0.67 and 0.33 <= y <= 0.67


def app_pixel(x, y):
    if check(x, y) and shield(x, y):
        return (255, 255, 255)
    if shield(x, y):
        return (43, 108, 176)
    return None


def running_pixel(x, y):
    if triangle(x, y):
        return (255, 255, 255)
    return (46, 160, 67) if disc(x, y) else None


def stopped_pixel(x, y):
    if square(x, y):
        return (255, 255, 255)
    return (128, 128, 128) if disc(x, y) else None


def render(shape, size):
    """Rows top to bottom of (b, g, r, a) with premultiplied-free colours."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0]
            hits = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = shape((px + (sx + 0.5) / SAMPLES) / size, (py + (sy + 0.5) / SAMPLES) / size)
                    if c:
                        hits += 1
                        for i in range(3):
                            acc[i] += c[i]
            if hits:
                r, g, b = (acc[i] // hits for i in range(3))
                row.append((b, g, r, 255 * hits // (SAMPLES * SAMPLES)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def dib(rows):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes(p) for row in reversed(rows) for p in row)
    mask_row = ((size + 31) // 32) * 4
    return header + pixels + b"\0" * (mask_row * size)


def write_ico(path, shape, sizes):
    images = [dib(render(shape, s)) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_ico(os.path.join(out, "ludguard.ico"), app_pixel, [16, 20, 24, 32, 40, 48, 64, 128])
    write_ico(os.path.join(out, "running.ico"), running_pixel, [32])
    write_ico(os.path.join(out, "stopped.ico"), stopped_pixel, [32])


if __name__ == "__main__":
    main()
