#!/usr/bin/env python3
"""Draws the installer's pictures at build time: the banner of the game-folder dialog
(640 x 316, 24-bit BMP) and the two icons (64 x 64 and 48 x 48, 32-bit ICO).

All shapes are computed here (gradients, a noise-shaped mountain range, a moon disc and a
stroke-drawn title), so the art is our own and needs nothing but the standard library.
Usage: make_art.py OUTDIR  ->  OUTDIR/banner.bmp, OUTDIR/app.ico, OUTDIR/small.ico
"""
import math
import os
import struct
import sys

# ---- tiny raster canvas (floats 0..1, RGB) ----


class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [[(0.0, 0.0, 0.0)] * w for _ in range(h)]
        self.alpha = [[1.0] * w for _ in range(h)]

    def blend(self, x, y, color, a):
        if a <= 0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        a = min(a, 1.0)
        r, g, b = self.px[y][x]
        self.px[y][x] = (r + (color[0] - r) * a, g + (color[1] - g) * a, b + (color[2] - b) * a)


def lerp(c0, c1, t):
    t = max(0.0, min(1.0, t))
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def hexrgb(s):
    return tuple(int(s[i:i + 2], 16) / 255.0 for i in (0, 2, 4))


def smoothstep(e0, e1, x):
    t = max(0.0, min(1.0, (x - e0) / (e1 - e0)))
    return t * t * (3 - 2 * t)


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    qx, qy = ax + t * dx - px, ay + t * dy - py
    return math.sqrt(qx * qx + qy * qy)


def stroke(canvas, segments, width, color, alpha=1.0):
    """Antialiased round-capped strokes; each pixel takes the strongest coverage."""
    half = width / 2.0
    cover = {}
    for (ax, ay, bx, by) in segments:
        x0, x1 = int(min(ax, bx) - half - 2), int(max(ax, bx) + half + 2)
        y0, y1 = int(min(ay, by) - half - 2), int(max(ay, by) + half + 2)
        for y in range(max(0, y0), min(canvas.h, y1 + 1)):
            for x in range(max(0, x0), min(canvas.w, x1 + 1)):
                d = segment_distance(x + 0.5, y + 0.5, ax, ay, bx, by)
                c = max(0.0, min(1.0, half + 0.5 - d))
                if c > cover.get((x, y), 0.0):
                    cover[(x, y)] = c
    for (x, y), c in cover.items():
        canvas.blend(x, y, color, c * alpha)


# ---- a stroke font for the title: glyphs on a 4 x 6 grid, y down ----

GLYPHS = {
    "K": [(0, 0, 0, 6), (4, 0, 0, 3.4), (1.2, 2.4, 4, 6)],
    "E": [(0, 0, 0, 6), (0, 0, 3.8, 0), (0, 3, 3, 3), (0, 6, 3.8, 6)],
    "S": [(4, 0.8, 3.2, 0), (3.2, 0, 0.8, 0), (0.8, 0, 0, 0.8), (0, 0.8, 0, 2.2), (0, 2.2, 0.8, 3),
          (0.8, 3, 3.2, 3), (3.2, 3, 4, 3.8), (4, 3.8, 4, 5.2), (4, 5.2, 3.2, 6), (3.2, 6, 0.8, 6),
          (0.8, 6, 0, 5.2)],
    "T": [(0, 0, 4, 0), (2, 0, 2, 6)],
    "R": [(0, 0, 0, 6), (0, 0, 3, 0), (3, 0, 4, 0.9), (4, 0.9, 4, 2.1), (4, 2.1, 3, 3), (3, 3, 0, 3),
          (2, 3, 4, 6)],
    "U": [(0, 0, 0, 5), (0, 5, 1, 6), (1, 6, 3, 6), (3, 6, 4, 5), (4, 5, 4, 0)],
    "N": [(0, 6, 0, 0), (0, 0, 4, 6), (4, 6, 4, 0)],
    "1": [(0.8, 1.2, 2, 0), (2, 0, 2, 6), (0.8, 6, 3.2, 6)],
    "2": [(0, 1, 1, 0), (1, 0, 3, 0), (3, 0, 4, 1), (4, 1, 4, 2.2), (4, 2.2, 0, 6), (0, 6, 4, 6)],
    ".": [(0.7, 6, 0.9, 6)],
    "V": [(0, 0, 2, 6), (2, 6, 4, 0)],
    " ": [],
}


