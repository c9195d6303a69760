#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Draws the small arrow triangles the style sheets show on combo boxes and spin boxes (a
# style sheet cannot draw a triangle itself: Qt paints the classic border trick as a bar).
# Standard library only, so it reruns anywhere.
import struct
import zlib

# name, width, height, colour, pointing down
ARROWS = [
    ("arrow-down.png", 8, 6, (0xaa, 0xaa, 0xaa), True),
    ("arrow-up.png", 8, 6, (0xaa, 0xaa, 0xaa), False),
    ("arrow-down-small.png", 6, 5, (0x88, 0x88, 0xaa), True),
]
SAMPLES = 8  # per pixel side, for smooth edges


def coverage(x, y, width, height, down):
    # Share of the pixel inside the triangle whose base is the top (down) or bottom edge.
    inside = 0
    for i in range(SAMPLES):
        for j in range(SAMPLES):
            px = x + (i + 0.5) / SAMPLES
            py = y + (j + 0.5) / SAMPLES
            depth = py / height if down else 1.0 - py / height
            half = width / 2 * (1.0 - depth)
            inside += abs(px - width / 2) <= half
    return inside / SAMPLES ** 2


def png(width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    raw = b"".join(b"\0" + bytes(row) for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


for name, width, height, colour, down in ARROWS:
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            row += [*colour, round(255 * coverage(x, y, width, height, down))]
        rows.append(row)
    with open(name, "wb") as out:
        out.write(png(width, height, rows))
