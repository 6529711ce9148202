"""Pause and Continue, the focus rule, and the Restart and Exit questions while running and
while paused."""

from smorvala_e2e import (IDC_EXIT, IDC_PAUSE, IDC_SCORE, IDC_START, IDNO, IDYES, Game, check,
                          check_equal, pause, run_tests, wait_until)

RESTART_QUESTION = "重新开始游戏吗？"
EXIT_QUESTION = "确定退出游戏吗？"


def test_pause_stops_the_piece_and_space_on_the_focused_button_continues():
    with Game("pause-space") as game:
        game.start()
        pause(game)
        check_equal(game.focus(), f"control {IDC_PAUSE}", "the focus after Pause")
        game.frozen()
        game.press("space")
        game.wait_text(IDC_PAUSE, "暂停")
        wait_until(lambda: game.focus() == "main", 5, "the focus to return to the main window")
        game.falls()


def test_clicking_continue_resumes_the_fall_and_focuses_the_main_window():
    with Game("pause-click") as game:
        game.start()
        pause(game)
        game.frozen()
        game.click(IDC_PAUSE)
        game.wait_text(IDC_PAUSE, "暂停")
        wait_until(lambda: game.focus() == "main", 5, "the focus to return to the main window")
        game.falls()
        # The piece keys work again at once.
        game.act("left")
        game.wait_headless()


def test_questions_while_running_stop_the_fall_and_no_resumes_it():
    with Game("questions-running") as game:
        game.start()
        for button, question in ((IDC_START, RESTART_QUESTION), (IDC_EXIT, EXIT_QUESTION)):
            game.click(button)
            caption, text, buttons = game.box()
            check_equal((caption, text, buttons), ("询问", question, [IDYES, IDNO]), "the question")
            game.frozen()
            game.answer(IDNO)
            wait_until(lambda: game.focus() == "main", 5, "the focus back on the main window")
            game.falls()
            check(game.running(), "the program ended after No")
        check_equal(game.text(IDC_START), "重新开始", "the Start button")


def test_restart_answered_yes_while_running_clears_the_board_and_the_score():
    with Game("restart-running") as game:
        game.start()
        game.place(0, -3)
        game.ask(IDC_START, RESTART_QUESTION, IDYES)
        game.segment += ["answer yes", "start"]
        game.commit()
        game.wait_text(IDC_SCORE, "分数：0")
        # The piece that was falling enters again at the spawn point over an empty board.
        check_equal(game.state()["grid"], ["." * 10] * 23, "the grid after Restart")
        game.wait_headless()
        game.falls()


def test_exit_answered_yes_while_running_ends_the_program_with_code_0():
    with Game("exit-running") as game:
        game.start()
        game.ask(IDC_EXIT, EXIT_QUESTION, IDYES)
        check_equal(game.wait_exit(), 0, "the exit code")


def test_questions_while_paused_keep_the_game_paused_until_restart():
    with Game("questions-paused") as game:
        game.start()
        pause(game)
        for button, question in ((IDC_START, RESTART_QUESTION), (IDC_EXIT, EXIT_QUESTION)):
            game.ask(button, question, IDNO)
            check_equal(game.text(IDC_PAUSE), "继续", "the Pause button after No")
            game.wait_headless()  # the part the box covered is painted again
            game.frozen()
        game.ask(IDC_START, RESTART_QUESTION, IDYES)
        game.wait_text(IDC_SCORE, "分数：0")
        # The new game falls at once, paused or not before.
        game.falls()


def test_exit_answered_yes_while_paused_ends_the_program_with_code_0():
    with Game("exit-paused") as game:
        game.start()
        pause(game)
        game.ask(IDC_EXIT, EXIT_QUESTION, IDYES)
        check_equal(game.wait_exit(), 0, "the exit code")


if __name__ == "__main__":
    run_tests(globals())
