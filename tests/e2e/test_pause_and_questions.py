"""Pause and Continue, the focus rule and activation, and the Restart and Exit questions while
running and while paused."""

import subprocess
import time

from desktop import wine
from smorvala_e2e import (EVENT_SLACK_MS, IDC_EXIT, IDC_PAUSE, IDC_SCORE, IDC_START, IDNO,
                          IDYES, PERIOD_MS, QUANTUM_MS, QUESTION_BUTTONS, STEP_TIMEOUT,
                          active_window, check, check_equal, pause, report, wait_until, xdotool)

RESTART_QUESTION = "重新开始游戏吗？"
EXIT_QUESTION = "确定退出游戏吗？"


def test_pause_stops_the_piece_and_space_on_the_focused_button_continues(game):
    game.start()
    pause(game)
    check_equal(game.focus(), f"control {IDC_PAUSE}", "the focus after Pause")
    game.frozen()
    game.press("space")
    game.wait_text(IDC_PAUSE, "暂停")
    wait_until(lambda: game.focus() == "main", 5, "the focus to return to the main window")
    game.falls()


def test_switching_back_from_another_window_focuses_the_main_window_and_continue_resumes(game):
    game.start()
    pause(game)
    other = subprocess.Popen(wine("notepad"), stdout=game.log, stderr=game.log)
    try:
        wait_until(lambda: active_window() not in ("", game.xid), 30, "another window to be active")
        xdotool("windowactivate", "--sync", game.xid)
        # Activation gives the main window the focus, so Space no longer presses Pause.
        wait_until(lambda: game.focus() == "main", 5, "the focus on the main window")
        game.press("space")
        game.frozen()
        check_equal(game.text(IDC_PAUSE), "继续", "the Pause button after Space")
    finally:
        other.kill()
        other.wait()
    game.click(IDC_PAUSE)
    game.wait_text(IDC_PAUSE, "暂停")
    wait_until(lambda: game.focus() == "main", 5, "the focus to return to the main window")
    game.falls()
    # The piece keys work again at once.
    game.act("left")
    game.wait_headless()


def test_questions_while_running_stop_the_fall_and_no_resumes_it_a_period_later(game):
    game.start()
    for button, question in ((IDC_START, RESTART_QUESTION), (IDC_EXIT, EXIT_QUESTION)):
        game.click(button)
        check_equal(game.box(), ("询问", question, QUESTION_BUTTONS), "the question")
        game.frozen()
        with game.watcher() as eye:
            # The step, and a box's pixels that the window shows until its repaint.
            eye.track(3 * PERIOD_MS, 3)
            time.sleep(0.05)  # the watcher is under way before the answer
            game.answer(IDNO)
            tracked = eye.tracked()
        steps = tracked.steps()
        check(tracked.box_closed is not None and steps,
              f"the box closing ({tracked.box_closed}) and a fall step ({len(steps)})")
        delay = steps[0][0] - tracked.box_closed
        report(f"No to {question}: the next fall step {delay:.1f} ms after the box closed")
        check(PERIOD_MS - QUANTUM_MS <= delay <= PERIOD_MS + QUANTUM_MS + EVENT_SLACK_MS,
              f"the next fall step came {delay:.1f} ms after No")
        wait_until(lambda: game.focus() == "main", 5, "the focus back on the main window")
        check(game.running(), "the program ended after No")
    check_equal(game.text(IDC_START), "重新开始", "the Start button")


def test_restart_answered_yes_while_running_clears_the_board_and_the_score(game):
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


def test_exit_answered_yes_while_running_ends_the_program_with_code_0(game):
    game.start()
    game.ask(IDC_EXIT, EXIT_QUESTION, IDYES)
    check_equal(game.wait_exit(), 0, "the exit code")


def test_questions_while_paused_keep_the_game_paused_until_restart(game):
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


def test_exit_answered_yes_with_enter_while_paused_ends_the_program_with_code_0(game):
    game.start()
    pause(game)
    game.click(IDC_EXIT)
    check_equal(game.box(STEP_TIMEOUT)[1], EXIT_QUESTION, "the question")
    # Yes is the default button.
    game.answer(IDYES, key="Return")
    check_equal(game.wait_exit(), 0, "the exit code")