def text_segments(text, x, y, scale, spacing):
    segs = []
    for ch in text:
        for (ax, ay, bx, by) in GLYPHS[ch]:
            segs.append((x + ax * scale, y + ay * scale, x + bx * scale, y + by * scale))
        x += (4 if ch not in ". " else 1.6) * scale + spacing
    return segs, x


def text_width(text, scale, spacing):
    return text_segments(text, 0, 0, scale, spacing)[1] - spacing


# ---- value noise for the mountain ridges ----


def ridge(x, seed, octaves):
    h = 0.0
    amp = 1.0
    freq = 1.0 / 160.0
    for o in range(octaves):
        u = x * freq + seed * 17.31 + o * 5.7
        i = math.floor(u)
        f = u - i

        def rnd(n):
            v = math.sin(n * 127.1 + seed * 311.7 + o * 74.7) * 43758.5453
            return v - math.floor(v)
        t = f * f * (3 - 2 * f)
        h += amp * (rnd(i) * (1 - t) + rnd(i + 1) * t)
        amp *= 0.5
        freq *= 2.1
    return h


def draw_banner(w=640, h=316):
    c = Canvas(w, h)
    top, mid, low = hexrgb("0b1433"), hexrgb("2a3f7a"), hexrgb("e8a25c")
    for y in range(h):
        t = y / (h - 1)
        col = lerp(top, mid, t / 0.55) if t < 0.55 else lerp(mid, low, (t - 0.55) / 0.45)
        c.px[y] = [col] * w
    # a few fixed stars in the upper sky
    for i in range(90):
        hx = math.sin(i * 12.9898 + 4.1) * 43758.5453
        hy = math.sin(i * 78.233 + 1.7) * 24634.6345
        sx = (hx - math.floor(hx)) * w
        sy = (hy - math.floor(hy)) * h * 0.5
        bright = 0.35 + 0.65 * ((i * 0.618) % 1.0)
        c.blend(int(sx), int(sy), (1.0, 1.0, 0.95), bright * 0.8)
    # the moon with a soft halo
    mx, my, mr = 500.0, 92.0, 34.0
    for y in range(int(my - mr * 3), int(my + mr * 3)):
        for x in range(int(mx - mr * 3), int(mx + mr * 3)):
            d = math.hypot(x + 0.5 - mx, y + 0.5 - my)
            c.blend(x, y, hexrgb("ffe9c4"), 0.22 * (1 - smoothstep(mr, mr * 3, d)))
            c.blend(x, y, hexrgb("fff6e2"), max(0.0, min(1.0, mr + 0.5 - d)))
    # three mountain ranges, far to near
    ranges = [
        (h * 0.62, 72.0, 1, hexrgb("3b4e8c"), 5),
        (h * 0.76, 70.0, 2, hexrgb("25305e"), 5),
        (h * 0.90, 50.0, 3, hexrgb("121a38"), 4),
    ]
    for base, height, seed, color, octaves in ranges:
        for x in range(w):
            ridge_y = base - height * ridge(x, seed, octaves)
            for y in range(max(0, int(ridge_y) - 1), h):
                c.blend(x, y, color, max(0.0, min(1.0, y + 1 - ridge_y)))
    # title plate: "KESTRUNE" and the version, in light strokes
    title = "KESTRUNE"
    scale, spacing = 7.0, 11.0
    tx = (w - text_width(title, scale, spacing)) / 2
    segs, _ = text_segments(title, tx, 150, scale, spacing)
    stroke(c, [(a + 2, b + 3, d + 2, e + 3) for (a, b, d, e) in segs], 7.0, (0, 0, 0), 0.45)
    stroke(c, segs, 6.0, hexrgb("f7f1e3"))
    ver = "V1.2"
    vscale, vspacing = 3.2, 5.0
    vx = (w - text_width(ver, vscale, vspacing)) / 2
    stroke(c, [(tx, 210, tx + (w - 2 * tx), 210)], 1.6, hexrgb("f2c27b"), 0.9)
    stroke(c, text_segments(ver, vx, 222, vscale, vspacing)[0], 3.0, hexrgb("f2c27b"))
    return c


