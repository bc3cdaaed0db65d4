#!/usr/bin/env python3
"""Draws Tamrix's pictures and writes them beside this script:

  logo.bmp    bitmap 106, 166 x 70, 16 colours: a chip on a circuit board
  banner.bmp  bitmap 116, 206 x 56, 16 colours: the name "Tamrix"
  tamrix.ico  icon 101, one 32 x 32, 16-colour image

Standard library only; the output depends on nothing but this file, so
running it again gives the same bytes.  Usage: make_art.py [OUTPUT_DIR]
"""

import os
import struct
import sys

# The 16 colours of the Windows standard palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GRAY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)

# A 5 x 7 pixel font, only the letters drawn here.
GLYPHS = {
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "a": [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    "m": [".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"],
    "r": [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    "i": ["..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###."],
    "x": [".....", ".....", "#...#", ".#.#.", "..#..", ".#.#.", "#...#"],
    "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
    "C": [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    "I": [".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
}


class Canvas:
    def __init__(self, width, height, colour):
        self.width = width
        self.height = height
        self.pixels = [[colour] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def rect(self, x, y, w, h, colour):
        for yy in range(y, y + h):
            for xx in range(x, x + w):
                self.put(xx, yy, colour)

    def frame(self, x, y, w, h, light, dark):
        """A one-pixel raised edge: light top and left, dark bottom and right."""
        self.rect(x, y, w, 1, light)
        self.rect(x, y, 1, h, light)
        self.rect(x, y + h - 1, w, 1, dark)
        self.rect(x + w - 1, y, 1, h, dark)

    def text(self, x, y, string, scale, colour):
        for letter in string:
            for row, bits in enumerate(GLYPHS[letter]):
                for column, bit in enumerate(bits):
                    if bit == "#":
                        self.rect(x + column * scale, y + row * scale, scale, scale, colour)
            x += 6 * scale

    @staticmethod
    def text_width(string, scale):
        return (6 * len(string) - 1) * scale


def bmp_rows(canvas):
    """The 4-bit pixel rows, bottom row first, each padded to 4 bytes."""
    rows = []
    for line in reversed(canvas.pixels):
        packed = bytearray()
        for x in range(0, canvas.width, 2):
            high = line[x]
            low = line[x + 1] if x + 1 < canvas.width else 0
            packed.append(high << 4 | low)
        while len(packed) % 4:
            packed.append(0)
        rows.append(bytes(packed))
    return b"".join(rows)


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)


def info_header(width, height, image_size):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, image_size, 0, 0, 16, 0)


def bmp_file(canvas):
    pixels = bmp_rows(canvas)
    offset = 14 + 40 + 4 * 16
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info_header(canvas.width, canvas.height, len(pixels)) + palette_bytes() + pixels


def ico_file(canvas, transparent):
    """One image; pixels of the colour `transparent` are left out by the mask."""
    shown = Canvas(canvas.width, canvas.height, BLACK)
    mask_rows = []
    for y in range(canvas.height):
        for x in range(canvas.width):
            if canvas.pixels[y][x] != transparent:
                shown.pixels[y][x] = canvas.pixels[y][x]
    for y in reversed(range(canvas.height)):
        row = bytearray((canvas.width + 31) // 32 * 4)
        for x in range(canvas.width):
            if canvas.pixels[y][x] == transparent:
                row[x // 8] |= 0x80 >> (x % 8)
        mask_rows.append(bytes(row))
    xor = bmp_rows(shown)
    mask = b"".join(mask_rows)
    image = info_header(canvas.width, 2 * canvas.height, len(xor) + len(mask))
    image += palette_bytes() + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", canvas.width, canvas.height, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def draw_chip(c, x, y, w, h, pin_step, label, scale):
    """A black chip with silver pins above and below, its label centred."""
    for px in range(x + pin_step // 2, x + w - 1, pin_step):
        c.rect(px, y - 4, 2, 4, SILVER)
        c.rect(px, y + h, 2, 4, SILVER)
    c.rect(x, y, w, h, BLACK)
    c.frame(x, y, w, h, GRAY, BLACK)
    c.rect(x + 3, y + 3, 3, 3, GRAY)  # pin 1
    if label:
        tw = Canvas.text_width(label, scale)
        c.text(x + (w - tw) // 2, y + (h - 7 * scale) // 2, label, scale, WHITE)


def draw_logo():
    c = Canvas(166, 70, GREEN)
    # Traces from the chip's pins to the board's edges, ending in pads.
    chip_x, chip_y, chip_w, chip_h = 48, 20, 70, 30
    for i, px in enumerate(range(chip_x + 3, chip_x + chip_w - 1, 6)):
        top = 4 + (i % 3) * 3
        c.rect(px, top, 2, chip_y - top, OLIVE)
        c.rect(px - 1, top - 1, 4, 3, YELLOW)
        bottom = 70 - 5 - (i % 3) * 3
        c.rect(px, chip_y + chip_h, 2, bottom - chip_y - chip_h, OLIVE)
        c.rect(px - 1, bottom - 1, 4, 3, YELLOW)
    for i, ty in enumerate(range(12, 60, 8)):
        c.rect(6, ty, chip_x - 10, 2, OLIVE)
        c.rect(4, ty - 1, 4, 4, YELLOW)
        c.rect(chip_x + chip_w + 4, ty, 166 - chip_x - chip_w - 10, 2, OLIVE)
        c.rect(166 - 8, ty - 1, 4, 4, YELLOW)
    draw_chip(c, chip_x, chip_y, chip_w, chip_h, 6, "PCI", 3)
    # Two small parts beside it.
    draw_chip(c, 14, 28, 18, 12, 6, "", 1)
    draw_chip(c, 134, 28, 18, 12, 6, "", 1)
    c.frame(0, 0, 166, 70, LIME, OLIVE)
    return c


def draw_banner():
    c = Canvas(206, 56, NAVY)
    # Bands from dark to light blue, then a thin rule under the name.
    for y in range(56):
        if y % 4 == 0 and y > 28:
            c.rect(0, y, 206, 1, BLUE)
    c.rect(0, 49, 206, 2, TEAL)
    c.rect(0, 51, 206, 1, AQUA)
    name = "Tamrix"
    scale = 5
    x = (206 - Canvas.text_width(name, scale)) // 2
    y = 6
    c.text(x + 2, y + 2, name, scale, BLACK)  # shadow
    c.text(x, y, name, scale, YELLOW)
    # A highlight along the top of every letter stroke.
    before = [row[:] for row in c.pixels]
    for yy in range(y, y + 7 * scale):
        for xx in range(x, x + Canvas.text_width(name, scale)):
            if before[yy][xx] == YELLOW and before[yy - 1][xx] != YELLOW:
                c.put(xx, yy, WHITE)
    c.frame(0, 0, 206, 56, AQUA, BLACK)
    return c


def draw_icon():
    c = Canvas(32, 32, FUCHSIA)  # fuchsia is the transparent colour here
    for px in range(5, 27, 4):
        c.rect(px, 2, 2, 4, SILVER)
        c.rect(px, 26, 2, 4, SILVER)
        c.rect(2, px, 4, 2, SILVER)
        c.rect(26, px, 4, 2, SILVER)
    c.rect(5, 5, 22, 22, BLACK)
    c.frame(5, 5, 22, 22, GRAY, BLACK)
    # A yellow T on the chip.
    c.rect(9, 9, 14, 3, YELLOW)
    c.rect(14, 12, 4, 11, YELLOW)
    c.rect(9, 9, 14, 1, WHITE)
    return c


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    files = {
        "logo.bmp": bmp_file(draw_logo()),
        "banner.bmp": bmp_file(draw_banner()),
        "tamrix.ico": ico_file(draw_icon(), FUCHSIA),
    }
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
        print(f"{name}: {len(data)} bytes")


if __name__ == "__main__":
    main()
