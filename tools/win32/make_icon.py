#!/usr/bin/env python3
"""Writes the program's window icon, app/lcdwrite.ico: 96 x 96 pixels in the 16 standard
colours (4 bits per pixel), a small display on a green circuit board. Run it again only to
change the picture; the icon file is kept in the tree.

Usage: tools/win32/make_icon.py [OUTPUT]"""
import struct
import sys

SIZE = 96
# The 16 standard colours, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, GREEN, TEAL, SILVER, GREY, CYAN, YELLOW = 0, 2, 6, 7, 8, 14, 11

# "LCD" in a 5 x 7 pixel font, drawn three times enlarged.
GLYPHS = {
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "C": ["01111", "10000", "10000", "10000", "10000", "10000", "01111"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
}


def picture():
    pixels = [[GREEN] * SIZE for _ in range(SIZE)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(y0, y1):
            for x in range(x0, x1):
                pixels[y][x] = colour

    # Copper tracks and pads on the board.
    for x in range(4, SIZE - 4, 12):
        rect(x, 84, x + 6, 90, YELLOW)
        rect(x + 2, 76, x + 4, 84, YELLOW)
    rect(8, 12, 88, 76, BLACK)    # the module's outline
    rect(10, 14, 86, 74, SILVER)  # its frame
    rect(16, 22, 80, 66, TEAL)    # the glass
    scale = 3
    x = 20
    for letter in "LCD":
        for row, bits in enumerate(GLYPHS[letter]):
            for col, bit in enumerate(bits):
                if bit == "1":
                    rect(x + col * scale, 34 + row * scale, x + (col + 1) * scale,
                         34 + (row + 1) * scale, CYAN)
        x += 6 * scale
    for x0 in (12, 82):  # mounting holes
        rect(x0, 16, x0 + 2, 18, GREY)
        rect(x0, 70, x0 + 2, 72, GREY)
    return pixels


def icon_bytes():
    pixels = picture()
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    xor = bytearray()
    for row in reversed(pixels):  # bottom-up
        for x in range(0, SIZE, 2):
            xor.append((row[x] << 4) | row[x + 1])
    and_mask = bytes(SIZE // 8 * SIZE)  # fully opaque; 12 bytes a row is already 4-aligned
    image = header + palette + bytes(xor) + and_mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    output = sys.argv[1] if len(sys.argv) > 1 else "app/lcdwrite.ico"
    with open(output, "wb") as f:
        f.write(icon_bytes())


if __name__ == "__main__":
    main()
