#!/usr/bin/env python3
"""Draws the virus-log page's View Log button: up, down, focused and disabled.

Run once after changing a drawing; the files it writes are kept in pictures/.
"""
from make_pictures import VGA16, BLACK, NAVY, SILVER, GREY, RED, WHITE, canvas, fill, write_bmp


W, H = 40, 30      # the lower third stays free for the button's caption


def log_sheet(p, dx, dy, ink, mark):
    x0, y0 = 13 + dx, 2 + dy
    fill(p, x0, y0, x0 + 14, y0 + 17, WHITE)               # a sheet of lines
    for y in range(y0, y0 + 17):
        p[y][x0] = p[y][x0 + 13] = GREY
    fill(p, x0, y0 + 16, x0 + 14, y0 + 17, GREY)
    for row in range(4):
        fill(p, x0 + 3, y0 + 3 + 3 * row, x0 + 11, y0 + 4 + 3 * row, ink)
    fill(p, x0 + 3, y0 + 6, x0 + 5, y0 + 7, mark)           # one line marked: a finding


def frame(p, light, dark):
    for x in range(W):
        p[0][x], p[H - 1][x] = light, dark
    for y in range(H):
        p[y][0], p[y][W - 1] = light, dark


def picture(name, dx, dy, ink, mark, light, dark, focus=False):
    p = canvas(W, H, SILVER)
    log_sheet(p, dx, dy, ink, mark)
    frame(p, light, dark)
    if focus:
        for i in range(2, W - 2, 2):
            p[2][i] = p[H - 3][i] = BLACK
        for i in range(2, H - 2, 2):
            p[i][2] = p[i][W - 3] = BLACK
    write_bmp(name, p, VGA16, 4)


if __name__ == "__main__":
    picture("viewlog_up.bmp", 0, 0, NAVY, RED, WHITE, GREY)
    picture("viewlog_down.bmp", 1, 1, NAVY, RED, GREY, WHITE)
    picture("viewlog_focus.bmp", 0, 0, NAVY, RED, WHITE, GREY, focus=True)
    picture("viewlog_disabled.bmp", 0, 0, GREY, GREY, WHITE, GREY)
