"""Plays SMorvala.exe under Wine as a person would, and checks what the window shows.

Used by the tests in tests/e2e/test_*.py, which pytest runs on the desktop of desktop.py (an X
display with a window manager, a sound server, the Wine prefix, the paths below).

- The hands are a player's: xdotool presses real keys and clicks the mouse where a button is on
  the screen, and the window manager closes windows.
- The eyes are the driver (smorvala-e2e-driver.exe, run beside the game in the same Wine
  session): it reads control texts, the focus, the message boxes and the window's pixels.
- The ears are parec, recording what the sound server plays.
- The oracle is the headless build's smorvala-replay, which replays the same events on the
  recording platform; the fills and frames of its trace, laid on a canvas, are what the real
  window is compared with.

The shapes are random, seeded from the clock when the window is created; the suite learns the
seed by replaying the candidate seconds around the launch until the headless first pieces match
the ones on screen.
"""

import array
import os
import subprocess
import threading
import time
import wave

import PIL.Image

from desktop import ROOT, ROUTE, SOUND_SINK, restart_wine, wine

# Identifiers of the main window's controls and of the message-box buttons.
IDC_PAUSE, IDC_EXIT, IDC_START, IDC_LEVEL, IDC_SCORE = 1, 2, 3, 4, 5
IDOK, IDYES, IDNO = 1, 6, 7
# The buttons of a question box, with the texts the system gives them in Chinese.
QUESTION_BUTTONS = {IDYES: "是(Y)", IDNO: "否(N)"}
# The keys that answer a message box: the buttons' mnemonics, and Enter for the default button.
ANSWER_KEYS = {IDYES: "y", IDNO: "n", IDOK: "Return"}
IDM_ABOUT, IDM_HOMEPAGE = 40001, 65535

# Virtual-key codes as the replay scripts name them, and the X key names that produce them.
VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN = 37, 38, 39, 40
VK_A, VK_D, VK_S, VK_W = 65, 68, 83, 87
X_KEYS = {VK_LEFT: "Left", VK_UP: "Up", VK_RIGHT: "Right", VK_DOWN: "Down",
          VK_A: "a", VK_D: "d", VK_S: "s", VK_W: "w"}
ARROW_KEYS = {"left": "Left", "right": "Right", "turn": "Up", "down": "Down"}
LETTER_KEYS = {"left": "a", "right": "d", "turn": "w", "down": "s"}
REPLAY_KEYS = {"left": VK_LEFT, "right": VK_RIGHT, "turn": VK_UP, "down": VK_DOWN}

COLUMNS, ROWS = 10, 23
BLACK, WHITE = 0x000000, 0xFFFFFF
GREEN, YELLOW = 0x00FF00, 0xFFFF00
# The window class's background, outside every frame.
BACKGROUND = 0x1B413D
# Colour index -> 0xRRGGBB as the window paints it; shape s is drawn in index s + 1.
PALETTE = [0x000000, 0x00FFFF, 0x49D549, 0xDD250D, 0xD8E800, 0xE56A32, 0x4000CF, 0xA600CF,
           0xFFFFFF]
WHITE_INDEX = PALETTE.index(WHITE)  # a flashed row's cells

# The part of the client area the game paints; the child controls paint themselves and are
# left out of every comparison with the headless surface.
PAINTED_WIDTH, PAINTED_HEIGHT = 394, 540
SURFACE_WIDTH, SURFACE_HEIGHT = 400, 540
# The driver's tracker reads columns 0 to 15: the board and the preview piece's columns.
TRACK_COLUMNS = 16
CONTROL_RECTS = {IDC_LEVEL: (280, 220, 360, 240), IDC_SCORE: (280, 250, 360, 270),
                 IDC_START: (285, 390, 365, 418), IDC_PAUSE: (285, 425, 365, 453),
                 IDC_EXIT: (285, 460, 365, 488)}

# The fall timer's period at level 0, and the system timer's granularity: a fall step comes
# within a quantum of its time.
PERIOD_MS = 600
QUANTUM_MS = 16
# Room for what lies between an event and the reading of the window that shows its effect: a
# repaint, and the driver's next poll.
EVENT_SLACK_MS = 40

# Generous bounds: Wine and Xvfb share two cores with everything else. An emulated program
# takes about a minute to start, and its first steps along each new path of its code are slow.
LAUNCH_TIMEOUT = 300.0 if ROUTE.emulated else 30.0
STEP_TIMEOUT = 30.0 if ROUTE.emulated else 5.0



def work_dir():
    """Where the logs and the pictures of failures go: the desktop's work directory."""
    return os.environ["SMORVALA_E2E_BUILD"]


GOLDEN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "golden")


def golden(name, seen=None):
    """The picture `name` of tests/e2e/golden, as the program showed it on the desktop it was
    made for. With SMORVALA_E2E_RECORD=1, the picture `seen` there is first recorded as it."""
    path = os.path.join(GOLDEN, f"{name}.png")
    if seen is not None and os.environ.get("SMORVALA_E2E_RECORD") == "1":
        seen.save_png(path)
    return Image.open_png(path)


