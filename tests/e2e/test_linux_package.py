"""The Debian package as a Linux player meets it: clean under Debian's checks, installed with apt,
started from its menu entry by a player whose home folder is named in Chinese and whose own
locale is English, first on a system without the Chinese locale, then on this one; and purged,
leaving nothing of it outside the player's folder.

Debian's checks are lintian -I -E --pedantic (no tag at all), desktop-file-validate and
appstreamcli validate --pedantic. The player is a user made for the test, and removed after it.
The game starts through the Exec line of the installed menu entry. The system without the Chinese
locale is a mount namespace that hides /usr/lib/locale. The driver then reads the window's Chinese
labels, drawn as in the suite's Chinese session, its first paint, and Wine's buttons in Chinese.

    tests/e2e/run -k package
"""

import configparser
import contextlib
import glob
import os
import pwd
import re
import shlex
import subprocess
import time

import pytest

from desktop import BUILD, ROUTE, as_root, run_as_root
from smorvala_e2e import (CONTROL_RECTS, GREEN, IDC_EXIT, IDC_LEVEL, IDC_PAUSE, IDC_SCORE, IDC_START,
                          IDYES, STEP_TIMEOUT, WHITE, Driver, Game, check, check_equal, frame_pixels,
                          report, wait_until)

PLAYER = "smorvala-e2e"
PLAYER_HOME = "/home/测试玩家"
MENU_ENTRY = "/usr/share/applications/smorvala.desktop"
METAINFO = "/usr/share/metainfo/com.example.smorvala.metainfo.xml"
LABELS = {IDC_START: "开始", IDC_PAUSE: "暂停", IDC_EXIT: "退出", IDC_LEVEL: "第 0 关", IDC_SCORE: "分数: 0"}
# The first start makes the player's Wine folder.
FIRST_START_TIMEOUT = 300.0
# A system without the Chinese locale, or any other but C, as the launcher sees it.
WITHOUT_LOCALES = ("unshare", "--mount", "--propagation", "private", "sh", "-c",
                   'mount -t tmpfs tmpfs /usr/lib/locale && exec "$@"', "without-locales")


def player_session(account, **variables):
    """The command prefix that runs a command as the player, in the environment of a desktop
    session in the player's own, English locale."""
    environment = {"HOME": account.pw_dir, "USER": account.pw_name, "LOGNAME": account.pw_name,
                   "SHELL": "/bin/bash", "PATH": "/usr/local/bin:/usr/bin:/bin:/usr/games",
                   "DISPLAY": os.environ["DISPLAY"], "LANG": "en_US.UTF-8", **variables}
    return ("setpriv", f"--reuid={account.pw_uid}", f"--regid={account.pw_gid}", "--init-groups",
            "env", "-i", *(f"{name}={value}" for name, value in environment.items()))


def player_wine(account):
    """The environment in which the launcher runs Wine for the player."""
    data = os.path.join(account.pw_dir, ".local", "share", "smorvala")
    return {"LANG": "zh_CN.UTF-8", "WINEPREFIX": os.path.join(data, f"wine-{ROUTE.arch}"),
            "TMPDIR": os.path.join(data, "tmp"), "WINESERVER": ROUTE.server, "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d"}


def end_wine(account):
    """Ends the Wine server of the player's folder, and with it every program in it."""
    run_as_root(*player_session(account, **player_wine(account)), ROUTE.server, "-k",
                stderr=subprocess.DEVNULL)
    wait_until(lambda: subprocess.run(["pgrep", "-u", PLAYER], capture_output=True).returncode == 1,
               STEP_TIMEOUT, "the player's programs to end")


def stray_files(account):
    """The player's socket folders of Wine's server in /tmp."""
    return [path for path in glob.glob("/tmp/wine-*") if os.stat(path).st_uid == account.pw_uid]


