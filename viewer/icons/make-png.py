#!/usr/bin/env python3
"""Draws quorvane.png (256 x 256) from the shapes of quorvane.svg, with the standard library only.

Usage: make-png.py [OUT]   (default: quorvane.png beside this script)
Each pixel is sampled 4 x 4 times; the shapes are painted in the SVG's order, so a later shape
covers an earlier one. Keep the SHAPES table in step with quorvane.svg.
"""
import os
import struct
import sys
import zlib

SIZE = 256
VIEWBOX = 48.0
SAMPLES = 4

FRAME = (0x33, 0x41, 0x5C)

# (kind, fill, stroke, stroke width, geometry) in viewBox units, in painting order.
SHAPES = [
    ("rect", FRAME, None, 0, (3, 7, 38, 30, 3)),
    ("rect", (0x9F, 0xD0, 0xF5), None, 0, (6, 10, 32, 24, 0)),
    ("circle", (0xFF, 0xD2, 0x4A), None, 0, (30, 16.5, 3.5)),
    ("polygon", (0x6D, 0xB3, 0x8A), None, 0, [(18, 34), (28, 21), (38, 31), (38, 34)]),
    ("polygon", (0x3F, 0x8F, 0x63), None, 0, [(6, 34), (15, 21), (26, 34)]),
    ("polygon", (0xF0, 0x8A, 0x3C), FRAME, 1.5, [(29, 33), (36, 26), (45, 26), (45, 40), (36, 40)]),
    ("circle", (0xFF, 0xFF, 0xFF), None, 0, (35, 33, 1.6)),
    ("rect", (0xFF, 0xFF, 0xFF), None, 0, (38.5, 30, 4.5, 1.4, 0)),
    ("rect", (0xFF, 0xFF, 0xFF), None, 0, (38.5, 34.6, 4.5, 1.4, 0)),
]


def in_rect(x, y, geometry):
    left, top, width, height, radius = geometry
    if not (left <= x <= left + width and top <= y <= top + height):
        return False
    # Outside the corner squares the rectangle is square-cornered.
    cx = min(max(x, left + radius), left + width - radius)
    cy = min(max(y, top + radius), top + height - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def in_circle(x, y, geometry):
    cx, cy, radius = geometry
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def in_polygon(x, y, points):
    inside = False
    for (x1, y1), (x2, y2) in zip(points, points[1:] + points[:1]):
        if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
            inside = not inside
    return inside


def near_outline(x, y, points, half_width):
    """Whether the point lies within half_width of an edge (a stroke with round joins)."""
    for (x1, y1), (x2, y2) in zip(points, points[1:] + points[:1]):
        dx, dy = x2 - x1, y2 - y1
        t = max(0.0, min(1.0, ((x - x1) * dx + (y - y1) * dy) / (dx * dx + dy * dy)))
        if (x - x1 - t * dx) ** 2 + (y - y1 - t * dy) ** 2 <= half_width ** 2:
            return True
    return False


def colour_at(x, y):
    """The colour of the topmost shape at a point of the viewBox, None where nothing is painted."""
    colour = None
    for kind, fill, stroke, stroke_width, geometry in SHAPES:
        if kind == "rect" and in_rect(x, y, geometry):
            colour = fill
        elif kind == "circle" and in_circle(x, y, geometry):
            colour = fill
        elif kind == "polygon":
            if stroke and near_outline(x, y, geometry, stroke_width / 2):
                colour = stroke
            elif in_polygon(x, y, geometry):
                colour = fill
    return colour


def render():
    scale = VIEWBOX / SIZE
    rows = []
    for py in range(SIZE):
        row = bytearray([0])  # PNG filter type: none
        for px in range(SIZE):
            r = g = b = covered = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    colour = colour_at((px + (sx + 0.5) / SAMPLES) * scale, (py + (sy + 0.5) / SAMPLES) * scale)
                    if colour:
                        r, g, b, covered = r + colour[0], g + colour[1], b + colour[2], covered + 1
            if covered:
                row += bytes((r // covered, g // covered, b // covered, covered * 255 // SAMPLES ** 2))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return b"".join(rows)


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "quorvane.png")
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)  # 8-bit RGBA
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(render(), 9)) + chunk(b"IEND", b"")
    with open(out, "wb") as file:
        file.write(png)


if __name__ == "__main__":
    main()
