#!/usr/bin/env python3
"""Writes the setup program's pictures in the game's own colours: res/setup-welcome.bmp, beside
the setup program's welcome and finish pages, and res/setup-header.bmp, in the header of the
pages between and of the uninstaller's.

The welcome picture is the game's window in small: its teal, the icon above a well framed as the
board is, a piece falling towards settled pieces in the palette's colours. The header holds the
icon beside a few settled cells. The colours and the width of the well are read from the game's
sources, and the icon is tools/make_icon.py's, so that a change there reaches the pictures when
this script runs again.

Each picture is the height of its control at 96 DPI, and is written twice as large: the welcome
picture's every pixel a square of 2 x 2, the header drawn at that size itself, its icon's pixels
squares of 3 x 3. The setup program is DPI-aware: it fits each picture to the height of its control,
whose size follows the DPI, and widens the control to match (fitted()). The sizes come from the
dialogs and the font that the setup program really has (control_sizes(), which shows the
calculation). The script stops if a picture would be grown, or shrunk below half, or run past its
control at any DPI; and if a line that shrinking could lose is drawn (check_lines()). 8-bit BMP
files, as the Windows of any version loads them; standard library only, the same bytes on every run.

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


def fitted(width, height, control_height):
    """The picture's size on screen, as Modern UI's AspectFitHeight makes it (Contrib/Modern UI
    2/Pages.nsh): steps of ten-thousandths of a pixel towards the control's height, then a pixel
    off its width and height for each one it is still too high. The control takes that size: it
    grows to the right where the picture is wider."""
    across, down = width * 10000, height * 10000
    step_across, step_down = across // height, 10000
    if across > down:
        step_across, step_down = 10000, down // width
    while down > control_height * 10000:
        across, down = across - step_across, down - step_down
    while down < control_height * 10000:
        across, down = across + step_across, down + step_down
    excess = max(down // 10000 - control_height, 0)
    return across // 10000 - excess, down // 10000 - excess


def check_fit(name, picture):
    """Stops unless the picture, fitted to its control's height at every DPI, is shrunk by at most
    half, and is no wider than the control; at 96 DPI it is shrunk by half exactly."""
    width, height = picture.width * picture.scale, picture.height * picture.scale
    for dpi in DPIS:
        for control_width, control_height in control_sizes(CONTROLS[name], dpi):
            if not height / 2 <= control_height <= height or dpi == 96 and height != 2 * control_height:
                sys.exit(f"make_setup_pictures: {name} ({width} x {height}) would be scaled to a height of "
                         f"{control_height} at {dpi} DPI")
            on_screen = fitted(width, height, control_height)[0]
            if on_screen > control_width:
                sys.exit(f"make_setup_pictures: {name} would be {on_screen} pixels wide at {dpi} DPI, "
                         f"its control {control_width}")


def check_lines(name, picture):
    """Stops where shrinking could lose a line of the picture. Shrunk by at most half, each pixel
    on screen merges at most two neighbours of a row or a column of the file, their colours ANDed,
    as Windows documents its default stretching mode, BLACKONWHITE: a line three pixels wide keeps
    one of its own, and a narrower one survives only where ANDing it with the pixels beside it
    leaves its colour."""
    rows = picture.file_rows()
    for lines in (rows, list(zip(*rows))):
        for number, line in enumerate(lines):
            start = 0
            for end in range(1, len(line) + 1):
                if end < len(line) and line[end] == line[start]:
                    continue
                colour = rgb_value(line[start])
                beside = [line[i] for i in (start - 1, end) if 0 <= i < len(line)]
                if end - start < 3 and any(colour & rgb_value(pixel) != colour for pixel in beside):
                    sys.exit(f"make_setup_pictures: {name}'s line of {end - start} pixels at {start} of "
                             f"{'row' if lines is rows else 'column'} {number} could vanish when shrunk")
                start = end


def constant(path, pattern):
    match = re.search(pattern, (ROOT / path).read_text())
    if not match:
        sys.exit(f"make_setup_pictures: {path} no longer matches {pattern!r}")
    return match.group(1)


def rgb(value):
    return ((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF)


def rgb_value(colour):
    return (colour[0] << 16) | (colour[1] << 8) | colour[2]


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
    """A picture in pixels of its own, written scale times as large."""

    def __init__(self, width, height, background, scale=SCALE):
        self.width, self.height, self.scale = width, height, scale
        self.pixels = [[background] * width for _ in range(height)]

    def fill(self, left, top, right, bottom, rgb_colour):
        for y in range(max(top, 0), min(bottom, self.height)):
            self.pixels[y][max(left, 0):min(right, self.width)] = [rgb_colour] * (min(right, self.width) - max(left, 0))

    def frame(self, left, top, right, bottom, rgb_colour, dotted=False):
        """An outline two pixels wide, the board's frames in small; a dotted one in dots of two
        by two; check_lines() tells whether they survive the setup program's shrinking."""
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

    def file_rows(self):
        """The rows of the file, top first, each pixel a square of scale x scale."""
        return [[pixel for pixel in row for _ in range(self.scale)] for row in self.pixels for _ in range(self.scale)]

    def bmp(self):
        """An 8-bit BMP, its palette the picture's colours in order."""
        palette = sorted({pixel for row in self.pixels for pixel in row})
        index = {pixel: i for i, pixel in enumerate(palette)}
        width, height = self.width * self.scale, self.height * self.scale
        stride = (width + 3) // 4 * 4
        rows = [bytes(index[pixel] for pixel in row).ljust(stride, b"\0") for row in reversed(self.file_rows())]
        table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
        offset = 14 + 40 + len(table)
        size = offset + stride * height
        return (struct.pack("<2sIHHI", b"BM", size, 0, 0, offset)
                + struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, stride * height, 3780, 3780,
                              len(palette), len(palette))
                + table + b"".join(rows))


def welcome(background, frames, cells, columns, icon):
    picture = Picture(153, 290, background)
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
    """Drawn at the file's size: the icon's one-pixel bevels, three pixels wide there, survive."""
    picture = Picture(281, 106, background, scale=1)
    zoom, pitch, gap = 3, 14, 3
    top = (picture.height - zoom * len(icon)) // 2
    picture.icon(picture.width - zoom * len(icon) - 20, top, icon, zoom)
    for column, row, index in HEADER_CELLS:
        x, y = 16 + column * pitch, top + zoom * len(icon) - (3 - row) * pitch
        picture.fill(x, y, x + pitch - gap, y + pitch - gap, cells[index])
    return picture


def pictures():
    background, frames, cells, columns = game_colours()
    icon = icon_pixels()
    drawn = {"setup-welcome.bmp": welcome(background, frames, cells, columns, icon),
             "setup-header.bmp": header(background, cells, icon)}
    for name, picture in drawn.items():
        check_fit(name, picture)
        check_lines(name, picture)
    return {name: picture.bmp() for name, picture in drawn.items()}


def main(argv):
    folder = pathlib.Path(argv[1]) if len(argv) > 1 else ROOT / "res"
    for name, data in pictures().items():
        (folder / name).write_bytes(data)


if __name__ == "__main__":
    main(sys.argv)
