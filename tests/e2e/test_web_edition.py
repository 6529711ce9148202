"""The web edition played with real clicks, keys and taps in headless Chromium, Firefox (through
the WebDriver BiDi protocol it speaks, as Debian ships no geckodriver) and WebKitGTK: after each
step the canvas and the texts are smorvala-replay's for the same events. The test's server puts
the test's clock in the page, whose timers fire only as the test runs it on. The game played: Start;
the session maker's moves, turns, drops and ticks to a row clear; the hold, with keys pressed
during it; Pause and Space; the About box, the game going on behind it, and its link; the Restart
and Exit questions answered both ways (N, Y and Enter; Esc leaves them open); pieces dropped to
the game-over box, closed with Esc; and Exit answered yes. The sounds start where the trace asks
for them, the turn during the clear's sound silent. The folder is at most 128 KB, the page free of
errors, and every request the edition's own.

The site's copy, play/, is the same bytes as build/web/. In a phone's emulation (390 x 844, touch)
nothing scrolls and the window and the touch keys are inside the view; a tap on each touch key
moves the piece as its key does in the replay, and a held key repeats. After one visit, with the
server stopped and the network cut through the DevTools protocol, the page loads again and resumes
the game; the service worker has kept exactly the edition's files, and Chromium's installability
check finds no error. The phone is then turned, and the page shown on other phones and tablets.

    tests/e2e/run -k web_edition
"""

import base64
import collections
import contextlib
import filecmp
import io
import json
import os
import re
import shutil
import subprocess
import tempfile

import PIL.Image
import pytest
import websocket
from selenium import webdriver
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

from desktop import BUILD, ROOT, publisher_details
from smorvala_e2e import (IDC_EXIT, IDC_LEVEL, IDC_PAUSE, IDC_SCORE, IDC_START, PAINTED_HEIGHT, PAINTED_WIDTH, Image,
                          check, check_equal, check_same_pixels, parse_states, rasterise,
                          run_headless, wait_until)
from test_site import SITE, browser, served

WEB = os.path.join(BUILD, "web")
# The seed of a game whose fifth piece clears a row, as the session maker plays it.
SEED = 12
# Screens of phones and tablets, in CSS pixels, and their device pixels to each: the first the
# phone turned sideways.
SCREENS = [(844, 390, 3), (568, 320, 2), (640, 360, 3), (844, 340, 3), (667, 375, 2), (740, 360, 3), (820, 1180, 2),
           (1180, 820, 2), (1024, 768, 2), (390, 844, 3)]
FIRST_TEXTS = {IDC_PAUSE: "暂停", IDC_EXIT: "退出", IDC_START: "开始", IDC_LEVEL: "第 0 关", IDC_SCORE: "分数: 0"}
KEYS = {37: Keys.ARROW_LEFT, 38: Keys.ARROW_UP, 39: Keys.ARROW_RIGHT, 40: Keys.ARROW_DOWN, 65: "a", 68: "d",
        83: "s", 87: "w"}
# Before the page's script: its clock at the seed's second; a record of the sounds it starts, by
# resource, the row clear's the long one, of its errors, of the addresses it opens and of the fall
# timer's ticks, its only interval of 100 ms or more; and the test's clock, whose timers fire only
# as advance() runs it on, in the order they fall due, the page's promises settled after each.
INSTRUMENTS = """{
  Date.now = () => SEED;
  Object.assign(window, {startedSounds: [], pageErrors: [], opened: [], fallTicks: 0, warnings: []});
  addEventListener('error', (event) => pageErrors.push(event.message));
  const warn = console.warn;
  console.warn = (...args) => (warnings.push(args.join(' ')), warn(...args));
  addEventListener('unhandledrejection', (event) => pageErrors.push(String(event.reason)));
  addEventListener('securitypolicyviolation', (event) => pageErrors.push(`${event.violatedDirective} ${event.blockedURI}`));
  const start = AudioBufferSourceNode.prototype.start, open = window.open;
  AudioBufferSourceNode.prototype.start = function (...args) {
    startedSounds.push(this.buffer.duration > 0.3 ? 105 : 107);
    return start.apply(this, args);
  };
  window.open = (...args) => { opened.push(args[0]); return open.apply(window, args); };
  const timers = new Map(), settle = setTimeout;
  window.clock = {now: 0, last: 0, timers, async advance(ms) {
    for (const end = clock.now + ms; ; ) {
      const [id, timer] = [...timers].sort((a, b) => a[1].due - b[1].due)[0] || [];
      if (!(timer?.due <= end)) return void (clock.now = end);
      clock.now = timer.due;
      timer.period ? timer.due += timer.period : timers.delete(id);
      timer.callback();
      await new Promise((resolve) => settle(resolve));
    }
  }};
  const add = (repeats) => (callback, ms, ...args) => (timers.set(++clock.last, {callback: () => callback(...args),
    due: clock.now + (+ms || 0), period: repeats && Math.max(1, +ms || 0)}), clock.last);
  Object.assign(window, {setTimeout: add(false), setInterval: add(true), clearTimeout: (id) => timers.delete(id),
                         clearInterval: (id) => timers.delete(id)});
  const every = window.setInterval;
  window.setInterval = (callback, ms) => ms < 100 ? every(callback, ms)
    : (window.fall = every(() => (fallTicks += 1, callback()), ms));
}""".replace("SEED", str(SEED * 1000))


