"""The setup program as a Windows player meets it, under the route's Wine: installed silently into
a folder named in Chinese with spaces, started from its Start-menu shortcut, refused while the
game runs, installed again over itself and removed by the entry's quiet command, leaving nothing,
and so the signed one of tests/signed_downloads.sh, whose installed programs carry the signature;
and, where the host runs 32-bit code, clicked through its Chinese pages by a player's hands,
started from the finish page, and removed by the uninstaller that the "Apps & features" entry
names, after a retry while the game still ran.

The silent install goes into CHINESE_FOLDER; the test then checks the files, the shortcut and
every value of the entry. The removal keeps a file of the player's. The clicked-through
install also ticks the desktop shortcut's box."""

import getpass
import glob
import os
import re
import subprocess
import zipfile

import pytest

from desktop import BUILD, ROUTE, publisher_details, wine
from smorvala_e2e import (LAUNCH_TIMEOUT, STEP_TIMEOUT, Driver, Failure, Game, check, check_equal, report,
                          wait_until, work_dir, xdotool)

UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\SMorvala"
CHINESE_FOLDER = r"C:\我的 游戏\SMorvala 下落方块"
PROFILE = rf"C:\users\{getpass.getuser()}"
DEFAULT_FOLDER = PROFILE + r"\AppData\Local\Programs\SMorvala"
START_MENU_SHORTCUT = PROFILE + r"\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\SMorvala.lnk"
DESKTOP_SHORTCUT = PROFILE + r"\Desktop\SMorvala.lnk"
# A setup program under the emulator takes as long as a launch of the game.
RUN_TIMEOUT = LAUNCH_TIMEOUT * 3
SETUP_TITLE = "SMorvala 安装"
UNINSTALL_TITLE = "SMorvala 卸载"
# The details of the build that made the setup program.
PUBLISHER = publisher_details("windows")


def on_drive_c(windows_path):
    return os.path.join(*windows_path[3:].split("\\"))


def unix_path(windows_path):
    return os.path.join(os.environ["WINEPREFIX"], "drive_c", on_drive_c(windows_path))


def setup_program(build="windows"):
    [setup] = glob.glob(os.path.join(BUILD, build, "SMorvala-*-setup.exe"))
    return setup


def zips_program(build="windows"):
    [download] = glob.glob(os.path.join(BUILD, build, "SMorvala-*-win32.zip"))
    with zipfile.ZipFile(download) as archive:
        return archive.read("SMorvala.exe")


def command_words(command_line):
    """A Windows command line, such as an uninstall entry's, as the words to give Wine: the
    program in quotes, then the arguments. Wine quotes again any word that holds a space, so an
    argument that must reach the program with its spaces unquoted, like NSIS's /D=, is given
    as the words between them."""
    program, arguments = re.fullmatch(r'"([^"]+)"\s*(.*)', command_line).groups()
    return [program, *arguments.split()]


def run_windows(*words, timeout=RUN_TIMEOUT):
    """Runs a Windows program to its end; its exit code. Its output goes to a file: a pipe
    could be held open by services that the program starts."""
    with open(os.path.join(work_dir(), "setup-program.log"), "ab") as log:
        return subprocess.run(wine(*words), stdout=log, stderr=log, timeout=timeout).returncode


def uninstall_entry():
    """The values of the "Apps & features" entry, as text, or None without one."""
    output = os.path.join(work_dir(), "uninstall-entry.txt")
    with open(output, "wb") as values:
        found = subprocess.run(wine("reg", "query", UNINSTALL_KEY), stdout=values,
                               stderr=subprocess.DEVNULL, timeout=RUN_TIMEOUT).returncode == 0
    # reg writes in the console's code page, GBK under the Chinese locale.
    with open(output, encoding="gbk") as values:
        return dict(re.findall(r"^\s+(\S+)\s+REG_\w+\s+(.*?)\r?$", values.read(), re.M)) if found else None


def folder_files(folder):
    return sorted(os.listdir(unix_path(folder))) if os.path.isdir(unix_path(folder)) else None


def drive_c():
    """Every folder and file of the prefix's drive C but Wine's own system folder and the
    temporary folder, where an uninstaller's copy of itself stays until Windows restarts."""
    root = os.path.join(os.environ["WINEPREFIX"], "drive_c")
    kept_apart = (os.path.join(root, "windows"), unix_path(PROFILE + r"\Temp"))
    return {os.path.relpath(os.path.join(folder, name), root)
            for folder, folders, files in os.walk(root) if not folder.startswith(kept_apart)
            for name in folders + files}


