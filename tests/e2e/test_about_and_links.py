"""The menu bar, the About box and the two web links, under Wine, with no sound server.

The shell's requests to open an address reach Wine's browser launcher, which this group points
at a small recording script (HKCU\\Software\\Wine\\WineBrowser, value Browsers), so the tests
read every address the program asked to open. The threads that asked are read from Wine's trace
of the shell's execute calls, which names the calling thread.
"""

import collections
import os
import re
import subprocess

import pytest

from desktop import ROUTE, publisher_details, wine
from smorvala_e2e import (IDC_START, IDM_ABOUT, IDM_HOMEPAGE, LAUNCH_TIMEOUT, STEP_TIMEOUT, Game, check,
                          check_equal, check_same_pixels, golden, settled, stays, wait_until, work_dir,
                          xdotool)

PUBLISHER = publisher_details(ROUTE.build)
HOME_PAGE = PUBLISHER["HOMEPAGE"]
GAME_PAGE = HOME_PAGE + "morvala.htm"

IDC_VISIT = 1002
NO_ID = 0xFFFF

GROUP_BOX = 0x50000007
LEFT_TEXT = 0x50020000
PUSH_BUTTON = 0x50010000

# The About box in creation order: class, id, style, text, and x, y, width, height in dialog
# units. Items 6 and 7 are the maker's contact lines.
ABOUT_ITEMS = [
    ("Button", NO_ID, GROUP_BOX, "游戏说明", (14, 10, 159, 50)),
    ("Static", NO_ID, LEFT_TEXT, "w 或 ↑改变形状.   a 或 ←向左移动", (26, 28, 141, 11)),
    ("Static", NO_ID, LEFT_TEXT, "d 或 →向右移动.   s 或 ↓向下加速", (25, 42, 141, 11)),
    ("Button", NO_ID, GROUP_BOX, "", (14, 66, 159, 76)),
    ("Static", NO_ID, LEFT_TEXT, "版本： SMorvala1.0", (40, 76, 98, 10)),
    ("Static", NO_ID, LEFT_TEXT, "邮箱： " + PUBLISHER["EMAIL"], (40, 106, 102, 10)),
    ("Static", NO_ID, LEFT_TEXT, PUBLISHER["IM"], (40, 91, 83, 11)),
    ("Button", IDC_VISIT, PUSH_BUTTON, "访问主页", (38, 121, 46, 15)),
]
ABOUT_FONT = "新宋体 9"

QUIET = 1.0  # seconds in which nothing may happen after a key that must do nothing


def opened_path():
    return os.path.join(work_dir(), "opened-addresses.txt")


