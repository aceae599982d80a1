#!/usr/bin/env python3
"""Draws the program icon KVAICON: a blue archive box with a golden band and clasp.

Writes a multi-size .ico (16, 24, 32, 48 as 32-bit DIBs, 256 as PNG) to the path given.
"""
import struct
import sys
import zlib


def pixel(x, y, n):
    """RGBA of pixel (x, y) in an n x n icon; coordinates scaled to a 0..1 square."""
    u = (x + 0.5) / n
    v = (y + 0.5) / n
    m = 0.08  # margin
    r = 0.12  # corner radius
    left, top, right, bottom = m, m + 0.06, 1 - m, 1 - m
    if not (left <= u <= right and top <= v <= bottom):
        return (0, 0, 0, 0)
    # Rounded corners.
    cx = min(max(u, left + r), right - r)
    cy = min(max(v, top + r), bottom - r)
    if (u - cx) ** 2 + (v - cy) ** 2 > r * r:
        return (0, 0, 0, 0)
    edge = min(u - left, right - u, v - top, bottom - v)
    if edge < 0.035:
        return (20, 50, 110, 255)  # outline
    # Lid line.
    if abs(v - 0.36) < 0.025:
        return (20, 50, 110, 255)
    # Vertical golden band with a clasp.
    if abs(u - 0.5) < 0.09:
        if abs(v - 0.42) < 0.08 and abs(u - 0.5) < 0.075:
            return (250, 235, 170, 255)
        return (225, 170, 30, 255)
    shade = int(150 + 80 * (1 - v))
    return (40, 100, min(255, shade + 20), 255)


def dib(n):
    rows = []
    for y in range(n - 1, -1, -1):  # bottom-up
        row = bytearray()
        for x in range(n):
            r, g, b, a = pixel(x, y, n)
            row += bytes((b, g, r, a))
        rows.append(bytes(row))
    xor = b"".join(rows)
    mask_row = ((n + 31) // 32) * 4
    and_mask = bytes(mask_row * n)  # alpha carries transparency
    header = struct.pack("<IiiHHIIiiII", 40, n, n * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return header + xor + and_mask


def png(n):
    raw = bytearray()
    for y in range(n):
        raw.append(0)
        for x in range(n):
            raw += bytes(pixel(x, y, n))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", n, n, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")


def main():
    images = [(n, dib(n)) for n in (16, 24, 32, 48)] + [(256, png(256))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in images:
        dim = 0 if n >= 256 else n
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
