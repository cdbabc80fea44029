#!/usr/bin/env python3
"""Writes the oscilloscope's two images: the sample dot (scope-dot.png) and the
drag cursor (scope-drag.png). Standard library only; run from any directory."""

import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# The standard 16-colour palette, in its usual index order.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAGENTA, WHITE = 0, 13, 15


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def write_png(name, rows, depth, palette, transparent=None):
    """Palette PNG of `depth` bits per pixel; rows are lists of palette indexes."""
    width, height = len(rows[0]), len(rows)
    raw = bytearray()
    for row in rows:
        raw.append(0)  # no filter
        bits, count = 0, 0
        for index in row:
            bits = (bits << depth) | index
            count += depth
            if count == 8:
                raw.append(bits)
                bits, count = 0, 0
        if count:
            raw.append(bits << (8 - count))
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, 3, 0, 0, 0))
    png += chunk(b"PLTE", bytes(c for rgb in palette for c in rgb))
    if transparent is not None:
        png += chunk(b"tRNS", bytes(0 if i == transparent else 255 for i in range(len(palette))))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(png)


def in_disc(col, row):
    """The 8 x 8 disc: four pixels wide in the outer rows, six in the next, full between."""
    if row in (0, 7):
        return 2 <= col <= 5
    if row in (1, 6):
        return 1 <= col <= 6
    return True


def in_rim(col, row):
    if row in (0, 7):
        return 2 <= col <= 5
    if row in (1, 6):
        return col in (1, 6)
    return col in (0, 7)


def dot_rows():
    """17 x 8: columns 0..7 the mask (black disc on white), 8..15 the image
    (white rim, magenta inside, on black); column 16 unused."""
    rows = []
    for row in range(8):
        line = [BLACK if in_disc(col, row) else WHITE for col in range(8)]
        for col in range(8):
            if not in_disc(col, row):
                line.append(BLACK)
            else:
                line.append(WHITE if in_rim(col, row) else MAGENTA)
        line.append(BLACK)
        rows.append(line)
    return rows


def in_arrows(col, row):
    """An arrow pointing up (tip at row 2, head to row 8, shaft to row 12) and
    its mirror pointing down (shaft from row 19, tip at row 29), columns 7..20."""
    if 2 <= row <= 8 or 23 <= row <= 29:
        k = row - 2 if row <= 8 else 29 - row
        return 13 - k <= col <= 14 + k
    if 9 <= row <= 12 or 19 <= row <= 22:
        return 11 <= col <= 16
    return False


def drag_rows():
    """32 x 32: black outline, white inside, transparent ground."""
    clear, black, white = 0, 1, 2
    rows = []
    for row in range(32):
        line = []
        for col in range(32):
            if not in_arrows(col, row):
                line.append(clear)
                continue
            neighbours = [(col - 1, row), (col + 1, row), (col, row - 1), (col, row + 1)]
            edge = any(not in_arrows(c, r) for c, r in neighbours)
            line.append(black if edge else white)
        rows.append(line)
    return rows


if __name__ == "__main__":
    write_png("scope-dot.png", dot_rows(), 4, VGA16)
    write_png("scope-drag.png", drag_rows(), 2, [(0, 0, 0), (0, 0, 0), (255, 255, 255)],
              transparent=0)
