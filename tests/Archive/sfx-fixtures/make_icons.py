#!/usr/bin/env python3
"""Writes the icon files of the self-extractor stub fixtures: two 32 x 32 images with 16
colours (766-byte icon files, told apart by their pattern) and one with 256 colours."""
import struct
import sys


def icon(bits_per_pixel, seed):
    colours = 1 << bits_per_pixel
    palette = b"".join(struct.pack("<BBBB", (i * 17 + seed) & 255, (i * 5) & 255, (i * 3 + seed) & 255, 0)
                       for i in range(colours))
    row_bytes = 32 * bits_per_pixel // 8
    xor = bytes(((x * 7 + y * 3 + seed) & 255) for y in range(32) for x in range(row_bytes))
    mask = bytes(((y + seed) & 1) * 0xF0 for y in range(32) for _ in range(4))
    header = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, bits_per_pixel, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + palette + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 32, 32, colours if colours < 256 else 0, 0, 1, bits_per_pixel,
                        len(image), 22)
    return directory + entry + image


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    for name, data in (("blue16.ico", icon(4, 1)), ("red16.ico", icon(4, 90)), ("big256.ico", icon(8, 3))):
        with open(f"{out}/{name}", "wb") as f:
            f.write(data)