@contextlib.contextmanager
def player_account():
    """A user whose home folder is named in Chinese; removed on the way out with all that is
    theirs."""
    run_as_root("userdel", "--remove", PLAYER, stderr=subprocess.DEVNULL)  # left by a run cut short
    run_as_root("useradd", "--create-home", "--home-dir", PLAYER_HOME, "--shell", "/bin/bash", PLAYER,
                check=True)
    account = pwd.getpwnam(PLAYER)
    try:
        yield account
    finally:
        end_wine(account)
        run_as_root("rm", "-rf", *stray_files(account), check=True)
        run_as_root("userdel", "--remove", PLAYER, stderr=subprocess.DEVNULL)


class PackagedGame(Game):
    """The game started by a command line of the player's, its driver run as the player in the
    player's Wine folder. The driver joins once the window shows: started before, it would make
    the Wine folder that the first start is to make. What the command prints lands in
    `terminal`."""

    def __init__(self, name, command, driver_as):
        self.command, self.driver_as = command, driver_as
        self.terminal = os.path.join(os.environ["SMORVALA_E2E_BUILD"], f"{name}-terminal.log")
        super().__init__(name)

    def launch(self, program):
        check(not self.x_window(), "a game window is open before the launch")
        with open(self.terminal, "wb") as terminal:
            self.process = subprocess.Popen(self.command, stdout=terminal, stderr=terminal)
        wait_until(lambda: self.process.poll() is not None or self.x_window(), FIRST_START_TIMEOUT,
                   "the game's window")
        check(self.process.poll() is None, f"the launcher ended with {self.process.returncode}: "
                                           f"{open(self.terminal).read()}")
        self.driver = Driver(self.log, self.driver_as)


def control_faces(image):
    """The pixels of the controls' faces, rows of RGB: their borders left out, which a button
    under the mouse draws in another colour."""
    return [bytes(image.rgb[3 * (y * image.width + left + 3):3 * (y * image.width + right - 3)])
            for left, top, right, bottom in CONTROL_RECTS.values() for y in range(top + 3, bottom - 3)]


def check_window(game, faces):
    """The title, the controls' Chinese texts, drawn as in the suite's own Chinese session, and
    the frames of the first paint; returns the seconds from the launch to that paint."""
    check_equal(game.title(), "SMorvala", "the title")
    check_equal({i: game.text(i) for i in LABELS}, LABELS, "the controls' texts")
    wait_until(lambda: game.capture().at(10, 14) == WHITE, STEP_TIMEOUT, "the first paint")
    painted = time.time() - game.launched_at
    image = game.capture()
    check_equal(frame_pixels(image, 10, 14, 237, 527), {WHITE}, "the dotted outer frame")
    check_equal(frame_pixels(image, 12, 16, 235, 525), {GREEN}, "the board frame")
    check(control_faces(image) == faces, "the controls are drawn otherwise than in the suite's "
                                         "Chinese session: their labels' font differs")
    return painted


def is_file(path):
    """Whether the file exists, looked for as root: the player's home is closed to others."""
    return run_as_root("test", "-f", path).returncode == 0


def home_files(account):
    found = subprocess.run(as_root("find", account.pw_dir, "-mindepth", "1", "-printf", "%P\\n"),
                           check=True, capture_output=True, text=True).stdout.split("\n")
    return set(filter(None, found))


