"""The end of the game and its box, the questions after it, and ending the program."""

import pytest

from smorvala_e2e import (IDC_EXIT, IDC_PAUSE, IDC_SCORE, IDC_START, IDNO, IDOK, IDYES, VK_DOWN,
                          check, check_equal)

GAME_OVER_TEXTS = ("游戏结束!", "游戏结束")  # by the Down key, by the timer


def reach_game_over(game):
    caption, text, buttons = game.drop_until_over()
    check_equal(caption, "", "the game-over box's caption")
    check(text in GAME_OVER_TEXTS, f"the game-over box says {text!r}")
    check_equal(buttons, {IDOK: "确定"}, "the game-over box's buttons")
    game.answer(IDOK)
    # Straight drops fill no row: the replay of as many Down presses as it takes shows the
    # same pile, and further presses do nothing once the game is over.
    game.history += [f"key {VK_DOWN}"] * 600
    game.segment = []
    game.wait_headless()


def test_game_over_box_then_pause_is_ignored_and_declined_questions_resume_nothing(game):
    game.start()
    reach_game_over(game)
    game.frozen()
    game.click(IDC_PAUSE)
    game.frozen(1.0)
    check_equal(game.text(IDC_PAUSE), "暂停", "the Pause button after the end")
    check_equal(game.dialog_count(), 0, "boxes after clicking Pause")
    for button, question in ((IDC_START, "重新开始游戏吗？"), (IDC_EXIT, "确定退出游戏吗？")):
        game.ask(button, question, IDNO)
        game.wait_headless()
        game.frozen()
    check(game.running(), "the program ended")


def test_restart_after_game_over_starts_a_new_game_and_exit_yes_ends_it(game):
    game.start()
    reach_game_over(game)
    game.ask(IDC_START, "重新开始游戏吗？", IDYES)
    game.wait_text(IDC_SCORE, "分数：0")
    game.segment += ["answer yes", "start"]
    game.commit()
    check_equal(game.state()["grid"], ["." * 10] * 23, "the grid after Restart")
    game.wait_headless()
    game.falls()
    reach_game_over(game)
    game.ask(IDC_EXIT, "确定退出游戏吗？", IDYES)
    check_equal(game.wait_exit(), 0, "the exit code after Exit in the ended game")


@pytest.mark.parametrize("how", ["close box", "Alt+F4"])
@pytest.mark.parametrize("started", [False, True], ids=["before Start", "during a game"])
def test_closing_the_window_ends_the_program_with_code_0_and_no_question(game, how, started):
    if started:
        game.start()
    game.close_window(how)
    check_equal(game.wait_exit(), 0, "the exit code")
    check_equal(game.driver.request("exists"), "ok 0", "the main window after closing")


@pytest.mark.smoke
def test_exit_answered_yes_before_start_ends_the_program_with_code_0(game):
    game.ask(IDC_EXIT, "确定退出游戏吗？", IDYES)
    check_equal(game.wait_exit(), 0, "the exit code")
