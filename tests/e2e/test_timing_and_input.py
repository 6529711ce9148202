"""The fall timer's period, timed from inside Wine; the silence of the timer while paused,
before Start and after the end; keys queued during a row clear's hold; and a burst of random
input that must leave the program working and its window whole."""

import collections
import random
import re
import statistics
import time

from smorvala_e2e import (COLUMNS, EVENT_SLACK_MS, IDC_EXIT, IDC_LEVEL, IDC_PAUSE, IDC_SCORE,
                          IDC_START, IDNO, IDOK, IDYES, PERIOD_MS, QUANTUM_MS, STEP_TIMEOUT, VK_A,
                          VK_D, VK_DOWN, VK_LEFT, VK_RIGHT, VK_UP, VK_W, WHITE, WHITE_INDEX,
                          X_KEYS, Failure, check, check_equal, check_frames_and_preview,
                          headless_states, headless_surface, pause, report, wait_until)
# The row-clear group's planner: it finds a placement that fills a row, and the cells it flashes.
from test_row_clear import choose_placement, flash_points

QUIET_MS = 2500  # more than four periods


def coloured_cells(board):
    return {(c, r) for r, row in enumerate(board) for c, ch in enumerate(row) if ch not in ".0"}


def test_fall_steps_at_level_0_come_every_600_ms(game):
    game.start()
    with game.watcher() as eye:
        eye.track(7200, 13)
        tracked = eye.tracked()
    steps = tracked.steps()
    check(len(steps) >= 9, f"only {len(steps)} fall steps in 7.2 s")
    # Every change is the falling piece one row lower, nothing else.
    previous = coloured_cells(tracked.changes[0][1].board())
    for at, cells in steps:
        now = coloured_cells(cells.board())
        check_equal(now, {(c, r + 1) for c, r in previous}, f"the board at {at:.0f} ms")
        previous = now
    intervals = [b[0] - a[0] for a, b in zip(steps, steps[1:])]
    median = statistics.median(intervals)
    report(f"fall interval at level 0: median {median:.1f} ms over {len(intervals)} steps "
           f"(min {min(intervals):.1f}, max {max(intervals):.1f}; window read every "
           f"{tracked.poll_period():.1f} ms)")
    check(abs(median - PERIOD_MS) <= QUANTUM_MS,
          f"median interval {median:.1f} ms, not {PERIOD_MS} within {QUANTUM_MS}")


# Continue arms a fresh timer; a landing half a period into it shows whether the landing arms
# it again. A landing that the harness's keys brought too near either end of that period tells
# nothing, and another is tried, with the keys sent earlier or later by as much as it missed.
LANDINGS = 3
LANDING_ATTEMPTS = 8
LANDING_MARGIN_MS = 150


def test_after_a_landing_the_next_step_comes_a_full_period_later(game):
    game.start()
    delays, missed = [], []
    wait = PERIOD_MS / 2000  # seconds from Continue to the Down presses
    while len(delays) < LANDINGS:
        check(len(delays) + len(missed) < LANDING_ATTEMPTS,
              f"the keys landed the piece too near Continue or its first step in {len(missed)} "
              f"attempts: {missed} ms after Continue")
        # Paused, the piece stays where it is until Continue.
        pause(game)
        ticks = game.wait_headless()
        game.history += ["tick"] * ticks + game.segment
        game.segment = []
        presses, _ = game.landing_after([])
        with game.watcher() as eye:
            eye.track(2000, presses + 3, IDC_PAUSE)
            game.click(IDC_PAUSE)
            time.sleep(wait)
            game.press(*[game.keys_used["down"]] * presses, delay=0)
            tracked = eye.tracked()
        game.history += [f"key {VK_DOWN}"] * presses + ["paint"]
        landed = headless_surface(game.seed, game.history).board()
        stepped = headless_surface(game.seed, game.history + ["tick"]).board()
        boards = [(at, cells.board()) for at, cells in tracked.changes]
        landings = [i for i, (at, board) in enumerate(boards) if board == landed]
        check(landings, f"attempt {len(delays) + len(missed)}: the landed board never showed")
        landed_at = boards[landings[0]][0]
        continued_at = next((at for at, text in tracked.texts if text == "暂停"), None)
        check(continued_at is not None, "the Pause button never read 暂停 after Continue")
        into = landed_at - continued_at
        if not LANDING_MARGIN_MS <= into <= PERIOD_MS - LANDING_MARGIN_MS:
            missed.append(round(into))
            wait = max(0.0, wait + (PERIOD_MS / 2 - into) / 1000)
            continue  # the next pause finds the fall steps taken meanwhile
        # Changes of the preview alone may come in a flush of their own.
        later = [(at, board) for at, board in boards[landings[0] + 1:] if board != landed]
        check(later, f"no fall step within {tracked.watched:.0f} ms")
        stepped_at, board = later[0]
        check_equal(board, stepped, "the board after the next step: the new piece one row lower")
        delay = stepped_at - landed_at
        delays.append(delay)
        # Without the re-arming, the countdown that Continue started would step the new piece
        # at most PERIOD_MS - LANDING_MARGIN_MS after the landing.
        check(PERIOD_MS - QUANTUM_MS <= delay <= PERIOD_MS + QUANTUM_MS + EVENT_SLACK_MS,
              f"the next step came {delay:.1f} ms after the landing")
        game.history += ["tick"]
    report("landing to the next fall step: " + ", ".join(f"{d:.1f}" for d in delays) + " ms"
           + (f" (tried again after landings {missed} ms after Continue)" if missed else ""))


