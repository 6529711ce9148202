#!/usr/bin/env python3
"""Writes the setup program's pictures in the game's own colours: res/setup-welcome.bmp, beside
the setup program's welcome and finish pages, and res/setup-header.bmp, in the header of the
pages between and of the uninstaller's.

The welcome picture is the game's window in small: its teal, the icon above a well framed as the
board is, a piece falling towards settled pieces in the palette's colours. The header holds the
icon beside a few settled cells. The colours and the width of the well are read from the game's
sources, and the icon is tools/make_icon.py's, so that a change there reaches the pictures when
this script runs again.

Each design is the size of its control at 96 DPI, and is written twice as large, every pixel of
the design a square of 2 x 2. The setup program is DPI-aware: it fits each picture to the height of
its control, whose size follows the DPI, and shrinks it there by merging neighbouring pixels. The
sizes come from the dialogs and the font that the setup program really has (control_sizes(), which
shows the calculation); the script stops if a picture would be shrunk below half, where a line two
pixels wide could vanish, or grown, or would leave a strip beside it at 96 DPI. 8-bit BMP files, as
the Windows of any version loads them; standard library only, the same bytes on every run.

    tools/make_setup_pictures.py [FOLDER]        default FOLDER: res/ next to this script
"""
import pathlib
import re
import struct
import sys

from make_icon import PALETTE, SIZE, pixel_at

ROOT = pathlib.Path(__file__).resolve().parent.parent
SCALE = 2

# The settled pieces at the bottom of the well, top row first: a digit is a cell of that palette
# colour (a shape's colour is its number in the shape table plus one), a dot an empty cell.
PILE = [
    "..........",
    "......5...",
    "......555.",
    ".2....33.6",
    "22.44.3366",
    "2..44773.6",
    "711117774.",
    "77.1744444",
]
# The T falling towards them, as (column, row) cells counted from the well's top left corner.
FALLING = [(3, 2), (4, 2), (5, 2), (4, 3)]
FALLING_COLOUR = 7
# The header's cells, in rows under and beside the icon: (column, row, colour).
HEADER_CELLS = [(0, 2, 2), (1, 2, 2), (1, 1, 2), (2, 1, 2), (4, 2, 4), (5, 2, 4), (4, 1, 4), (5, 1, 4),
                (7, 2, 1), (8, 2, 1), (8, 1, 1), (9, 1, 1)]


# The controls that the pictures fill, in dialog units, as NSIS's Modern UI lays them out: the
# welcome and finish pages' picture, 109 x 193 (Contrib/Modern UI 2/Pages/Welcome.nsh and
# Finish.nsh), and the header's, 100 x 35 (control 1046 of Contrib/UIs/modern_headerbmpr.exe).
CONTROLS = {"setup-welcome.bmp": (109, 193), "setup-header.bmp": (100, 35)}
DPIS = (96, 120, 144, 192)


def mul_div(number, numerator, denominator):
    """Windows's MulDiv: rounded to the nearest, halves away from zero."""
    return (2 * number * numerator + denominator) // (2 * denominator)


