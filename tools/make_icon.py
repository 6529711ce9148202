#!/usr/bin/env python3
"""Writes the program icon, res/smorvala.ico: one 32 x 32 image in 16 colours.

A T piece falls towards a half-filled well: four cells across, four down, each cell
bevelled light on its top and left, dark on its bottom and right, as blocks are usually
drawn. Pixels outside the cells are transparent. Standard library only; the same bytes on
every run, so the committed file can be checked against this script.

    tools/make_icon.py [OUTPUT]        default OUTPUT: res/smorvala.ico next to this script
"""
import pathlib
import struct
import sys

SIZE = 32
CELL = 8  # pixels per cell, the last row and column of each left as a gap

# The 16 colours every display of the time could show, in the usual order; index 0 black.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
WHITE = 15

# Each cell colour as (face, shadow) palette indices.
MAGENTA = (13, 5)
RED = (9, 1)
GREEN = (10, 2)
CYAN = (14, 6)
YELLOW = (11, 3)

# The picture, row by row from the top; None leaves a cell transparent.
CELLS = [
    [None, MAGENTA, MAGENTA, MAGENTA],
    [None, None, MAGENTA, None],
    [RED, None, None, GREEN],
    [RED, CYAN, YELLOW, GREEN],
]


def pixel_at(x, y):
    """Palette index of a pixel, or None where the icon is transparent."""
    colours = CELLS[y // CELL][x // CELL]
    cx, cy = x % CELL, y % CELL
    if colours is None or cx == CELL - 1 or cy == CELL - 1:
        return None
    face, shadow = colours
    last = CELL - 2
    if cx == last or cy == last:
        return shadow
    if cx == 0 or cy == 0:
        return WHITE
    return face


def icon_bytes():
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    colour_rows = []
    mask_rows = []
    for y in reversed(range(SIZE)):  # bitmaps are stored bottom row first
        pixels = [pixel_at(x, y) for x in range(SIZE)]
        nibbles = [0 if p is None else p for p in pixels]
        colour_rows.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, SIZE, 2)))
        mask = 0
        for p in pixels:
            mask = (mask << 1) | (1 if p is None else 0)
        mask_rows.append(mask.to_bytes(SIZE // 8, "big"))
    image = header + palette + b"".join(colour_rows) + b"".join(mask_rows)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main(argv):
    default = pathlib.Path(__file__).resolve().parent.parent / "res" / "smorvala.ico"
    output = pathlib.Path(argv[1]) if len(argv) > 1 else default
    output.write_bytes(icon_bytes())


if __name__ == "__main__":
    main(sys.argv)
