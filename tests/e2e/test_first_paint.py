"""The window before and right after Start: controls, frames, the first two pieces; before Start
on every kind of desktop a player may have, whatever its language, resolution and screen.

The desktops are a grid of 18: the locale (zh_CN.UTF-8, or C.UTF-8, whose system font has no
Chinese) x Wine's resolution (96, 144 and 192 DPI: the LogPixels of a prefix each,
build/wine-prefix-ARCH-dpiN, made once from the suite's prefix, its registry copied and its DLLs
linked) x the screen (the suite's 1280 x 1024 one with its window manager; and Wine virtual
desktops of 1024 x 600 and 1280 x 720 with a taskbar, explorer /desktop=shell,WxH, where no window
manager moves the window, as on Windows). On each it checks:

- the window's rectangle, against the rule of docs/any-desktop.md, worked out from its caption,
  menu bar and borders as they came out and the monitor's work area; and a client area of at
  least 380 x 527;
- the frames, the empty well and the background, pixel for pixel against the headless replay, on
  every row of the client area that is on the screen;
- each of the five controls pixel for pixel as in golden/window-before-start.png (the client area
  as the program showed it on the desktop it was made for, before these mends): labels with real
  glyphs, whole inside their controls;
- on that desktop (zh_CN.UTF-8, 96 DPI, the big screen), the window at (500, 130) and 400 x 590,
  the client area 394 x 546, and every one of its pixels as in that picture.

The grid plays on both builds: this host's program, and the other build in the smoke run. Where
the other build runs emulated, its grid is two desktops (see desktops() below).
"""

import itertools
import os
import shutil
import subprocess

import pytest

from desktop import ROUTE, prefix_at_dpi
from smorvala_e2e import (BACKGROUND, BLACK, CONTROL_RECTS, IDC_EXIT, IDC_LEVEL, IDC_PAUSE, IDC_SCORE,
                          IDC_START, Game, check, check_equal, check_same_pixels, differences, golden,
                          headless_surface_before_start, report, settled, work_dir, xdotool)

LOCALES = ("zh_CN.UTF-8", "C.UTF-8")
# Wine's screen resolution: 100 %, 150 % and 200 %.
DPIS = (96, 144, 192)
# The suite's own screen, 1280 x 1024 with its window manager; and Wine virtual desktops with a
# taskbar, where as on Windows no window manager pulls the window onto the screen: a small
# laptop's screen, and a 1920 x 1080 one at 150 % as a program sees it.
SCREENS = {"big": None, "1024x600": (1024, 600), "1280x720": (1280, 720)}
# The desktop the program was made for: there the window and every pixel stay as they were.
MADE_FOR = ("zh_CN.UTF-8", 96, "big")
# The window as laid out, outer position and size; and the client area the painting needs.
LAID_OUT = (500, 130, 400, 590)
PAINTING = (380, 527)
CONTROLS = (IDC_START, IDC_PAUSE, IDC_EXIT, IDC_LEVEL, IDC_SCORE)


def desktops():
    if ROUTE.emulated:
        # A launch takes a minute: the desktop the program was made for, and one that needs
        # every mend but the resolution's.
        return [MADE_FOR, ("C.UTF-8", 96, "1024x600")]
    return list(itertools.product(LOCALES, DPIS, SCREENS))


@pytest.fixture(scope="module")
def prefix_at():
    """The Wine prefix of each resolution, each with one server for the whole file."""
    started = []

    def at(dpi):
        prefix = prefix_at_dpi(dpi)
        if prefix != ROUTE.prefix and prefix not in started:
            subprocess.run([ROUTE.server, "-p"], env=dict(os.environ, WINEPREFIX=prefix), check=True)
            started.append(prefix)
        return prefix

    yield at
    for prefix in started:
        subprocess.run([ROUTE.server, "-k"], env=dict(os.environ, WINEPREFIX=prefix))


def fitted_window(window, work, client):
    """Where the window belongs, from its caption, menu bar and borders as they came out: as laid
    out where that shows the whole painting and lies inside the work area; else grown just
    enough for the painting, and moved up and left just enough, never out of the work area at
    the top or left; taller than the work area, at its top, with the client area's rows below
    the painting given up until it fits, or none are left."""
    x, y, width, height = LAID_OUT
    sides = window[2] - window[0] - client[0]
    frame = window[3] - window[1] - client[1]
    width = max(width, sides + PAINTING[0])
    height = max(height, frame + PAINTING[1])
    if height > work[3] - work[1]:
        height = max(work[3] - work[1], frame + PAINTING[1])
    left = max(work[0], min(x, work[2] - width))
    top = max(work[1], min(y, work[3] - height))
    return left, top, left + width, top + height