@pytest.mark.timeout(900)
def test_the_package_passes_debians_checks_installs_starts_from_its_menu_entry_and_purges_clean():
    [deb] = glob.glob(os.path.join(BUILD, "windows", "smorvala_*_all.deb"))
    lintian = subprocess.run(["lintian", "-I", "-E", "--pedantic", deb], capture_output=True, text=True)
    check_equal((lintian.returncode, lintian.stdout), (0, ""), "lintian's verdict and tags")

    with Game("package-reference") as reference:
        faces = control_faces(reference.capture())
    try:
        run_as_root("apt-get", "install", "--yes", "--quiet", deb, check=True, stdout=subprocess.DEVNULL,
                    env={**os.environ, "DEBIAN_FRONTEND": "noninteractive"})
        installed = subprocess.run(["dpkg", "--listfiles", "smorvala"], check=True, capture_output=True,
                                   text=True).stdout.split("\n")
        for validate in (["desktop-file-validate", MENU_ENTRY],
                         ["appstreamcli", "validate", "--no-net", "--pedantic", METAINFO]):
            result = subprocess.run(validate, capture_output=True, text=True)
            issues = re.findall(r"^[EWIP]: .*", result.stdout, re.M)
            check_equal((result.returncode, issues), (0, []), f"{validate[0]}'s verdict and issues")
        entry = configparser.ConfigParser(interpolation=None)
        entry.optionxform = str
        entry.read(MENU_ENTRY, encoding="utf-8")
        command = shlex.split(entry["Desktop Entry"]["Exec"])

        with player_account() as account:
            untouched = home_files(account)
            prefix = player_wine(account)["WINEPREFIX"]
            data = os.path.dirname(prefix)
            driver_as = as_root(*player_session(account, **player_wine(account)))

            # Without a Chinese font: one sentence, and no Wine.
            no_fonts = os.path.join(os.environ["SMORVALA_E2E_BUILD"], "no-fonts.conf")
            with open(no_fonts, "w") as config:
                config.write("<fontconfig></fontconfig>\n")
            result = subprocess.run(as_root(*player_session(account, FONTCONFIG_FILE=no_fonts), *command),
                                    capture_output=True, text=True, timeout=60)
            check_equal((result.returncode, result.stdout, result.stderr.count("\n")), (1, "", 1),
                        f"the start without a Chinese font: {result.stderr!r}")
            check("Chinese font" in result.stderr, result.stderr)

            # The first start, on a system that lacks the Chinese locale: the launcher makes the
            # player's Wine folder and its own copy of the locale, and says so.
            first = as_root(*WITHOUT_LOCALES, *player_session(account), *command)
            with PackagedGame("package-first-start", first, driver_as) as game:
                report(f"first start: the window after {game.shown_at - game.launched_at:.1f} s, "
                       f"the first paint after {check_window(game, faces):.1f} s")
                game.ask(IDC_EXIT, "确定退出游戏吗？", IDYES)  # Wine's own buttons in Chinese
                check_equal(game.wait_exit(), 0, "the exit code")
                with open(game.terminal) as terminal:
                    said = terminal.read()
            check("First start: setting up Wine" in said, f"the first start said {said!r}")
            check(is_file(os.path.join(data, "locale", "zh_CN.UTF-8", "LC_CTYPE")),
                  "the launcher compiled no Chinese locale")
            end_wine(account)  # the next start finds no Wine running, as after a restart

            with PackagedGame("package-later-start", as_root(*player_session(account), *command),
                              driver_as) as game:
                report(f"later start: the window after {game.shown_at - game.launched_at:.1f} s, "
                       f"the first paint after {check_window(game, faces):.1f} s")
                game.close_window("close box")
                check_equal(game.wait_exit(), 0, "the exit code")
            with open(game.terminal) as terminal:
                check_equal(terminal.read(), "", "what a later start prints")

            end_wine(account)
            new = {path for path in home_files(account) - untouched
                   if path not in (".local", ".local/share") and not path.startswith(".local/share/smorvala")}
            check_equal(new, set(), "what the game left in the player's home outside its folder")
            check_equal(stray_files(account), [], "what the game left in /tmp")
            check(is_file(os.path.join(prefix, "system.reg")), "no Wine folder in the player's data")

        run_as_root("dpkg", "--purge", "smorvala", check=True, stdout=subprocess.DEVNULL)
        left = [path for path in installed if os.path.lexists(path)
                and (not os.path.isdir(path) or "smorvala" in path)]
        check_equal(left, [], "the package's files and folders after the purge")
    finally:
        run_as_root("dpkg", "--purge", "smorvala", stdout=subprocess.DEVNULL)
