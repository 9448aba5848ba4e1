#!/usr/bin/env python3
"""Draws the remote pane's pictures into data/icons/ and the splash picture
into app/prompts_splash_picture.cpp. Pure Python: shapes are filled on a
4x grid and averaged down, so edges come out smooth."""
import math, os, struct, sys, zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SS = 4


class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.W, self.H = w * SS, h * SS
        self.px = [[(0, 0, 0, 0)] * self.W for _ in range(self.H)]

    def _blend(self, x, y, c):
        r, g, b, a = c
        if a >= 255:
            self.px[y][x] = (r, g, b, 255)
            return
        R, G, B, A = self.px[y][x]
        fa = a / 255.0
        na = fa + A / 255.0 * (1 - fa)
        if na <= 0:
            return
        mix = lambda s, d: int((s * fa + d * (A / 255.0) * (1 - fa)) / na)
        self.px[y][x] = (mix(r, R), mix(g, G), mix(b, B), int(na * 255))

    def poly(self, pts, c):
        """Even-odd fill of a polygon given in icon pixels."""
        P = [(x * SS, y * SS) for x, y in pts]
        ys = [p[1] for p in P]
        for y in range(max(0, int(min(ys))), min(self.H, int(math.ceil(max(ys))))):
            cy = y + 0.5
            xs = []
            for i in range(len(P)):
                (x1, y1), (x2, y2) = P[i], P[(i + 1) % len(P)]
                if (y1 <= cy < y2) or (y2 <= cy < y1):
                    xs.append(x1 + (cy - y1) * (x2 - x1) / (y2 - y1))
            xs.sort()
            for a, b in zip(xs[0::2], xs[1::2]):
                for x in range(max(0, int(a + 0.5)), min(self.W, int(b + 0.5))):
                    self._blend(x, y, c)

    def rect(self, x, y, w, h, c):
        self.poly([(x, y), (x + w, y), (x + w, y + h), (x, y + h)], c)

    def frame(self, x, y, w, h, c, t=1):
        self.rect(x, y, w, t, c); self.rect(x, y + h - t, w, t, c)
        self.rect(x, y, t, h, c); self.rect(x + w - t, y, t, h, c)

    def circle(self, cx, cy, r, c, n=32):
        self.poly([(cx + r * math.cos(2 * math.pi * i / n), cy + r * math.sin(2 * math.pi * i / n)) for i in range(n)], c)

    def ring(self, cx, cy, r, t, c, n=32):
        outer = [(cx + r * math.cos(2 * math.pi * i / n), cy + r * math.sin(2 * math.pi * i / n)) for i in range(n)]
        inner = [(cx + (r - t) * math.cos(2 * math.pi * i / n), cy + (r - t) * math.sin(2 * math.pi * i / n)) for i in range(n)]
        # Two rings joined at a seam fill as an annulus under even-odd.
        self.poly(outer + [outer[0]] + [inner[0]] + inner[::-1] + [inner[0]], c)

    def line(self, x1, y1, x2, y2, c, t=1.0):
        dx, dy = x2 - x1, y2 - y1
        l = math.hypot(dx, dy) or 1
        nx, ny = -dy / l * t / 2, dx / l * t / 2
        self.poly([(x1 + nx, y1 + ny), (x2 + nx, y2 + ny), (x2 - nx, y2 - ny), (x1 - nx, y1 - ny)], c)

    def png(self):
        rows = []
        for y in range(self.h):
            row = bytearray([0])
            for x in range(self.w):
                acc = [0, 0, 0, 0]
                for sy in range(SS):
                    for sx in range(SS):
                        r, g, b, a = self.px[y * SS + sy][x * SS + sx]
                        acc[0] += r * a; acc[1] += g * a; acc[2] += b * a; acc[3] += a
                n = SS * SS
                if acc[3]:
                    row += bytes([acc[0] // acc[3], acc[1] // acc[3], acc[2] // acc[3], acc[3] // n])
                else:
                    row += bytes(4)
            rows.append(bytes(row))
        def chunk(kind, data):
            return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", self.w, self.h, 8, 6, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


INK = (70, 70, 85, 255)


def folder(c, body=(240, 196, 80, 255), edge=(160, 115, 25, 255), open_=False):
    c.poly([(1, 3), (6, 3), (7.5, 4.5), (15, 4.5), (15, 14), (1, 14)], edge)
    c.poly([(1.8, 3.8), (5.7, 3.8), (7.2, 5.3), (14.2, 5.3), (14.2, 13.2), (1.8, 13.2)], body)
    if open_:
        c.poly([(3, 7), (16, 7), (14, 14), (1, 14)], edge)
        c.poly([(3.6, 7.8), (15, 7.8), (13.4, 13.2), (1.9, 13.2)], (252, 222, 130, 255))


def page(c, fill=(255, 255, 255, 255), band=None):
    c.poly([(3, 1), (10, 1), (13, 4), (13, 15), (3, 15)], INK)
    c.poly([(3.8, 1.8), (9.6, 1.8), (12.2, 4.4), (12.2, 14.2), (3.8, 14.2)], fill)
    c.poly([(9.6, 1.8), (12.2, 4.4), (9.6, 4.4)], (200, 200, 210, 255))
    if band:
        c.rect(3.8, 10.5, 8.4, 3.7, band)


def text_lines(c, color=(120, 120, 140, 255), top=6, n=4):
    for i in range(n):
        c.rect(5, top + 2 * i, 6 if i % 2 == 0 else 4.5, 0.9, color)


def icon(name, draw, w=16, h=16):
    c = Canvas(w, h)
    draw(c)
    with open(os.path.join(ROOT, "data", "icons", name), "wb") as f:
        f.write(c.png())


def draw_all():
    icon("folder.png", lambda c: folder(c))
    icon("folder_open.png", lambda c: folder(c, open_=True))
    icon("folder_unlisted.png", lambda c: folder(c, body=(236, 222, 180, 255), edge=(150, 140, 110, 255)))
    icon("file.png", lambda c: (page(c), text_lines(c)))
    icon("hidden.png", lambda c: (page(c, fill=(232, 232, 238, 255)), c.circle(8, 9, 2, (150, 150, 165, 255))))
    def broken(c):
        page(c, fill=(245, 240, 240, 255))
        c.line(5, 6, 11, 12, (200, 40, 40, 255), 1.6); c.line(11, 6, 5, 12, (200, 40, 40, 255), 1.6)
    icon("link_broken.png", broken)
    def link_overlay(c):
        c.rect(0, 9, 7, 7, (255, 255, 255, 255)); c.frame(0, 9, 7, 7, INK)
        c.poly([(1.5, 14.5), (4, 12), (3, 11), (6, 10.2), (5.2, 13.2), (4.5, 12.6), (2.3, 15)], (30, 90, 200, 255))
    icon("link_overlay.png", link_overlay)
    def exe_overlay(c):
        c.circle(12, 12, 3.6, (40, 150, 60, 255)); c.circle(12, 12, 1.4, (255, 255, 255, 255))
    icon("exec_overlay.png", exe_overlay)
    def up(c):
        c.poly([(8, 2), (14, 8), (10, 8), (10, 14), (6, 14), (6, 8), (2, 8)], (40, 110, 200, 255))
    icon("up.png", up)
    def reload(c):
        c.ring(8, 8, 6, 2, (40, 140, 70, 255))
        c.rect(8, 0, 8, 8, (0, 0, 0, 0))
        c.poly([(8, 0.5), (12.5, 2.5), (8, 5.5)], (40, 140, 70, 255))
    # The cut-out corner needs transparent pixels, not a blend.
    def reload_clean(c):
        reload(c)
        for y in range(0, 7 * SS):
            for x in range(9 * SS, 16 * SS):
                if not (y < 5.5 * SS and x < 12.5 * SS):
                    c.px[y][x] = (0, 0, 0, 0)
        c.poly([(8, 0.5), (12.5, 3), (8, 5.5)], (40, 140, 70, 255))
    icon("reload.png", reload_clean)
    def funnel(col):
        return lambda c: c.poly([(1, 2), (15, 2), (9.5, 8), (9.5, 14), (6.5, 12), (6.5, 8)], col)
    icon("filter.png", funnel((120, 125, 140, 255)))
    icon("filter_on.png", funnel((220, 120, 20, 255)))
    def tree(c):
        c.rect(2, 2, 5, 3, INK); c.rect(4, 5, 1, 8, INK)
        c.rect(4, 7.5, 4, 1, INK); c.rect(4, 12, 4, 1, INK)
        c.rect(8, 6.5, 6, 3, (240, 196, 80, 255)); c.rect(8, 11, 6, 3, (240, 196, 80, 255))
    icon("folders.png", tree)
    # Types named by the extension list.
    icon("text.png", lambda c: (page(c), text_lines(c, n=5)))
    icon("document.png", lambda c: (page(c, band=(40, 90, 180, 255)), text_lines(c, top=5, n=3)))
    def web(c):
        page(c)
        c.ring(8, 9.5, 3.6, 0.9, (30, 120, 200, 255)); c.rect(4.4, 9.1, 7.2, 0.8, (30, 120, 200, 255))
        c.rect(7.6, 5.9, 0.8, 7.2, (30, 120, 200, 255))
    icon("web.png", web)
    def code(c):
        page(c)
        col = (130, 60, 170, 255)
        c.line(7, 6.5, 5, 9, col, 1.2); c.line(5, 9, 7, 11.5, col, 1.2)
        c.line(9, 6.5, 11, 9, col, 1.2); c.line(11, 9, 9, 11.5, col, 1.2)
    icon("code.png", code)
    def style(c):
        page(c)
        for i, col in enumerate([(220, 60, 60, 255), (60, 160, 60, 255), (50, 100, 210, 255)]):
            c.rect(5, 6 + 2.5 * i, 6, 1.8, col)
    icon("style.png", style)
    def data(c):
        page(c)
        for i in range(3):
            c.rect(5, 6 + 2.6 * i, 6.5, 0.8, (90, 140, 90, 255))
        c.rect(8, 5.5, 0.8, 7.5, (90, 140, 90, 255))
    icon("data.png", data)
    def image(c):
        page(c)
        c.rect(4.5, 5.5, 7, 7, (170, 215, 250, 255))
        c.poly([(4.5, 12.5), (7.5, 8), (9.5, 10.5), (10.5, 9.5), (11.5, 12.5)], (60, 150, 70, 255))
        c.circle(10, 7, 1, (250, 190, 40, 255))
    icon("image.png", image)
    def audio(c):
        page(c)
        col = (200, 60, 120, 255)
        c.circle(6.5, 11.5, 1.5, col); c.rect(7.4, 5.5, 0.9, 6, col); c.poly([(8.3, 5.5), (11, 6.8), (11, 8), (8.3, 6.8)], col)
    icon("audio.png", audio)
    def video(c):
        page(c)
        c.poly([(6, 6), (11, 9), (6, 12)], (210, 70, 50, 255))
    icon("video.png", video)
    def archive(c):
        page(c, fill=(245, 235, 200, 255))
        for i in range(5):
            c.rect(7 + (i % 2), 2 + 2 * i, 1.2, 1.2, INK)
        c.rect(6.5, 11, 2.5, 2.5, INK)
    icon("archive.png", archive)
    def font(c):
        page(c)
        col = (60, 60, 60, 255)
        c.line(5, 13, 8, 5.5, col, 1.3); c.line(8, 5.5, 11, 13, col, 1.3); c.rect(6.2, 10, 3.6, 1, col)
    icon("font.png", font)
    def program(c):
        c.rect(1, 2, 14, 12, INK); c.rect(2, 5, 12, 8, (235, 240, 250, 255)); c.rect(2, 3, 12, 1.5, (40, 90, 180, 255))
        c.circle(8, 9, 2, (40, 150, 60, 255))
    icon("program.png", program)
    def script(c):
        page(c, fill=(238, 250, 238, 255))
        col = (40, 120, 40, 255)
        c.line(5, 6, 7, 7.5, col, 1.1); c.line(7, 7.5, 5, 9, col, 1.1); c.rect(7.5, 10.5, 3.5, 1, col)
    icon("script.png", script)
    def lock(c):
        # The shackle: a ring whose lower half the body covers.
        c.ring(8, 6.5, 4, 1.5, (110, 110, 120, 255))
        c.rect(4, 7, 8, 0.1, (0, 0, 0, 0))
        c.rect(4, 6.5, 1.5, 2.5, (110, 110, 120, 255)); c.rect(10.5, 6.5, 1.5, 2.5, (110, 110, 120, 255))
        c.rect(2.5, 8, 11, 7.5, (60, 60, 70, 255))
        c.rect(3.3, 8.8, 9.4, 5.9, (232, 180, 40, 255))
        c.circle(8, 11, 1.3, (60, 60, 70, 255)); c.rect(7.4, 11, 1.2, 2.5, (60, 60, 70, 255))
    icon("lock.png", lock)


def splash():
    w, h = 400, 220
    c = Canvas(w, h)
    global SS
    c.rect(0, 0, w, h, (28, 52, 96, 255))
    for i in range(12):
        c.rect(0, 150 + i * 6, w, 3, (34 + i * 2, 62 + i * 2, 112 + i * 2, 255))
    # Two folders and the arc of a transfer between them.
    for x0 in (40, 290):
        c.poly([(x0, 60), (x0 + 28, 60), (x0 + 36, 70), (x0 + 70, 70), (x0 + 70, 120), (x0, 120)], (240, 196, 80, 255))
    for i in range(9):
        t = i / 8.0
        x = 120 + t * 160
        y = 90 - math.sin(t * math.pi) * 50
        c.circle(x, y, 4 + 2 * math.sin(t * math.pi), (140, 200, 255, 255))
    c.poly([(280, 86), (292, 92), (280, 98)], (140, 200, 255, 255))
    return c.png()


def main():
    os.makedirs(os.path.join(ROOT, "data", "icons"), exist_ok=True)
    draw_all()
    data = splash()
    out = ["// Generated by tools/make_icons.py: the splash window's picture (PNG).",
           '#include "app/prompts_splash_picture.h"', "",
           "const unsigned char splash_picture_png[] = {"]
    for i in range(0, len(data), 16):
        out.append("    " + ", ".join("0x%02x" % b for b in data[i:i + 16]) + ",")
    out += ["};", "const unsigned splash_picture_png_size = sizeof(splash_picture_png);", ""]
    with open(os.path.join(ROOT, "app", "prompts_splash_picture.cpp"), "w") as f:
        f.write("\n".join(out))


if __name__ == "__main__":
    main()
