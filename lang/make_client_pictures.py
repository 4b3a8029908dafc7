#!/usr/bin/env python3
"""Draws the client program's own pictures: the tray status icons and the splash.

Run once after changing a drawing; the files it writes are kept in pictures/.
"""
import os

from make_pictures import (OUT, VGA16, BLACK, NAVY, PURPLE, SILVER, GREY, RED, LIME, YELLOW,
                           WHITE, canvas, fill, shield, write_bmp, write_ico)

# Block letters, 5 x 7, for the splash caption.
LETTERS = {
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "I": ["11111", "00100", "00100", "00100", "00100", "00100", "11111"],
    "G": ["01111", "10000", "10000", "10111", "10001", "10001", "01111"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
}


def disc(p, m, cx, cy, r, colour):
    for y in range(cy - r, cy + r + 1):
        for x in range(cx - r, cx + r + 1):
            if 0 <= y < 32 and 0 <= x < 32 and (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                p[y][x] = colour
                m[y][x] = 0


def status_icon(name, connected, old, mobile, realtime_off):
    """The emblem coloured by connection (navy on line, grey off line, purple in forced mobile
    mode), with a yellow "!" badge for an old pattern and a red bar badge for real-time off."""
    p = canvas(32, 32, BLACK)
    m = canvas(32, 32, 1)
    if mobile:
        outline, body, mark = WHITE, PURPLE, WHITE
    elif connected:
        outline, body, mark = WHITE, NAVY, LIME
    else:
        outline, body, mark = SILVER, GREY, WHITE
    shield(p, 15, 1, 28, outline, body, mark)
    for y in range(32):
        for x in range(32):
            if p[y][x] != BLACK:
                m[y][x] = 0
    if old:
        disc(p, m, 24, 24, 7, BLACK)
        disc(p, m, 24, 24, 6, YELLOW)
        fill(p, 23, 19, 26, 26, BLACK)
        fill(p, 23, 27, 26, 29, BLACK)
    if realtime_off:
        disc(p, m, 7, 24, 7, BLACK)
        disc(p, m, 7, 24, 6, RED)
        fill(p, 2, 23, 13, 26, WHITE)
    write_ico(name, p, m)


def status_icons():
    # (file, connected, pattern old, mobile, real-time off)
    for name, c, o, mob, off in [
            ("status_offline.ico", 0, 0, 0, 0), ("status_online.ico", 1, 0, 0, 0),
            ("status_offline_old.ico", 0, 1, 0, 0), ("status_online_old.ico", 1, 1, 0, 0),
            ("status_mobile.ico", 0, 0, 1, 0), ("status_mobile_old.ico", 0, 1, 1, 0),
            ("status_rtoff_offline.ico", 0, 0, 0, 1), ("status_rtoff_online.ico", 1, 0, 0, 1),
            ("status_rtoff_offline_old.ico", 0, 1, 0, 1), ("status_rtoff_online_old.ico", 1, 1, 0, 1),
            ("status_rtoff_mobile.ico", 0, 0, 1, 1), ("status_rtoff_mobile_old.ico", 0, 1, 1, 1)]:
        status_icon(name, c, o, mob, off)


def caption(p, text, x0, y0, scale, colour):
    for i, ch in enumerate(text):
        rows = LETTERS[ch]
        for y, row in enumerate(rows):
            for x, bit in enumerate(row):
                if bit == "1":
                    fill(p, x0 + (i * 6 + x) * scale, y0 + y * scale,
                         x0 + (i * 6 + x + 1) * scale, y0 + (y + 1) * scale, colour)


def splash_256():
    w, h = 360, 200
    palette = []
    for i in range(128):            # 0..127: navy to teal, top to bottom
        t = i / 127
        palette.append((int(12 + 18 * t), int(36 + 100 * t), int(100 + 70 * t)))
    palette += [(255, 255, 255), (40, 170, 80), (230, 235, 240), (20, 30, 60), (250, 200, 40)]
    palette += [(0, 0, 0)] * (256 - len(palette))
    p = [[min(127, y * 128 // h) for _ in range(w)] for y in range(h)]
    fill(p, 0, h - 24, w, h, 130)
    fill(p, 0, h - 26, w, h - 24, 132)
    shield(p, 70, 38, 96, 128, 131, 129)
    caption(p, "VIGILON", 136, 70, 5, 128)
    fill(p, 136, 118, 136 + 41 * 5, 121, 132)
    write_bmp("splash256.bmp", p, palette, 8)


def splash_16():
    w, h = 360, 200
    p = canvas(w, h, NAVY)
    fill(p, 0, h - 24, w, h, SILVER)
    shield(p, 70, 38, 96, WHITE, NAVY, LIME)
    caption(p, "VIGILON", 136, 70, 5, WHITE)
    fill(p, 136, 118, 136 + 41 * 5, 121, YELLOW)
    write_bmp("splash16.bmp", p, VGA16, 4)


def about_256():
    """The About box's side picture: the splash's colours and emblem, upright."""
    w, h = 96, 160
    palette = []
    for i in range(128):
        t = i / 127
        palette.append((int(12 + 18 * t), int(36 + 100 * t), int(100 + 70 * t)))
    palette += [(255, 255, 255), (40, 170, 80), (230, 235, 240), (20, 30, 60), (250, 200, 40)]
    palette += [(0, 0, 0)] * (256 - len(palette))
    p = [[min(127, y * 128 // h) for _ in range(w)] for y in range(h)]
    shield(p, 48, 24, 64, 128, 131, 129)
    fill(p, 12, 104, w - 12, 107, 132)
    write_bmp("about256.bmp", p, palette, 8)


def about_16():
    w, h = 96, 160
    p = canvas(w, h, NAVY)
    shield(p, 48, 24, 64, WHITE, NAVY, LIME)
    fill(p, 12, 104, w - 12, 107, YELLOW)
    write_bmp("about16.bmp", p, VGA16, 4)


if __name__ == "__main__":
    os.makedirs(OUT, exist_ok=True)
    status_icons()
    splash_256()
    splash_16()
    about_256()
    about_16()
