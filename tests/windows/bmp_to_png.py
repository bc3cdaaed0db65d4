#!/usr/bin/env python3
"""Converts an uncompressed BMP (4, 8, 24 or 32 bits per pixel) to PNG.

  bmp_to_png.py IN.bmp OUT.png [SCALE]

Standard library only.  Used for the dialog screenshot (the test driver
writes a BMP) and to look at the resource pictures.
"""

import struct
import sys
import zlib


def read_bmp(data):
    if data[:2] != b"BM":
        raise ValueError("not a BMP file")
    offset = struct.unpack_from("<I", data, 10)[0]
    size, width, height, _, bits, compression = struct.unpack_from("<IiiHHI", data, 14)
    if compression not in (0, 3) or bits not in (4, 8, 24, 32):
        raise ValueError(f"unsupported BMP: {bits} bits, compression {compression}")
    palette = []
    if bits <= 8:
        used = struct.unpack_from("<I", data, 46)[0] or (1 << bits)
        base = 14 + size
        for i in range(used):
            b, g, r, _ = data[base + 4 * i: base + 4 * i + 4]
            palette.append((r, g, b))
    bottom_up = height > 0
    height = abs(height)
    stride = (width * bits + 31) // 32 * 4
    rows = []
    for y in range(height):
        start = offset + y * stride
        line = data[start:start + stride]
        pixels = []
        for x in range(width):
            if bits == 4:
                byte = line[x // 2]
                pixels.append(palette[byte >> 4 if x % 2 == 0 else byte & 15])
            elif bits == 8:
                pixels.append(palette[line[x]])
            else:
                step = bits // 8
                b, g, r = line[x * step: x * step + 3]
                pixels.append((r, g, b))
        rows.append(pixels)
    if bottom_up:
        rows.reverse()
    return width, height, rows


def png_bytes(width, height, rows, scale=1):
    raw = bytearray()
    for row in rows:
        line = bytearray([0])
        for r, g, b in row:
            line += bytes((r, g, b)) * scale
        for _ in range(scale):
            raw += line

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", width * scale, height * scale, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    scale = int(sys.argv[3]) if len(sys.argv) == 4 else 1
    with open(sys.argv[1], "rb") as f:
        width, height, rows = read_bmp(f.read())
    with open(sys.argv[2], "wb") as f:
        f.write(png_bytes(width, height, rows, scale))


if __name__ == "__main__":
    main()
