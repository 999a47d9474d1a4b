#!/usr/bin/env python3
"""Draws the program icon: a parcel with an arrow going into it.

    draw_icon.py ICO_OUT GROUP_OUT

ICO_OUT receives an icon file of thirteen images: 256 px, and 48, 32, 24 and 16 px each in 32-bit,
8-bit and 4-bit colour. The 32-bit images are PNG (every supported system reads PNG frames of any
size, and they cost a fraction of a bitmap's bytes); the 8-bit and 4-bit ones are bitmaps, with a
short colour table, for displays that want a palette. The icon travels in every download, so
bytes count. GROUP_OUT receives a second icon-group directory whose entries
name the same images by the identifiers the resource compiler gives them (1 to 13 in file order),
so the program can offer the group under identifier 1 without carrying the pictures twice.
Standard library only; the output is the same on every run.
"""

import math
import struct
import sys
import zlib

SIZES = (48, 32, 24, 16)
LARGE_SIZE = 256
# Colour-table entries of the palette images; fewer than the depth allows keeps them small.
TABLE_ENTRIES = {8: 48, 4: 16}

TRANSPARENT = (0, 0, 0, 0)
BOX_OUTLINE = (122, 78, 28, 255)
BOX_TOP = (230, 182, 112, 255)
BOX_BOTTOM = (200, 140, 70, 255)
LID = (186, 126, 60, 255)
ARROW_OUTLINE = (22, 62, 140, 255)
ARROW_FILL = (46, 112, 216, 255)

# The parcel: a rounded rectangle; its lid is the band above LID_BOTTOM.
BOX = (0.10, 0.42, 0.90, 0.92, 0.06)
LID_BOTTOM = 0.55
# The arrow points down into the parcel.
ARROW = [(0.39, 0.05), (0.61, 0.05), (0.61, 0.36), (0.80, 0.36), (0.50, 0.70),
         (0.20, 0.36), (0.39, 0.36)]


def rounded_box_distance(x, y):
    x0, y0, x1, y1, r = BOX
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r
    dx, dy = abs(x - cx) - hx, abs(y - cy) - hy
    outside = math.hypot(max(dx, 0.0), max(dy, 0.0))
    return outside + min(max(dx, dy), 0.0) - r


def polygon_distance(points, x, y):
    best = float("inf")
    inside = False
    n = len(points)
    for i in range(n):
        ax, ay = points[i]
        bx, by = points[(i + 1) % n]
        ex, ey = bx - ax, by - ay
        t = ((x - ax) * ex + (y - ay) * ey) / (ex * ex + ey * ey)
        t = min(max(t, 0.0), 1.0)
        best = min(best, math.hypot(x - ax - ex * t, y - ay - ey * t))
        if (ay > y) != (by > y) and x < ax + (y - ay) * ex / ey:
            inside = not inside
    return -best if inside else best


def mix(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(4))


def paint(x, y, stroke):
    """Colour of one sample point; stroke is the outline width in picture units."""
    colour = TRANSPARENT
    d = rounded_box_distance(x, y)
    if d < 0:
        colour = BOX_OUTLINE
        if d < -stroke:
            if y < LID_BOTTOM:
                colour = LID if y > LID_BOTTOM - stroke else mix(BOX_TOP, LID, 0.35)
            else:
                colour = mix(BOX_TOP, BOX_BOTTOM, (y - LID_BOTTOM) / (BOX[3] - LID_BOTTOM))
    d = polygon_distance(ARROW, x, y)
    if d < 0:
        colour = ARROW_OUTLINE if d > -stroke else ARROW_FILL
    return colour


def edge_distance(x, y, stroke):
    b = rounded_box_distance(x, y)
    a = polygon_distance(ARROW, x, y)
    return min(abs(b), abs(b + stroke), abs(a), abs(a + stroke), abs(y - LID_BOTTOM))


def render(size):
    """Rows of straight-alpha RGBA pixels, top row first; edges are supersampled 4x4."""
    stroke = max(1.2 / size, 0.025)
    pixel = 1.0 / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            cx, cy = (px + 0.5) * pixel, (py + 0.5) * pixel
            if edge_distance(cx, cy, stroke) > pixel:
                row.append(paint(cx, cy, stroke))
                continue
            samples = [paint((px + (sx + 0.5) / 4) * pixel, (py + (sy + 0.5) / 4) * pixel, stroke)
                       for sy in range(4) for sx in range(4)]
            row.append(average(samples))
        rows.append(row)
    return rows


