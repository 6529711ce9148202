"""The desktop that the end-to-end suite, the soak run and the start-up benchmark play on: a
private X display with a window manager, a private sound server, the Chinese locale and a Wine
prefix in the build tree, with one Wine server kept alive for the whole run.

    with desktop(work_directory):
        ...  # Wine, xdotool and the e2e library find everything through os.environ

Which program runs under which Wine is ROUTE, decided as the host's own players' would be
(linux/wine-route.sh): the shipped 32-bit program under the 32-bit Wine where the host runs
32-bit code, else the 64-bit build under the 64-bit Wine. With SMORVALA_E2E_ROUTE=other, the
run plays the other build instead: on a host without 32-bit code, the shipped program with
qemu-i386 emulating the 32-bit half of the 64-bit Wine.

Every process it starts is ended by its own id on the way out; Wine's processes in the prefix
end with its server.
"""

import contextlib
import glob
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.path.join(ROOT, "build")

# The sink whose monitor the sound checks record.
SOUND_SINK = "capture"

# The binfmt_misc handler that this suite registers to run i386 programs under qemu-i386.
BINFMT = "/proc/sys/fs/binfmt_misc"
I386_HANDLER = "smorvala-i386"
# i386 ELF executables and shared objects, as qemu registers them.
I386_MAGIC = r"\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00"
I386_MASK = r"\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff"


@dataclass
class Route:
    """A program, the driver that reads it and the Wine that runs both."""
    build: str  # the build folder of the program, e.g. "windows-x64"
    driver_build: str
    loader: str
    server: str
    arch: str
    prefix: str
    why: str
    emulated: bool = False
    # How the host runs i386 programs before the run: native, emulated or none.
    i386: str = "native"
    # Whether the route's Wine runs 32-bit programs, such as the setup program.
    runs_32_bit: bool = True

    @property
    def exe(self):
        return os.path.join(BUILD, self.build, "SMorvala.exe")

    @property
    def wine_name(self):
        return "wine32" if self.arch == "win32" else "wine64"

    def describe(self):
        how = self.wine_name + (" with qemu-i386 emulating its 32-bit half" if self.emulated else "")
        return f"playing {os.path.relpath(self.exe, ROOT)} under {how}: {self.why}"


def publisher_details(build):
    """The SMORVALA_HOMEPAGE, _EMAIL, _IM and _PUBLISHER that the build was configured with, as
    its CMake cache holds them."""
    with open(os.path.join(BUILD, build, "CMakeCache.txt"), encoding="utf-8") as cache:
        return dict(re.findall(r"^SMORVALA_(HOMEPAGE|EMAIL|IM|PUBLISHER):STRING=(.*)$", cache.read(), re.M))


def as_root(*command):
    """The command as root runs it: through sudo where the suite is not run by root."""
    return command if os.geteuid() == 0 else ("sudo", "-n", *command)


def run_as_root(*command, **options):
    return subprocess.run(as_root(*command), **options)


def remove_i386_handler():
    """Removes this suite's qemu-i386 handler, which an interrupted run may have left."""
    if os.path.exists(os.path.join(BINFMT, I386_HANDLER)):
        run_as_root("sh", "-c", f"echo -1 > {BINFMT}/{I386_HANDLER}", check=True)


def host_decision():
    """The decision of linux/wine-route.sh on this host, as a dict of its variables, and the
    loader, server and prefix kind of the 64-bit Wine."""
    names = ["SMORVALA_BITS", "SMORVALA_WHY", "SMORVALA_I386", "WINELOADER", "WINESERVER", "WINEARCH"]
    wine = "; ".join(f'echo "${name}"' for name in names[3:])
    os.makedirs(BUILD, exist_ok=True)
    script = ('. "$1/linux/wine-route.sh"; smorvala_wine_route "$2"; echo "$?"; '
              + "; ".join(f'echo "${name}"' for name in names[:3])
              + f"; {wine}; smorvala_use_wine64; {wine}")
    lines = subprocess.run(["bash", "-c", script, "wine-route", ROOT, BUILD], check=True,
                           capture_output=True, text=True).stdout.splitlines()
    decision = dict(zip(names, lines[1:7]))
    if lines[0] != "0":
        sys.exit(f"end-to-end: {decision['SMORVALA_WHY']}")
    return decision, tuple(lines[7:10])


