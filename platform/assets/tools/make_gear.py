#!/usr/bin/env python3
"""Draws the small gear image of the asset catalogue ("gear-tiny").

The image is committed; run this only to change it:
    python3 make_gear.py ..   (writes gear-tiny.png and gear-tiny@2x.png)
Pure standard library: the gear is rasterised with 8x8 supersampling.
"""
import math
import struct
import sys
import zlib
from pathlib import Path

TEETH = 8
GREY = (0x8E, 0x8E, 0x93)


def inside_gear(x, y):
    """(x, y) in units of the image's half size, centre at 0."""
    r = math.hypot(x, y)
    if r < 0.30:  # the axle hole
        return False
    if r <= 0.70:  # the rim
        return True
    if r > 0.98:
        return False
    # teeth: trapezoid-ish, about 40 % of each pitch at the tip
    a = math.atan2(y, x) % (2 * math.pi / TEETH)
    a = abs(a - math.pi / TEETH) / (math.pi / TEETH)  # 0 centre of tooth .. 1 gap centre
    limit = 0.45 + 0.25 * (0.98 - r) / 0.28
    return a < limit


def render(size):
    ss = 8
    rows = []
    for py in range(size):
        row = bytearray([0])  # filter type none
        for px in range(size):
            hits = 0
            for sy in range(ss):
                for sx in range(ss):
                    x = ((px + (sx + 0.5) / ss) / size) * 2 - 1
                    y = ((py + (sy + 0.5) / ss) / size) * 2 - 1
                    hits += inside_gear(x, y)
            alpha = round(255 * hits / (ss * ss))
            row += bytes(GREY) + bytes([alpha])
        rows.append(bytes(row))
    return b"".join(rows)


def png(size):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(render(size), 9)) + chunk(b"IEND", b""))


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    (out / "gear-tiny.png").write_bytes(png(16))
    (out / "gear-tiny@2x.png").write_bytes(png(32))


if __name__ == "__main__":
    main()
