"""A full row: it flashes white on the real window, vanishes, sounds, and the score box shows
its points."""

from smorvala_e2e import (COLUMNS, IDC_LEVEL, IDC_SCORE, ROWS, VK_DOWN, VK_LEFT, VK_RIGHT, VK_UP,
                          Failure, Sounds, check, check_equal, check_sounds, run_headless,
                          replay_script)

PIECE_LIMIT = 30
# Points for one to four rows cleared by one landing.
POINTS = {1: 10, 2: 30, 3: 60, 4: 100}


def cost(grid):
    """How bad a board is for filling the bottom row soon: holes, height and unevenness."""
    heights, holes = [], 0
    for c in range(COLUMNS):
        column = [grid[r][c] != "." for r in range(ROWS)]
        top = column.index(True) if True in column else ROWS
        heights.append(ROWS - top)
        holes += sum(1 for r in range(top, ROWS) if not column[r])
    bumpiness = sum(abs(a - b) for a, b in zip(heights, heights[1:]))
    return 8 * holes + sum(heights) + bumpiness


def choose_placement(game):
    """Tries every turn and shift of the falling piece in the replay; prefers a placement that
    clears a row, else the one leaving the best board."""
    base = game.state()["score"]
    best = None
    seen = set()
    for turns in range(4):
        for shift in range(-6, 7):
            moves = [f"key {VK_UP}"] * turns + [f"key {VK_RIGHT if shift > 0 else VK_LEFT}"] * abs(shift)
            try:
                _, landed = game.landing_after(moves)
            except Failure:
                continue
            key = tuple(landed["grid"])
            if key in seen:
                continue
            seen.add(key)
            score = -1000 if landed["score"] > base else cost(landed["grid"])
            if best is None or score < best[0]:
                best = (score, turns, shift)
    return best[1], best[2]


def flash_points(game, turns, shift):
    """The centres of the cells the landing paints white, from the replay's trace."""
    moves = [f"key {VK_UP}"] * turns + [f"key {VK_RIGHT if shift > 0 else VK_LEFT}"] * abs(shift)
    presses, _ = game.landing_after(moves)
    events = game.history + moves + [f"key {VK_DOWN}"] * presses
    trace = run_headless("SMORVALA_REPLAY", replay_script(game.seed, events)).decode()
    last = trace.split(f"> key {VK_DOWN}\n")[-1]
    points = []
    for line in last.splitlines():
        words = line.split()
        if words[:1] == ["fill"] and words[5] == "ffffff":
            left, top, right, bottom = (int(w) for w in words[1:5])
            points.append(((left + right) // 2, (top + bottom) // 2))
    return points


def test_a_full_row_flashes_white_vanishes_sounds_and_scores(game):
    game.start()
    for _ in range(PIECE_LIMIT):
        before = game.state()
        turns, shift = choose_placement(game)
        white = flash_points(game, turns, shift)
        if not white:
            game.place(turns, shift)
            continue
        check(len(white) % COLUMNS == 0, f"flashed cells {white}")
        # The next piece is turned at once: while the clear's sound plays, silently. (The
        # sound of a turn that steers the piece into place may come before.)
        with Sounds() as heard:
            landed, seen = game.place(turns, shift, watch=white, then=["turn"])
            check(game.state()["cur"][1] == 1, "the next piece turned")
            check_sounds(heard.lengths()[-1:], "clear.wav", 1, "a row clear, then a turn")
        check(seen, f"the cleared row was never white on the window (cells {white})")
        rows = len(white) // COLUMNS
        check_equal(landed["score"] - before["score"], POINTS[rows], "points in the replay")
        game.wait_text(IDC_SCORE, f"得分: {POINTS[rows]}")
        check_equal(game.text(IDC_LEVEL), "第 0 关", "the level box")
        return
    raise Failure(f"no row cleared in {PIECE_LIMIT} pieces")