# The page's worker active: WebKitGTK sends a visit that comes while it activates to the network.
ACTIVATED = """const worker = (await navigator.serviceWorker.ready).active;
    while (worker.state !== 'activated') await new Promise((r) => worker.onstatechange = r);
    return worker.state"""


class Selenium:
    """Chromium or WebKitGTK, as the game drives a browser."""

    def __init__(self, driver):
        self.driver, self.get, self.quit = driver, driver.get, driver.quit

    def run(self, body):
        """The value that the body of an async function returns in the page."""
        return self.driver.execute_script(f"return (async () => {{ {body} }})()")

    def keys(self, *keys):
        ActionChains(self.driver).send_keys(*keys).perform()

    def click(self, selector):
        self.driver.find_element(By.CSS_SELECTOR, selector).click()

    def tabs(self):
        return self.driver.window_handles

    def close(self, tab):
        mine = self.driver.current_window_handle
        self.driver.switch_to.window(tab)
        self.driver.close()
        self.driver.switch_to.window(mine)

    def new_tab(self, address):
        before = self.driver.current_window_handle
        self.driver.switch_to.new_window("tab")
        self.driver.get(address)
        return before

    def back_to(self, tab):
        self.driver.close()
        self.driver.switch_to.window(tab)

    def hide(self, hidden=True):
        """The window minimised, or shown again."""
        (self.driver.minimize_window if hidden else self.driver.maximize_window)()


