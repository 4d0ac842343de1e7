#!/usr/bin/env python3
"""Draws the program's icon and writes it as a Windows .ico file.

    python3 tools/make-icon.py res/vant-setup.ico

The picture is made of simple shapes (a blue rounded square, a white arrow
pointing down into a white tray: "download and install"), drawn at 16, 24,
32, 48 and 256 pixels with 4x4 supersampling for smooth edges. The colours
are flat: a gradient made the icon, and so the exe, 2.4 KB larger. Standard
library only, and the output is the same bytes on every run, so the
committed .ico can be checked against this script.

Every frame is stored as PNG, which Windows reads in icons since Vista:
the program runs on Windows 10 or later only, and PNG frames take a tenth
of the space of BMP frames in the exe.
"""
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 256)
SUPERSAMPLE = 4

BACKGROUND = (0x1F, 0x66, 0xC4)
FOREGROUND = (0xFF, 0xFF, 0xFF)


def inside_rounded_square(x, y, radius):
    """Unit square [0,1]^2 with rounded corners of the given radius."""
    if x < 0 or y < 0 or x > 1 or y > 1:
        return False
    cx = min(max(x, radius), 1 - radius)
    cy = min(max(y, radius), 1 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def inside_polygon(x, y, points):
    """Even-odd rule."""
    inside = False
    j = len(points) - 1
    for i, (xi, yi) in enumerate(points):
        xj, yj = points[j]
        if (yi > y) != (yj > y):
            cross = (xj - xi) * (y - yi) / (yj - yi) + xi
            if x < cross:
                inside = not inside
        j = i
    return inside


# The arrow (shaft and head) and the tray, in unit coordinates (y down).
ARROW = [
    (0.42, 0.16), (0.58, 0.16), (0.58, 0.44), (0.72, 0.44),
    (0.50, 0.66), (0.28, 0.44), (0.42, 0.44),
]
TRAY = [
    (0.18, 0.58), (0.29, 0.58), (0.29, 0.72), (0.71, 0.72),
    (0.71, 0.58), (0.82, 0.58), (0.82, 0.84), (0.18, 0.84),
]


def sample(x, y):
    """Colour and coverage (0 or 1) of one point of the picture."""
    if not inside_rounded_square(x, y, 0.2):
        return None
    if inside_polygon(x, y, ARROW) or inside_polygon(x, y, TRAY):
        return FOREGROUND
    return BACKGROUND


def render(size):
    """Rows of (r, g, b, a) pixels, top row first."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = covered = 0
            for sy in range(n):
                for sx in range(n):
                    colour = sample((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    if colour is not None:
                        r += colour[0]
                        g += colour[1]
                        b += colour[2]
                        covered += 1
            if covered:
                row.append((round(r / covered), round(g / covered), round(b / covered),
                            round(255 * covered / (n * n))))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filtered(line, prior):
    """One PNG scanline with the filter that gives the smallest sum of
    absolute values (the usual heuristic for good compression)."""
    def left(i):
        return line[i - 4] if i >= 4 else 0

    def up_left(i):
        return prior[i - 4] if i >= 4 else 0

    candidates = [
        bytes([0]) + line,
        bytes([1]) + bytes((line[i] - left(i)) & 0xFF for i in range(len(line))),
        bytes([2]) + bytes((line[i] - prior[i]) & 0xFF for i in range(len(line))),
        bytes([3]) + bytes((line[i] - (left(i) + prior[i]) // 2) & 0xFF for i in range(len(line))),
        bytes([4]) + bytes((line[i] - paeth(left(i), prior[i], up_left(i))) & 0xFF
                           for i in range(len(line))),
    ]
    return min(candidates, key=lambda c: sum(v if v < 128 else 256 - v for v in c[1:]))


def png(rows):
    size = len(rows)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    lines = [bytes(c for pixel in row for c in pixel) for row in rows]
    unfiltered = b"".join(b"\0" + line for line in lines)
    chosen = b"".join(filtered(line, lines[y - 1] if y else bytes(len(line)))
                      for y, line in enumerate(lines))
    # The heuristic does not always win; keep whichever compresses better.
    compressed = min(zlib.compress(unfiltered, 9), zlib.compress(chosen, 9), key=len)
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", compressed) +
            chunk(b"IEND", b""))


def ico(frames):
    header = struct.pack("<HHH", 0, 1, len(frames))
    offset = len(header) + 16 * len(frames)
    entries = b""
    data = b""
    for size, image in frames:
        dim = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(image), offset + len(data))
        data += image
    return header + entries + data


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make-icon.py OUTPUT.ico")
    frames = []
    for size in SIZES:
        frames.append((size, png(render(size))))
    with open(sys.argv[1], "wb") as out:
        out.write(ico(frames))


if __name__ == "__main__":
    main()
