#!/usr/bin/python3
"""Tests of resources/make_icon.py: how it lays out an icon's bytes, and that the committed
resources/app.ico is what it draws today."""

import os
import struct
import sys
import tempfile
import unittest

RESOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources")
sys.path.insert(0, RESOURCES)

import make_icon  # noqa: E402
from make_icon import CLEAR, RED, WHITE  # noqa: E402


class ImageLayout(unittest.TestCase):
    def test_sizes_of_the_parts(self):
        # (size, colour bitmap bytes, mask bytes): rows are padded to 32 bits.
        for size, colour, mask in [(32, 512, 128), (16, 128, 64)]:
            with self.subTest(size=size):
                image = make_icon.encode_image([[WHITE] * size for _ in range(size)])
                self.assertEqual(len(image), 40 + 64 + colour + mask)
                self.assertEqual(struct.unpack_from("<IiiHHIII", image),
                                 (40, size, 2 * size, 1, 4, 0, colour + mask, 0))

    def test_pixels_go_bottom_up_high_nibble_first_with_a_mask(self):
        pixels = [[WHITE] * 16 for _ in range(16)]
        pixels[0][0] = RED      # top left
        pixels[0][1] = CLEAR
        pixels[15][15] = CLEAR  # bottom right
        image = make_icon.encode_image(pixels)
        colour, mask = image[104:104 + 128], image[104 + 128:]
        top_row, bottom_row = colour[15 * 8:], colour[:8]
        self.assertEqual(top_row[0], RED << 4 | 0)  # the clear pixel is colour 0
        self.assertEqual(top_row[1:8], bytes([WHITE << 4 | WHITE]) * 7)
        self.assertEqual(bottom_row[7], WHITE << 4 | 0)
        self.assertEqual(mask[15 * 4:15 * 4 + 4], b"\x40\x00\x00\x00")  # top row
        self.assertEqual(mask[0:4], b"\x00\x01\x00\x00")  # bottom row
        self.assertEqual(mask[4:15 * 4], bytes(14 * 4))

    def test_icon_directory_points_at_each_image(self):
        images = [(32, b"a" * 744), (16, b"b" * 296)]
        icon = make_icon.encode_icon(images)
        self.assertEqual(struct.unpack_from("<HHH", icon), (0, 1, 2))
        offset = 6 + 2 * 16
        for number, (size, data) in enumerate(images):
            with self.subTest(size=size):
                entry = struct.unpack_from("<BBBBHHII", icon, 6 + 16 * number)
                self.assertEqual(entry, (size, size, 16, 0, 1, 4, len(data), offset))
                self.assertEqual(icon[offset:offset + len(data)], data)
                offset += len(data)
        self.assertEqual(len(icon), offset)


class CommittedIcon(unittest.TestCase):
    def test_app_ico_is_what_the_script_draws(self):
        with tempfile.TemporaryDirectory() as directory:
            output = os.path.join(directory, "app.ico")
            make_icon.main(["make_icon.py", output])
            with open(output, "rb") as f:
                drawn = f.read()
        with open(os.path.join(RESOURCES, "app.ico"), "rb") as f:
            committed = f.read()
        self.assertEqual(drawn, committed, "run resources/make_icon.py and commit app.ico")

    def test_pictures_fit_and_have_clear_corners(self):
        for size, layout in make_icon.LAYOUTS.items():
            with self.subTest(size=size):
                pixels = make_icon.draw(size, **layout)
                self.assertEqual([len(row) for row in pixels], [size] * size)
                self.assertEqual(pixels[0][size - 1], CLEAR)  # the page leaves the corners clear
                self.assertEqual(pixels[size - 1][0], CLEAR)
                used = {index for row in pixels for index in row} - {CLEAR}
                self.assertIn(RED, used)
                self.assertIn(WHITE, used)
                self.assertTrue(all(0 <= index < 16 for index in used))


if __name__ == "__main__":
    unittest.main()
