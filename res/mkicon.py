#!/usr/bin/env python3
"""Draws the program icon and writes it as a Windows .ico file.

The picture is a framed photograph (sky, sun, two hills) described by shapes
in a unit square, so every size is drawn for itself rather than scaled: 16, 32
and 48 pixels as 32-bit bitmaps with a mask (what every Windows version reads),
256 pixels as PNG (what Explorer shows in large views).

Usage: mkicon.py OUT.ico
"""
import math
import struct
import sys
import zlib

OUTLINE = (44, 62, 80, 255)
FRAME = (250, 250, 246, 255)
SKY_TOP = (92, 160, 230)
SKY_BOTTOM = (190, 225, 250)
SUN = (247, 168, 36, 255)
HILL_BACK = (96, 170, 84, 255)
HILL_FRONT = (52, 128, 62, 255)

# Frame and photograph, in unit coordinates (x right, y down).
FRAME_BOX = (0.04, 0.12, 0.96, 0.88)
PHOTO_BOX = (0.14, 0.22, 0.86, 0.78)


def in_round_box(x, y, box, r):
    x0, y0, x1, y1 = box
    if not (x0 <= x <= x1 and y0 <= y <= y1):
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def snap(box, size):
    """The box's edges on pixel edges, so that small sizes stay sharp."""
    return tuple(round(v * size) / size for v in box)


def sample(x, y, size):
    """Colour (r, g, b, a) of the picture at one point."""
    # The outline is at least one whole pixel.
    line = max(1, round(0.045 * size)) / size
    outer = snap(FRAME_BOX, size)
    if not in_round_box(x, y, outer, 0.08):
        return None
    inner = (outer[0] + line, outer[1] + line, outer[2] - line, outer[3] - line)
    if not in_round_box(x, y, inner, 0.08 - line / 2):
        return OUTLINE
    x0, y0, x1, y1 = snap(PHOTO_BOX, size)
    if not (x0 <= x <= x1 and y0 <= y <= y1):
        return FRAME
    if (x - 0.67) ** 2 + (y - 0.38) ** 2 <= 0.085 ** 2 and y < 0.62:
        return SUN
    if y >= 0.70 - 0.10 * math.cos((x - 0.30) * 5.0):
        return HILL_FRONT
    if y >= 0.60 - 0.08 * math.cos((x - 0.72) * 6.0):
        return HILL_BACK
    t = (y - y0) / (y1 - y0)
    return tuple(round(a + (b - a) * t) for a, b in zip(SKY_TOP, SKY_BOTTOM)) + (255,)


def render(size):
    """Rows of (r, g, b, a), top row first, averaged over a grid of samples."""
    grid = 4 if size <= 48 else 2
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(grid):
                for sx in range(grid):
                    c = sample((px + (sx + 0.5) / grid) / size, (py + (sy + 0.5) / grid) / size, size)
                    if c:
                        for i in range(3):
                            acc[i] += c[i] * c[3]
                        acc[3] += c[3]
            n = grid * grid
            a = acc[3] / n
            if a == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(round(acc[i] / acc[3]) for i in range(3)) + (round(a),))
        rows.append(row)
    return rows


def bmp_entry(rows):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def png_entry(rows):
    size = len(rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in rows)
    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def main():
    sizes = (16, 32, 48, 256)
    images = [png_entry(render(s)) if s == 256 else bmp_entry(render(s)) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main()
