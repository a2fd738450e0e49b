#!/usr/bin/env python3
"""Draws the module's icons (simple flat glyphs) into resources/icons/*.ico."""
import os
import struct
import sys

# id: (colour RGB, shape, bits per pixel, sizes)
ICONS = {
    104: ((90, 90, 90), "square", 32, [16]),
    105: ((40, 150, 60), "plus", 32, [16]),
    106: ((120, 120, 120), "arrow", 32, [16]),
    107: ((110, 110, 170), "gear", 32, [16]),
    108: ((200, 120, 40), "photo", 32, [16]),
    109: ((230, 190, 60), "folder", 32, [16]),
    110: ((50, 110, 210), "globe", 32, [32, 16, 48]),
    111: ((160, 60, 160), "flag", 24, [16]),
    112: ((90, 90, 90), "square", 24, [16]),
    113: ((160, 60, 160), "page", 24, [16]),
}


def inside(shape, x, y, n):
    u, v = x / n, y / n  # 0..1, v from the top
    if shape == "square":
        return 0.15 < u < 0.85 and 0.15 < v < 0.85
    if shape == "plus":
        return (0.4 < u < 0.6 and 0.1 < v < 0.9) or (0.1 < u < 0.9 and 0.4 < v < 0.6)
    if shape == "arrow":
        return (0.45 < u < 0.6 and 0.3 < v < 0.9) or (abs(u - 0.52) < (v - 0.1) * 0.8 and v < 0.45)
    if shape == "gear":
        d = ((u - 0.5) ** 2 + (v - 0.5) ** 2) ** 0.5
        return 0.15 < d < 0.42
    if shape == "photo":
        return 0.1 < u < 0.9 and 0.2 < v < 0.8
    if shape == "folder":
        return (0.08 < u < 0.92 and 0.3 < v < 0.85) or (0.08 < u < 0.45 and 0.2 < v < 0.3)
    if shape == "globe":
        d = ((u - 0.5) ** 2 + (v - 0.5) ** 2) ** 0.5
        return d < 0.45
    if shape == "flag":
        return (0.15 < u < 0.22 and 0.1 < v < 0.9) or (0.22 <= u < 0.85 and 0.12 < v < 0.5)
    if shape == "page":
        return 0.2 < u < 0.8 and 0.08 < v < 0.92
    return False


def image(colour, shape, bpp, n):
    r, g, b = colour
    rows = []
    mask_rows = []
    for y in reversed(range(n)):  # bottom-up
        row = bytearray()
        mask = 0
        bits = []
        for x in range(n):
            on = inside(shape, x + 0.5, y + 0.5, n)
            if bpp == 32:
                row += bytes((b, g, r, 255)) if on else bytes((0, 0, 0, 0))
            else:
                row += bytes((b, g, r)) if on else bytes((0, 0, 0))
            bits.append(0 if on else 1)
        while len(row) % 4:
            row += b"\0"
        rows.append(bytes(row))
        mrow = bytearray()
        for i in range(0, n, 8):
            byte = 0
            for k in range(8):
                byte = byte << 1 | (bits[i + k] if i + k < n else 1)
            mrow.append(byte)
        while len(mrow) % 4:
            mrow += b"\0"
        mask_rows.append(bytes(mrow))
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, bpp, 0, 0, 0, 0, 0, 0)
    return header + b"".join(rows) + b"".join(mask_rows)


def ico(colour, shape, bpp, sizes):
    images = [image(colour, shape, bpp, n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, bpp, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "resources/icons"
    os.makedirs(folder, exist_ok=True)
    for ident, (colour, shape, bpp, sizes) in ICONS.items():
        with open(os.path.join(folder, f"{ident}.ico"), "wb") as f:
            f.write(ico(colour, shape, bpp, sizes))


if __name__ == "__main__":
    main()
