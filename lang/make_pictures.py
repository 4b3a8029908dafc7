#!/usr/bin/env python3
"""Draws the pictures of the language resource libraries (BMP and ICO files).

Run once after changing a drawing; the files it writes are kept beside it.
"""
import math
import os
import struct

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "pictures")

# The 16-colour palette of the standard VGA display.
VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
         (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
         (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER, GREY, RED, LIME, YELLOW, BLUE, \
    FUCHSIA, AQUA, WHITE = range(16)


def row_bytes(width, bits):
    return ((width * bits + 31) & ~31) // 8


def pack_rows(pixels, width, height, bits):
    """pixels[y][x] palette indexes, top row first; returns bottom-up padded rows."""
    out = bytearray()
    stride = row_bytes(width, bits)
    for y in range(height - 1, -1, -1):
        row = bytearray(stride)
        for x in range(width):
            v = pixels[y][x]
            if bits == 8:
                row[x] = v
            elif bits == 4:
                row[x // 2] |= (v & 15) << (4 if x % 2 == 0 else 0)
            elif bits == 1:
                if v:
                    row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def info_header(width, height, bits, colours):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0,
                       row_bytes(width, bits) * abs(height), 2835, 2835, colours, 0)


def colour_table(palette, count):
    table = bytearray()
    for i in range(count):
        r, g, b = palette[i] if i < len(palette) else (0, 0, 0)
        table += bytes((b, g, r, 0))
    return bytes(table)


def write_bmp(name, pixels, palette, bits):
    height, width = len(pixels), len(pixels[0])
    count = 1 << bits
    body = info_header(width, height, bits, count) + colour_table(palette, count) + \
        pack_rows(pixels, width, height, bits)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(body), 0, 0, 14 + 40 + 4 * count)
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(head + body)


def write_ico(name, pixels, mask):
    """A 32 x 32 icon of 16 colours; mask[y][x] 1 = transparent."""
    height, width = len(pixels), len(pixels[0])
    image = info_header(width, height * 2, 4, 16) + colour_table(VGA16, 16) + \
        pack_rows(pixels, width, height, 4) + pack_rows(mask, width, height, 1)
    head = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", width, height, 16, 0, 1, 4,
                                                      len(image), 22)
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(head + image)


def canvas(w, h, v):
    return [[v] * w for _ in range(h)]


def fill(p, x0, y0, x1, y1, v):
    for y in range(max(0, y0), min(len(p), y1)):
        for x in range(max(0, x0), min(len(p[0]), x1)):
            p[y][x] = v