@pytest.fixture(scope="module", autouse=True)
def browser_recorder_and_no_sound_server():
    """Points Wine's browser launcher at a script that appends each address to a file, and the
    game at a sound server that is not there."""
    recorder = os.path.join(work_dir(), "record-browser.sh")
    with open(recorder, "w") as script:
        script.write(f"#!/bin/sh\nprintf '%s\\n' \"$*\" >> '{opened_path()}'\n")
    os.chmod(recorder, 0o755)
    subprocess.run(wine("reg", "add", r"HKCU\Software\Wine\WineBrowser", "/v", "Browsers",
                    "/t", "REG_SZ", "/d", recorder, "/f"), check=True, timeout=60,
                   # Not pipes: Wine's helper processes may keep them open after reg ends.
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with pytest.MonkeyPatch.context() as patch:
        patch.setenv("PULSE_SERVER", os.path.join(work_dir(), "no-sound-server"))
        yield


def opened():
    if not os.path.exists(opened_path()):
        return []
    with open(opened_path()) as recorded:
        return [line.strip() for line in recorded if line.strip()]


def forget_opened():
    if os.path.exists(opened_path()):
        os.remove(opened_path())


def wait_opened(expected):
    """Waits until exactly the expected addresses (in any order) have been opened."""
    want = collections.Counter(expected)
    # Each address starts Wine's browser launcher, a program of its own, as long as a launch.
    wait_until(lambda: collections.Counter(opened()) == want, LAUNCH_TIMEOUT,
               f"the addresses {sorted(want.elements())} to be opened (so far {opened()})")
    # Late extra requests would show up here.
    stays(lambda: collections.Counter(opened()) == want, QUIET, "the set of opened addresses")


def mul_div(number, numerator, denominator):
    """Windows' MulDiv for non-negative values: rounded to the nearest whole number."""
    return (number * numerator + denominator // 2) // denominator


class AboutGame(Game):
    """The game, with its About box to hand. With `trace_shell`, Wine logs each execute call of
    the shell with the calling thread into the game's log."""

    def __init__(self, name, trace_shell=False, program=None):
        self.log_path = os.path.join(work_dir(), f"{name}.log")
        # The log is appended to: only what this run of the game writes counts.
        self.log_start = os.path.getsize(self.log_path) if os.path.exists(self.log_path) else 0
        with pytest.MonkeyPatch.context() as patch:
            if trace_shell:
                patch.setenv("WINEDEBUG", "-all,+tid,+exec")
            super().__init__(name, program)

    def open_about(self):
        self.press("alt+a")  # the item's mnemonic
        caption, _, _ = self.box()
        return caption

    def about_open(self):
        return self.dialog_count() == 1

    def click_visit(self):
        """A mouse click on the box's "访问主页" button, where it is on the screen."""
        x, y = (int(w) for w in self.driver.request("dialog-client").split()[1:3])
        left, top, width, height = next((int(w) for w in line.split()[3:7])
                                        for line in self.driver.lines("dialog-items")
                                        if int(line.split()[1]) == IDC_VISIT)
        xdotool("mousemove", x + left + width // 2, y + top + height // 2, "click", 1)

    def close_about(self, how):
        about = wait_until(lambda: self.x_window("^关于$"), STEP_TIMEOUT, "the box's window")
        if how == "close box":
            subprocess.run(["wmctrl", "-i", "-c", about], check=True, timeout=30)
        else:
            self.press("alt+F4")

    def shell_threads(self, address):
        """The threads that asked the shell to open `address`, in the order they did."""
        pattern = re.compile(r'^([0-9a-f]+):trace:exec:SHELL_execute .* file=L"' + re.escape(address) + '"')
        self.log.flush()
        with open(self.log_path, "rb") as log:
            log.seek(self.log_start)
            lines = log.read().decode(errors="replace").splitlines()
        return [int(m.group(1), 16) for m in map(pattern.match, lines) if m]

    def filled(self):
        """The board's cells that are not black on screen."""
        return {(c, r) for r, row in enumerate(self.capture().board()) for c, ch in enumerate(row)
                if ch != "0"}


def lowest_filled_row(cells):
    return max((r for _, r in cells), default=None)


def outline(cells):
    """The cells moved to the top left corner, or None unless there are four."""
    if len(cells) != 4:
        return None
    left = min(c for c, _ in cells)
    top = min(r for _, r in cells)
    return frozenset((c - left, r - top) for c, r in cells)


SQUARE = frozenset({(0, 0), (0, 1), (1, 0), (1, 1)})


def check_each_on_its_own_thread(game, address, presses):
    wait_until(lambda: len(game.shell_threads(address)) == presses, STEP_TIMEOUT,
               f"{presses} shell requests for {address} in the trace")
    threads = game.shell_threads(address)
    ui = int(game.driver.request("thread").split()[1])
    seen = ", ".join(f"{thread:#x}" for thread in threads)
    check(ui not in threads, f"the window's thread {ui:#x} asked the shell itself (threads {seen})")
    check_equal(len(set(threads)), presses, f"distinct threads among {seen}")


# ---------------------------------------------------------------------------------------------

def test_menu_bar_has_two_plain_commands():
    with AboutGame("about-menu") as game:
        check_equal(game.driver.request("has-menu"), "ok 1", "the main window has a menu bar")
        items = game.driver.lines("menu-resource")
        check_equal(items, [f"{IDM_HOMEPAGE} 0 网址导航(&E)", f"{IDM_ABOUT} 0 关于(&A)"],
                    "the menu bar's items: id, drop-down or not, text")


@pytest.mark.parametrize("locale", ["zh_CN.UTF-8", "C.UTF-8"])
def test_about_box_opens_from_the_menu_bar_modal_to_the_window_with_its_items_in_place(locale, monkeypatch):
    # Under a locale other than Chinese the template's face is not there, and the one in its
    # place has no Chinese.
    monkeypatch.setenv("LANG", locale)
    # Away from the box's button, whose border changes under the mouse.
    xdotool("mousemove", 0, 0)
    with AboutGame(f"about-items-{locale.split('.')[0]}") as game:
        check(not game.about_open(), "no About box before it is asked for")
        check_equal(game.open_about(), "关于", "the About box's caption")
        check_equal(game.driver.request("dialog-owner"), "ok 1",
                    "owned by the main window, which it disables")
        base_x, base_y = (int(w) for w in game.driver.request(f"dialog-units {ABOUT_FONT}").split()[1:])
        width, height = (int(w) for w in game.driver.request("dialog-client").split()[3:])
        check_equal((width, height), (mul_div(187, base_x, 4), mul_div(151, base_y, 8)),
                    f"client size of 187 x 151 dialog units at base units {base_x} x {base_y}")
        items = [line.split(" ", 7) for line in game.driver.lines("dialog-items")]
        check_equal(len(items), len(ABOUT_ITEMS), "number of items")
        for number, (item, expected) in enumerate(zip(items, ABOUT_ITEMS), 1):
            kind, item_id, style, text, (x, y, w, h) = expected
            seen = (item[0], int(item[1]), int(item[2]), item[7] if len(item) > 7 else "",
                    tuple(int(v) for v in item[3:7]))
            place = (mul_div(x, base_x, 4), mul_div(y, base_y, 8), mul_div(w, base_x, 4),
                     mul_div(h, base_y, 8))
            check_equal(seen, (kind, item_id, style, text, place), f"item {number}")
        # Every text drawn as on the Chinese desktop the program was made for.
        whole = (0, 0, width, height)
        image = settled(lambda: game.driver.pixels(*whole, "dialog-pixels"), golden("about-box"), [whole])
        reference = golden("about-box", image if locale == "zh_CN.UTF-8" else None)
        check_same_pixels(image, reference, whole, "the About box", game.name)


def test_enter_and_esc_leave_the_box_open_and_its_close_box_and_alt_f4_end_it():
    with AboutGame("about-keys") as game:
        forget_opened()
        for how in ("close box", "Alt+F4"):
            game.open_about()
            for key in ("Return", "Escape"):
                game.press(key)
                stays(game.about_open, QUIET, f"the About box open after {key}")
            game.close_about(how)
            wait_until(lambda: not game.about_open(), STEP_TIMEOUT, f"the box to close by {how}")
            check(game.running(), "the game goes on")
        check_equal(opened(), [], "addresses opened by Enter or Esc alone")


def test_game_keeps_falling_while_the_box_is_open():
    with AboutGame("about-falling") as game:
        game.click(IDC_START)
        wait_until(lambda: lowest_filled_row(game.filled()) is not None, STEP_TIMEOUT,
                   "the first piece on the board")
        game.open_about()
        # Out of the way of the board, as a player would drag it; the board is repainted where
        # the box covered it, and then shows the falling piece alone, its four cells.
        xdotool("windowmove", game.x_window("^关于$"), 0, 0)
        wait_until(lambda: len(game.filled()) == 4, STEP_TIMEOUT,
                   "the board repainted with the falling piece alone")
        start = lowest_filled_row(game.filled())
        # At level 0 a step takes 600 ms: three steps within a few seconds.
        wait_until(lambda: (lowest_filled_row(game.filled()) or 0) >= start + 3, STEP_TIMEOUT,
                   f"the piece to fall three rows below row {start} behind the About box")
        check(game.about_open(), "the About box is still open")


def test_turns_go_on_silently_without_a_sound_server():
    # Each turn asks for the turn sound; with no sound server the request fails unseen and
    # the game neither stops nor slows.
    with AboutGame("about-sound") as game:
        game.click(IDC_START)
        wait_until(lambda: lowest_filled_row(game.filled()) is not None, STEP_TIMEOUT,
                   "the first piece on the board")
        before = outline(game.filled())
        start = lowest_filled_row(game.filled())
        game.press("Up", "Up", "Up")
        # Three quarter turns change every outline but the square's.
        if before != SQUARE:
            wait_until(lambda: outline(game.filled()) not in (before, None), STEP_TIMEOUT,
                       "the piece to show itself turned")
        # A turn moves the lowest cell by at most three rows; the rest are fall steps.
        wait_until(lambda: (lowest_filled_row(game.filled()) or 0) >= start + 6, STEP_TIMEOUT,
                   f"the piece to go on falling from row {start} after three turns")
        check(game.running(), "the program still runs")


@pytest.mark.smoke
def test_home_page_opens_on_a_thread_of_its_own_for_each_choice():
    with AboutGame("about-home", trace_shell=True) as game:
        forget_opened()
        game.press("alt+e")  # the item's mnemonic
        wait_opened([HOME_PAGE])
        # A click on the first item of the menu bar, just above the client area.
        x, y = game.client()[:2]
        xdotool("mousemove", x + 20, y - 10, "click", 1)
        wait_opened([HOME_PAGE, HOME_PAGE])
        check_each_on_its_own_thread(game, HOME_PAGE, 2)


def test_visit_button_opens_the_game_page_on_a_thread_of_its_own_for_each_click():
    with AboutGame("about-visit", trace_shell=True) as game:
        forget_opened()
        game.open_about()
        game.click_visit()
        wait_opened([GAME_PAGE])
        game.click_visit()
        wait_opened([GAME_PAGE, GAME_PAGE])
        check_each_on_its_own_thread(game, GAME_PAGE, 2)
        check(game.about_open(), "the About box stays open after the presses")


def test_visit_button_by_keyboard_once_tabbed_to():
    with AboutGame("about-visit-keys") as game:
        forget_opened()
        game.open_about()
        game.press("Return")
        stays(lambda: opened() == [], QUIET, "no address opened by Enter before Tab")
        game.press("Tab")
        check_equal(game.focus(), f"box control {IDC_VISIT}", "the focus after Tab, on the only tab stop")
        game.press("Return")
        wait_opened([GAME_PAGE])
        game.press("space")
        wait_opened([GAME_PAGE, GAME_PAGE])
        check(game.about_open(), "the About box stays open")