def quiet(game, what):
    """Fails if the board or the preview changes within QUIET_MS."""
    with game.watcher() as eye:
        eye.track(QUIET_MS, 1)
        tracked = eye.tracked()
    check_equal([round(at) for at, _ in tracked.steps()], [], f"times of changes {what}")


def test_no_fall_step_before_start_while_paused_or_after_the_end(game):
    wait_until(lambda: game.capture().at(10, 14) == WHITE, STEP_TIMEOUT, "the first paint")
    quiet(game, "before Start")
    game.start()
    pause(game)
    quiet(game, "while paused")
    game.click(IDC_PAUSE)
    game.wait_text(IDC_PAUSE, "暂停")
    game.falls()
    caption, text, buttons = game.drop_until_over()
    check_equal(buttons, {IDOK: "确定"}, "the game-over box's buttons")
    quiet(game, "with the game-over box open")
    game.answer(IDOK)
    game.history += [f"key {VK_DOWN}"] * 600
    game.segment = []
    game.wait_headless()
    quiet(game, "after the game-over box")


# Key sequences for the hold, each with both key sets; the test takes the first whose result
# differs from the same keys in reverse order, so that the order they act in shows.
HOLD_SEQUENCES = [[VK_LEFT, VK_A, VK_LEFT, VK_A, VK_UP], [VK_UP, VK_D, VK_RIGHT, VK_D],
                  [VK_W, VK_LEFT, VK_LEFT, VK_A], [VK_RIGHT, VK_D, VK_RIGHT, VK_W],
                  # Against a wall the order shows for every shape, the square too.
                  [VK_A, VK_LEFT, VK_A, VK_LEFT, VK_RIGHT],
                  [VK_D, VK_RIGHT, VK_D, VK_RIGHT, VK_D, VK_RIGHT, VK_LEFT]]


def order_sensitive_keys(game, events):
    def cur(keys):
        return headless_states(game.seed, events + [f"key {k}" for k in keys] + ["state"])[-1]["cur"]

    still = cur([])
    for keys in HOLD_SEQUENCES:
        if cur(keys) != cur(keys[::-1]) and cur(keys) != still:
            return keys
    raise Failure("no key sequence whose order shows on the new piece")


def white_life(tracked, rows):
    """From the tracker's pictures: the first with the flashed rows all white, the first after it
    without, and the shortest and longest time the white may have lasted, given when the
    tracker read the window; None if the rows were white in its first picture already, when
    it cannot tell since when."""
    pictures = [cells for _, cells in tracked.changes]
    white = [all(cells.cell(c, r) == WHITE_INDEX for r in rows for c in range(COLUMNS))
             for cells in pictures]
    check(True in white, "the tracker never saw the cleared rows white")
    shown = white.index(True)
    if shown == 0:
        return None
    check(False in white[shown:], f"the white rows still showed after {tracked.watched:.0f} ms")
    gone = white.index(False, shown)
    times = [at for at, _ in tracked.changes]
    return shown, gone, tracked.before[gone] - times[shown], times[gone] - tracked.before[shown]


