"""The desktop that the end-to-end suite, the soak run and the start-up benchmark play on: a
private X display with a window manager, a private sound server, the Chinese locale and the
Wine prefix in the build tree, with one Wine server kept alive for the whole run.

    with desktop(work_directory):
        ...  # wine, xdotool and the e2e library find everything through os.environ

Every process it starts is ended by its own id on the way out; Wine's processes in the prefix
end with its server.
"""

import contextlib
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.path.join(ROOT, "build")

# The sink whose monitor the sound checks record.
SOUND_SINK = "capture"


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
        "WINEPREFIX": os.path.join(BUILD, "wine-prefix"),
        # No installer dialog for .NET or the HTML engine may block a run.
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
        "WINEDEBUG": "-all",
        "LANG": "zh_CN.UTF-8",
        "XDG_RUNTIME_DIR": runtime,
        "SMORVALA_E2E_BUILD": work,
        "SMORVALA_EXE": os.path.join(BUILD, "windows", "SMorvala.exe"),
        "SMORVALA_DRIVER": os.path.join(BUILD, "windows", "smorvala-e2e-driver.exe"),
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

            if not os.path.exists(os.path.join(os.environ["WINEPREFIX"], "system.reg")):
                subprocess.run(["wineboot", "-i"], stdout=log, stderr=log, check=True, timeout=300)
            start_wine_server()
        yield
    finally:
        subprocess.run(["wineserver", "-k"], stderr=subprocess.DEVNULL)
        for process in reversed(started):
            process.terminate()
            process.wait()
        shutil.rmtree(runtime, ignore_errors=True)


def start_wine_server():
    """One server for the whole run, so that each launch of the game is quick. The one that ran
    before is waited for first: a second cannot start beside it."""
    subprocess.run(["wineserver", "-w"], check=True)
    subprocess.run(["wineserver", "-p"], check=True)


def restart_wine():
    """Ends whatever runs in the prefix and starts a fresh server: the next test starts clean."""
    subprocess.run(["wineserver", "-k"], stderr=subprocess.DEVNULL)
    start_wine_server()
