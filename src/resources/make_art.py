#!/usr/bin/env python3
"""Draws Tavrin's program icon (tavrin.ico) and the About box picture (featured.bmp).

The pictures are simple shapes computed per pixel, so the files are reproducible
byte for byte: run `python3 make_art.py` in this folder after changing a shape and
commit the two files it writes. No imaging library is needed.

tavrin.ico: icon group of three images, 32x32 and 48x48 at 24 bits per pixel and
17x16 at 32 bits per pixel (with alpha). featured.bmp: 75x80 at 24 bits per pixel.
"""
import math
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


# ---- the icon: a disk platter with a write arrow on a rounded tile ----------------

def icon_pixel(u, v):
    """Colour (r, g, b, a) at the normalised point (u, v) in [0, 1) of the icon."""
    # Rounded tile
    r = 0.16
    cx = min(max(u, r), 1 - r)
    cy = min(max(v, r), 1 - r)
    if (u - cx) ** 2 + (v - cy) ** 2 > r * r:
        return (0, 0, 0, 0)
    colour = (28, 64, 120)
    # Platter
    d = math.hypot(u - 0.45, v - 0.52)
    if d < 0.34:
        colour = (196, 204, 214)
        if d < 0.27:
            colour = (170, 180, 194)
        if d < 0.08:
            colour = (60, 66, 80)
    # Write arrow pointing down into the platter, upper right
    if 0.70 <= u <= 0.82 and 0.12 <= v <= 0.46:
        colour = (250, 170, 30)
    if 0.46 <= v <= 0.66 and abs(u - 0.76) <= (0.66 - v) * 0.9:
        colour = (250, 170, 30)
    return colour + (255,)


def sample(fn, w, h, x, y, n=4):
    """Average of n*n samples of fn over pixel (x, y), for smooth edges."""
    acc = [0, 0, 0, 0]
    for i in range(n):
        for j in range(n):
            c = fn((x + (i + 0.5) / n) / w, (y + (j + 0.5) / n) / h)
            a = c[3]
            for k in range(3):
                acc[k] += c[k] * a
            acc[3] += a
    if acc[3] == 0:
        return (0, 0, 0, 0)
    return tuple(int(round(acc[k] / acc[3])) for k in range(3)) + (int(round(acc[3] / (n * n))),)


def dib(width, height, bpp, fn):
    """BITMAPINFOHEADER + XOR pixels + AND mask of one icon image (height doubled)."""
    row = ((width * bpp + 31) // 32) * 4
    mask_row = ((width + 31) // 32) * 4
    pixels = bytearray()
    mask = bytearray()
    for y in range(height - 1, -1, -1):  # bottom-up
        line = bytearray()
        bits = bytearray(mask_row)
        for x in range(width):
            r, g, b, a = sample(fn, width, height, x, y)
            if bpp == 32:
                line += bytes((b, g, r, a))
            else:
                if a < 128:
                    r = g = b = 0
                line += bytes((b, g, r))
            if a < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        line += bytes(row - len(line))
        pixels += line
        mask += bits
    header = struct.pack('<IiiHHIIiiII', 40, width, height * 2, 1, bpp, 0,
                         len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + mask


def write_ico(path, images):
    """images: list of (width, height, bpp)."""
    blobs = [dib(w, h, bpp, icon_pixel) for (w, h, bpp) in images]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (w, h, bpp), blob in zip(images, blobs):
        out += struct.pack('<BBBBHHII', w % 256, h % 256, 0, 0, 1, bpp, len(blob), offset)
        offset += len(blob)
    with open(path, 'wb') as f:
        f.write(out + b''.join(blobs))


# ---- the About box picture: a cat's face ---------------------------------------

def in_triangle(p, a, b, c):
    def side(p1, p2, p3):
        return (p1[0] - p3[0]) * (p2[1] - p3[1]) - (p2[0] - p3[0]) * (p1[1] - p3[1])
    d1, d2, d3 = side(p, a, b), side(p, b, c), side(p, c, a)
    neg = d1 < 0 or d2 < 0 or d3 < 0
    pos = d1 > 0 or d2 > 0 or d3 > 0
    return not (neg and pos)


def cat_pixel(u, v):
    fur, dark, pink = (236, 150, 60), (70, 45, 30), (240, 140, 160)
    colour = (214, 232, 246)                       # sky
    if v > 0.86:
        colour = (120, 176, 90)                    # grass
    p = (u, v)
    ear_l = ((0.20, 0.40), (0.26, 0.10), (0.44, 0.30))
    ear_r = ((0.80, 0.40), (0.74, 0.10), (0.56, 0.30))
    if in_triangle(p, *ear_l) or in_triangle(p, *ear_r):
        colour = fur
        if in_triangle(p, (0.25, 0.34), (0.28, 0.18), (0.38, 0.30)) or \
           in_triangle(p, (0.75, 0.34), (0.72, 0.18), (0.62, 0.30)):
            colour = pink
    if ((u - 0.5) / 0.34) ** 2 + ((v - 0.52) / 0.30) ** 2 < 1:
        colour = fur
        for ex in (0.37, 0.63):                    # eyes
            if ((u - ex) / 0.06) ** 2 + ((v - 0.46) / 0.07) ** 2 < 1:
                colour = (60, 150, 70)
                if abs(u - ex) < 0.015:
                    colour = dark
        if in_triangle(p, (0.46, 0.58), (0.54, 0.58), (0.50, 0.63)):
            colour = pink                          # nose
        if abs(v - 0.67 + 0.25 * (u - 0.5) ** 2 * 10) < 0.012 and abs(u - 0.5) < 0.09:
            colour = dark                          # mouth
    for side_x, direction in ((0.30, -1), (0.70, 1)):   # whiskers
        for dy in (-0.03, 0.0, 0.03):
            t = (u - side_x) * direction
            if 0 <= t < 0.22 and abs(v - (0.62 + dy + dy * t * 4)) < 0.006:
                colour = dark
    return colour + (255,)


def write_bmp(path, width, height, fn):
    row = ((width * 24 + 31) // 32) * 4
    pixels = bytearray()
    for y in range(height - 1, -1, -1):
        line = bytearray()
        for x in range(width):
            r, g, b, _ = sample(fn, width, height, x, y, 3)
            line += bytes((b, g, r))
        line += bytes(row - len(line))
        pixels += line
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    head = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, 'wb') as f:
        f.write(head + info + pixels)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else HERE
    write_ico(os.path.join(out, 'tavrin.ico'), [(32, 32, 24), (48, 48, 24), (17, 16, 32)])
    write_bmp(os.path.join(out, 'featured.bmp'), 75, 80, cat_pixel)


if __name__ == '__main__':
    main()