@pytest.mark.smoke
@pytest.mark.parametrize("locale, dpi, screen", desktops(), ids=lambda v: str(v).replace(".UTF-8", ""))
def test_window_before_start_is_whole_and_readable_with_its_title_controls_and_empty_frames(
        locale, dpi, screen, prefix_at, monkeypatch):
    monkeypatch.setenv("LANG", locale)
    monkeypatch.setenv("WINEPREFIX", prefix_at(dpi))
    # Away from the buttons, whose border changes under the mouse.
    xdotool("mousemove", 0, 0)
    # Run from a folder whose name is not ASCII, as a player's download folder may be.
    folder = os.path.join(work_dir(), "下载 Jürgen")
    os.makedirs(folder, exist_ok=True)
    program = shutil.copy(os.environ["SMORVALA_EXE"], folder)
    name = f"before-start-{locale.split('.')[0]}-{dpi}-{screen}"
    with Game(name, program, SCREENS[screen]) as game:
        check_equal(game.title(), "SMorvala", "the title")
        check_equal([game.text(i) for i in CONTROLS], ["开始", "暂停", "退出", "第 0 关", "分数: 0"],
                    "the controls' texts")
        window, monitor, work = game.placement()
        _, client_top, width, height = game.client()
        report(f"window {window}, client area {width}x{height}, work area {work}")
        check(width >= PAINTING[0] and height >= PAINTING[1], f"client area {width}x{height} is too small")
        check_equal(window, fitted_window(window, work, (width, height)), "the window's outer rectangle")
        # Only a work area too small for the window without its spare rows leaves rows off
        # the screen, and they cannot be read.
        on_screen = min(height, monitor[3] - client_top)
        if on_screen < height:
            report(f"the client area's lowest {height - on_screen} rows are below the screen")

        made_for = (locale, dpi, screen) == MADE_FOR
        image = settled(lambda: game.driver.pixels(0, 0, width, height), golden("window-before-start"),
                        [(10, 14, 11, 15)] + [CONTROL_RECTS[i] for i in CONTROLS])
        reference = golden("window-before-start", image if made_for else None)
        check_equal(differences(image, headless_surface_before_start(), rows=on_screen), [],
                    "the frames, the empty well and the background against the replay")
        # Drawn as on the Chinese desktop the program was made for: real glyphs, whole, where
        # the system's font has no Chinese or is too large for the boxes.
        for control in CONTROLS:
            check_same_pixels(image, reference, CONTROL_RECTS[control],
                              f"control {control} as drawn on the desktop made for", name)
        if made_for:
            x, y, outer_width, outer_height = LAID_OUT
            check_equal(window, (x, y, x + outer_width, y + outer_height), "the window as laid out")
            check_equal((width, height), (reference.width, reference.height), "the client area as it was")
            check_same_pixels(image, reference, (0, 0, width, height), "the whole client area as it was", name)


@pytest.mark.smoke
def test_first_paint_after_start_shows_the_falling_piece_at_the_spawn_point_and_the_preview(game):
    image = game.start()
    falling_shape = [s for s in range(7) if image.cells_of(s + 1, rows=range(0, 4))][0]
    cells = image.cells_of(falling_shape + 1, rows=range(0, 4))
    check(len(cells) == 4, f"the falling piece shows {len(cells)} cells")
    # Every piece enters at origin (2, 0): columns 3 to 6, rows 0 and 1.
    check(all(3 <= c <= 6 and r <= 1 for c, r in cells) and min(r for c, r in cells) == 0,
          f"the falling piece is not at the spawn point: {sorted(cells)}")
    check_equal(game.text(IDC_START), "重新开始", "the Start button after Start")
    check_equal(game.focus(), "main", "the focus after Start")
    # The preview piece lies inside the preview box, at grid origin (11, 5).
    preview_colours = {image.at(x, y) for x in range(261, 379) for y in range(111, 184)}
    preview_colours -= {BLACK}
    check(len(preview_colours) == 1, f"the preview box shows {preview_colours}")
    beyond = {image.at(x, y) for x in range(250, 390) for y in range(186, 215)}
    check_equal(beyond, {BACKGROUND}, "below the preview box")
    # The whole picture, frames and pieces, pixel for pixel as the headless replay draws it.
    check_equal(game.match_headless(image, max_ticks=0), 0, "fall steps before the first paint")
