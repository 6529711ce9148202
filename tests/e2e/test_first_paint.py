"""The window before and right after Start: controls, frames, the first two pieces."""

import os
import shutil

import pytest

from smorvala_e2e import (BACKGROUND, BLACK, IDC_EXIT, IDC_LEVEL, IDC_PAUSE, IDC_SCORE,
                          IDC_START, GREEN, STEP_TIMEOUT, WHITE, YELLOW, Game, check, check_equal,
                          frame_pixels, wait_until, work_dir)


@pytest.mark.smoke
def test_window_before_start_shows_the_title_controls_and_empty_frames():
    # Run from a folder whose name is not ASCII, as a player's download folder may be.
    folder = os.path.join(work_dir(), "下载 Jürgen")
    os.makedirs(folder, exist_ok=True)
    program = shutil.copy(os.environ["SMORVALA_EXE"], folder)
    with Game("before-start", program) as game:
        check_equal(game.title(), "SMorvala", "the title")
        texts = [game.text(i) for i in (IDC_START, IDC_PAUSE, IDC_EXIT, IDC_LEVEL, IDC_SCORE)]
        check_equal(texts, ["开始", "暂停", "退出", "第 0 关", "分数: 0"], "the controls' texts")
        width, height = game.client()[2:]
        check(width >= 380 and height >= 527, f"client area {width}x{height} is too small")
        image = wait_until(lambda: (lambda i: i if i.at(10, 14) == WHITE else None)(game.capture()),
                           STEP_TIMEOUT, "the first paint")
        check_equal(frame_pixels(image, 10, 14, 237, 527), {WHITE}, "the dotted outer frame")
        check_equal(frame_pixels(image, 12, 16, 235, 525), {GREEN}, "the board frame")
        check_equal(frame_pixels(image, 260, 110, 380, 185), {YELLOW}, "the preview box")
        check_equal(frame_pixels(image, 11, 15, 236, 526), {BLACK}, "the gap between the frames")
        board = {image.at(x, y) for x in range(13, 234, 7) for y in range(17, 524, 7)}
        check_equal(board, {BLACK}, "the empty board")
        preview = {image.at(x, y) for x in range(261, 379, 5) for y in range(111, 184, 5)}
        check_equal(preview, {BLACK}, "the empty preview box")
        outside = {image.at(x, y) for x, y in [(0, 0), (9, 14), (237, 300), (240, 50), (390, 100),
                                               (259, 150), (380, 150), (100, 527), (300, 200)]}
        check_equal(outside, {BACKGROUND}, "the window's background")


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