class Firefox:
    """Firefox, through the WebDriver BiDi protocol it speaks itself: the few commands the game needs."""

    def __init__(self, profile):
        self.process = subprocess.Popen(["firefox-esr", "--headless", "--remote-debugging-port", "0", "--profile",
                                         profile, "--no-remote"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Listening on a free port, it writes which in its profile.
        server = os.path.join(profile, "WebDriverBiDiServer.json")
        wait_until(lambda: os.path.isfile(server) and os.path.getsize(server), 30, "Firefox to listen")
        with open(server) as address:
            port = json.load(address)["ws_port"]
        self.socket = websocket.create_connection(f"ws://127.0.0.1:{port}/session", suppress_origin=True)
        self.last = 0
        self.command("session.new", capabilities={})
        # The tab Firefox starts with never has the focus, and a focused button takes no key without it.
        [first], self.context = self.tabs(), self.command("browsingContext.create", type="tab")["context"]
        self.close(first)

    def command(self, method, **params):
        self.last += 1
        self.socket.send(json.dumps({"id": self.last, "method": method, "params": params}))
        while (answer := json.loads(self.socket.recv())).get("id") != self.last:
            pass
        check(answer["type"] == "success", f"{method}: {answer}")
        return answer["result"]

    def get(self, address):
        self.command("browsingContext.navigate", context=self.context, url=address, wait="complete")

    def run(self, body):
        result = self.command("script.callFunction", target={"context": self.context}, awaitPromise=True,
                              functionDeclaration=f"async () => JSON.stringify([await (async () => {{ {body} }})()])")
        check(result["type"] == "success", f"the page's script: {result}")
        return json.loads(result["result"]["value"])[0]

    def act(self, source, *actions):
        self.command("input.performActions", context=self.context, actions=[{**source, "actions": list(actions)}])

    def keys(self, *keys):
        self.act({"type": "key", "id": "keyboard"},
                 *({"type": kind, "value": key} for key in keys for kind in ("keyDown", "keyUp")))

    def click(self, selector):
        x, y = self.run(f"const box = document.querySelector({json.dumps(selector)}).getBoundingClientRect(); "
                        "return [box.x + box.width / 2, box.y + box.height / 2].map(Math.round)")
        self.act({"type": "pointer", "id": "mouse"}, {"type": "pointerMove", "x": x, "y": y},
                 {"type": "pointerDown", "button": 0}, {"type": "pointerUp", "button": 0})

    def tabs(self):
        return [tab["context"] for tab in self.command("browsingContext.getTree", maxDepth=0)["contexts"]]

    def close(self, tab):
        self.command("browsingContext.close", context=tab)

    def new_tab(self, address):
        before, self.context = self.context, self.command("browsingContext.create", type="tab")["context"]
        self.get(address)
        return before

    def back_to(self, tab):
        self.close(self.context)
        self.context = tab
        self.command("browsingContext.activate", context=tab)

    def hide(self, hidden=True):  # another tab in front, or the page shown again
        self.shown = self.new_tab("about:blank") if hidden else self.back_to(self.shown)

    def quit(self):
        self.process.terminate()
        self.process.wait()


@contextlib.contextmanager
def engine(name):
    """A desktop's browser of that engine."""
    if name == "chromium":
        with browser(1280, 900) as driver:
            yield Selenium(driver)
        return
    options = webdriver.WebKitGTKOptions()
    options.binary_location = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser"
    options.add_argument("--automation")
    with tempfile.TemporaryDirectory() as profile:
        driving = Firefox(profile) if name == "firefox" else Selenium(
            webdriver.WebKitGTK(executable_path="/usr/bin/WebKitWebDriver", options=options))
        try:
            yield driving
        finally:
            driving.quit()


class WebGame:
    """The page, and the replay script of what it handled, with a repaint wherever it ran one."""

    def __init__(self, page):
        self.page = page
        self.run = page.run
        self.events = [f"seed {SEED}", "paint"]

    def script(self, events):
        return run_headless("SMORVALA_REPLAY", "".join(f"{event}\n" for event in events)).decode()

    def handle(self, *events, queued=False):
        """The page handled the events, each followed by the repaint it asked for, or all first."""
        blocks = re.split(r"^> .*\n", self.script(self.events + list(events)), flags=re.M)[-len(events):]
        pending = False
        for event, block in zip(events, blocks):
            self.events.append(event)
            pending = pending or "\ninvalidate" in "\n" + block
            if pending and not queued:
                self.events.append("paint")
                pending = False
        if pending:
            self.events.append("paint")

    def canvas(self):
        """The canvas, and the fall timer's ticks so far."""
        data, self.ticks = self.run("return [document.getElementById('canvas').toDataURL().slice(22), fallTicks]")
        with PIL.Image.open(io.BytesIO(base64.b64decode(data))) as png:
            return Image(png.width, png.height, png.convert("RGB").tobytes())

    def expected(self, extra, ticked):
        # The timer's ticks the page counted, where they only move the piece down on an empty well.
        return self.script(self.events + list(extra) + ["tick"] * (self.ticks if ticked else 0))

    def check(self, extra=(), texts=True, ticked=False):
        """The canvas and the controls' texts are the replay's."""
        seen = self.canvas()
        trace = self.expected(extra, ticked)
        check_same_pixels(seen, rasterise(trace.encode()), (0, 0, PAINTED_WIDTH, PAINTED_HEIGHT), "the canvas",
                          "web-edition")
        if texts:
            expected = {**FIRST_TEXTS, **{int(i): t for i, t in re.findall(r"^text (\d) (.*)$", trace, re.M)}}
            check_equal({int(i): t for i, t in self.run(
                "return Array.from(document.querySelectorAll('[data-control]'), c => [c.dataset.control, c.textContent])")},
                expected, "the controls' texts")

    def advance(self, milliseconds):
        self.run(f"await clock.advance({milliseconds})")

    def until_tick(self):
        return self.run("return clock.timers.get(fall).due - clock.now")

    def tick(self):
        self.advance(self.until_tick())
        self.handle("tick")

    def press(self, *keys, **handling):
        """Virtual-key codes the game handles, or other keys as WebDriver names them."""
        self.page.keys(*(KEYS.get(key, key) for key in keys))
        self.handle(*(f"key {key}" for key in keys if key in KEYS), **handling)

    def shown(self, selector):
        return self.run(f"const shown = document.querySelector({json.dumps(selector)}); "
                        "return shown.checkVisibility() && shown.innerText")

    def box(self):
        return self.run("""const box = document.getElementById('message-box');
            return box.hidden ? null : [box.querySelector('.caption-text').textContent, box.querySelector('.text').textContent,
                Array.from(box.querySelectorAll('.answers button'), b => b.offsetParent ? b.textContent : '').join('')]""")

    def ask(self, control_id, question, key, hidden=False):
        """Clicks a button whose question Esc leaves open and the key answers."""
        self.page.click(f'[data-control="{control_id}"]')
        if hidden:
            check_equal(self.away(), self.script(self.events + ["save"]).split()[-1], "the game kept, a question open")
        check_equal(self.left_to_browser(), True, "the browser's own keys while a question is open")
        for press in (Keys.ESCAPE, key):
            check_equal(self.box(), ["询问", question, "是(Y)否(N)"], "the question")
            # Enter presses the first answer where none of the box's buttons has the focus.
            self.run("document.activeElement.blur()")
            self.press(press)
        self.handle(f"answer {'no' if key == 'n' else 'yes'}", ["pause", "exit", "start"][control_id - 1])
        check_equal(self.box(), None, "the box once answered")

    def away(self):  # the page hidden and shown again: the game it then keeps
        self.page.hide()
        self.page.hide(False)
        return self.run("return JSON.parse(localStorage.getItem('smorvala-game'))?.game ?? null")

    def left_to_browser(self):
        """Whether the browser's own keys, with Ctrl or Alt and the function keys, keep their meaning."""
        return self.run("""return [['r', {ctrlKey: true}], ['-', {ctrlKey: true}], ['f', {ctrlKey: true}], ['F5', {}],
            ['F11', {}], ['ArrowLeft', {altKey: true}]].every(([key, held]) => document.activeElement.dispatchEvent(
              new KeyboardEvent('keydown', {key, bubbles: true, cancelable: true, ...held})))""")

    def focused(self):
        return self.run("return document.activeElement.id || document.activeElement.textContent")

    def landing(self):
        """How many Down presses land the falling piece, and whether that landing ends the game."""
        states = parse_states(self.script(self.events + ["state"] + ["key 40", "state"] * 24).encode())
        presses = next(n for n, state in enumerate(states[1:], 1) if state["grid"] != states[0]["grid"])
        return presses, states[presses]["grid"][0] != "." * 10


def apart(a, b):  # in CSS pixels; less than 0 where they overlap
    return max(b["left"] - a["right"], a["left"] - b["right"], b["top"] - a["bottom"], a["top"] - b["bottom"])


def open_game(page, address):
    """The game's page, served with the instruments, started up."""
    page.get(address)
    return started(WebGame(page))


def started(game):  # once its page, loaded again, has started it up
    wait_until(lambda: game.run("return window.Module?.calledRun === true"), 10, "the game to start up")
    return game


def session_maker_events():
    """The session maker's keys and ticks of the game of SEED up to the Down press that clears a row."""
    script = subprocess.run([os.path.join(BUILD, "host", "tests", "smorvala-session-maker"), str(SEED), "0"],
                            capture_output=True, text=True, check=True).stdout.splitlines()
    return script[script.index("paint") + 1:script.index("paint", script.index("paint") + 1)]


@pytest.mark.parametrize("engine_name", ["chromium", "firefox", "webkit"])
def test_a_game_in_the_browser_is_the_programs_event_for_event(engine_name):
    check(sum(os.path.getsize(os.path.join(WEB, name)) for name in os.listdir(WEB)) <= 128 * 1024,
          "the web edition is at most 128 KB")
    with served(WEB, instruments=INSTRUMENTS, policy=str) as web_server, engine(engine_name) as page:
        game = open_game(page, web_server)
        check(not game.shown("#touch-keys"), "touch keys beside a mouse")
        game.check()
        # A save of another release, or refused, gives a fresh game; a main landmark holds the page.
        with open(os.path.join(ROOT, "tests", "fuzz", "saves", "whole-level-2"), encoding="ascii") as whole:
            line = json.dumps(whole.read())
        for kept in ("'{'", f"kept({line}, '0.0.1')", f"kept({line}.slice(1))", "kept('1'.repeat(5000))"):
            game.run(f"""const kept = (game, release = document.documentElement.dataset.release) =>
                JSON.stringify({{release, game}}); localStorage.setItem('smorvala-game', {kept})""")
            page.get(web_server)
            check_equal(started(game).run("""return [localStorage.getItem('smorvala-game'), warnings.length, pageErrors,
                document.querySelector('main > h1').textContent, Array.from(document.body.children).every(
                  (e) => e.matches('main, script') || !e.checkVisibility())]"""), [None, 1, [], "SMorvala", True], kept)
            game.check()
        page.click(f'[data-control="{IDC_START}"]')
        game.handle("start")
        game.check()
        # The keys steer the piece; Enter and Space do not press Start again.
        check_equal(game.focused(), "client", "the focus after Start")
        game.run("document.getElementById('menu-about').focus()")
        page.keys(Keys.TAB)
        check_equal(game.run("return getComputedStyle(document.getElementById('client')).outlineStyle"), "dotted", "tabbed back")
        game.press(Keys.ENTER, " ")
        check_equal(game.box(), None, "a box after Enter and Space")

        # The session maker's game up to its row clear: moves and turns with both sets of keys,
        # drops and the timer's steps.
        *steps, clearing = session_maker_events()
        for step in steps:
            game.tick() if step == "tick" else game.press(int(step.split()[1]))
            game.check()
        # The landing that clears a row holds the game 200 ms, the row white, while a tick falls
        # due and keys wait; then the keys act on the next piece.
        game.advance(game.until_tick() - 100)
        for keys in ([KEYS[int(clearing.split()[1])]], ["w", Keys.ARROW_LEFT]):
            page.keys(*keys)
            game.advance(99)
            game.check([clearing], texts=False)
        # Exit clicked and N typed meanwhile: the question that the click opens takes the N.
        page.click(f'[data-control="{IDC_EXIT}"]')
        page.keys("n")
        game.advance(2)
        game.handle(clearing, "key 87", "key 37", "answer no", "exit", queued=True)
        game.check()
        check_equal([game.box(), game.focused()], [None, "client"], "the question answered by the N typed ahead")

        # Pause stops the timer and keeps the focus on the button, so Space continues.
        page.click(f'[data-control="{IDC_PAUSE}"]')
        game.handle("pause")
        game.advance(2000)
        game.check()
        check_equal([game.focused(), game.left_to_browser()], ["继续", True], "the focus and keys after Pause")
        game.press(" ")
        game.handle("pause")
        check_equal(game.focused(), "client", "the focus after Continue")
        game.away()
        game.handle("pause")
        check_equal(game.focused(), "继续", "the focus once the page that paused the game as it left is shown again")
        game.press(" ")
        game.handle("pause")

        # The About box: the game goes on behind it, keys do not reach the game, Enter and Esc
        # leave it open; its button opens the game's page in a new tab; its close box closes it.
        publisher = publisher_details("web-build")
        check_equal(game.run("return document.getElementById('menu-home').href"), publisher["HOMEPAGE"], "the site")
        for letter, place in (("q", "KeyA"), ("a", "KeyQ")):
            game.run(f"document.activeElement.dispatchEvent(new KeyboardEvent('keydown', {{key: '{letter}', "
                     f"code: '{place}', altKey: true, bubbles: true}}))")
            check_equal(bool(game.shown("#about")), letter == "a", f"the About box after Alt and the key typing {letter}")
        game.press("a", Keys.ENTER, Keys.ESCAPE)
        game.tick()
        game.check()
        about = game.shown("#about")
        check(about and "版本： SMorvala1.0" in about and publisher["EMAIL"] in about, f"the About box: {about!r}")
        before = page.tabs()
        page.click("#visit")
        tabs = wait_until(lambda: [tab for tab in page.tabs() if tab not in before], 10, "the game's page in a new tab")
        check_equal(game.run("return opened"), [publisher["HOMEPAGE"] + "morvala.htm"], "the address the About box opens")
        page.close(*tabs)
        # Hidden, the game pauses as the Pause button pauses it, and the About box stays open.
        page.hide()
        game.handle("pause")
        page.hide(False)
        game.check()
        check(game.shown("#about"), "the About box once the page is shown again")
        # Enter presses the box's focused close box, as in a dialog.
        game.run("document.querySelector('#about .close').focus()")
        game.press(Keys.ENTER)
        check(not game.shown("#about"), "the About box closed")

        # Kept, the game comes back paused after a reload and in a new tab, and plays on as the replay.
        earlier = game.run("return [startedSounds, pageErrors]")
        page.get(web_server)
        check_equal(started(game).focused(), "继续", "the focus in the game resumed")
        game.check()
        before = page.new_tab(web_server)
        started(game).check()
        page.back_to(before)
        page.click(f'[data-control="{IDC_PAUSE}"]')
        game.handle("pause")

        # The questions, answered both ways: declined, the game goes on at once.
        game.ask(IDC_START, "重新开始游戏吗？", "n")
        game.ask(IDC_EXIT, "确定退出游戏吗？", "n", hidden=True)
        game.tick()
        game.check()
        game.ask(IDC_START, "重新开始游戏吗？", Keys.ENTER)
        game.check()

        # Pieces dropped straight down until the game ends, with the Down key's box; Esc closes it.
        over = False
        while not over:
            presses, over = game.landing()
            game.press(*[40] * presses)
        check_equal(game.box(), ["", "游戏结束!", "确定"], "the game-over box")
        check_equal(game.run("return localStorage.getItem('smorvala-game')"), None, "the game kept once over")
        check_equal([game.away(), game.box()], [None, ["", "游戏结束!", "确定"]], "the game-over box hidden and shown")
        game.check()
        game.press(Keys.ESCAPE)
        check_equal(game.box(), None, "the game-over box once closed")

        # Exit answered yes: the game ends for good, and the page says so.
        game.ask(IDC_EXIT, "确定退出游戏吗？", "y")
        check(game.shown("#ended"), "the page says the game has ended")
        game.advance(2000)
        page.keys("a", "s")
        game.check()

        # Every sound the trace asks for starts, but the turn asked for while the clear's plays.
        asked = [int(sound) for sound in re.findall(r"^sound (\d+)$", game.script(game.events), re.M)]
        del asked[asked.index(105) + 1]
        check_equal(earlier[0] + game.run("return startedSounds"), asked, "the sounds started")
        check_equal(earlier[1] + game.run("return pageErrors"), [], "the page's errors")
        check_equal(game.run("return getComputedStyle(document.getElementById('cannot-start')).display"), "none",
                    "the word that the game cannot start, in play")
        if engine_name == "chromium":
            check_equal([e for e in page.driver.get_log("browser") if e["level"] == "SEVERE"], [], "the console's errors")
        check_equal([name for name in game.run(
            "return performance.getEntriesByType('resource').map(r => r.name)") if not name.startswith(web_server)],
                    [], "addresses outside the edition's folder")


def test_the_sites_edition_fits_a_phone_plays_by_touch_and_offline_and_can_be_installed():
    check_equal(sorted(os.listdir(os.path.join(SITE, "play"))), sorted(os.listdir(WEB)), "the files of the site's play/")
    check_equal([name for name in os.listdir(WEB)
                 if not filecmp.cmp(os.path.join(WEB, name), os.path.join(SITE, "play", name), shallow=False)],
                [], "files of the site's play/ that differ from build/web")
    with browser(390, 844) as driver:
        def touch(kind, *boxes):
            """Fingers on the boxes' middles, numbered in order; a touchEnd lifts those it names."""
            driver.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": kind, "touchPoints": [
                {"x": box["left"] + box["width"] / 2, "y": box["top"] + box["height"] / 2, "id": finger}
                for finger, box in enumerate(boxes)]})

        def tap(box, milliseconds=0):
            touch("touchStart", box)
            game.advance(milliseconds)
            touch("touchEnd")

        def rects(selector):
            return driver.execute_script("return Array.from(document.querySelectorAll(arguments[0]), "
                                         "(e) => e.getBoundingClientRect().toJSON())", selector)

        # The instruments put in by the browser, so that the service worker keeps the site's page
        # as it is and the page it gives back offline is instrumented too.
        driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": INSTRUMENTS})
        with served(SITE) as site:
            game = open_game(Selenium(driver), site + "play/")
            view = driver.execute_script("""const view = document.documentElement;
                return [view.scrollWidth, view.scrollHeight, innerWidth, innerHeight]""")
            check_equal(view[:2], view[2:], "the page's size in a 390 x 844 view")
            boxes = driver.execute_script("""return Array.from(document.querySelectorAll(
                '#window, [data-control="3"], #touch-keys button'), (element) => element.getBoundingClientRect().toJSON())""")
            check(all(box["left"] >= 0 and box["top"] >= 0 and box["right"] <= view[2] and box["bottom"] <= view[3]
                      for box in boxes), f"the window and the touch keys in the view: {boxes}")
            check(all(box["width"] >= 48 and box["height"] >= 48 for box in boxes[2:]), "touch keys 48 px square")
            tap(boxes[1])
            game.events += ["start", "paint"]
            for box, code in zip(boxes[2:], (65, 68, 87, 83)):
                tap(box)
                game.events.append(f"key {code}")
                game.check(ticked=True)
            # Held for 0.6 s, 左 moves the piece at once, again after half a second, then every
            # 33 ms, until the wall stops it.
            tap(boxes[2], 600)
            game.events += ["key 65"] * 4
            game.check(ticked=True)
            # Two thumbs: 左 held, 右 pressed, 左 lifted; 右 repeats until its own finger is lifted.
            touch("touchStart", boxes[2])
            touch("touchStart", boxes[2], boxes[3])
            touch("touchEnd", boxes[2])
            game.advance(600)
            touch("touchEnd")
            game.events += ["key 65"] + ["key 68"] * 4
            game.check(ticked=True)
            kept = driver.execute_async_script("""const done = arguments[0];
                navigator.serviceWorker.ready.then(() => caches.keys()).then((names) => Promise.all(
                    names.map((name) => caches.open(name).then((cache) => cache.keys()))))
                  .then((lists) => done(lists.flat().map((request) => request.url)))""")
            check_equal(sorted(kept), sorted([site + "play/"] + [site + "play/" + name for name in os.listdir(WEB)
                                                               if name != "service-worker.js"]), "the files kept")
            check_equal(driver.execute_cdp_cmd("Page.getInstallabilityErrors", {})["installabilityErrors"], [],
                        "why Chromium would not install the edition")
        # After one visit, with the server gone and the network cut, the page resumes the game kept.
        driver.execute_cdp_cmd("Network.enable", {})
        driver.execute_cdp_cmd("Network.emulateNetworkConditions",
                               {"offline": True, "latency": 0, "downloadThroughput": -1, "uploadThroughput": -1})
        driver.get(site + "play/")
        started(game).events += ["tick"] * game.ticks + ["pause"]
        tap(rects(f'[data-control="{IDC_PAUSE}"]')[0])
        game.events.append("pause")
        game.check(ticked=True)

        # The phone turned, then other phones and tablets, mid-game with the About box open at
        # first: the game and the box are kept; nothing scrolls; the keys are 48 px square or more,
        # in the view and clear of the board and the buttons; the board takes its share of the
        # height, on a tablet at whole device pixels, the most that fit where the keys are beside
        # it; a tap on each key steers the piece.
        tap(rects("#menu-about")[0])
        for turn, (width, height, ratio) in enumerate(SCREENS):
            driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {"width": width, "height": height,
                                                                           "deviceScaleFactor": ratio, "mobile": True})
            # The resize is handled in the next frame.
            driver.execute_async_script("requestAnimationFrame(() => requestAnimationFrame(arguments[0]))")
            check_equal(driver.execute_script("return [document.documentElement.scrollWidth, "
                                              "document.documentElement.scrollHeight]"), [width, height],
                        f"the page's size at {width} x {height}")
            if turn == 0:
                check(driver.find_element(By.ID, "about").is_displayed(), "the About box kept")
                tap(rects("#about .close")[0])
            # Every target in the view, 24 px square or more, 8 px apart; Start and Pause 44 px square.
            targets = rects("#menu-bar a, #client button, #touch-keys button, #home a")
            check(all(min(t["width"] - 24, t["height"] - 24, t["left"], t["top"], width - t["right"], height - t["bottom"])
                      >= 0 and all(apart(t, o) >= 8 for o in targets if o is not t) for t in targets), targets)
            check(all(min(t["width"], t["height"]) >= 44 for t in rects('[data-control="3"], [data-control="1"]')), "44")
            if (width, height) == (568, 320):
                # The answers are in reach; without inert, a tap behind the question does nothing.
                driver.execute_script("Object.defineProperty(document.getElementById('page'), 'inert', {set() {}})")
                tap(rects(f'[data-control="{IDC_EXIT}"]')[0])
                answers = [box for box in rects(".answers button") if box["width"]]
                check(len(answers) == 2 and apart(*answers) >= 8 and min(a["height"] for a in answers) >= 24, answers)
                tap(rects("#touch-keys button")[0])
                tap(answers[1])
                game.events += ["answer no", "exit"]
            keys, [board], others = rects("#touch-keys button"), rects("#canvas"), rects("#canvas, #client button")
            check(all(k["width"] >= 48 and k["height"] >= 48 and k["left"] >= 0 and k["top"] >= 0 and k["right"] <= width
                      and k["bottom"] <= height and all(k["right"] <= o["left"] or o["right"] <= k["left"] or
                                                        k["bottom"] <= o["top"] or o["bottom"] <= k["top"] for o in others)
                      for k in keys), f"the touch keys at {width} x {height}: {keys}")
            tablet, pixels = min(width, height) >= 768, board["height"] * ratio / 546
            whole = height * ratio // driver.execute_script("return document.getElementById('window').offsetHeight")
            check(board["height"] / height >= (0.85 if width > height and not tablet else 0.6) and
                  (not tablet or pixels == (whole if width > height else round(pixels))),
                  f"the board at {width} x {height}, {ratio} device pixels to each: {board}")
            for index in (0, 1, 2, 1) if turn % 2 else (1, 0, 2, 0):
                tap(keys[index])
                game.events.append(f"key {ord('ADWS'[index])}")
            game.check()


