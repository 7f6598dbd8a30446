#!/usr/bin/env python3
"""Draws the launcher's icon group (16, 32 and 48 pixels, 32-bit BGRA with an AND mask)
and writes it as qvloader.ico. Run by hand when the picture changes; the .ico is committed
so that builds need no Python.

The picture: an open book in white on a rounded blue tile, with a small arrow that stands
for "starting". Drawn at 4x4 samples per pixel for smooth edges."""
import struct
import sys

TILE = (0x2B, 0x6C, 0xC4)      # RGB
TILE_EDGE = (0x1A, 0x4A, 0x8C)
PAGE = (0xFF, 0xFF, 0xFF)
LINE = (0x9D, 0xB8, 0xDF)
ARROW = (0xF2, 0xA5, 0x1A)


def inside_rounded(x, y, r):
    """Unit square [0,1]^2 with corner radius r."""
    cx = min(max(x, r), 1 - r)
    cy = min(max(y, r), 1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def colour_at(x, y):
    """Colour and coverage of one sample point in unit coordinates (y down)."""
    if not inside_rounded(x, y, 0.18):
        return None
    col = TILE if inside_rounded((x - 0.05) / 0.9, (y - 0.05) / 0.9, 0.16) else TILE_EDGE
    # Two pages of an open book.
    top, bottom = 0.24, 0.74
    for left, right in ((0.16, 0.485), (0.515, 0.84)):
        if left <= x <= right and top <= y <= bottom:
            col = PAGE
            for ly in (0.34, 0.44, 0.54, 0.64):
                if abs(y - ly) <= 0.022 and left + 0.06 <= x <= right - 0.06:
                    col = LINE
    # A play arrow in the lower right corner.
    ax, ay = x - 0.60, y - 0.56
    if 0 <= ax <= 0.28 and abs(ay - 0.16) <= 0.16 * (1 - ax / 0.28) + 1e-9:
        col = ARROW
    return col


def render(size, ss=4):
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0]
            hits = 0
            for sy in range(ss):
                for sx in range(ss):
                    c = colour_at((px + (sx + 0.5) / ss) / size, (py + (sy + 0.5) / ss) / size)
                    if c:
                        hits += 1
                        for i in range(3):
                            acc[i] += c[i]
            if hits:
                r, g, b = (acc[i] // hits for i in range(3))
                row.append((b, g, r, 255 * hits // (ss * ss)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def dib(size):
    pixels = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(bytes(p) for row in reversed(pixels) for p in row)
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + xor + bytes(mask)


def main(path):
    sizes = (16, 32, 48)
    images = [dib(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "qvloader.ico")
