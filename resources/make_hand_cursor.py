#!/usr/bin/env python3
"""Writes beside/HAND-M.CUR, the window's hand pointer: a 32x32 pointing hand
with its hotspot at the tip of the index finger. Drawn here, pixel by pixel.

    python3 make_hand_cursor.py [preview.png]

With an argument it also writes an 8x enlarged PNG preview.
"""
import os
import struct
import sys
import zlib

# '.' transparent, 'X' black outline, 'o' white fill.
ART = """
......XX........................
.....XooX.......................
.....XooX.......................
.....XooX.......................
.....XooX.......................
.....XooXXX.....................
.....XooXooXXX..................
.....XooXooXooXX................
.....XooXooXooXoX...............
.XXX.XooXooXooXooX..............
XoooXXooooooooXooX..............
XooooXoooooooooooX..............
.XoooXoooooooooooX..............
..XooooooooooooooX..............
..XooooooooooooooX..............
...XoooooooooooooX..............
...XooooooooooooX...............
....XoooooooooooX...............
....XooooooooooX................
.....XoooooooooX................
.....XoooooooooX................
.....XXXXXXXXXXX................
................................
................................
................................
................................
................................
................................
................................
................................
................................
................................
"""
HOTSPOT = (6, 0)
SIZE = 32


def rows():
    lines = [line for line in ART.strip("\n").split("\n")]
    assert len(lines) == SIZE and all(len(l) == SIZE for l in lines), "art must be 32x32"
    return lines


def pixel(ch):
    return {"X": (0, 0, 0, 255), "o": (255, 255, 255, 255)}.get(ch, (0, 0, 0, 0))


def cursor_bytes():
    lines = rows()
    xor = bytearray()
    mask = bytearray()
    for line in reversed(lines):  # bitmaps run bottom-up
        for ch in line:
            r, g, b, a = pixel(ch)
            xor += bytes((b, g, r, a))
        bits = 0
        row = bytearray()
        for i, ch in enumerate(line):
            bits = (bits << 1) | (1 if ch == "." else 0)  # 1: screen shows through
            if i % 8 == 7:
                row.append(bits)
                bits = 0
        mask += row  # 32 pixels: 4 bytes, already a multiple of 4
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    image = header + bytes(xor) + bytes(mask)
    icondir = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, HOTSPOT[0], HOTSPOT[1], len(image),
                        6 + 16)
    return icondir + entry + image


def preview_png(path, scale=8):
    lines = rows()
    raw = bytearray()
    for line in lines:
        for _ in range(scale):
            raw.append(0)
            for ch in line:
                r, g, b, a = pixel(ch) if ch != "." else (200, 220, 255, 255)
                raw += bytes((r, g, b, a)) * scale
    w = h = SIZE * scale

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw))) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "beside", "HAND-M.CUR"), "wb") as f:
        f.write(cursor_bytes())
    if len(sys.argv) > 1:
        preview_png(sys.argv[1])


if __name__ == "__main__":
    main()