def settled(read, reference, rectangles, timeout=STEP_TIMEOUT):
    """The picture that `read()` gives once the rectangles show what they show in `reference`
    (a window and its controls paint apart); after `timeout`, whatever it shows then."""
    deadline = time.monotonic() + timeout
    while True:
        image = read()
        if all(image.region(*r) == reference.region(*r) for r in rectangles) or time.monotonic() > deadline:
            return image
        time.sleep(0.05)


def failure_path(file_name):
    """Where a file that shows a failure is kept: the failures folder of the work directory."""
    failures = os.path.join(work_dir(), "failures")
    os.makedirs(failures, exist_ok=True)
    return os.path.join(failures, file_name)


def check_same_pixels(seen, expected, rectangle, what, name):
    """The rectangle (left, top, right, bottom) shows the same pixels in both pictures; if not,
    both are kept among the failures as NAME-seen.png and NAME-expected.png."""
    if seen.region(*rectangle) == expected.region(*rectangle):
        return
    seen.save_png(failure_path(f"{name}-seen.png"))
    expected.save_png(failure_path(f"{name}-expected.png"))
    raise Failure(f"{what}: the pixels of {rectangle} differ (pictures in {failure_path('')})")


def frame_pixels(image, left, top, right, bottom, skip_bottom=()):
    """The colours along a rectangle's outline (right and bottom exclusive), as a set; the
    columns in `skip_bottom` are left out of its bottom edge."""
    outline = [(x, top) for x in range(left, right)]
    outline += [(x, bottom - 1) for x in range(left, right) if x not in skip_bottom]
    outline += [(left, y) for y in range(top, bottom)] + [(right - 1, y) for y in range(top, bottom)]
    return {image.at(x, y) for x, y in outline}


def check_frames_and_preview(image):
    """The three frames whole, and inside the preview box one piece of one shape colour."""
    check_equal(frame_pixels(image, 10, 14, 237, 527), {WHITE}, "the dotted outer frame")
    check_equal(frame_pixels(image, 12, 16, 235, 525), {GREEN}, "the board frame")
    # The preview, in rotation 1 or 3, may hang over the preview box's bottom edge.
    check_equal(frame_pixels(image, 260, 110, 380, 185, range(278, 366)), {YELLOW}, "the preview box")
    preview = {image.at(x, y) for x in range(261, 379) for y in range(111, 184)} - {0}
    check(len(preview) == 1 and preview.pop() in PALETTE[1:8], "the preview piece's colours")


def pause(game):
    """Clicks Pause and waits for the button to offer Continue."""
    game.click(IDC_PAUSE)
    game.wait_text(IDC_PAUSE, "继续")


class Failure(Exception):
    """A check that did not hold; the message says what was expected and what was seen."""


def check(condition, message):
    if not condition:
        raise Failure(message)


def check_equal(seen, expected, what):
    if seen != expected:
        raise Failure(f"{what}: expected {expected!r}, saw {seen!r}")


def report(text):
    """A measured figure, printed beside the test's result."""
    print(f"  {text}", flush=True)


def wait_until(condition, timeout, what, interval=0.02):
    """Polls `condition` until it returns a true value, which is returned; fails after `timeout`."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise Failure(f"timed out after {timeout:.1f} s waiting for {what}")
        time.sleep(interval)


def stays(condition, duration, what, interval=0.05):
    """Fails as soon as `condition` stops holding within `duration` seconds."""
    deadline = time.monotonic() + duration
    while time.monotonic() < deadline:
        if not condition():
            raise Failure(f"{what} stopped holding within {duration:.1f} s")
        time.sleep(interval)


def cell_centre(column, row):
    return 22 * column + 24, 22 * row + 27


class Image:
    """Rows of 0xRRGGBB pixels, top-down."""

    def __init__(self, width, height, rgb):
        self.width, self.height = width, height
        self.rgb = rgb

    def at(self, x, y):
        i = 3 * (y * self.width + x)
        return (self.rgb[i] << 16) | (self.rgb[i + 1] << 8) | self.rgb[i + 2]

    def cell(self, column, row):
        """The colour index a cell shows, judged by its centre; None for any other colour."""
        colour = self.at(*cell_centre(column, row))
        return PALETTE.index(colour) if colour in PALETTE else None

    def board(self):
        """The board as ROWS strings of COLUMNS characters: the colour index, '?' if unknown."""
        return ["".join("?" if self.cell(c, r) is None else str(self.cell(c, r))
                        for c in range(COLUMNS)) for r in range(ROWS)]

    def cells_of(self, colour_index, columns=range(COLUMNS), rows=range(ROWS)):
        return {(c, r) for c in columns for r in rows if self.cell(c, r) == colour_index}

    def region(self, left, top, right, bottom):
        """The pixels of a rectangle (right and bottom exclusive), row by row, to compare."""
        return b"".join(self.rgb[3 * (y * self.width + left):3 * (y * self.width + right)]
                        for y in range(top, bottom))

    def save_png(self, path):
        PIL.Image.frombytes("RGB", (self.width, self.height), bytes(self.rgb)).save(path)

    @classmethod
    def open_png(cls, path):
        with PIL.Image.open(path) as picture:
            return cls(picture.width, picture.height, picture.convert("RGB").tobytes())


class Cells:
    """The centre colours of the cells of columns 0 to TRACK_COLUMNS - 1 of rows 0 to 22, as the
    driver's tracker read them: the board and, from column 11, the preview."""

    def __init__(self, hex_colours):
        self.colours = [int(hex_colours[i:i + 6], 16) for i in range(0, len(hex_colours), 6)]
        check(len(self.colours) == TRACK_COLUMNS * ROWS, "driver: wrong number of tracked cells")

    def cell(self, column, row):
        colour = self.colours[row * TRACK_COLUMNS + column]
        return PALETTE.index(colour) if colour in PALETTE else None

    def board(self):
        """As Image.board(): ROWS strings of the colour index of each board cell, '?' if none."""
        return ["".join("?" if self.cell(c, r) is None else str(self.cell(c, r))
                        for c in range(COLUMNS)) for r in range(ROWS)]


