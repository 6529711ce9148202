"""Moving and turning the falling piece with both key sets, on the real window, and the sound
of a turn."""

import time

import pytest

from smorvala_e2e import (ARROW_KEYS, LETTER_KEYS, VK_LEFT, VK_RIGHT, VK_UP, Failure, Sounds,
                          check, check_equal, check_sounds, headless_states, wait_until)

SQUARE = 3
TURN_SOUND = "rotate.wav"


def falling_cells(game):
    """The cells of the falling piece; landed squares, if any, are of another colour."""
    return game.capture().cells_of(game.falling_shape + 1)


def start_with_a_turnable_piece(game):
    """Starts, and lands squares straight down until the falling piece is one a turn changes."""
    game.start()
    for _ in range(10):
        game.falling_shape = game.state()["cur"][0]
        if game.falling_shape != SQUARE:
            return
        game.place(0, 0)
    raise Failure("ten squares in a row")


def refused_turn(game, ticks):
    """Turns and a shift to a wall, after which the replay refuses one more turn."""
    for turns in range(4):
        for shift in (-6, 6):
            moves = [f"key {VK_UP}"] * turns + [f"key {VK_RIGHT if shift > 0 else VK_LEFT}"] * 6
            events = game.headless(ticks)[:-1] + moves + ["state", f"key {VK_UP}", "state"]
            placed, turned = headless_states(game.seed, events)[-2:]
            if placed["cur"][1] == turned["cur"][1]:
                return turns, shift
    raise Failure("no turn against a wall is refused")


@pytest.mark.parametrize("keys", [pytest.param(ARROW_KEYS, id="arrows", marks=pytest.mark.smoke),
                                  pytest.param(LETTER_KEYS, id="letters")])
def test_keys_move_turn_and_drop_the_piece_and_a_turn_sounds(game, keys):
    game.keys_used = keys
    start_with_a_turnable_piece(game)
    before = falling_cells(game)
    game.act("left")
    game.wait_headless()
    after = falling_cells(game)
    check_equal(min(c for c, r in after), min(c for c, r in before) - 1, "the column after left")
    game.act("right", 2)
    game.wait_headless()
    check_equal(min(c for c, r in falling_cells(game)), min(c for c, r in before) + 1,
                "the column after right twice")
    turned_from = falling_cells(game)
    with Sounds() as heard:
        game.act("turn")
        game.wait_headless()
        turned = falling_cells(game)
        check(len(turned) == 4 and turned != turned_from and
              {(c, r - min(r for _, r in turned)) for c, r in turned}
              != {(c, r - min(r for _, r in turned_from)) for c, r in turned_from},
              f"the piece did not turn: {sorted(turned_from)} -> {sorted(turned)}")
        check_sounds(heard.lengths(), TURN_SOUND, 1, "a turn")
    # A turn while the sound of the one before still plays is silent.
    with Sounds() as heard:
        game.act("turn")
        time.sleep(0.1)
        game.act("turn")
        ticks = game.wait_headless()
        check_sounds(heard.lengths(), TURN_SOUND, 1, "two turns 0.1 s apart")
    # So is a turn that does not fit.
    turns, shift = refused_turn(game, ticks)
    game.act("turn", turns)
    game.act("right" if shift > 0 else "left", 6)
    time.sleep(0.5)  # for the sounds of those turns to end
    with Sounds() as heard:
        game.act("turn")
        game.wait_headless()
        check_sounds(heard.lengths(), TURN_SOUND, 0, "a refused turn")
    # Five rows by the timer alone take at least four periods of 600 ms; the key is quicker.
    top_before = min(r for c, r in falling_cells(game))
    game.act("down", 5)
    wait_until(lambda: min(r for c, r in falling_cells(game)) >= top_before + 5, 1.8,
               "the piece to fall five rows")
    game.wait_headless()