def check_installed(folder, program):
    check_equal(folder_files(folder), ["SMorvala.exe", "uninstall.exe"], f"the files in {folder}")
    with open(unix_path(folder + r"\SMorvala.exe"), "rb") as installed:
        check(installed.read() == program, "the installed SMorvala.exe is not the zip's")
    check(os.path.isfile(unix_path(START_MENU_SHORTCUT)), "no Start-menu shortcut")
    uninstaller = folder + r"\uninstall.exe"
    check_equal(uninstall_entry(), {
        "DisplayName": "SMorvala", "DisplayIcon": folder + r"\SMorvala.exe,0", "DisplayVersion": "1.0.0",
        "Publisher": PUBLISHER["PUBLISHER"], "URLInfoAbout": PUBLISHER["HOMEPAGE"], "InstallLocation": folder,
        "UninstallString": f'"{uninstaller}"', "QuietUninstallString": f'"{uninstaller}" /S',
        "EstimatedSize": hex((len(program) + 1023) // 1024), "NoModify": "0x1", "NoRepair": "0x1"},
        "the uninstall entry")


def check_removed(folder, before, players_file=None):
    """Waits for the uninstaller, which runs on as a copy of itself once its first process has
    ended, to remove the entry and its files: then nothing it put there may be left, and nothing
    else gone, such as a file the player put in its folder."""
    kept = [players_file] if players_file else None
    wait_until(lambda: uninstall_entry() is None and folder_files(folder) == kept, RUN_TIMEOUT,
               "the uninstaller to remove the entry and its files", interval=1.0)
    if players_file:
        before = before | {on_drive_c(folder), on_drive_c(folder + "\\" + players_file)}
    after = drive_c()
    check_equal((after - before, before - after), (set(), set()), "what the uninstaller left and what it took")


@pytest.fixture(autouse=True)
def nothing_left_installed():
    """A test that failed half-way leaves no installation to the next: a setup finds the folder
    of the last one."""
    yield
    entry = uninstall_entry()
    if entry:
        run_windows(*command_words(entry["QuietUninstallString"]))
        wait_until(lambda: uninstall_entry() is None, RUN_TIMEOUT, "the uninstaller", interval=1.0)


class ShortcutGame(Game):
    """The game started as a double-click on a shortcut starts it; the process is Wine's starter,
    which waits for the game."""

    def __init__(self, name, shortcut):
        self.shortcut = shortcut
        super().__init__(name)

    def launch(self, program):
        self.driver = Driver(self.log)
        self.process = subprocess.Popen(wine("start", "/wait", "/unix", unix_path(self.shortcut)),
                                        stdout=self.log, stderr=self.log)


@pytest.mark.smoke
@pytest.mark.timeout(RUN_TIMEOUT * 6)
@pytest.mark.parametrize("build", ["windows", "windows-signed"])
def test_silent_install_into_a_chinese_folder_start_from_the_shortcut_and_silent_uninstall(build):
    if not ROUTE.runs_32_bit:
        pytest.skip(f"the setup program is a 32-bit program, and this run's Wine runs none: {ROUTE.why}")
    if build == "windows-signed" and not os.path.isdir(os.path.join(BUILD, build, "test-ca")):
        pytest.skip("no signed build: tests/signed_downloads.sh makes it")
    # A folder of the player's, which the setup puts the game's in and the uninstaller keeps.
    os.makedirs(unix_path(CHINESE_FOLDER.rsplit("\\", 1)[0]), exist_ok=True)
    before = drive_c()
    program = zips_program(build)
    check_equal(run_windows(setup_program(build), "/S", *f"/D={CHINESE_FOLDER}".split(" ")), 0, "the setup's exit code")
    check_installed(CHINESE_FOLDER, program)
    for name in ("SMorvala.exe", "uninstall.exe") if build == "windows-signed" else ():
        verify = subprocess.run(["osslsigncode", "verify", "-CAfile", os.path.join(BUILD, build, "test-ca", "ca.pem"),
                                 "-in", unix_path(CHINESE_FOLDER + "\\" + name)], capture_output=True, text=True)
        check("\nSignature verification: ok\n" in verify.stdout, f"the installed {name}'s signature: {verify.stdout}")

    with ShortcutGame("setup-shortcut", START_MENU_SHORTCUT) as game:
        check_equal(game.title(), "SMorvala", "the title of the started game")
        check_equal(game.driver.request("program")[3:], CHINESE_FOLDER + r"\SMorvala.exe", "the program started")
        if not ROUTE.emulated:
            # A running program's file cannot be replaced: the setup stops before any change.
            check_equal(run_windows(setup_program(build), "/S"), 2, "a silent setup's exit code while the game runs")
            check_installed(CHINESE_FOLDER, program)
        game.close_window("close box")
        game.wait_exit()

    if not ROUTE.emulated:
        # Over the same version, into the folder of the first setup.
        check_equal(run_windows(setup_program(build), "/S"), 0, "the exit code of a second setup")
        check_installed(CHINESE_FOLDER, program)
        check_equal(folder_files(DEFAULT_FOLDER), None, "a second installation")

    with open(unix_path(CHINESE_FOLDER + r"\存档.txt"), "w") as players_file:
        players_file.write("the player's own file\n")
    check_equal(run_windows(*command_words(uninstall_entry()["QuietUninstallString"])), 0,
                "the uninstaller's exit code")
    check_removed(CHINESE_FOLDER, before, players_file="存档.txt")
    os.remove(unix_path(CHINESE_FOLDER + r"\存档.txt"))
    os.rmdir(unix_path(CHINESE_FOLDER))


def controls(driver, title):
    """The visible controls of the window whose title starts so: (class, id, checked, enabled,
    rectangle, text) each."""
    answer = driver.request(f"controls {int(RUN_TIMEOUT * 1000)} {title}")
    check(answer != "timeout", f"no window titled {title!r}")
    found = []
    for _ in range(int(answer.split()[1])):
        kind, control_id, checked, enabled, left, top, right, bottom, *text = driver.reply().split(" ")
        text = re.sub(r"\\(.)", lambda escaped: {"r": "\r", "n": "\n"}.get(escaped[1], escaped[1]),
                      " ".join(text))
        found.append((kind, int(control_id), checked == "1", enabled == "1",
                      (int(left), int(top), int(right), int(bottom)), text))
    return found


def control(driver, title, text):
    """The enabled control that reads `text`, waited for."""
    seen = []

    def find():
        seen[:] = controls(driver, title)
        return next((c for c in seen if c[5] == text and c[3]), None)
    try:
        return wait_until(find, STEP_TIMEOUT, f"{text!r} in the window {title!r}", interval=0.2)
    except Failure as failure:
        raise Failure(f"{failure}; it shows {[(c[5], c[3]) for c in seen if c[5]]}") from None


def click(driver, title, text):
    """A real mouse click in the middle of the control that reads `text`."""
    left, top, right, bottom = control(driver, title, text)[4]
    xdotool("mousemove", (left + right) // 2, (top + bottom) // 2, "click", 1)


@pytest.mark.timeout(600)
def test_a_player_clicks_through_the_chinese_pages_runs_the_game_and_uninstalls_after_a_retry():
    if ROUTE.arch != "win32":
        pytest.skip(f"clicked through only under the 32-bit Wine, which this run does not take: {ROUTE.why}")
    before = drive_c()
    setup = subprocess.Popen(wine(setup_program()), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        with Driver(open(os.path.join(work_dir(), "setup-clicks.log"), "ab")) as driver:
            control(driver, SETUP_TITLE, "欢迎使用 SMorvala 安装程序")
            click(driver, SETUP_TITLE, "下一步(&N) >")
            control(driver, SETUP_TITLE, "安装(&I)")
            folder = [c for c in controls(driver, SETUP_TITLE) if c[0] == "Edit"]
            check_equal([c[5] for c in folder], [DEFAULT_FOLDER], "the folder page's folder")
            click(driver, SETUP_TITLE, "安装(&I)")
            run_box, desktop_box = (control(driver, SETUP_TITLE, text) for text in
                                    ("运行 SMorvala(&R)", "创建桌面快捷方式(&D)"))
            check_equal((run_box[2], desktop_box[2]), (True, False), "the finish page's boxes ticked")
            click(driver, SETUP_TITLE, "创建桌面快捷方式(&D)")
            wait_until(lambda: control(driver, SETUP_TITLE, "创建桌面快捷方式(&D)")[2], STEP_TIMEOUT,
                       "the desktop box to be ticked")
            click(driver, SETUP_TITLE, "完成(&F)")
            check_equal(setup.wait(timeout=RUN_TIMEOUT), 0, "the setup's exit code")

            with Driver(open(os.path.join(work_dir(), "setup-game.log"), "ab")) as eye:
                check_equal(eye.request(f"wait-window {int(LAUNCH_TIMEOUT * 1000)}"), "ok",
                            "the game started by the finish page")
                check_equal(eye.request("program")[3:], DEFAULT_FOLDER + r"\SMorvala.exe", "the program started")
                check_installed(DEFAULT_FOLDER, zips_program())
                check(os.path.isfile(unix_path(DESKTOP_SHORTCUT)), "no desktop shortcut")

                # The uninstaller as "Apps & features" starts it, while the game still runs.
                uninstaller = subprocess.Popen(wine(*command_words(uninstall_entry()["UninstallString"])),
                                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                click(driver, UNINSTALL_TITLE, "卸载(&U)")
                control(driver, UNINSTALL_TITLE, "SMorvala 正在运行，无法替换或删除它。\r\n请先退出游戏，然后点击“重试”。")
                game_window = subprocess.run(["xdotool", "search", "--name", "^SMorvala$"],
                                             capture_output=True, text=True).stdout.split()[-1]
                subprocess.run(["wmctrl", "-i", "-c", game_window], check=True, timeout=30)
                wait_until(lambda: eye.request("exists") == "ok 0", STEP_TIMEOUT, "the game to end")
                click(driver, UNINSTALL_TITLE, "重试(&R)")
                click(driver, UNINSTALL_TITLE, "关闭(&L)")
                uninstaller.wait(timeout=RUN_TIMEOUT)
        check_removed(DEFAULT_FOLDER, before)
        report("clicked through the setup, the game started from its finish page, uninstalled after a retry")
    finally:
        if setup.poll() is None:
            setup.kill()