def test_a_release_uploaded_file_by_file_reaches_a_player_whole(tmp_path):
    """A second release, with another page and manifest, uploaded over the first file by file in
    name order, then the first over it in the reverse order, the service worker first; a visit
    after each file: no cache ever holds parts of both, and after each upload the next visits run
    the release uploaded, offline too."""
    first, second, live = (tmp_path / name for name in ("first", "second", "live"))
    for folder in (first, second, live):
        shutil.copytree(WEB, folder)
    for name, old, new in (("index.html", "<title>SMorvala</title>", "<title>SMorvala 2</title>"),
                           ("manifest.json", '"SMorvala"', '"SMorvala 2"')):
        (second / name).write_text((second / name).read_text(encoding="utf-8").replace(old, new), encoding="utf-8")
    names = sorted(name for name in os.listdir(WEB) if name != "service-worker.js")
    subprocess.run(["cmake", f"-DEDITION={second}", "-DVERSION=0", "-DFILES=" + ";".join(names),
                    f"-DTEMPLATE={os.path.join(ROOT, 'web', 'service_worker.js.in')}",
                    "-P", os.path.join(ROOT, "web", "make_service_worker.cmake")], check=True)
    with served(str(live)) as site, browser(1280, 900) as driver:
        def visit():
            driver.get(site)
            # Of each cache: how many files, and which of them are the second release's own.
            release, kept = driver.execute_async_script("""const done = arguments[0];
                navigator.serviceWorker.ready.then(async (registration) => {
                  await registration.update().catch(() => {});
                  while (registration.installing || registration.waiting) await new Promise((r) => setTimeout(r, 20));
                  const names = (await caches.keys()).filter((name) => !name.endsWith(' refused'));
                  done([document.title === 'SMorvala 2' ? 'second' : 'first', await Promise.all(names.map(async (name) => {
                    const cache = await caches.open(name);
                    return [(await cache.keys()).length, ...await Promise.all(['./', 'index.html', 'manifest.json'].map(
                      async (file) => /SMorvala 2/.test(await (await cache.match(file)).text())))];
                  }))]);
                });""")
            check(all(files == len(names) + 1 and len(set(own)) == 1 for files, *own in kept),
                  f"a cache of one release whole: {kept}")
            return release

        visit()
        for folder, release, order in ((second, "second", sorted), (first, "first", reversed)):
            for name in order(sorted(os.listdir(folder))):
                shutil.copy(os.path.join(folder, name), live)
                visit()
            check_equal([visit(), visit()][1], release, "the release that runs after the upload")
        driver.execute_cdp_cmd("Network.enable", {})
        driver.execute_cdp_cmd("Network.emulateNetworkConditions",
                               {"offline": True, "latency": 0, "downloadThroughput": -1, "uploadThroughput": -1})
        check_equal(visit(), "first", "the release that runs offline")


