"""Moving and turning the falling piece with both key sets, on the real window."""

from smorvala_e2e import (ARROW_KEYS, LETTER_KEYS, Game, check, check_equal, run_tests,
                          wait_until)

SQUARE = 3


def falling_cells(game):
    """The cells of the falling piece; landed squares, if any, are of another colour."""
    image = game.capture()
    shape = game.falling_shape
    return image.cells_of(shape + 1)


def start_with_a_turnable_piece(game):
    """Starts, and lands squares straight down until the falling piece is one a turn changes."""
    game.start()
    for _ in range(10):
        game.falling_shape = game.state()["cur"][0]
        if game.falling_shape != SQUARE:
            return
        game.place(0, 0)
    raise AssertionError("ten squares in a row")


def play_every_move(game, keys):
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
    game.act("turn")
    game.wait_headless()
    turned = falling_cells(game)
    check(len(turned) == 4 and turned != turned_from and
          {(c, r - min(r for _, r in turned)) for c, r in turned}
          != {(c, r - min(r for _, r in turned_from)) for c, r in turned_from},
          f"the piece did not turn: {sorted(turned_from)} -> {sorted(turned)}")
    # Five rows by the timer alone take at least four periods of 600 ms; the key is quicker.
    top_before = min(r for c, r in falling_cells(game))
    game.act("down", 5)
    wait_until(lambda: min(r for c, r in falling_cells(game)) >= top_before + 5, 1.8,
               "the piece to fall five rows")
    game.wait_headless()


def test_arrow_keys_move_turn_and_drop_the_piece():
    with Game("arrow-keys") as game:
        play_every_move(game, ARROW_KEYS)


def test_letter_keys_move_turn_and_drop_the_piece():
    with Game("letter-keys") as game:
        play_every_move(game, LETTER_KEYS)


if __name__ == "__main__":
    run_tests(globals())
