#!/usr/bin/env python3
"""Draws src/QUAVERIX/QUAVERIX.ico: a note on a rounded square, at 16, 24, 32, 48 px."""
import math
import pathlib
import struct

def pixel(size, x, y):
    s = size
    u, v = (x + 0.5) / s, (y + 0.5) / s
    # rounded square background
    r = 0.18
    dx = max(abs(u - 0.5) - (0.5 - r), 0)
    dy = max(abs(v - 0.5) - (0.5 - r), 0)
    if math.hypot(dx, dy) > r:
        return (0, 0, 0, 0)
    top, bottom = (70, 110, 200), (25, 45, 110)
    bg = tuple(int(top[i] + (bottom[i] - top[i]) * v) for i in range(3))
    # an eighth note: head, stem, flag
    head = ((u - 0.40) / 0.16) ** 2 + ((v - 0.70) / 0.12) ** 2 <= 1
    stem = 0.52 <= u <= 0.58 and 0.20 <= v <= 0.70
    flag = 0.58 <= u <= 0.58 + 0.20 * (1 - (v - 0.20) / 0.25) and 0.20 <= v <= 0.45
    if head or stem or flag:
        return (255, 230, 120, 255)
    return bg + (255,)

def image(size):
    rows = []
    for y in reversed(range(size)):  # bottom-up DIB
        row = b"".join(struct.pack("BBBB", p[2], p[1], p[0], p[3])
                       for p in (pixel(size, x, y) for x in range(size)))
        rows.append(row)
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    and_mask = b"\0" * (mask_row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return header + xor + and_mask

def main():
    sizes = [16, 24, 32, 48]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    out += b"".join(images)
    dest = pathlib.Path(__file__).resolve().parent.parent / "src/QUAVERIX/QUAVERIX.ico"
    dest.write_bytes(out)

if __name__ == "__main__":
    main()
