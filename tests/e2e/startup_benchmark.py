"""Start-up to first paint under Wine, for SMorvala.exe and for the bare window program built
the same way: one Markdown table row for tools/benchmark (see tests/e2e/run-benchmark).

The driver starts each program itself and times it on Wine's performance counter, from the
start of the process until its window's first paint shows: for the game the white dotted frame,
for the bare program the window colour in its client area. It then ends the program it started.
"""

import os
import statistics
import subprocess
import sys

from desktop import BUILD, ROUTE, desktop
from smorvala_e2e import Driver, Failure, check

RUNS = 20
TIMEOUT_MS = 30000
# Program, window class, a client pixel and the colour its first paint gives it.
PROGRAMS = {
    "game": ("SMorvala.exe", "MainWClass", 10, 14, "ffffff"),
    "bare": ("smorvala-bare-window.exe", "BareWindow", 200, 200, "window"),
}


def windows_path(path):
    """The path as a Windows program under Wine sees it: the Unix root is drive Z:."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def first_paint(driver, name):
    program, window_class, x, y, colour = PROGRAMS[name]
    path = windows_path(os.path.join(os.path.dirname(os.environ["SMORVALA_EXE"]), program))
    answer = driver.request(f"launch-time {window_class} {TIMEOUT_MS} {x} {y} {colour} {path}")
    check(answer.startswith("ok "), f"{program} did not paint within {TIMEOUT_MS} ms: {answer}")
    return float(answer.split()[2])


def measure():
    """The start-up times of both programs, each launched RUNS times, side by side."""
    driver = Driver(subprocess.DEVNULL)
    try:
        # One launch each first, so that both find Wine's libraries already in memory.
        first_paint(driver, "game")
        first_paint(driver, "bare")
        times = {"game": [], "bare": []}
        for _ in range(RUNS):
            for name in times:
                times[name].append(first_paint(driver, name))
        return times
    finally:
        driver.close()


def main():
    print(ROUTE.describe(), file=sys.stderr)
    try:
        with desktop(os.path.join(BUILD, "benchmark")):
            times = measure()
    except Failure as failure:
        print(f"run-benchmark startup: {failure}", file=sys.stderr)
        sys.exit(1)
    game = statistics.median(times["game"])
    bare = statistics.median(times["bare"])
    build = "32-bit" if ROUTE.build == "windows" else "64-bit"
    print(f"| start-up to first paint, {build} build under {ROUTE.wine_name} (median of {RUNS}, ms) | {game:.0f} | "
          f"{bare:.0f} (bare window) | {game / bare:.2f} |")


if __name__ == "__main__":
    main()
