#!/usr/bin/env python3
"""Draws the built-in warning sign and writes it as a PNG, which the build embeds.

    tools/images/make_warning_png.py           rewrite App/resources/images/warning.png
    tools/images/make_warning_png.py --check   exit 1 when the committed file differs

Standard library only. The sign is a rounded triangle standing on its base: a mid-grey rim,
a thick black border, a yellow field and a black exclamation mark. Every pixel is the average
of a grid of samples, which antialiases the edges; the output is the same on every run.
"""

import math
import os
import struct
import sys
import zlib

WIDTH, HEIGHT = 56, 55
SAMPLES = 8  # per axis and pixel

GREY = (128, 128, 128)
BLACK = (0, 0, 0)
YELLOW = (225, 208, 64)

RIM = 1.8      # width of the grey rim
BORDER = 3.9   # width of the black border inside the rim
CORNER = 3.5   # radius of the outer corners
INNER_CORNER = 1.5

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
PNG_PATH = os.path.join(ROOT, "App", "resources", "images", "warning.png")


# ---------------------------------------------------------------------------------------------
# Signed distances (negative inside), in pixel units with y pointing down.

def sd_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def sd_triangle(px, py, tri):
    (ax, ay), (bx, by), (cx, cy) = tri
    d = min(sd_segment(px, py, ax, ay, bx, by),
            sd_segment(px, py, bx, by, cx, cy),
            sd_segment(px, py, cx, cy, ax, ay))

    def side(x0, y0, x1, y1):
        return (x1 - x0) * (py - y0) - (y1 - y0) * (px - x0)

    s0, s1, s2 = side(ax, ay, bx, by), side(bx, by, cx, cy), side(cx, cy, ax, ay)
    inside = (s0 >= 0 and s1 >= 0 and s2 >= 0) or (s0 <= 0 and s1 <= 0 and s2 <= 0)
    return -d if inside else d


def sd_uneven_capsule(px, py, cx, cy, r1, r2, h):
    """A bar from a circle of radius r1 at (cx, cy) down to one of radius r2 at (cx, cy + h)."""
    x, y = abs(px - cx), py - cy
    b = (r1 - r2) / h
    a = math.sqrt(1.0 - b * b)
    k = -b * x + a * y
    if k < 0.0:
        return math.hypot(x, y) - r1
    if k > a * h:
        return math.hypot(x, y - h) - r2
    return a * x + b * y - r1


def inset_triangle(tri, distance):
    """The triangle whose edges lie `distance` inside those of `tri` (scaled about the incentre)."""
    (ax, ay), (bx, by), (cx, cy) = tri
    la, lb, lc = math.dist((bx, by), (cx, cy)), math.dist((ax, ay), (cx, cy)), math.dist((ax, ay), (bx, by))
    perimeter = la + lb + lc
    ix, iy = (la * ax + lb * bx + lc * cx) / perimeter, (la * ay + lb * by + lc * cy) / perimeter
    area = abs((bx - ax) * (cy - ay) - (cx - ax) * (by - ay)) / 2.0
    scale = (2.0 * area / perimeter - distance) / (2.0 * area / perimeter)
    return tuple((ix + (x - ix) * scale, iy + (y - iy) * scale) for x, y in tri)


# ---------------------------------------------------------------------------------------------
# The sign

MID_X = WIDTH / 2.0
EDGE = 0.4  # the outer shape stops this far short of the image border

# The outer shape is every point within CORNER of this triangle.
CORE = ((MID_X, EDGE + CORNER),
        (EDGE + CORNER, HEIGHT - EDGE - CORNER),
        (WIDTH - EDGE - CORNER, HEIGHT - EDGE - CORNER))

# The yellow field: rounded again, with a smaller radius, RIM + BORDER inside the outer edge.
FIELD_CORE = inset_triangle(CORE, RIM + BORDER + INNER_CORNER - CORNER)


def colour_at(x, y):
    """RGBA of the sign at a point: one of the layers, or None outside."""
    outer = sd_triangle(x, y, CORE) - CORNER
    if outer > 0.0:
        return None
    if outer > -RIM:
        return GREY
    if sd_triangle(x, y, FIELD_CORE) - INNER_CORNER > 0.0:
        return BLACK
    bar = sd_uneven_capsule(x, y, MID_X, 23.2, 3.3, 2.0, 13.0)
    dot = math.hypot(x - MID_X, y - 43.0) - 2.9
    if bar <= 0.0 or dot <= 0.0:
        return BLACK
    return YELLOW


def render():
    """Rows of RGBA bytes, each pixel the average of SAMPLES x SAMPLES samples."""
    rows = []
    n = SAMPLES * SAMPLES
    for py in range(HEIGHT):
        row = bytearray()
        for px in range(WIDTH):
            r = g = b = covered = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at(px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES)
                    if c is not None:
                        r += c[0]
                        g += c[1]
                        b += c[2]
                        covered += 1
            if covered == 0:
                row += bytes(4)
            else:
                # Colour averaged over the covered samples only (straight, not premultiplied alpha).
                row += bytes((round(r / covered), round(g / covered), round(b / covered),
                              round(255 * covered / n)))
        rows.append(bytes(row))
    return rows


# ---------------------------------------------------------------------------------------------
# Output

def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def encode_png(rows):
    raw = b"".join(b"\x00" + row for row in rows)  # filter type 0 on every row
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 6, 0, 0, 0))
            + chunk(b"sBIT", bytes((8, 8, 8, 8)))
            + chunk(b"pHYs", struct.pack(">IIB", 2835, 2835, 1))  # 72 dpi
            + chunk(b"tEXt", b"Title\x00Warning")
            + chunk(b"tEXt", b"Software\x00make_warning_png.py")
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def main():
    png = encode_png(render())

    if sys.argv[1:] == ["--check"]:
        if os.path.exists(PNG_PATH) and open(PNG_PATH, "rb").read() == png:
            return 0
        print("out of date: " + os.path.relpath(PNG_PATH, ROOT))
        return 1

    with open(PNG_PATH, "wb") as f:
        f.write(png)
    print("%s: %d bytes" % (os.path.relpath(PNG_PATH, ROOT), len(png)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
