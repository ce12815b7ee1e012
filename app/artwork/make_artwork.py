#!/usr/bin/env python3
"""Draws the main window's button pictures and logo into app/resources/images.

The pictures are our own artwork, kept as a script so they can be changed and
redrawn at will: python3 app/artwork/make_artwork.py. Only the standard library
is used (PNG written by hand), with 4x4 supersampling for smooth edges.
"""
import math
import os
import struct
import zlib

SS = 4  # samples per pixel along each axis
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "images")


def write_png(path, width, height, rgba_rows):
    raw = b"".join(b"\x00" + bytes(row) for row in rgba_rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def render(width, height, shade):
    """shade(x, y) -> (r, g, b, a) or None for a sample point in pixel units."""
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SS):
                for sx in range(SS):
                    c = shade(px + (sx + 0.5) / SS, py + (sy + 0.5) / SS)
                    if c is None:
                        continue
                    r, g, b, a = c
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = SS * SS
            alpha = acc[3] / n
            if acc[3] > 0:
                rgb = [acc[i] / acc[3] for i in range(3)]
            else:
                rgb = [0, 0, 0]
            row += [round(rgb[0]), round(rgb[1]), round(rgb[2]), round(alpha * 255)]
        rows.append(row)
    return rows


def lerp(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def inside_round_rect(x, y, w, h, r):
    cx = min(max(x, r), w - r)
    cy = min(max(y, r), h - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def button(width, height, pressed):
    radius = 5.0
    if pressed:
        top, bottom = (214, 226, 240), (152, 178, 212)
        border = (40, 60, 96)
        rim = (110, 130, 160)  # inner shadow along the top edge
    else:
        top, bottom = (58, 110, 182), (14, 46, 104)
        border = (8, 24, 56)
        rim = (150, 190, 240)  # highlight along the top edge

    def shade(x, y):
        if not inside_round_rect(x, y, width, height, radius):
            return None
        if not inside_round_rect(x - 1, y - 1, width - 2, height - 2, radius - 1):
            return border + (1.0,)
        if y < 2.2:
            return rim + (1.0,)
        t = (y - 1) / (height - 2)
        if pressed:
            t = 1 - t  # light falls from below on a pushed-in face
            return lerp(bottom, top, 1 - t) + (1.0,)
        return lerp(top, bottom, t) + (1.0,)

    return render(width, height, shade)


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    qx, qy = ax + t * dx, ay + t * dy
    return math.hypot(px - qx, py - qy)


def logo():
    size = 35
    c = size / 2
    grey = (128, 128, 128)
    disc_in, disc_out = (24, 70, 150), (6, 26, 70)
    # A spectrum as the analyzer shows it: noise floor, one tall carrier, two small ones.
    trace = [(6.0, 25.0), (9.0, 24.0), (11.0, 25.5), (13.0, 22.0), (14.5, 24.5), (16.2, 7.0),
             (18.0, 24.0), (20.0, 25.0), (22.0, 19.0), (23.5, 24.5), (26.0, 23.5), (29.0, 25.0)]

    def shade(x, y):
        d = math.hypot(x - c, y - c)
        if d > 16.8:
            return grey + (1.0,)
        if d > 15.6:
            return (230, 236, 244, 1.0)  # bright ring
        col = lerp(disc_in, disc_out, min(1.0, d / 15.6))
        best = min(seg_dist(x, y, *trace[i], *trace[i + 1]) for i in range(len(trace) - 1))
        if best < 0.85:
            return (255, 214, 64, 1.0)  # trace in amber
        if y > 27.5 and y < 28.5 and 6 < x < 29:
            return (140, 170, 210, 1.0)  # base line
        return col + (1.0,)

    return render(size, size, shade)


def main():
    os.makedirs(OUT, exist_ok=True)
    write_png(os.path.join(OUT, "imageActive.png"), 50, 20, button(50, 20, False))
    write_png(os.path.join(OUT, "imageClicked.png"), 50, 20, button(50, 20, True))
    write_png(os.path.join(OUT, "imageOptActive.png"), 150, 20, button(150, 20, False))
    write_png(os.path.join(OUT, "imageOptClicked.png"), 150, 20, button(150, 20, True))
    write_png(os.path.join(OUT, "logo.png"), 35, 35, logo())


if __name__ == "__main__":
    main()