def control_sizes(dialog_units, dpi):
    """The control's sizes in pixels at that DPI, as MapDialogRect makes them: a dialog unit is a
    quarter of the dialog font's average character width across and an eighth of its height down.
    NSIS gives every dialog its language's font, SimSun (宋体) 9 pt for Simplified Chinese
    (Contrib/Language files/SimpChinese.nlf), taken at the screen's DPI: 12, 15, 18 and 24 pixels at
    96, 120, 144 and 192 DPI. SimSun's height is its em, and its Latin letters are half an em wide:
    6, 7.5, 9 and 12 pixels, where 7.5 may be rounded either way. So at 96 DPI the welcome picture's
    control is 109 * 6 / 4 = 164 by 193 * 12 / 8 = 290 pixels, and at 120 DPI 191 or 218 by 362."""
    height = mul_div(9, dpi, 72)
    widths = sorted({height // 2, (height + 1) // 2})
    columns, rows = dialog_units
    return [(mul_div(columns, width, 4), mul_div(rows, height, 8)) for width in widths]


def check_fit(name, picture):
    """Stops unless the picture, fitted to its control's height at every DPI, is shrunk by at most
    half: then each pixel on screen merges at most two of the file, a line four pixels wide keeps
    at least one pixel of its own, and a darker line of two is kept. At 96 DPI it fills the control."""
    width, height = picture.width * SCALE, picture.height * SCALE
    for dpi in DPIS:
        for control_width, control_height in control_sizes(CONTROLS[name], dpi):
            if not height / 2 <= control_height <= height:
                sys.exit(f"make_setup_pictures: {name} ({width} x {height}) would be scaled to a height of "
                         f"{control_height} at {dpi} DPI")
            if dpi == 96 and (picture.width, picture.height) != (control_width, control_height):
                sys.exit(f"make_setup_pictures: {name} is drawn {picture.width} x {picture.height}, "
                         f"its control at 96 DPI is {control_width} x {control_height}")


def constant(path, pattern):
    match = re.search(pattern, (ROOT / path).read_text())
    if not match:
        sys.exit(f"make_setup_pictures: {path} no longer matches {pattern!r}")
    return match.group(1)


def rgb(value):
    return ((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF)


def colour(path, name):
    return rgb(int(constant(path, rf"\b{name} = 0x([0-9A-Fa-f]{{6}})\b"), 16))


def game_colours():
    background = colour("game/board_painting.h", "kWindowBackground")
    frames = {name: colour("game/board_painting.cpp", name) for name in ("kBlack", "kWhite", "kGreen")}
    palette = constant("game/cell_drawing.cpp", r"kPaletteColours\[kPaletteSize\] = \{([^}]*)\}")
    cells = [rgb(int(value, 16)) for value in re.findall(r"0x([0-9A-Fa-f]{6})", palette)]
    columns = int(constant("game/game.h", r"kColumns = (\d+);"))
    return background, frames, cells, columns


def icon_pixels():
    """The icon's pixels, as tools/make_icon.py draws them: rows of colours, None where it is
    transparent."""
    return [[None if (index := pixel_at(x, y)) is None else PALETTE[index] for x in range(SIZE)] for y in range(SIZE)]


class Picture:
    """A picture in the design's pixels, written SCALE times as large."""

    def __init__(self, width, height, background):
        self.width, self.height = width, height
        self.pixels = [[background] * width for _ in range(height)]

    def fill(self, left, top, right, bottom, rgb_colour):
        for y in range(max(top, 0), min(bottom, self.height)):
            self.pixels[y][max(left, 0):min(right, self.width)] = [rgb_colour] * (min(right, self.width) - max(left, 0))

    def frame(self, left, top, right, bottom, rgb_colour, dotted=False):
        """An outline two pixels wide, the board's frames in small; a dotted one in dots of two
        by two. Lines that thin survive the setup program's shrinking, which keeps the darker
        of the pixels it merges."""
        for x in range(left, right):
            for y in (top, top + 1, bottom - 2, bottom - 1):
                if not dotted or (x - left) // 2 % 2 == 0:
                    self.pixels[y][x] = rgb_colour
        for y in range(top, bottom):
            for x in (left, left + 1, right - 2, right - 1):
                if not dotted or (y - top) // 2 % 2 == 0:
                    self.pixels[y][x] = rgb_colour

    def icon(self, left, top, icon, zoom):
        for y, row in enumerate(icon):
            for x, pixel in enumerate(row):
                if pixel:
                    self.fill(left + x * zoom, top + y * zoom, left + (x + 1) * zoom, top + (y + 1) * zoom, pixel)

    def bmp(self):
        """An 8-bit BMP, its palette the picture's colours in order, each pixel a square."""
        palette = sorted({pixel for row in self.pixels for pixel in row})
        index = {pixel: i for i, pixel in enumerate(palette)}
        width, height = self.width * SCALE, self.height * SCALE
        stride = (width + 3) // 4 * 4
        rows = []
        for row in reversed(self.pixels):  # bottom row first
            line = bytes(index[pixel] for pixel in row for _ in range(SCALE)).ljust(stride, b"\0")
            rows.extend([line] * SCALE)
        table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
        offset = 14 + 40 + len(table)
        size = offset + stride * height
        return (struct.pack("<2sIHHI", b"BM", size, 0, 0, offset)
                + struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, stride * height, 3780, 3780,
                              len(palette), len(palette))
                + table + b"".join(rows))


def welcome(background, frames, cells, columns, icon):
    picture = Picture(164, 290, background)
    picture.icon((picture.width - 2 * len(icon)) // 2, 12, icon, 2)
    pitch, rows = 12, 15
    left = (picture.width - columns * pitch) // 2
    top = picture.height - 18 - rows * pitch
    # The board's frames around the well, as in the game's window: a dotted white one outside a
    # green one, a black pixel between them and the cells, whose last column and row end in a gap.
    right, bottom = left + columns * pitch - 1, top + rows * pitch - 1
    picture.fill(left - 6, top - 6, right + 6, bottom + 6, frames["kBlack"])
    picture.frame(left - 6, top - 6, right + 6, bottom + 6, frames["kWhite"], dotted=True)
    picture.frame(left - 3, top - 3, right + 3, bottom + 3, frames["kGreen"])
    settled = [(x, rows - len(PILE) + y, int(c)) for y, line in enumerate(PILE) for x, c in enumerate(line) if c != "."]
    for column, row, index in settled + [(x, y, FALLING_COLOUR) for x, y in FALLING]:
        x, y = left + column * pitch, top + row * pitch
        picture.fill(x, y, x + pitch - 1, y + pitch - 1, cells[index])
    return picture


def header(background, cells, icon):
    picture = Picture(150, 53, background)
    top = (picture.height - len(icon)) // 2
    picture.icon(picture.width - len(icon) - 12, top, icon, 1)
    pitch = 8
    for column, row, index in HEADER_CELLS:
        x, y = 10 + column * pitch, top + len(icon) - (3 - row) * pitch
        picture.fill(x, y, x + pitch - 1, y + pitch - 1, cells[index])
    return picture


def pictures():
    background, frames, cells, columns = game_colours()
    icon = icon_pixels()
    drawn = {"setup-welcome.bmp": welcome(background, frames, cells, columns, icon),
             "setup-header.bmp": header(background, cells, icon)}
    for name, picture in drawn.items():
        check_fit(name, picture)
    return {name: picture.bmp() for name, picture in drawn.items()}


def main(argv):
    folder = pathlib.Path(argv[1]) if len(argv) > 1 else ROOT / "res"
    for name, data in pictures().items():
        (folder / name).write_bytes(data)


if __name__ == "__main__":
    main(sys.argv)