def choose_route(which):
    """The route of this host ("host"), or the other build's ("other")."""
    remove_i386_handler()
    host, wine64 = host_decision()
    native = host["SMORVALA_BITS"] == "32"
    if which == "host":
        build = "windows" if native else "windows-x64"
        return Route(build, build, host["WINELOADER"], host["WINESERVER"], host["WINEARCH"],
                     os.path.join(BUILD, f"wine-prefix-{host['WINEARCH']}"), host["SMORVALA_WHY"],
                     runs_32_bit=native)
    if native:
        return Route("windows-x64", "windows-x64", *wine64, os.path.join(BUILD, "wine-prefix-win64"),
                     "the other build, on a host that runs 32-bit code")
    # The 64-bit Wine runs the 32-bit program with its own 32-bit half, which only an emulator
    # can run here; a prefix of its own, made with the emulator at hand, has that half set up.
    # The driver stays native.
    return Route("windows", "windows-x64", *wine64, os.path.join(BUILD, "wine-prefix-win64-emulated"),
                 "the shipped build, on a host that runs no 32-bit code", emulated=True,
                 i386=host["SMORVALA_I386"])


ROUTE = choose_route(os.environ.get("SMORVALA_E2E_ROUTE", "host"))
# The program under test, for the checks of its resources too.
os.environ["SMORVALA_EXE"] = ROUTE.exe


def wine(*arguments):
    """A command line that runs a Windows program under the route's Wine."""
    return [ROUTE.loader, *arguments]


def wait_for(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            raise RuntimeError(f"timed out after {seconds} s waiting for {what}")
        time.sleep(0.1)


def succeeds(*command):
    return subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def set_environment(work, runtime):
    os.environ.update({
        "WINEPREFIX": ROUTE.prefix,
        "WINELOADER": ROUTE.loader,
        "WINESERVER": ROUTE.server,
        "WINEARCH": ROUTE.arch,
        # No installer dialog for .NET or the HTML engine may block a run, and no menu entry or
        # desktop file for a shortcut that a program makes lands in the home folder.
        "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
        "WINEDEBUG": "-all",
        "LANG": "zh_CN.UTF-8",
        "XDG_RUNTIME_DIR": runtime,
        "SMORVALA_E2E_BUILD": work,
        "SMORVALA_EXE": ROUTE.exe,
        "SMORVALA_DRIVER": os.path.join(BUILD, ROUTE.driver_build, "smorvala-e2e-driver.exe"),
        "SMORVALA_REPLAY": os.path.join(BUILD, "host", "headless", "smorvala-replay"),
    })
    # LANG alone chooses the locale, so that Wine speaks Chinese and finds Chinese fonts.
    for variable in ("LC_ALL", "LC_CTYPE", "LC_MESSAGES", "LANGUAGE"):
        os.environ.pop(variable, None)


def openbox_config(work):
    """Openbox's own configuration, but for its Alt+F4: that key is left to the program, which
    handles it as Windows does."""
    with open("/etc/xdg/openbox/rc.xml") as original:
        config = re.sub(r'<keybind key="A-F4">.*?</keybind>', "", original.read(), flags=re.S)
    path = os.path.join(work, "openbox-rc.xml")
    with open(path, "w") as copy:
        copy.write(config)
    return path


@contextlib.contextmanager
def desktop(work):
    os.makedirs(work, exist_ok=True)
    # A run ended by `timeout` still ends what it started.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    # The sound server's socket lives here: short, since a socket's path has a limit.
    runtime = tempfile.mkdtemp(prefix="smorvala-")
    set_environment(work, runtime)
    started = []

    def start(command, log, **options):
        process = subprocess.Popen(command, stdout=log, stderr=log, stdin=subprocess.DEVNULL, **options)
        started.append(process)
        return process

    try:
        with open(os.path.join(work, "desktop.log"), "ab") as log:
            read_end, write_end = os.pipe()
            # Xvfb picks a free display itself and writes its number once it accepts clients.
            start(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
                   "-nolisten", "tcp"], log, pass_fds=(write_end,))
            os.close(write_end)
            with os.fdopen(read_end) as display:
                os.environ["DISPLAY"] = ":" + display.readline().strip()
            start(["openbox", "--config-file", openbox_config(work)], log)
            # The window manager has taken the screen once the root window names it.
            wait_for(lambda: succeeds("wmctrl", "-m"), 30, "the window manager")

            # The sound server gets no display, so that it cannot start a session bus of its own.
            quiet = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
            start(["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
                   "-L", "module-native-protocol-unix", "-L", f"module-null-sink sink_name={SOUND_SINK}"],
                  log, env=quiet)
            wait_for(lambda: succeeds("pactl", "info"), 30, "the sound server")
            # A sound card plays on a short buffer. Left alone, the null sink takes the longest
            # latency its clients allow, and the short sounds that Wine plays, each on a stream
            # of its own that it closes as soon as the data is written, are then mostly lost.
            start(["pacat", "--playback", "--raw", "--latency-msec=10", "/dev/zero"], log)

            if ROUTE.emulated and ROUTE.i386 == "none":
                register_i386_handler()
                # Left to place the 32-bit half's memory as it goes, qemu-i386 7.2 on Linux 6.18
                # takes the address of Wine's shared user data, and every program ends at once
                # with "failed to map the shared user data". The 4 GB of a 32-bit process
                # reserved up front leave it free.
                os.environ["QEMU_RESERVED_VA"] = "0xffff0000"
                # The decision sees through the emulator: the 64-bit build stays the one to play.
                seen = host_decision()[0]
                if (seen["SMORVALA_BITS"], seen["SMORVALA_I386"]) != ("64", "emulated"):
                    raise RuntimeError(f"with qemu-i386 registered, the host's route became {seen}")
            if not os.path.exists(os.path.join(os.environ["WINEPREFIX"], "system.reg")):
                subprocess.run(wine("wineboot", "-i"), stdout=log, stderr=log, check=True,
                               timeout=900 if ROUTE.emulated else 300)
            unlink_home_folders()
            start_wine_server()
        yield
    finally:
        subprocess.run([ROUTE.server, "-k"], stderr=subprocess.DEVNULL)
        for process in reversed(started):
            process.terminate()
            process.wait()
        shutil.rmtree(runtime, ignore_errors=True)
        if ROUTE.emulated and ROUTE.i386 == "none":
            remove_i386_handler()


