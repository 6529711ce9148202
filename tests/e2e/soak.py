"""The soak run: SMorvala.exe under Wine played with random keys for a given number of minutes,
each ended game restarted. Run by tools/soak, not by the suite.

It fails if the program ends or stops answering, if its memory or its GDI or USER object count
grows after the warm-up, or if the window ever shows what the rules cannot: a board cell in no
colour of the palette, white cells that are not whole flashed rows, a broken frame.

    python3 tests/e2e/soak.py MINUTES      (it makes the desktop of desktop.py for itself)
"""

import os
import random
import sys
import time

from desktop import BUILD, ROUTE, desktop
from smorvala_e2e import (COLUMNS, IDC_START, IDOK, IDYES, WHITE_INDEX, X_KEYS, Failure, Game,
                          check, check_equal, check_frames_and_preview, work_dir)

KEYS = list(X_KEYS.values())  # the arrows and A, D, S, W
# Down less often than the others, so that games last and rows get cleared now and then.
KEY_WEIGHTS = [3, 3, 3, 1, 3, 3, 1, 3]
SAMPLE_SECONDS = 10
PICTURE_SECONDS = 1.0
# Growth allowed after the warm-up: Wine's heaps settle in steps of pages, objects not at all.
MEMORY_BOUND = 2 * 1024 * 1024
GDI_BOUND = 4
USER_BOUND = 0


def check_picture(image):
    board = image.board()
    for r, row in enumerate(board):
        check("?" not in row, f"row {r} shows a colour off the palette: {row}")
        whites = row.count(str(WHITE_INDEX))
        check(whites in (0, COLUMNS), f"row {r} is partly white: {row}")
    check_frames_and_preview(image)


def vm_rss(pid):
    """The resident memory of the Wine process in bytes, from Linux's own count."""
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) * 1024
    raise Failure("no VmRSS for the game's process")


def resources(game):
    words = game.driver.request("resources").split()
    working_set, pagefile = int(words[1]), int(words[2])
    check(words[3] != "unknown", "the GDI object count cannot be read on this system")
    return {"working set": working_set, "pagefile": pagefile, "VmRSS": vm_rss(game.process.pid),
            "GDI objects": int(words[3]), "USER objects" if words[5] == "system" else
            "windows": int(words[4])}


def restart_after_the_end(game):
    caption, text, buttons = game.box()
    check(text in ("游戏结束", "游戏结束!") and buttons == {IDOK: "确定"}, f"an unexpected box {text!r}")
    game.answer(IDOK)
    game.ask(IDC_START, "重新开始游戏吗？", IDYES)


def soak(minutes):
    rng = random.Random()
    samples = []
    counts = {"keys": 0, "games": 1, "pictures": 0}
    deadline = time.monotonic() + minutes * 60
    warm_up = min(60.0, minutes * 60 / 5)
    with Game("soak") as game:
        game.start()
        began = time.monotonic()
        next_sample = began
        next_picture = began
        while time.monotonic() < deadline:
            check(game.running(), "the program ended")
            if game.dialog_count():
                restart_after_the_end(game)
                counts["games"] += 1
                # Wine makes the fonts, icons and brushes of the message boxes once per process,
                # in steps over the first two ends of a game (seen: 115, 148, then 154 GDI
                # objects for good): the warm-up lasts until the third game has begun.
                if counts["games"] == 3:
                    warm_up = max(warm_up, time.monotonic() - began + 1)
                continue
            keys = rng.choices(KEYS, KEY_WEIGHTS, k=rng.randint(1, 4))
            game.press(*keys, delay=0)
            counts["keys"] += len(keys)
            time.sleep(rng.uniform(0.02, 0.15))
            now = time.monotonic()
            if now >= next_picture:
                next_picture = now + PICTURE_SECONDS
                image = game.capture()
                # A box over the board hides it; such a picture says nothing.
                if not game.dialog_count():
                    check_picture(image)
                    counts["pictures"] += 1
            if now >= next_sample:
                next_sample = now + SAMPLE_SECONDS
                check_equal(game.driver.request("responsive 5000"), "ok 1", "an answer to a message")
                sample = resources(game)
                # An open box brings windows and GDI objects of its own; such a sample is left out.
                if not game.dialog_count():
                    samples.append((now - began, sample))
        if game.dialog_count():
            restart_after_the_end(game)
        samples.append((time.monotonic() - began, resources(game)))
    return samples, counts, warm_up


def main():
    minutes = float(sys.argv[1]) if len(sys.argv) > 1 else 10.0
    print(ROUTE.describe(), flush=True)
    try:
        with desktop(os.path.join(BUILD, "soak")):
            samples, counts, warm_up = soak(minutes)
    except Failure as failure:
        print(f"FAIL: soak: {failure}", flush=True)
        sys.exit(1)
    with open(os.path.join(work_dir(), "soak-samples.csv"), "w") as out:
        names = list(samples[0][1])
        out.write("seconds," + ",".join(names) + "\n")
        for at, sample in samples:
            out.write(f"{at:.0f}," + ",".join(str(sample[n]) for n in names) + "\n")
    print(f"soak: {minutes:g} min, {counts['keys']} keys, {counts['games']} games, "
          f"{counts['pictures']} pictures checked, {len(samples)} samples")
    settled = [sample for at, sample in samples if at >= warm_up]
    if len(settled) < 2:
        print(f"FAIL: soak: {len(settled)} sample(s) after the warm-up of {warm_up:.0f} s", flush=True)
        sys.exit(1)
    half = len(settled) // 2
    failures = []
    for name in samples[0][1]:
        values = [sample[name] for sample in settled]
        print(f"  {name}: start {samples[0][1][name]}, after warm-up {values[0]}, last {values[-1]}, "
              f"max {max(values)}")
        bound = {"GDI objects": GDI_BOUND, "windows": USER_BOUND,
                 "USER objects": USER_BOUND}.get(name)
        if bound is not None and max(values) - values[0] > bound:
            failures.append(f"{name} grew from {values[0]} to {max(values)} after the warm-up")
        # While a sound plays, Wine holds about 3 MB of buffers for its stream: the memory's
        # floor, not its peak, shows a leak.
        if bound is None and min(values[half:]) - min(values[:half]) > MEMORY_BOUND:
            failures.append(f"{name}'s floor grew from {min(values[:half])} to {min(values[half:])}")
    if failures:
        print("FAIL: soak: " + "; ".join(failures), flush=True)
        sys.exit(1)
    print("PASS: soak", flush=True)


if __name__ == "__main__":
    main()