def shield(p, cx, top, size, outline, body, mark):
    """A shield with a tick, the product's emblem."""
    for y in range(size):
        half = size // 2 if y < size * 0.55 else int((size // 2) * (1 - (y - size * 0.55) / (size * 0.45)))
        for x in range(cx - half, cx + half + 1):
            edge = x in (cx - half, cx + half) or y in (0, size - 1) or abs(x - cx) >= half - 1
            if 0 <= top + y < len(p) and 0 <= x < len(p[0]):
                p[top + y][x] = outline if edge else body
    # the tick: short stroke down-right, long stroke up-right
    for i in range(size // 5):
        for t in range(3):
            p[top + size // 2 + i - 2 + t][cx - size // 5 + i] = mark
    for i in range(size // 3):
        for t in range(3):
            p[top + size // 2 + size // 5 - i - 3 + t][cx + i] = mark


def banner_256():
    w, h = 480, 64
    palette = []
    for i in range(128):            # 0..127: navy to teal gradient
        t = i / 127
        palette.append((int(10 + 20 * t), int(40 + 110 * t), int(110 + 60 * t)))
    palette += [(255, 255, 255), (40, 170, 80), (230, 235, 240), (20, 30, 60)]
    palette += [(0, 0, 0)] * (256 - len(palette))
    p = [[min(127, x * 128 // w) for x in range(w)] for _ in range(h)]
    for y in range(h - 6, h):       # a light band along the bottom
        for x in range(w):
            p[y][x] = 130
    for x in range(0, w, 24):       # faint scan lines
        for y in range(4, h - 10, 6):
            if p[y][x] < 126:
                p[y][x] += 2
    shield(p, 36, 6, 46, 128, 131, 129)
    write_bmp("banner256.bmp", p, palette, 8)


def banner_16():
    w, h = 480, 64
    p = canvas(w, h, NAVY)
    for x in range(w):               # three bands stand in for the gradient
        band = NAVY if x < w // 3 else (BLUE if x < 2 * w // 3 else TEAL)
        for y in range(h - 6):
            p[y][x] = band
    fill(p, 0, h - 6, w, h, SILVER)
    shield(p, 36, 6, 46, WHITE, NAVY, LIME)
    write_bmp("banner16.bmp", p, VGA16, 4)


def button(name, draw):
    p = canvas(16, 15, SILVER)
    draw(p)
    write_bmp(name, p, VGA16, 4)


def draw_new(p):
    fill(p, 3, 2, 11, 13, WHITE)           # a sheet
    for y in range(2, 13):
        p[y][3] = p[y][10] = GREY
    fill(p, 3, 12, 11, 13, GREY)
    fill(p, 9, 6, 16, 8, NAVY)             # a plus at its corner
    fill(p, 11, 4, 13, 11, NAVY)


def draw_delete(p):
    for i in range(9):
        for t in range(2):
            p[3 + i][3 + i + t] = RED
            p[3 + i][11 - i + t] = RED


def draw_up(p):
    for i in range(5):
        fill(p, 8 - i, 4 + i, 9 + i, 5 + i, BLACK)
    fill(p, 6, 9, 11, 12, BLACK)


def draw_down(p):
    fill(p, 6, 3, 11, 6, BLACK)
    for i in range(5):
        fill(p, 4 + i, 6 + i, 13 - i, 7 + i, BLACK)


def tick_boxes():
    """Four 16 x 16 cells on red (the transparent colour): none, unticked, ticked, partly ticked."""
    p = canvas(64, 16, RED)
    for cell in (1, 2, 3):
        x0 = cell * 16 + 2
        fill(p, x0, 2, x0 + 13, 15, WHITE if cell != 3 else SILVER)
        for i in range(13):
            p[2][x0 + i] = p[14][x0 + i] = GREY
            p[2 + i][x0] = p[2 + i][x0 + 12] = GREY
        if cell in (2, 3):
            colour = BLACK if cell == 2 else GREY
            for i in range(3):
                for t in range(3):
                    p[7 + i + t][x0 + 3 + i] = colour
            for i in range(5):
                for t in range(3):
                    p[9 - i + t][x0 + 5 + i] = colour
    write_bmp("tickboxes.bmp", p, VGA16, 4)


def scan_frames(n):
    """A lens circling over a document: frame i of n."""
    for i in range(n):
        p = canvas(32, 32, BLACK)
        m = canvas(32, 32, 1)
        fill(p, 7, 3, 23, 29, WHITE)
        fill(m, 7, 3, 23, 29, 0)
        for y in range(7, 27, 4):
            fill(p, 9, y, 21, y + 1, GREY)
        a = 2 * math.pi * i / n
        cx, cy = 16 + int(6 * math.cos(a)), 16 + int(6 * math.sin(a))
        for y in range(32):
            for x in range(32):
                d = math.hypot(x - cx, y - cy)
                if 5 <= d <= 7:
                    p[y][x], m[y][x] = NAVY, 0
                elif d < 5 and m[y][x] == 0:
                    p[y][x] = AQUA if p[y][x] == WHITE else TEAL
        for k in range(6):                  # the handle
            for t in range(2):
                x, y = cx + 5 + k + t, cy + 5 + k
                if x < 32 and y < 32:
                    p[y][x], m[y][x] = MAROON, 0
        write_ico("scan%02d.ico" % i, p, m)


def emblem_icon():
    p = canvas(32, 32, BLACK)
    m = canvas(32, 32, 1)
    shield(p, 15, 2, 28, WHITE, NAVY, LIME)
    for y in range(32):
        for x in range(32):
            if p[y][x] != BLACK:
                m[y][x] = 0
    write_ico("emblem.ico", p, m)


if __name__ == "__main__":
    os.makedirs(OUT, exist_ok=True)
    banner_256()
    banner_16()
    button("new.bmp", draw_new)
    button("delete.bmp", draw_delete)
    button("up.bmp", draw_up)
    button("down.bmp", draw_down)
    tick_boxes()
    scan_frames(10)
    emblem_icon()