class Tracked:
    """What the driver's tracker saw: the picture at the start, then every change with the time
    it was read (milliseconds from the start, on Wine's performance counter), when the box open
    at the start closed (None if it did not) and the texts of the control it followed, with
    the time each was first read. A change happened after the read before it, at the time
    kept in `before` beside it."""

    def __init__(self, lines, polls, watched, started):
        self.changes, self.before, self.box_closed, self.texts = [], [], None, []
        self.watched = watched
        self.started = started  # on the driver's clock
        for line in lines:
            words = line.split()
            if words[0] == "change":
                self.changes.append((float(words[1]), Cells(words[3])))
                self.before.append(float(words[2]))
            elif words[0] == "box-closed":
                self.box_closed = float(words[1])
            elif words[0] == "text":
                self.texts.append((float(words[1]), line.split(" ", 2)[2] if len(words) > 2 else ""))
        self.polls = polls
        check(self.changes, "driver: the tracker read nothing")

    def steps(self, settle=50.0):
        """The changes of the picture after the first, those less than `settle` ms after the one
        before merged into it (one step drawn in more than one flush): (time of the first, last
        picture). A picture with a board cell off the palette is not the game's: under Wine,
        just after a box closes, the window shows the box's pixels until its repaint."""
        pictures = [(at, cells) for at, cells in self.changes if "?" not in "".join(cells.board())]
        merged = []  # [time of the first, picture, time of the last]
        for (_, before), (at, cells) in zip(pictures, pictures[1:]):
            if cells.colours == before.colours:
                continue
            if merged and at - merged[-1][2] < settle:
                merged[-1][1:] = [cells, at]
            else:
                merged.append([at, cells, at])
        return [(at, cells) for at, cells, _ in merged]

    def poll_period(self):
        """The mean time between two reads of the window, the resolution of every time here."""
        return self.watched / max(self.polls, 1)


def _painted_spans(y, width):
    """The x ranges of row y that the game paints, the controls' rectangles cut out, in a
    client area `width` pixels wide."""
    cuts = sorted((l, r) for l, t, r, b in CONTROL_RECTS.values() if t <= y < b)
    spans, x = [], 0
    for left, right in cuts:
        spans.append((x, left))
        x = right
    spans.append((x, min(PAINTED_WIDTH, width)))
    return spans


def differences(real, headless, limit=5, rows=PAINTED_HEIGHT):
    """The first pixels where the window differs from the headless surface, controls left out,
    in the top `rows` rows of the client area."""
    found = []
    for y in range(min(rows, real.height, headless.height)):
        for left, right in _painted_spans(y, real.width):
            a = 3 * (y * real.width + left)
            b = 3 * (y * headless.width + left)
            n = 3 * (right - left)
            if real.rgb[a:a + n] == headless.rgb[b:b + n]:
                continue
            for x in range(left, right):
                if real.at(x, y) != headless.at(x, y):
                    found.append((x, y, real.at(x, y), headless.at(x, y)))
                    if len(found) >= limit:
                        return found
    return found


# ---------------------------------------------------------------------------------------------
# The headless oracle

def replay_script(seed, events):
    """The program's start with the given clock, the first Start and its repaint, then events."""
    return "".join(f"{line}\n" for line in [f"seed {seed}", "start", "paint", *events])


def run_headless(tool_variable, script):
    result = subprocess.run([os.environ[tool_variable]], input=script.encode(),
                            capture_output=True, timeout=30)
    if result.returncode != 0:
        raise Failure(f"headless replay failed: {result.stderr.decode(errors='replace')}")
    return result.stdout


