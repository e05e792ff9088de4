#!/usr/bin/env python3
"""Draws the small pictures of the drive picker and the folder list into
src/QUAVERIX/lists-16.bmp, lists-24.bmp and lists-32.bmp: one strip of square images
(folder, open folder, fixed drive, removable drive, CD drive, network drive), 16 colours,
magenta where transparent. Our own pictures keep the shell (and its start-up cost) out of
drawing the lists."""
import pathlib
import struct

OUT = pathlib.Path(__file__).resolve().parent.parent / "src/QUAVERIX"

def box(u, v, x0, y0, x1, y1):
    return x0 <= u <= x1 and y0 <= v <= y1

def folder(u, v, open_):
    edge = (150, 110, 20, 255)
    if box(u, v, 0.06, 0.22, 0.42, 0.34):
        return (230, 180, 60, 255)  # tab
    if open_ and box(u, v, 0.06, 0.34, 0.94, 0.86):
        front = 0.34 + (u - 0.06) * 0.0  # back panel
        if v >= 0.48 and u >= 0.06 + (0.86 - v) * 0.25:
            return (255, 215, 90, 255)
        return (225, 170, 50, 255)
    if box(u, v, 0.06, 0.32, 0.94, 0.86):
        if v < 0.36 or v > 0.82 or u < 0.10 or u > 0.90:
            return edge
        return (250, 200, 70, 255)
    return (0, 0, 0, 0)

def drive(u, v, kind):
    if kind == "cd":
        r = ((u - 0.5) ** 2 + (v - 0.5) ** 2) ** 0.5
        if r < 0.08:
            return (0, 0, 0, 0)
        if r < 0.44:
            return (200, 200, 215, 255) if r > 0.40 else (225, 225, 240, 255)
        return (0, 0, 0, 0)
    if kind == "net" and box(u, v, 0.45, 0.70, 0.55, 0.92):
        return (60, 60, 60, 255)
    if kind == "net" and box(u, v, 0.2, 0.88, 0.8, 0.94):
        return (60, 60, 60, 255)
    top, bottom = (0.36, 0.70) if kind != "removable" else (0.30, 0.76)
    x0, x1 = (0.06, 0.94) if kind != "removable" else (0.22, 0.78)
    if box(u, v, x0, top, x1, bottom):
        if v < top + 0.05 or v > bottom - 0.05 or u < x0 + 0.04 or u > x1 - 0.04:
            return (90, 90, 100, 255)
        if box(u, v, x1 - 0.22, bottom - 0.16, x1 - 0.10, bottom - 0.10):
            return (40, 200, 60, 255)  # the light
        return (190, 190, 200, 255)
    return (0, 0, 0, 0)

KEY = (255, 0, 255)
PICTURES = [
    lambda u, v: folder(u, v, False),
    lambda u, v: folder(u, v, True),
    lambda u, v: drive(u, v, "fixed"),
    lambda u, v: drive(u, v, "removable"),
    lambda u, v: drive(u, v, "cd"),
    lambda u, v: drive(u, v, "net"),
]

def strip(size):
    width = size * len(PICTURES)
    pixels = []
    for y in range(size):
        row = []
        for k, paint in enumerate(PICTURES):
            for x in range(size):
                p = paint((x + 0.5) / size, (y + 0.5) / size)
                row.append(p[:3] if p[3] else KEY)
        pixels.append(row)
    palette = [KEY]
    for row in pixels:
        for c in row:
            if c not in palette:
                palette.append(c)
    assert len(palette) <= 16, len(palette)
    palette += [(0, 0, 0)] * (16 - len(palette))
    stride = ((width * 4 + 31) // 32) * 4
    data = b""
    for y in reversed(range(size)):
        idx = [palette.index(c) for c in pixels[y]]
        row = bytes((idx[i] << 4) | (idx[i + 1] if i + 1 < width else 0) for i in range(0, width, 2))
        data += row + b"\0" * (stride - len(row))
    pal = b"".join(struct.pack("BBBB", c[2], c[1], c[0], 0) for c in palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, size, 1, 4, 0, len(data), 2835, 2835, 16, 0)
    offset = 14 + len(info) + len(pal)
    head = b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset)
    (OUT / f"lists-{size}.bmp").write_bytes(head + info + pal + data)

for size in (16, 24, 32):
    strip(size)
