#!/usr/bin/python3
"""Draws the program's icon, a page with a red cross over it, and writes resources/app.ico.

The icon holds two 16-colour images, 32x32 and 16x16, each a BITMAPINFOHEADER, the 16-colour
palette, the 4-bit colour bitmap and the 1-bit transparency mask, rows bottom-up. Run it again
after changing the drawing and commit the .ico it writes:

    python3 resources/make_icon.py [output.ico]
"""

import os
import struct
import sys

# The 16 colours of the standard VGA palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, MAROON, SILVER, GRAY, RED, WHITE = 0, 1, 7, 8, 9, 15
CLEAR = None  # a transparent pixel

# Where things go in each size, in pixels from the top left corner: the page's left, top, right
# and bottom edges, the size of its folded corner, the grey text lines (from x, to x, y), and the
# cross (centre x, centre y, how far its arms reach, half the width of a stroke). The small cross
# is centred between pixel columns so that its strokes come out two pixels wide.
LAYOUTS = {
    32: dict(page=(4, 1, 24, 30), fold=7, lines=[(7, 20, y) for y in range(11, 27, 3)],
             cross=(23, 23, 7, 1.5)),
    16: dict(page=(2, 0, 12, 15), fold=4, lines=[(4, 9, y) for y in (6, 8, 10, 12)],
             cross=(10.5, 11, 3.5, 0.5)),
}


def draw(size, page, fold, lines, cross):
    """Returns the picture as rows of palette indices (or CLEAR), top row first."""
    pixels = [[CLEAR] * size for _ in range(size)]
    left, top, right, bottom = page
    corner = right - fold  # where the folded corner starts on the top edge

    def on_page(x, y):
        return left <= x <= right and top <= y <= bottom and x - corner <= y - top

    for y in range(size):
        for x in range(size):
            if not on_page(x, y):
                continue
            edge = not (on_page(x - 1, y) and on_page(x + 1, y) and
                        on_page(x, y - 1) and on_page(x, y + 1))
            pixels[y][x] = BLACK if edge else WHITE
    # The folded-over corner: a grey triangle under the cut, outlined in black.
    for y in range(top, top + fold + 1):
        for x in range(corner, corner + (y - top) + 1):
            last_row = y == top + fold
            pixels[y][x] = BLACK if (x == corner or last_row) else SILVER
        pixels[y][corner + (y - top)] = BLACK
    for x_from, x_to, y in lines:
        for x in range(x_from, x_to + 1):
            pixels[y][x] = GRAY

    cx, cy, reach, half_width = cross

    def on_cross(x, y):
        dx, dy = x - cx, y - cy
        return (abs(dx) <= reach and abs(dy) <= reach and
                (abs(dx - dy) <= half_width or abs(dx + dy) <= half_width))

    for y in range(size):
        for x in range(size):
            if on_cross(x, y):
                pixels[y][x] = RED
            elif any(on_cross(x + dx, y + dy) for dx in (-1, 0, 1) for dy in (-1, 0, 1)):
                pixels[y][x] = MAROON
    return pixels


def row_bytes(bits_per_row):
    """Bytes in one bitmap row, which is padded to whole 32-bit words."""
    return (bits_per_row + 31) // 32 * 4


def encode_image(pixels):
    """The image as an icon file stores it: header, palette, colour bitmap, mask."""
    size = len(pixels)
    colour = bytearray()
    mask = bytearray()
    for row in reversed(pixels):  # bottom-up
        packed = bytearray(row_bytes(size * 4))
        bits = bytearray(row_bytes(size))
        for x, index in enumerate(row):
            if index is CLEAR:
                bits[x // 8] |= 0x80 >> (x % 8)  # colour 0 under a set mask bit: see-through
                index = 0
            packed[x // 2] |= index << (4 if x % 2 == 0 else 0)
        colour += packed
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(colour) + bytes(mask)


def encode_icon(images):
    """An icon file: the directory, then each image."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for size, data in images:
        entries += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return directory + entries + b"".join(data for _, data in images)


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    output = argv[1] if len(argv) > 1 else os.path.join(here, "app.ico")
    images = [(size, encode_image(draw(size, **LAYOUTS[size]))) for size in (32, 16)]
    with open(output, "wb") as f:
        f.write(encode_icon(images))


if __name__ == "__main__":
    main(sys.argv)