@pytest.mark.parametrize("redirect", [("/index.html", "/"), ("/", "/index.html"), None],
                         ids=["page-to-folder", "folder-to-page", "no-redirect"])
@pytest.mark.parametrize("engine_name", ["chromium", "firefox", "webkit"])
def test_on_a_host_that_redirects_either_way_the_edition_plays_at_both_addresses_on_every_visit(engine_name, redirect):
    with engine(engine_name) as page:
        with served(WEB, redirect=redirect, requests=(requests := [])) as site:
            for address in (site + "index.html", site) * 2:
                open_game(page, address).run(ACTIVATED)
            whole = collections.Counter(path.removesuffix("index.html") for path, status in requests if status == 200)
            check(max(whole.values()) <= (2 if engine_name == "webkit" else 1), f"sent whole, WebKitGTK's worker apart: {whole}")
        for address in (site, site + "index.html"):
            open_game(page, address)


def test_a_release_the_worker_refuses_costs_one_download_and_is_kept_once_the_host_sends_it_right(tmp_path):
    shutil.copytree(WEB, tmp_path, dirs_exist_ok=True)
    page = tmp_path / "index.html"
    page.write_text(page.read_text(encoding="utf-8").replace("</body>", "<!-- a host's --></body>"), encoding="utf-8")
    with served(str(tmp_path), requests=(requests := [])) as site, browser(1280, 900) as driver:
        driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": """const sw = navigator.serviceWorker,
            register = sw.register.bind(sw); sw.register = (...args) => (window.registered = register(...args));"""})
        for _ in range(3):
            check_equal(open_game(Selenium(driver), site).run("""const worker = (await registered).installing;
                while (worker && worker.state !== 'redundant') await new Promise((r) => worker.onstatechange = r);
                return (await (await caches.match('refused')).json()).files"""), ["index.html"], "the files refused")
        check_equal(collections.Counter(path for path, status in requests if status == 200),
                    {"/": 2, **{"/" + name: 1 for name in os.listdir(WEB) if name != "index.html"}}, "sent whole")
        # Sent right, its date unchanged, the page refused is asked for past the browser's cache a day on.
        stamp = page.stat().st_mtime
        shutil.copy(os.path.join(WEB, "index.html"), page)
        os.utime(page, (stamp, stamp))
        Selenium(driver).run("""const record = await caches.open((await caches.keys()).find((n) => n.endsWith(' refused')));
            const kept = await (await record.match('refused')).json();
            await record.put('refused', new Response(JSON.stringify({...kept, at: kept.at - 86400e3})))""")
        check_equal(open_game(Selenium(driver), site).run(ACTIVATED), "activated", "the release once the host sends it right")
        driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": "delete window.WebAssembly"})
        driver.get(site)
        check("请刷新本页再试" in WebGame(Selenium(driver)).shown("#cannot-start") and any(
            'cannot start:" "no native wasm' in e["message"] for e in driver.get_log("browser")), "the word and the cause")