def test_keys_pressed_during_a_row_clear_hold_act_afterwards_in_order_on_the_new_piece(game):
    game.start()
    missed = collections.Counter()  # row clears whose hold the harness missed, and how
    for _ in range(30):
        before = game.state()
        turns, shift = choose_placement(game)
        moves = ([f"key {VK_UP}"] * turns
                 + [f"key {VK_RIGHT if shift > 0 else VK_LEFT}"] * abs(shift))
        presses, landed = game.landing_after(moves)
        if landed["score"] == before["score"]:
            game.place(turns, shift)
            continue
        white = flash_points(game, turns, shift)
        rows = {(y - 27) // 22 for _, y in white}
        landing = game.history + moves + [f"key {VK_DOWN}"] * presses
        keys = order_sensitive_keys(game, landing)
        # The watcher starts first, as a new program takes long: the timer steps the piece down
        # meanwhile.
        with game.watcher() as eye:
            remaining = game.steer(turns, shift, presses, spare=2)
            if remaining < 1:
                # The timer landed the piece before the keys could follow it: another row, then.
                game.land_now(presses, 0)
                missed["landed by the timer"] += 1
                continue
            # The keys go as soon as the row shows white; the last Down, or the timer, lands the
            # piece meanwhile. The tracker times the white on Wine's clock, from inside, and the
            # moment the keys were sent is put on that clock too.
            offset, uncertainty = game.driver.clock_offset()
            eye.track(1500, 60)
            game.driver.watch("is", WHITE, white[:1])
            game.press(*[game.keys_used["down"]] * remaining)
            watched = game.driver.reply()
            check(watched in ("ok", "timeout"), f"the watch for the white row: {watched!r}")
            seen_white = watched == "ok"
            if seen_white:
                game.press(*[X_KEYS[k] for k in keys], delay=0)
            sent_at = 1000 * time.monotonic() + offset + uncertainty
            tracked = eye.tracked()
        pressed = [f"key {k}" for k in keys if seen_white]
        life = white_life(tracked, rows) if seen_white else None
        if life is None:
            # The timer landed the piece before the tracker or the watch began: the Down presses
            # stepped the next piece down before the keys came, and the hold went unseen.
            game.history = landing + [f"key {VK_DOWN}"] * remaining + pressed + ["paint"]
            game.segment = []
            game.wait_headless()
            missed["landed by the timer before the watch"] += 1
            continue
        game.history = landing + pressed + ["paint"]
        game.segment = []
        shown, gone, shortest, longest = life
        sent_ms = sent_at - tracked.started - tracked.changes[shown][0]
        report(f"row clear hold: the white rows stayed {shortest:.1f} to {longest:.1f} ms; the "
               f"keys were sent {sent_ms:.1f} ms after they showed")
        # The row shows white a flush after the hold began and goes with the repaint after it.
        check(longest >= 100, f"the white rows went after {longest:.1f} ms")
        # The keys must come while the row is white; and a tracker that did not read the window
        # for long cannot tell how long it was.
        if sent_ms >= shortest or shortest < 100:
            game.wait_headless()
            missed["keys late, or reads too far apart"] += 1
            continue
        # The keys act on the new piece from the spawn point, in the order pressed, before its
        # first fall step: the tracker saw the board that the replay of the keys in that order
        # shows, which the reverse order does not. (The last Down presses land the piece,
        # unless the timer was quicker: those left over then step the new piece down first.)
        seen = [cells.board() for _, cells in tracked.changes[gone:]]
        for leftover in range(remaining + 1):
            before_keys = landing + [f"key {VK_DOWN}"] * leftover
            keyed = headless_surface(game.seed, before_keys + [f"key {k}" for k in keys]
                                     + ["paint"]).board()
            if keyed in seen:
                break
        else:
            raise Failure("the new piece never showed where the keys, in the order pressed, put it")
        reverse = headless_surface(game.seed, before_keys + [f"key {k}" for k in keys[::-1]]
                                   + ["paint"]).board()
        check(keyed != reverse, "the keys' order does not show on the board")
        game.history = before_keys + [f"key {k}" for k in keys] + ["paint"]
        game.wait_headless()
        return
    raise Failure(f"no row cleared with the keys inside its hold in 30 pieces (missed: {dict(missed)})")


# --- a burst of random input -----------------------------------------------------------------

BURST_EVENTS = 500
# Each click but Pause waits for its question to be answered.
CLICK_SHARE = 0.06
PIECE_KEYS = list(X_KEYS.values())
QUESTIONS = {"重新开始游戏吗？", "确定退出游戏吗？"}


def answer_boxes(game, rng):
    """Answers what the burst opened: Exit never yes, Restart at random, the end with OK."""
    while game.dialog_count():
        caption, text, buttons = game.box()
        if text == "确定退出游戏吗？":
            game.answer(IDNO)
        elif text in QUESTIONS:
            game.answer(rng.choice([IDYES, IDNO]))
        else:
            check(text in ("游戏结束", "游戏结束!") and buttons == {IDOK: "确定"},
                  f"an unexpected box {caption!r} {text!r} {buttons}")
            game.answer(IDOK)


def check_window_intact(game):
    info = game.driver.request("window-info").split()
    check_equal(info[1:3], ["MainWClass", "400"], "the main window's class and width")
    check_equal(info[3], "590", "the main window's height")
    style = int(info[4], 16)
    # A caption and a system menu; no sizing border, no minimise or maximise box.
    check_equal(style & 0x00CF0000, 0x00C80000, f"the main window's style {style:x}")
    children = sorted((int(i), c.lower()) for i, c in (w.split(":") for w in info[5:]))
    check_equal(children, [(1, "button"), (2, "button"), (3, "button"), (4, "edit"), (5, "edit")],
                "the child controls")
    check_equal(game.text(IDC_START), "重新开始", "the Start button")
    check(game.text(IDC_PAUSE) in ("暂停", "继续"), f"the Pause button reads {game.text(IDC_PAUSE)!r}")
    check_equal(game.text(IDC_EXIT), "退出", "the Exit button")
    check(re.fullmatch(r"第 [0-9] 关", game.text(IDC_LEVEL)), f"the level box {game.text(IDC_LEVEL)!r}")
    score = game.text(IDC_SCORE)
    match = re.fullmatch(r"得分: ([0-9]+)", score)
    check(score in ("分数: 0", "分数：0") or (match and int(match.group(1)) % 10 == 0),
          f"the score box {score!r}")


def check_picture_consistent(game):
    """After a repaint of its own the window shows only what the state of play can: cells of the
    palette (white only flashes between repaints), the frames, one preview piece."""
    image = game.capture()
    board = image.board()
    check(all(ch in "01234567" for row in board for ch in row), f"cells off the palette: {board}")
    check_frames_and_preview(image)


def test_a_burst_of_random_keys_and_clicks_leaves_the_program_working_and_whole(game):
    rng = random.Random(20240607)
    game.start()
    clicks = 0
    keys = []
    for event in range(BURST_EVENTS):
        if rng.random() < CLICK_SHARE:
            # As fast as no keyboard can.
            game.press(*keys, delay=0)
            keys = []
            button = rng.choice([IDC_START, IDC_PAUSE, IDC_PAUSE, IDC_EXIT])
            game.click(button)
            clicks += 1
            if button != IDC_PAUSE:
                game.box()  # Restart and Exit always ask
            answer_boxes(game, rng)
        else:
            keys.append(rng.choice(PIECE_KEYS))
            if len(keys) >= 20:
                game.press(*keys, delay=0)
                keys = []
                answer_boxes(game, rng)
    game.press(*keys, delay=0)
    answer_boxes(game, rng)
    report(f"burst: {BURST_EVENTS - clicks} keys and {clicks} clicks")
    check(game.running(), "the program ended during the burst")
    check_equal(game.driver.request("responsive 5000"), "ok 1", "an answer to a message")
    check_window_intact(game)
    # Still the picture of a state of play: stopped (paused, or over), then repainted.
    if game.text(IDC_PAUSE) == "暂停":
        game.click(IDC_PAUSE)
        wait_until(lambda: game.text(IDC_PAUSE) == "继续" or game.dialog_count(), STEP_TIMEOUT,
                   "the pause or the end of the game")
        answer_boxes(game, rng)
    game.driver.request("repaint")
    check_equal(game.driver.request("responsive 5000"), "ok 1", "an answer after the repaint")
    check_picture_consistent(game)
    # A further click still asks, and Restart brings a new game: the piece that was
    # falling alone at the spawn point, a new preview, as a game from a seed with those
    # first pieces shows them, and falling.
    game.ask(IDC_START, "重新开始游戏吗？", IDYES)
    game.wait_text(IDC_SCORE, "分数：0")
    check(game.text(IDC_PAUSE) == "暂停", "the Pause button after Restart")
    falling, preview, _ = wait_until(game.first_pieces, STEP_TIMEOUT, "the new game's pieces")
    game.learn_seed(falling, preview, seeds=range(600))
    game.history, game.segment = [], []
    game.match_headless()
    game.falls()
