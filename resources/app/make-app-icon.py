#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Draws the application icon (app-icon.png, 1024 x 1024 RGBA): a dark rounded square with
# mirrored waveform bars in the accent gradient. Standard library only, so it reruns anywhere.
import math
import struct
import zlib

SIZE = 1024
RADIUS = 200
BACKGROUND = (26, 26, 36)
LEFT = (42, 130, 218)
MIDDLE = (0, 242, 255)
BARS = 15
BAR_WIDTH = 36
BAR_GAP = 22


def accent(t):
    # The splash bar's gradient: blue, cyan in the middle, blue again.
    a, b, u = (LEFT, MIDDLE, t * 2) if t < 0.5 else (MIDDLE, LEFT, t * 2 - 1)
    return tuple(round(x + (y - x) * u) for x, y in zip(a, b))


def rounded_square_alpha(x, y):
    # Coverage of the rounded square at the pixel centre, one pixel of edge smoothing.
    cx = min(max(x + 0.5, RADIUS), SIZE - RADIUS)
    cy = min(max(y + 0.5, RADIUS), SIZE - RADIUS)
    d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
    return max(0.0, min(1.0, RADIUS - d + 0.5))


def bar_heights():
    heights = []
    for i in range(BARS):
        u = i / (BARS - 1)
        envelope = math.sin(math.pi * u) ** 0.8
        wobble = 0.55 + 0.45 * abs(math.sin(i * 2.3 + 0.7))
        heights.append(max(40, int(640 * envelope * wobble)))
    return heights


def main():
    total = BARS * BAR_WIDTH + (BARS - 1) * BAR_GAP
    left = (SIZE - total) // 2
    heights = bar_heights()
    rows = []
    for y in range(SIZE):
        row = bytearray([0])
        for x in range(SIZE):
            alpha = rounded_square_alpha(x, y)
            colour = BACKGROUND
            offset = x - left
            if alpha > 0 and 0 <= offset < total and offset % (BAR_WIDTH + BAR_GAP) < BAR_WIDTH:
                half = heights[offset // (BAR_WIDTH + BAR_GAP)] / 2
                if abs(y + 0.5 - SIZE / 2) <= half:
                    colour = accent(offset / total)
            row += bytes(colour) + bytes([round(alpha * 255)])
        rows.append(bytes(row))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9))
    png += chunk(b"IEND", b"")
    with open("app-icon.png", "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main()
