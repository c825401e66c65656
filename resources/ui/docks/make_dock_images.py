#!/usr/bin/env python3
"""Draws the five drop-target images of dock drag and drop into this folder.

The four edge arrows are 24-bit BMP files (29 x 32 up and down, 32 x 29 left and right); the cross of five
zones is an 89 x 89 PNG with transparency whose zones match the rectangles the dock area tests:
centre (30, 30, 29, 30), left (0, 30, 30, 29), right (59, 30, 30, 29), top (30, 0, 29, 30), bottom (30, 59, 29, 30).
Run it again after changing a colour: python3 make_dock_images.py
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
FRAME = (58, 96, 150)
FILL = (222, 233, 247)
ARROW = (41, 105, 196)
WHITE = (255, 255, 255)


def write_bmp(name, width, height, pixel):
    row_bytes = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):  # bottom-up
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (row_bytes - width * 3)
        rows.append(bytes(row))
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(header + info + data)


def write_png(name, width, height, pixel):
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            raw += bytes(pixel(x, y))
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(png)


def in_triangle(px, py, a, b, c):
    def side(p, q, r):
        return (p[0] - r[0]) * (q[1] - r[1]) - (q[0] - r[0]) * (p[1] - r[1])
    p = (px + 0.5, py + 0.5)
    d1, d2, d3 = side(p, a, b), side(p, b, c), side(p, c, a)
    neg = d1 < 0 or d2 < 0 or d3 < 0
    pos = d1 > 0 or d2 > 0 or d3 > 0
    return not (neg and pos)


def arrow_pixel(width, height, direction):
    """A framed tile with an arrow pointing up, down, left or right."""
    def pixel(x, y):
        if x == 0 or y == 0 or x == width - 1 or y == height - 1:
            return FRAME
        # Draw in the up orientation on a (w, h) grid, then rotate the point.
        if direction in ("up", "down"):
            u, v, w, h = x, y, width, height
            if direction == "down":
                v = h - 1 - v
        else:
            u, v, w, h = y, x, height, width
            if direction == "right":
                v = h - 1 - v
        head = in_triangle(u, v, (w / 2, 4), (4, h / 2), (w - 4, h / 2))
        shaft = abs(u + 0.5 - w / 2) <= 3 and h / 2 <= v <= h - 6
        return ARROW if head or shaft else FILL
    return pixel


ZONES = {
    "centre": (30, 30, 29, 30),
    "left": (0, 30, 30, 29),
    "right": (59, 30, 30, 29),
    "top": (30, 0, 29, 30),
    "bottom": (30, 59, 29, 30),
}


def cross_pixel(x, y):
    for name, (zx, zy, zw, zh) in ZONES.items():
        if zx <= x < zx + zw and zy <= y < zy + zh:
            border = x in (zx, zx + zw - 1) or y in (zy, zy + zh - 1)
            if border:
                return FRAME + (255,)
            cx, cy = zx + zw / 2, zy + zh / 2
            if name == "centre":
                # A page with a tab at its top left: dropping here makes the dock a tab.
                u, v = x + 0.5 - cx, y + 0.5 - cy
                page = abs(u) <= 8 and -4 <= v <= 8 and (abs(u) >= 7 or v <= -3 or v >= 7)
                tab = -8 <= u <= 0 and -8 <= v <= -4
                return (ARROW + (255,)) if page or tab else FILL + (255,)
            # A half-filled square showing which side the dock takes.
            if name == "left":
                half = x < zx + zw / 2
            elif name == "right":
                half = x >= zx + zw / 2
            elif name == "top":
                half = y < zy + zh / 2
            else:
                half = y >= zy + zh / 2
            return (ARROW + (255,)) if half and 5 <= x - zx < zw - 5 and 5 <= y - zy < zh - 5 else FILL + (255,)
    return (0, 0, 0, 0)


if __name__ == "__main__":
    write_bmp("arrow_up.bmp", 29, 32, arrow_pixel(29, 32, "up"))
    write_bmp("arrow_down.bmp", 29, 32, arrow_pixel(29, 32, "down"))
    write_bmp("arrow_left.bmp", 32, 29, arrow_pixel(32, 29, "left"))
    write_bmp("arrow_right.bmp", 32, 29, arrow_pixel(32, 29, "right"))
    write_png("arrow_area.png", 89, 89, cross_pixel)