def rasterise(trace):
    """The picture the replay's drawing operations leave, on a window-sized canvas.

    The trace lists every fill and frame the game drew; a repaint asked for with erasing first
    clears the canvas to the window's background, as the window class's brush does."""
    width, height = SURFACE_WIDTH, SURFACE_HEIGHT
    canvas = bytearray(bytes.fromhex(f"{BACKGROUND:06x}") * (width * height))

    def fill(left, top, right, bottom, colour):
        left, right = max(left, 0), min(right, width)
        if left >= right:
            return
        run = bytes.fromhex(f"{colour:06x}") * (right - left)
        for y in range(max(top, 0), min(bottom, height)):
            canvas[3 * (y * width + left):3 * (y * width + right)] = run

    erase_pending = False
    for line in trace.decode().splitlines():
        words = line.split()
        if words[:2] == [">", "paint"] and erase_pending:
            fill(0, 0, width, height, BACKGROUND)
            erase_pending = False
        elif words[:1] == ["invalidate"]:
            erase_pending = erase_pending or words[1] == "erase"
        elif words[:1] == ["fill"]:
            left, top, right, bottom = (int(w) for w in words[1:5])
            fill(left, top, right, bottom, int(words[5], 16))
        elif words[:1] == ["rect"]:
            left, top, right, bottom = (int(w) for w in words[1:5])
            style, pen, brush = words[5], int(words[6], 16), int(words[7], 16)
            # A dotted pen's gaps take the default opaque white background, so only a white
            # dotted frame has a colour that does not depend on where the dots fall.
            check(style == "solid" or pen == WHITE, f"a dotted frame in {pen:06x}")
            fill(left, top, right, bottom, pen)
            fill(left + 1, top + 1, right - 1, bottom - 1, brush)
    return Image(width, height, bytes(canvas))


def headless_surface(seed, events):
    return rasterise(run_headless("SMORVALA_REPLAY", replay_script(seed, events)))


def headless_surface_before_start():
    """The first paint of the window, before any Start."""
    return rasterise(run_headless("SMORVALA_REPLAY", "seed 0\npaint\n"))


def parse_states(trace):
    """Every 'state' block of a replay trace, as dicts with score, cur, next and grid."""
    states = []
    for line in trace.decode().splitlines():
        words = line.split()
        if not words:
            continue
        if words[0] == "score":
            states.append({"score": int(words[1]), "interval": int(words[3]),
                           "running": int(words[5]), "grid": []})
        elif words[0] == "cur" and states:
            states[-1]["cur"] = tuple(int(w) for w in words[1:])
        elif words[0] == "next" and states:
            states[-1]["next"] = tuple(int(w) for w in words[1:])
        elif words[0] == "grid" and states:
            states[-1]["grid"].append(words[1])
    return states


def headless_states(seed, events):
    return parse_states(run_headless("SMORVALA_REPLAY", replay_script(seed, events)))


# ---------------------------------------------------------------------------------------------
# The ears

# Samples at most this loud count as silence: the quiet ends of a fading sound are not heard.
SILENCE = 16
# How far a sound heard may be from the length of its resource, in seconds: the recording is
# resampled and mixed down to one channel.
SOUND_TOLERANCE = 0.03


