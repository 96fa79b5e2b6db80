#!/usr/bin/env python3
"""Draws the program's artwork (a badge reader and a badge) into picture.png
and icon.png. Run once; the PNGs are committed. Needs only the standard library."""
import struct
import zlib


class Canvas:
    def __init__(self, w, h, bg):
        self.w, self.h = w, h
        self.px = [[bg for _ in range(w)] for _ in range(h)]

    def rect(self, x0, y0, x1, y1, color, radius=0):
        for y in range(max(0, y0), min(self.h, y1)):
            for x in range(max(0, x0), min(self.w, x1)):
                if radius:
                    cx = min(max(x, x0 + radius), x1 - 1 - radius)
                    cy = min(max(y, y0 + radius), y1 - 1 - radius)
                    if (x - cx) ** 2 + (y - cy) ** 2 > radius * radius:
                        continue
                self.px[y][x] = color

    def circle(self, cx, cy, r, color):
        self.rect(cx - r, cy - r, cx + r + 1, cy + r + 1, color, r)

    def png(self, path):
        raw = b"".join(b"\x00" + bytes(c for p in row for c in p) for row in self.px)
        def chunk(kind, data):
            return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n")
            f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", self.w, self.h, 8, 2, 0, 0, 0)))
            f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
            f.write(chunk(b"IEND", b""))


GREY = (0xC0, 0xC0, 0xC0)
BODY = (0x3A, 0x40, 0x48)
EDGE = (0x22, 0x26, 0x2B)
LCD = (0x9C, 0xC8, 0x6E)
LCD_TEXT = (0x2E, 0x44, 0x1C)
KEY = (0xDD, 0xDD, 0xD8)
LED = (0x2E, 0xCC, 0x40)
CARD = (0x1F, 0x5F, 0xB0)
STRIPE = (0x10, 0x10, 0x10)
WHITE = (0xF4, 0xF4, 0xF4)


def reader(c, x, y, s):
    """A wall terminal at (x, y), scale s (1 = 120 x 160)."""
    S = lambda v: int(v * s)
    c.rect(x, y, x + S(120), y + S(160), EDGE, S(12))
    c.rect(x + S(3), y + S(3), x + S(117), y + S(157), BODY, S(10))
    c.rect(x + S(14), y + S(16), x + S(106), y + S(56), LCD, S(3))
    for i, w in enumerate((60, 44, 70)):
        c.rect(x + S(20), y + S(22 + 11 * i), x + S(20 + w), y + S(28 + 11 * i), LCD_TEXT)
    for row in range(4):
        for col in range(3):
            kx, ky = x + S(22 + col * 28), y + S(68 + row * 20)
            c.rect(kx, ky, kx + S(20), ky + S(14), KEY, S(3))
    c.circle(x + S(100), y + S(148), max(1, S(4)), LED)
    c.rect(x + S(114), y + S(40), x + S(120), y + S(130), EDGE)  # badge slot


def badge(c, x, y):
    c.rect(x, y, x + 110, y + 70, CARD, 8)
    c.rect(x, y + 14, x + 110, y + 26, STRIPE)
    c.rect(x + 10, y + 36, x + 34, y + 62, WHITE, 3)
    for i, w in enumerate((56, 40, 48)):
        c.rect(x + 44, y + 38 + 8 * i, x + 44 + w, y + 42 + 8 * i, WHITE)


picture = Canvas(300, 180, GREY)
reader(picture, 40, 10, 1.0)
badge(picture, 170, 70)
picture.png("picture.png")

icon = Canvas(32, 32, GREY)
reader(icon, 6, 2, 0.18)
icon.rect(5, 1, 27, 31, EDGE, 3)
icon.rect(7, 3, 25, 29, BODY, 2)
icon.rect(9, 5, 23, 12, LCD)
for row in range(3):
    for col in range(3):
        icon.rect(10 + col * 4, 15 + row * 4, 13 + col * 4, 17 + row * 4, KEY)
icon.png("icon.png")