def draw_icon(size):
    c = Canvas(size, size)
    s = size / 64.0
    rad = 12 * s
    top, bottom = hexrgb("2f4ea0"), hexrgb("101a3c")
    for y in range(size):
        for x in range(size):
            # rounded square coverage
            qx = max(abs(x + 0.5 - size / 2) - (size / 2 - 2 * s - rad), 0.0)
            qy = max(abs(y + 0.5 - size / 2) - (size / 2 - 2 * s - rad), 0.0)
            d = math.hypot(qx, qy) - rad
            a = max(0.0, min(1.0, 0.5 - d))
            c.px[y][x] = lerp(top, bottom, y / size)
            c.alpha[y][x] = a
    # a mountain and moon, echoing the banner
    for x in range(size):
        ridge_y = size * 0.80 - size * 0.28 * ridge(x / s * 2.4, 3, 3)
        for y in range(max(0, int(ridge_y) - 1), size):
            c.blend(x, y, hexrgb("0a1028"), max(0.0, min(1.0, y + 1 - ridge_y)) * 0.85)
    mx, my, mr = 48 * s, 16 * s, 6 * s
    for y in range(size):
        for x in range(size):
            d = math.hypot(x + 0.5 - mx, y + 0.5 - my)
            c.blend(x, y, hexrgb("ffe9c4"), max(0.0, min(1.0, mr + 0.5 - d)))
    segs, _ = text_segments("K", 13 * s, 15 * s, 5.6 * s, 0)
    stroke(c, segs, 6.0 * s, hexrgb("f7f1e3"))
    return c


# ---- file writers ----


def to_byte(v):
    return max(0, min(255, int(round(v * 255))))


def write_bmp24(canvas, path):
    row = (canvas.w * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(canvas.h - 1, -1, -1):
        line = bytearray()
        for (r, g, b) in canvas.px[y]:
            line += bytes((to_byte(b), to_byte(g), to_byte(r)))
        line += b"\0" * (row - len(line))
        pixels += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.w, canvas.h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


def write_ico32(canvas, path):
    xor = bytearray()
    for y in range(canvas.h - 1, -1, -1):
        for x in range(canvas.w):
            r, g, b = canvas.px[y][x]
            a = canvas.alpha[y][x]
            # premultiplied storage is not used by icons: plain BGRA
            xor += bytes((to_byte(b), to_byte(g), to_byte(r), to_byte(a)))
    mask_row = ((canvas.w + 31) // 32) * 4
    mask = bytearray()
    for y in range(canvas.h - 1, -1, -1):
        bits = bytearray(mask_row)
        for x in range(canvas.w):
            if canvas.alpha[y][x] < 0.5:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, canvas.w, canvas.h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = info + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", canvas.w % 256, canvas.h % 256, 0, 0, 1, 32, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(directory + entry + image)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_bmp24(draw_banner(), os.path.join(out, "banner.bmp"))
    write_ico32(draw_icon(64), os.path.join(out, "app.ico"))
    write_ico32(draw_icon(48), os.path.join(out, "small.ico"))


if __name__ == "__main__":
    main()
