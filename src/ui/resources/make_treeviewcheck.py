#!/usr/bin/env python3
"""Draws treeviewcheck.png: the three 13 x 12 state glyphs of the temperature point tree side by
side (empty sunken box, box with a check mark, box with a cross). Run it again after changing the
pictures; the PNG is committed so the build needs no Python."""
import struct
import sys
import zlib

W, H, GLYPH = 39, 12, 13
CLEAR = (0, 0, 0, 0)
pixels = [[CLEAR] * W for _ in range(H)]


def put(x, y, rgb):
    pixels[y][x] = rgb + (255,)


def box(ox):
    # A 12 x 12 sunken box: dark edges top and left, light edges bottom and right, white inside.
    for i in range(12):
        put(ox + i, 0, (128, 128, 128))
        put(ox + 0, i, (128, 128, 128))
        put(ox + i, 11, (255, 255, 255))
        put(ox + 11, i, (255, 255, 255))
    for i in range(1, 11):
        put(ox + i, 1, (64, 64, 64))
        put(ox + 1, i, (64, 64, 64))
        put(ox + i, 10, (212, 208, 200))
        put(ox + 10, i, (212, 208, 200))
    for y in range(2, 10):
        for x in range(2, 10):
            put(ox + x, y, (255, 255, 255))


def check(ox):
    colour = (0, 128, 0)
    # Two pixels thick: down-right from (3,5) to (5,7), then up-right to (9,3).
    stroke = [(3, 5), (4, 6), (5, 7), (6, 6), (7, 5), (8, 4), (9, 3)]
    for x, y in stroke:
        put(ox + x, y, colour)
        put(ox + x, y + 1, colour)


def cross(ox):
    colour = (192, 0, 0)
    for i in range(3, 9):
        put(ox + i, i, colour)
        put(ox + i + 1, i, colour)
        put(ox + 11 - i, i, colour)
        put(ox + 11 - i - 1, i, colour)


for k in range(3):
    box(k * GLYPH)
check(1 * GLYPH)
cross(2 * GLYPH)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in pixels)
png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 6, 0, 0, 0)) +
       chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))
out = sys.argv[1] if len(sys.argv) > 1 else "treeviewcheck.png"
with open(out, "wb") as f:
    f.write(png)