def average(samples):
    alpha = sum(s[3] for s in samples)
    if alpha == 0:
        return TRANSPARENT
    rgb = tuple(round(sum(s[i] * s[3] for s in samples) / alpha) for i in range(3))
    return rgb + (round(alpha / len(samples)),)


def png(rows):
    size = len(rows)
    raw = bytearray()
    previous = bytes(size * 4)
    for row in rows:
        line = bytes(c for p in row for c in p)
        kind, filtered = best_filter(line, previous)
        raw.append(kind)
        raw += filtered
        previous = line

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def best_filter(line, previous):
    """The PNG row filter with the smallest sum of magnitudes (a cheap size heuristic)."""
    candidates = []
    for kind in range(5):
        out = bytearray(len(line))
        for i, value in enumerate(line):
            left = line[i - 4] if i >= 4 else 0
            up = previous[i]
            upper_left = previous[i - 4] if i >= 4 else 0
            predictor = (0, left, up, (left + up) // 2, paeth(left, up, upper_left))[kind]
            out[i] = (value - predictor) & 0xFF
        cost = sum(v if v < 128 else 256 - v for v in out)
        candidates.append((cost, kind, bytes(out)))
    cost, kind, out = min(candidates)
    return kind, out


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def palette_for(rows, count):
    """Black first (transparent pixels), then the most frequent opaque colours."""
    counts = {}
    for row in rows:
        for r, g, b, a in row:
            if a >= 128:
                key = (r >> 3 << 3, g >> 3 << 3, b >> 3 << 3)
                counts[key] = counts.get(key, 0) + 1
    ranked = sorted(counts, key=lambda k: (-counts[k], k))
    return [(0, 0, 0)] + ranked[:count - 1]


def nearest(palette, colour):
    return min(range(len(palette)),
               key=lambda i: sum((palette[i][c] - colour[c]) ** 2 for c in range(3)))


def row_bytes(bits_per_row):
    return (bits_per_row + 31) // 32 * 4


def pack_row(values, depth):
    out = bytearray(row_bytes(len(values) * depth))
    per_byte = 8 // depth
    for i, v in enumerate(values):
        shift = 8 - depth * (i % per_byte + 1)
        out[i // per_byte] |= v << shift
    return bytes(out)


def bitmap(rows, depth):
    """An icon bitmap: header, colour table, colour rows and AND mask, both bottom-up."""
    size = len(rows)
    palette = palette_for(rows, TABLE_ENTRIES[depth])
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, depth, 0, 0, 0, 0, len(palette), 0)
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    pixels = b""
    cache = {}
    for row in reversed(rows):
        values = []
        for p in row:
            if p[3] < 128:
                values.append(0)
                continue
            if p[:3] not in cache:
                cache[p[:3]] = nearest(palette, p)
            values.append(cache[p[:3]])
        pixels += pack_row(values, depth)
    mask = b"".join(pack_row([1 if p[3] < 128 else 0 for p in row], 1) for row in reversed(rows))
    return header + table + pixels + mask


def images():
    """(width, depth, bytes) in file order; the order fixes the resource identifiers."""
    result = [(LARGE_SIZE, 32, png(render(LARGE_SIZE)))]
    for size in SIZES:
        rows = render(size)
        result.append((size, 32, png(rows)))
        result.append((size, 8, bitmap(rows, 8)))
        result.append((size, 4, bitmap(rows, 4)))
    return result


def directory_entry(width, depth, length):
    side = width if width < 256 else 0
    colours = 16 if depth == 4 else 0
    return struct.pack("<BBBBHHI", side, side, colours, 0, 1, depth, length)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write("usage: draw_icon.py ICO_OUT GROUP_OUT\n")
        return 2
    pictures = images()
    count = len(pictures)
    offset = 6 + 16 * count
    ico = bytearray(struct.pack("<HHH", 0, 1, count))
    group = bytearray(struct.pack("<HHH", 0, 1, count))
    for identifier, (width, depth, data) in enumerate(pictures, start=1):
        entry = directory_entry(width, depth, len(data))
        ico += entry + struct.pack("<I", offset)
        group += entry + struct.pack("<H", identifier)
        offset += len(data)
    for _, _, data in pictures:
        ico += data
    with open(argv[1], "wb") as f:
        f.write(ico)
    with open(argv[2], "wb") as f:
        f.write(group)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