def unlink_home_folders():
    """Makes the prefix's Desktop, Documents and other such folders, which Wine links to the home
    folder of whoever made it, folders of the prefix's own: what a test writes there, such as a
    desktop shortcut, stays in the prefix."""
    for link in glob.glob(os.path.join(os.environ["WINEPREFIX"], "drive_c", "users", "*", "*")):
        if os.path.islink(link):
            os.remove(link)
            os.mkdir(link)


def register_i386_handler():
    """Has qemu-i386 run every i386 program until remove_i386_handler(), as binfmt_misc of
    the kernel allows: the 32-bit half of Wine then runs on a host that runs no 32-bit code."""
    if not os.path.exists(os.path.join(BINFMT, "register")):
        run_as_root("mount", "-t", "binfmt_misc", "binfmt_misc", BINFMT, check=True)
    # F: the emulator is opened now, so that it is found from any folder and namespace.
    line = f":{I386_HANDLER}:M::{I386_MAGIC}:{I386_MASK}:{shutil.which('qemu-i386')}:F"
    run_as_root("sh", "-c", f"printf '%s' '{line}' > {BINFMT}/register", check=True)


def start_wine_server():
    """One server for the whole run, so that each launch of the game is quick. The one that ran
    before is waited for first: a second cannot start beside it."""
    subprocess.run([ROUTE.server, "-w"], check=True)
    subprocess.run([ROUTE.server, "-p"], check=True)
    if ROUTE.emulated:
        # The prefix's services, started by the native Wine: an emulated program that had to
        # start them itself would wait minutes for its window.
        subprocess.run(wine("wineboot"), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=True, timeout=300)


def copy_or_link(source, copy):
    """Links a file of a Wine prefix's system folders, hundreds of megabytes of DLLs that Wine
    writes only when it updates the prefix, and copies any other: Wine rewrites its registry
    and its .ini files in place."""
    if re.search(r"/drive_c/windows/(system32|syswow64)/", source):
        os.link(source, copy)
    else:
        shutil.copy2(source, copy)


def prefix_at_dpi(dpi):
    """The route's Wine prefix, or at a screen resolution other than Wine's 96 DPI a copy of it
    made once with that resolution: Wine reads it only as the prefix's programs start."""
    if dpi == 96:
        return ROUTE.prefix
    prefix = f"{ROUTE.prefix}-dpi{dpi}"
    if not os.path.exists(os.path.join(prefix, "system.reg")):
        making = prefix + ".new"
        shutil.rmtree(making, ignore_errors=True)
        shutil.copytree(ROUTE.prefix, making, symlinks=True, copy_function=copy_or_link)
        there = dict(os.environ, WINEPREFIX=making)
        subprocess.run(wine("reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t",
                            "REG_DWORD", "/d", str(dpi), "/f"), env=there, check=True, timeout=120,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # The registry is on disk once that prefix's server has ended.
        subprocess.run([ROUTE.server, "-w"], env=there, check=True)
        os.rename(making, prefix)
    return prefix


def restart_wine():
    """Ends whatever runs in the prefix and starts a fresh server: the next test starts clean."""
    subprocess.run([ROUTE.server, "-k"], stderr=subprocess.DEVNULL)
    start_wine_server()