def resource_sound_length(name):
    """Seconds from the first to the last audible frame of one of the program's sounds, read
    from the file that is built into it."""
    with wave.open(os.path.join(ROOT, "res", name)) as sound:
        samples = array.array("h", sound.readframes(sound.getnframes()))
        loud = [i // sound.getnchannels() for i, value in enumerate(samples) if abs(value) > SILENCE]
        return (loud[-1] - loud[0] + 1) / sound.getframerate()


def check_sounds(heard, resource, count, what):
    """`heard` holds `count` sounds, each about as long as the resource."""
    expected = resource_sound_length(resource)
    report(f"{what}: heard {len(heard)} sound(s) " + ", ".join(f"{x:.3f} s" for x in heard)
           + f" ({resource}: {expected:.3f} s)")
    check(len(heard) == count and all(abs(length - expected) <= SOUND_TOLERANCE for length in heard),
          f"{what}: expected {count} sound(s) of {expected:.3f} s, heard {[round(x, 3) for x in heard]}")


class Sounds:
    """What the sound server plays while the `with` block runs, recorded from the monitor of
    its sink. `lengths()` ends the recording and gives the length of each sound heard."""

    RATE = 44100
    GAP = 0.05  # seconds of silence that part two sounds

    def __enter__(self):
        self.process = subprocess.Popen(
            ["parec", "-d", f"{SOUND_SINK}.monitor", "--raw", "--format=s16le", "--channels=1",
             f"--rate={self.RATE}", "--latency-msec=10"], stdout=subprocess.PIPE)
        self.recorded = bytearray()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        wait_until(lambda: self.recorded, STEP_TIMEOUT, "the recording to begin")
        self.began = time.monotonic()
        return self

    def __exit__(self, *exc):
        self._stop()

    def _read(self):
        while chunk := self.process.stdout.read1(65536):
            self.recorded += chunk

    def _stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait()
        self.reader.join()

    def lengths(self, tail=0.6):
        """Waits until the recording covers `tail` seconds more, ends it and returns the
        lengths in seconds of the sounds in it, in order."""
        wanted = time.monotonic() - self.began + tail
        wait_until(lambda: len(self.recorded) >= 2 * self.RATE * wanted, wanted + STEP_TIMEOUT,
                   f"{wanted:.1f} s of recording")
        self._stop()
        samples = array.array("h", bytes(self.recorded[:len(self.recorded) // 2 * 2]))
        sounds = []  # [first, last] loud sample of each
        for i, value in enumerate(samples):
            if abs(value) <= SILENCE:
                continue
            if sounds and i - sounds[-1][1] <= self.GAP * self.RATE:
                sounds[-1][1] = i
            else:
                sounds.append([i, i])
        return [(last - first + 1) / self.RATE for first, last in sounds]


# ---------------------------------------------------------------------------------------------
# The hands

def xdotool(*words):
    subprocess.run(["xdotool", *map(str, words)], check=True, timeout=30)


def active_window():
    return subprocess.run(["xdotool", "getactivewindow"], capture_output=True, text=True).stdout.strip()


# ---------------------------------------------------------------------------------------------
# The driver and the game

class Driver:
    """smorvala-e2e-driver.exe under Wine: one command per line, one reply per command. The
    command prefix `player` runs it as another user, in that user's Wine session."""

    def __init__(self, log, player=()):
        self.process = subprocess.Popen([*player, *wine(os.environ["SMORVALA_DRIVER"])],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=log)

    def send(self, command):
        self.process.stdin.write(command.encode() + b"\n")
        self.process.stdin.flush()

    def reply(self):
        line = self.process.stdout.readline()
        if not line:
            raise Failure("the driver ended unexpectedly")
        return line.decode().rstrip("\n")

    def request(self, command):
        self.send(command)
        answer = self.reply()
        if answer.startswith("error"):
            raise Failure(f"driver: {command}: {answer}")
        return answer

    def pixels(self, x, y, width, height, command="pixels"):
        """The pixels of the main window's client area, or with "dialog-pixels" the dialog's."""
        answer = self.request(f"{command} {x} {y} {width} {height}")
        check(answer == f"ok {width} {height}", f"driver: unexpected reply {answer!r}")
        data = self.process.stdout.read(width * height * 3)
        check(len(data) == width * height * 3, "driver: short pixel data")
        return Image(width, height, data)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def lines(self, command):
        """The reply "ok N" to a command, and the N lines that follow it."""
        count = int(self.request(command).split()[1])
        return [self.reply() for _ in range(count)]

    def watch(self, mode, colour, points, timeout=STEP_TIMEOUT):
        """Starts waiting, and returns at once, until every client pixel of `points` shows the
        colour (mode "is") or none does ("not"); the reply, "ok" or "timeout", follows."""
        where = " ".join(f"{x} {y}" for x, y in points)
        self.send(f"watch {int(timeout * 1000)} {mode} {colour:06x} {where}")

    def track(self, milliseconds, max_changes, control_id=None):
        """Starts watching the board, the preview, the box open at the start and the text of
        the control `control_id` from inside Wine, and returns once the first picture is read;
        `tracked()` waits for what was seen."""
        self.send(f"track {milliseconds} {max_changes}" + (f" {control_id}" if control_id else ""))
        check_equal(self.reply(), "started", "driver: track")

    def tracked(self):
        """What the track command saw: see Tracked."""
        answer = self.reply()
        check(answer.startswith("ok "), f"driver: track: {answer!r}")
        lines, polls, watched, started = answer.split()[1:]
        return Tracked([self.reply() for _ in range(int(lines))], int(polls), float(watched),
                       float(started))

    def clock_offset(self, tries=5):
        """The driver's clock minus time.monotonic(), both in ms, and how far off it may be:
        from the quickest of a few requests, their midpoint against the time they read."""
        best = None
        for _ in range(tries):
            before = time.monotonic()
            read = float(self.request("clock").split()[1])
            after = time.monotonic()
            if best is None or after - before < best[1]:
                best = (read - 500 * (before + after), 500 * (after - before))
        return best

    def close(self):
        try:
            self.send("quit")
            self.process.stdin.close()
            self.process.wait(timeout=10)
        except (OSError, subprocess.TimeoutExpired):
            self.process.kill()
            self.process.wait()


class Game:
    """One run of SMorvala.exe. Use as a context manager: the program is ended on the way out."""

    def __init__(self, name="game", program=None, screen=None):
        """With `screen` (WIDTH, HEIGHT), the game plays in a Wine virtual desktop of that size,
        with a taskbar: a screen where, as on Windows, no window manager moves the window.
        Its `process` is then the desktop's, and the window is not an X window of its own."""
        self.log = open(os.path.join(work_dir(), f"{name}.log"), "ab")
        self.name = name
        self.screen = screen
        self.process = None
        self.driver = None
        self.xid = None
        try:
            self.launched_at = time.time()
            self.launch(program or os.environ["SMORVALA_EXE"])
            answer = self.driver.request(f"wait-window {int(LAUNCH_TIMEOUT * 1000)}")
            check(answer == "ok", "the main window did not appear; the program " +
                  ("still runs" if self.process.poll() is None else f"ended with {self.process.returncode}"))
            self.shown_at = time.time()
            if screen is None:
                self.xid = wait_until(self.x_window, STEP_TIMEOUT, "the X window of the game")
                # The window manager activates a new window; the keys then reach it.
                wait_until(lambda: active_window() == self.xid, STEP_TIMEOUT, "the game to be active")
        except BaseException:
            self._shut_down()  # not end(): a subclass's end() may need what it had no time to make
            raise
        self.seed = None
        self.keys_used = ARROW_KEYS
        self.history = []  # replay lines of every piece landed so far
        self.segment = []  # replay lines of the falling piece since it entered

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.end()

    def launch(self, program):
        """Starts the driver, then the program under the route's Wine; sets `driver` and
        `process`."""
        self.driver = Driver(self.log)
        command = wine(program)
        if self.screen:
            # "shell" is the name of the virtual desktop that Wine gives a taskbar.
            command = wine("explorer", "/desktop=shell,{}x{}".format(*self.screen), program)
            desktop_made = self.driver.request("desktop shell 0") == "ok"
        # A window left by an earlier test would be found in place of this one.
        check_equal(self.driver.request("window-count"), "ok 0",
                    "game windows still open before the launch")
        self.process = subprocess.Popen(command, stdout=self.log, stderr=self.log)
        if self.screen and not desktop_made:
            check_equal(self.driver.request(f"desktop shell {int(LAUNCH_TIMEOUT * 1000)}"), "ok",
                        "the virtual desktop")

    def x_window(self, title="^SMorvala$"):
        """The X window of the game's window with that title, or None."""
        found = subprocess.run(["xdotool", "search", "--name", title],
                               capture_output=True, text=True).stdout.split()
        return found[-1] if found else None

    def end(self):
        """Ends the program if it still runs, by its process id."""
        self._shut_down()

    def _shut_down(self):
        if self.driver is not None:
            self.driver.close()
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        if self.screen:
            # A game in a virtual desktop is no child of the suite's, and once the desktop has
            # run, Wine reports its size as the screen's to every later program of the prefix:
            # a fresh server ends both.
            restart_wine()
        self.log.close()

    # --- the window as the user sees and works it ----------------------------------------

    def text(self, control_id):
        return self.driver.request(f"text {control_id}")[3:]

    def title(self):
        return self.driver.request("title")[3:]

    def click(self, control_id):
        """A mouse click in the middle of a button, where it is on the screen."""
        left, top, right, bottom = CONTROL_RECTS[control_id]
        x, y = self.client()[:2]
        xdotool("mousemove", x + (left + right) // 2, y + (top + bottom) // 2, "click", 1)

    def watcher(self):
        """A second driver for the game, free to watch while the first one reads; use it as a
        context manager."""
        eye = Driver(self.log)
        check_equal(eye.request(f"wait-window {int(STEP_TIMEOUT * 1000)}"), "ok", "the watcher")
        return eye

    def focus(self):
        return self.driver.request("focus")[3:]

    def client(self):
        return tuple(int(w) for w in self.driver.request("client").split()[1:])

    def placement(self):
        """The window's outer rectangle, and the screen and the work area of its monitor, each
        as (left, top, right, bottom)."""
        numbers = [int(w) for w in self.driver.request("placement").split()[1:]]
        return tuple(tuple(numbers[i:i + 4]) for i in (0, 4, 8))

    def capture(self):
        width, height = self.client()[2:]
        return self.driver.pixels(0, 0, min(width, 400), min(height, 540))

    def press(self, *keys, delay=25):
        """Real key presses on the X display, to the window that has the focus."""
        if keys:
            xdotool("key", "--delay", delay, *keys)

    def wait_text(self, control_id, expected, timeout=STEP_TIMEOUT):
        wait_until(lambda: self.text(control_id) == expected, timeout,
                   f"control {control_id} to read {expected!r} (it reads {self.text(control_id)!r})")

    def box(self, timeout=STEP_TIMEOUT):
        """The open message box as (caption, text, {button id: text as shown}), once it has the
        focus; fails if none opens."""
        answer = self.driver.request(f"box {int(timeout * 1000)}")
        check(answer != "timeout", f"no message box appeared within {timeout:.1f} s")
        caption, text, *buttons = answer[3:].split("\t")
        # Keys reach the box once the window manager has given it the focus.
        wait_until(lambda: active_window() not in ("", self.xid), timeout, "the box to be active")
        return caption, text, {int(i): label.replace("&", "") for i, label in
                               (button.split("=", 1) for button in buttons)}

    def answer(self, button_id, key=None):
        """Answers the open box with a key: a button's mnemonic, or Enter for the default."""
        self.box()
        self.press(key or ANSWER_KEYS[button_id])
        wait_until(lambda: self.dialog_count() == 0, STEP_TIMEOUT, "the message box to close")

    def dialog_count(self):
        return int(self.driver.request("dialog-count").split()[1])

    def ask(self, control_id, expected_text, button_id):
        """Clicks a button that asks a Yes/No question, checks the question and answers it."""
        self.click(control_id)
        check_equal(self.box(), ("询问", expected_text, QUESTION_BUTTONS), "the question box")
        self.answer(button_id)

    def close_window(self, how):
        """Closes the main window as a player does: by the window manager's close action, or by
        Alt+F4."""
        if how == "close box":
            subprocess.run(["wmctrl", "-i", "-c", self.xid], check=True, timeout=30)
        else:
            self.press("alt+F4")

    def wait_exit(self, timeout=STEP_TIMEOUT * 2):
        """The program's exit code once it has ended."""
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"the program did not end within {timeout:.1f} s") from None

    def running(self):
        return self.process.poll() is None

    # --- the state of play, read off the screen and checked against the replay ------------

    def start(self):
        """Clicks Start and learns the seed from the first two pieces on screen."""
        self.click(IDC_START)
        first = wait_until(self.first_pieces, STEP_TIMEOUT, "the first two pieces")
        self.learn_seed(*first[:2])
        return first[2]

    def first_pieces(self):
        image = self.capture()
        falling = [i for i in range(1, 8) if image.cells_of(i, rows=range(0, 4))]
        preview = [i for i in range(1, 8) if image.cell(12, 5) == i or image.cell(13, 5) == i]
        if len(falling) == 1 and len(preview) == 1:
            return falling[0] - 1, preview[0] - 1, image
        return None

    def learn_seed(self, falling_shape, preview_shape, seeds=None):
        """Replays every second around the launch, or the seeds given; keeps those that give
        the pieces on screen."""
        seeds = seeds or range(int(self.launched_at) - 1, int(self.shown_at) + 2)
        matches = []
        for seed in seeds:
            state = headless_states(seed, ["state"])[0]
            if state["cur"][0] == falling_shape and state["next"][0] == preview_shape:
                matches.append(seed)
        check(matches, f"no seed in {seeds} gives the falling shape {falling_shape} and the "
                       f"preview shape {preview_shape}")
        self.seed_candidates = matches
        self.seed = matches[0]

    def headless(self, ticks=0, ticks_after=0):
        """The replay of this game so far, with `ticks` fall steps at the falling piece's entry,
        `ticks_after` after its segment, and a repaint at the end. Between repaints the window
        keeps what was drawn at once, which in play is what a repaint would draw; the closing
        repaint also stands for the one a landing within the segment, by the timer, asks for."""
        return self.history + ["tick"] * ticks + self.segment + ["tick"] * ticks_after + ["paint"]

    def state(self, ticks=0):
        """The replay's state of this game so far: score, cur, next and grid."""
        return headless_states(self.seed, self.headless(ticks)[:-1] + ["state"])[-1]

    def match_headless(self, image=None, max_ticks=ROWS):
        """Compares the window with the replay, trying each number of timer steps the falling
        piece may have taken so far, at its entry or else after its segment's keys (where the
        timer landed it after them, the steps at the entry would have come before the keys);
        returns the steps at the entry, or fails with the differences. Steps found after the
        keys join the segment. The picture that matched is kept as `matched`."""
        image = image or self.capture()
        best = None
        steps = [(ticks, 0) for ticks in range(max_ticks + 1)] + [(0, after) for after in range(1, max_ticks + 1)]
        for ticks, after in steps:
            matching = []
            events = self.headless(ticks, after)
            for seed in self.seed_candidates:
                surface = headless_surface(seed, events)
                found = differences(image, surface)
                if not found:
                    matching.append(seed)
                elif best is None or len(found) < len(best[1]):
                    best = (events, found, surface)
            if matching:
                self.seed_candidates = matching
                self.seed = matching[0]
                self.matched = image
                self.segment += ["tick"] * after
                return ticks
        image.save_png(failure_path(f"{self.name}-window.png"))
        best[2].save_png(failure_path(f"{self.name}-headless.png"))
        with open(failure_path(f"{self.name}-replay.txt"), "w") as script:
            script.write(replay_script(self.seed, best[0]))
        pixels = ", ".join(f"({x},{y}) window {r:06x} headless {h:06x}"
                           for x, y, r, h in best[1])
        raise Failure(f"the window differs from the headless replay at {pixels}")

    def wait_headless(self, timeout=STEP_TIMEOUT, max_ticks=ROWS):
        """Waits until the window shows what the replay shows, a repaint under way included;
        returns the fall steps taken."""
        deadline = time.monotonic() + timeout
        while True:
            try:
                return self.match_headless(max_ticks=max_ticks)
            except Failure:
                if time.monotonic() >= deadline:
                    raise
                time.sleep(0.05)

    def act(self, action, count=1):
        """Presses the key of an action (left, right, turn, down) `count` times."""
        self.press(*[self.keys_used[action]] * count)
        self.segment += [f"key {REPLAY_KEYS[action]}"] * count

    def landing_after(self, moves):
        """For a piece moved by `moves` from its entry: how many Down presses land it, and the
        state after that landing, according to the replay."""
        events = self.history + moves + ["state"] + ["key 40", "state"] * (ROWS + 1)
        states = headless_states(self.seed, events)
        before = states[0]
        for presses, state in enumerate(states[1:], start=1):
            if state["grid"] != before["grid"] or state["cur"][3] < before["cur"][3]:
                return presses, state
        raise Failure("the replay never landed the piece")

    def place(self, turns, shift, watch=None, then=()):
        """Turns, shifts and lands the falling piece with real keys, and checks the window.
        Returns the replay's state after the landing and, when `watch` lists client pixels,
        whether they were all seen white at one moment meanwhile, however briefly. The actions
        `then`, for a landing that clears rows, are pressed right after its key: they wait out
        the hold and act on the next piece before the repaint."""
        moves = ([f"key {VK_UP}"] * turns
                 + [f"key {VK_RIGHT if shift > 0 else VK_LEFT}"] * abs(shift))
        presses, landed = self.landing_after(moves)
        if not watch:
            self.land_now(presses, self.steer(turns, shift, presses, spare=2), then)
            return landed, None
        # A second driver watches from before the first key, so that a landing by the timer
        # cannot slip past it.
        with self.watcher() as watcher:
            watcher.watch("is", WHITE, watch, LAUNCH_TIMEOUT)
            self.land_now(presses, self.steer(turns, shift, presses, spare=2), then)
            return landed, watcher.reply() == "ok"

    def steer(self, turns, shift, presses, spare):
        """Turns and shifts the falling piece with real keys, then brings it down until at most
        `spare` of the `presses` Down presses that land it are left; returns how many are."""
        self.act("turn", turns)
        if shift:
            self.act("right" if shift > 0 else "left", abs(shift))
        # Down presses in batches that leave two rows to spare, since the timer may step the
        # piece meanwhile; the comparison with the replay finds out how often it did.
        while True:
            ticks = self.wait_headless()
            remaining = presses - ticks - self.segment.count(f"key {VK_DOWN}") - self.segment.count("tick")
            if remaining <= spare:
                return remaining
            self.act("down", max(remaining - 2, 1))

    def land_now(self, presses, remaining, then=()):
        """Lands the falling piece with the `remaining` Down presses it needs, none if the timer
        already did, and presses the keys of the actions `then` right after them. (A press that
        comes after the timer's landing steps the next piece down, as a tick would.)"""
        check(remaining or not then, "the timer landed the piece before the keys that follow it")
        self.press(*[self.keys_used[action] for action in ["down"] * remaining + list(then)])
        # The Down presses and the timer's steps of the segment are the fall that the presses
        # stand for here.
        self.history += [line for line in self.segment if line not in (f"key {VK_DOWN}", "tick")]
        # Keys pressed during a row clear's hold are handled before the repaint it asks for.
        self.history += ([f"key {VK_DOWN}"] * presses + [f"key {REPLAY_KEYS[a]}" for a in then]
                         + ["paint"])
        self.segment = []
        return self.wait_headless()

    def commit(self):
        """Ends the replay segment of the falling piece after a command that puts a piece back
        at the spawn point and repaints (Restart): timer steps taken before it no longer show."""
        self.history += self.segment + ["paint"]
        self.segment = []

    def frozen(self, seconds=1.5):
        """Fails if the board or the preview changes within `seconds`: no fall step happens."""
        first = self.capture()
        stays(lambda: not differences(first, self.capture(), limit=1), seconds,
              "the picture staying unchanged")

    def falls(self, timeout=2.0):
        """Waits until the picture changes on its own: the timer steps the piece down."""
        first = self.capture()
        wait_until(lambda: differences(first, self.capture(), limit=1), timeout,
                   "the falling piece to move")

    def drop_until_over(self, limit=60):
        """Drops piece after piece straight down with Down presses until the game-over box
        opens; returns the box."""
        for _ in range(limit):
            self.press(*[self.keys_used["down"]] * ROWS)
            if self.dialog_count():
                return self.box()
        raise Failure(f"no game-over box after {limit * ROWS} Down presses")

