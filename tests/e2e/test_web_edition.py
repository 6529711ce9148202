"""The web edition, build/web, played in a real browser (Debian's Chromium, headless, through
Selenium) with real clicks, key presses and taps. The page's clock is set and its time stepped
through the DevTools protocol, so that the fall timer ticks, the row clear's hold ends and a
held touch key repeats where the test says; after each step the canvas shows the pixels, and
the page the texts, that smorvala-replay gives for the same events, and the sounds start where
its trace asks. The site's copy, in play/, on a phone and with the network off."""

import base64
import filecmp
import io
import os
import re
import subprocess
import time
import wave

import PIL.Image
import pytest
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

from desktop import BUILD, ROOT, publisher_details
from smorvala_e2e import (IDC_EXIT, IDC_LEVEL, IDC_PAUSE, IDC_SCORE, IDC_START, PAINTED_HEIGHT, PAINTED_WIDTH, Image,
                          check, check_equal, check_same_pixels, differences, parse_states, rasterise,
                          run_headless, wait_until)
from test_site import SITE, browser, served

WEB = os.path.join(BUILD, "web")
# The seed of a game whose fifth piece clears a row, as the session maker plays it.
SEED = 12
FIRST_TEXTS = {IDC_PAUSE: "暂停", IDC_EXIT: "退出", IDC_START: "开始", IDC_LEVEL: "第 0 关", IDC_SCORE: "分数: 0"}
KEYS = {37: Keys.ARROW_LEFT, 38: Keys.ARROW_UP, 39: Keys.ARROW_RIGHT, 40: Keys.ARROW_DOWN, 65: "a", 68: "d",
        83: "s", 87: "w"}
# Before the page loads: its clock at the seed's second, and a record of the sounds it starts and
# of the fall timer's ticks, its only interval of 100 ms or more.
INSTRUMENTS = f"""{{
  Date.now = () => {SEED * 1000};
  window.startedSounds = [];
  window.fallTicks = 0;
  const start = AudioBufferSourceNode.prototype.start;
  AudioBufferSourceNode.prototype.start = function (...args) {{
    startedSounds.push(this.buffer.duration);
    return start.apply(this, args);
  }};
  const every = window.setInterval;
  window.setInterval = (callback, ms) => every(ms >= 100 ? () => {{ fallTicks += 1; callback(); }} : callback, ms);
}}"""
# Real seconds after a sound, so that the next one is not dropped for it.
SOUND_GAP = 0.6
SOUND_SECONDS = {}
for resource, name in ((105, "clear.wav"), (107, "rotate.wav")):
    with wave.open(os.path.join(ROOT, "res", name)) as sound:
        SOUND_SECONDS[resource] = sound.getnframes() / sound.getframerate()


class WebGame:
    """The page, and the replay script of what it handled, with a repaint wherever it ran one."""

    def __init__(self, driver):
        self.driver = driver
        self.events = [f"seed {SEED}", "paint"]
        self.timer = None  # (armed at, period) on the page's clock
        self.sounds = []  # what the page must start

    def script(self, events):
        return run_headless("SMORVALA_REPLAY", "".join(f"{event}\n" for event in events)).decode()

    def handle(self, *events, queued=False, at=None, heard=None):
        """The page handled the events at the time `at`, now by default, each followed by the
        repaint it asked for, or with `queued` all of them first; of the sounds they asked for,
        the first `heard` started (all by default: the others came while one still played)."""
        at = self.now() if at is None else at
        blocks = re.split(r"^> .*\n", self.script(self.events + list(events)), flags=re.M)[-len(events):]
        pending = False
        for event, block in zip(events, blocks):
            self.events.append(event)
            for words in map(str.split, block.splitlines()):
                if words[:2] == ["timer", "set"]:
                    self.timer = (at, int(words[2]))
                elif words[:2] == ["timer", "kill"]:
                    self.timer = None
                elif words[0] == "sound" and (heard is None or heard > 0):
                    self.sounds.append(int(words[1]))
                    heard = None if heard is None else heard - 1
                    time.sleep(SOUND_GAP)
                pending = pending or words[0] == "invalidate"
            if pending and not queued:
                self.events.append("paint")
                pending = False
        if pending:
            self.events.append("paint")

    def canvas(self):
        """The canvas, and the fall timer's ticks so far."""
        data, self.ticks = self.driver.execute_script(
            "return [document.getElementById('canvas').toDataURL().slice(22), window.fallTicks]")
        with PIL.Image.open(io.BytesIO(base64.b64decode(data))) as png:
            return Image(png.width, png.height, png.convert("RGB").tobytes())

    def check(self, extra=(), texts=True, ticked=False):
        """The canvas and the controls' texts are the replay's of the events so far and `extra`,
        and with `ticked` the timer's ticks so far: on the empty well they only move the piece
        down, whenever they came."""
        seen = self.canvas()
        trace = self.script(self.events + list(extra) + ["tick"] * (self.ticks if ticked else 0))
        check_same_pixels(seen, rasterise(trace.encode()), (0, 0, PAINTED_WIDTH, PAINTED_HEIGHT), "the canvas",
                          "web-edition")
        if texts:
            expected = {**FIRST_TEXTS, **{int(i): t for i, t in re.findall(r"^text (\d) (.*)$", trace, re.M)}}
            check_equal(self.texts(), expected, "the controls' texts")

    def texts(self):
        return {int(i): t for i, t in self.driver.execute_script(
            "return Array.from(document.querySelectorAll('[data-control]'), c => [c.dataset.control, c.textContent])")}

    def now(self):
        return self.driver.execute_script("return performance.now()")

    def advance(self, milliseconds):
        """Lets the page's time run on."""
        target = self.now() + milliseconds
        self.driver.execute_cdp_cmd("Emulation.setVirtualTimePolicy", {"policy": "advance", "budget": milliseconds})
        wait_until(lambda: self.now() >= target - 0.5, 10, "the page's time to run on")

    def next_tick(self):
        armed, period = self.timer
        return armed + period * ((self.now() - armed) // period + 1)

    def tick(self):
        due = self.next_tick()
        self.advance(due + 1 - self.now())
        self.handle("tick", at=due)

    def press(self, *keys, **handling):
        """Real key presses: virtual-key codes the game handles, or other keys as Selenium names them."""
        ActionChains(self.driver).send_keys(*(KEYS.get(key, key) for key in keys)).perform()
        self.handle(*(f"key {key}" for key in keys if key in KEYS), **handling)

    def click(self, selector):
        self.driver.find_element(By.CSS_SELECTOR, selector).click()

    def box(self):
        return self.driver.execute_script("""const box = document.getElementById('message-box');
            return box.hidden ? null : [box.querySelector('.caption-text').textContent, box.querySelector('.text').textContent,
                Array.from(box.querySelectorAll('.answers button'), b => b.offsetParent ? b.textContent : '').join('')]""")

    def ask(self, control_id, question, key):
        """Clicks a button whose question the key answers."""
        self.click(f'[data-control="{control_id}"]')
        check_equal(self.box(), ["询问", question, "是(Y)否(N)"], "the question")
        self.press(Keys.ESCAPE)
        check_equal(self.box(), ["询问", question, "是(Y)否(N)"], "the question after Esc")
        self.press(key)
        self.handle(f"answer {'no' if key == 'n' else 'yes'}", ["pause", "exit", "start"][control_id - 1])
        check_equal(self.box(), None, "the box once answered")

    def focused(self):
        return self.driver.execute_script("return document.activeElement.id || document.activeElement.textContent")

    def landing(self):
        """How many Down presses land the falling piece, and whether that landing ends the game."""
        states = parse_states(self.script(self.events + ["state"] + ["key 40", "state"] * 24).encode())
        presses = next(n for n, state in enumerate(states[1:], 1) if state["grid"] != states[0]["grid"])
        return presses, states[presses]["grid"][0] != "." * 10


def open_game(driver, address, frozen=True):
    """The game's page at that address, its clock set and started up; with `frozen`, its time
    standing still until the test lets it run."""
    driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": INSTRUMENTS})
    driver.get(address)
    wait_until(lambda: driver.execute_script("return window.Module?.calledRun === true"), 10, "the game to start up")
    if frozen:
        driver.execute_cdp_cmd("Emulation.setVirtualTimePolicy", {"policy": "pause"})
    return WebGame(driver)


@pytest.fixture(scope="module")
def web_server():
    with served(WEB, 48018) as address:
        yield address


def session_maker_events():
    """The keys and ticks with which the session maker plays the game of SEED to its first row
    clear, the last one the Down press that clears it."""
    script = subprocess.run([os.path.join(BUILD, "host", "tests", "smorvala-session-maker"), str(SEED), "0"],
                            capture_output=True, text=True, check=True).stdout.splitlines()
    return script[script.index("paint") + 1:script.index("paint", script.index("paint") + 1)]


def test_a_game_in_the_browser_is_the_programs_event_for_event(web_server):
    check(sum(os.path.getsize(os.path.join(WEB, name)) for name in os.listdir(WEB)) <= 128 * 1024,
          "the web edition is at most 128 KB")
    with browser(1280, 900) as driver:
        game = open_game(driver, web_server)
        check(not driver.find_element(By.ID, "touch-keys").is_displayed(), "touch keys beside a mouse")
        game.check()
        game.click(f'[data-control="{IDC_START}"]')
        game.handle("start")
        game.check()
        # The keys steer the piece; Enter and Space do not press Start again.
        check_equal(game.focused(), "client", "the focus after Start")
        game.press(Keys.ENTER, " ")
        check_equal(game.box(), None, "a box after Enter and Space")

        # The session maker's game up to its row clear: moves and turns with both sets of keys,
        # drops and the timer's steps.
        *steps, clearing = session_maker_events()
        for step in steps:
            if step == "tick":
                game.tick()
            else:
                game.press(int(step.split()[1]))
            game.check()
        # The landing that clears a row holds the game with the row white, while a tick falls due
        # and keys wait; then the keys act on the next piece, the turn silent during the clear's sound.
        game.advance(game.next_tick() - 100 - game.now())
        held = game.now()
        ActionChains(driver).send_keys(KEYS[int(clearing.split()[1])]).perform()
        game.check([clearing], texts=False)
        ActionChains(driver).send_keys("w", Keys.ARROW_LEFT).perform()
        game.check([clearing], texts=False)
        game.advance(201)
        game.handle(clearing, "key 87", "key 37", at=held + 200, queued=True, heard=1)
        game.check()

        # Pause stops the timer and keeps the focus on the button, so Space continues.
        game.click(f'[data-control="{IDC_PAUSE}"]')
        game.handle("pause")
        game.advance(2000)
        game.check()
        game.press(" ")
        game.handle("pause")
        check_equal(game.focused(), "client", "the focus after Continue")
        game.tick()
        game.check()

        # The About box: the game goes on behind it, keys do not reach the game, Enter and Esc
        # leave it open; its button opens the game's page in a new tab; its close box closes it.
        publisher = publisher_details("web-build")
        check_equal(driver.find_element(By.ID, "menu-home").get_attribute("href"), publisher["HOMEPAGE"], "the site")
        game.click("#menu-about")
        game.press("a", Keys.ENTER, Keys.ESCAPE)
        game.tick()
        game.check()
        about = driver.find_element(By.ID, "about")
        check(about.is_displayed() and "版本： SMorvala1.0" in about.text and publisher["EMAIL"] in about.text,
              f"the About box: {about.text!r}")
        game.click("#visit")
        wait_until(lambda: len(driver.window_handles) == 2, 10, "the game's page in a new tab")
        driver.switch_to.window(driver.window_handles[1])
        check_equal(driver.execute_cdp_cmd("Page.getNavigationHistory", {})["entries"][-1]["url"],
                    publisher["HOMEPAGE"] + "morvala.htm", "the address the About box opens")
        driver.close()
        driver.switch_to.window(driver.window_handles[0])
        game.click("#about .close")
        check(not about.is_displayed(), "the About box closed")

        # The questions, answered both ways: declined, the game goes on at once.
        game.ask(IDC_START, "重新开始游戏吗？", "n")
        game.ask(IDC_EXIT, "确定退出游戏吗？", "n")
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
        game.check()
        game.press(Keys.ESCAPE)
        check_equal(game.box(), None, "the game-over box once closed")

        # Exit answered yes: the game ends for good, and the page says so.
        game.ask(IDC_EXIT, "确定退出游戏吗？", "y")
        check(driver.find_element(By.ID, "ended").is_displayed(), "the page says the game has ended")
        game.advance(2000)
        ActionChains(driver).send_keys("a", "s").perform()
        game.check()

        heard = [min(SOUND_SECONDS, key=lambda id: abs(SOUND_SECONDS[id] - seconds))
                 for seconds in driver.execute_script("return startedSounds")]
        check_equal(heard, game.sounds, "the sounds started")
        check_equal([entry["message"] for entry in driver.get_log("browser") if entry["level"] == "SEVERE"], [],
                    "console errors")
        check_equal([name for name in driver.execute_script(
            "return performance.getEntriesByType('resource').map(r => r.name)") if not name.startswith(web_server)],
                    [], "addresses outside the edition's folder")


def test_on_a_phone_the_game_fits_and_its_touch_keys_steer_the_piece_as_the_keys_do():
    # In real time: Chromium completes no tap while a page's time stands still.
    with served(SITE, 48021) as site, browser(390, 844) as driver:
        game = open_game(driver, site + "play/", frozen=False)
        view = driver.execute_script("""const view = document.documentElement;
            return [view.scrollWidth, view.scrollHeight, innerWidth, innerHeight]""")
        check_equal(view[:2], view[2:], "the page's size in a 390 x 844 view")
        boxes = driver.execute_script("""return Array.from(document.querySelectorAll(
            '#window, [data-control="3"], #touch-keys button'), (element) => element.getBoundingClientRect().toJSON())""")
        check(all(box["left"] >= 0 and box["top"] >= 0 and box["right"] <= view[2] and box["bottom"] <= view[3]
                  for box in boxes), f"the window and the touch keys in the view: {boxes}")
        check(all(box["width"] >= 48 and box["height"] >= 48 for box in boxes[2:]), "touch keys 48 px square")

        def tap(box, seconds=0.0):
            point = {"x": box["left"] + box["width"] / 2, "y": box["top"] + box["height"] / 2}
            driver.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": "touchStart", "touchPoints": [point]})
            time.sleep(seconds)
            driver.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": "touchEnd", "touchPoints": []})

        tap(boxes[1])
        game.events += ["start", "paint"]
        for box, code in zip(boxes[2:], (65, 68, 87, 83)):
            tap(box)
            game.events.append(f"key {code}")
            game.check(ticked=True)
        # Held for 0.6 s, 左 moves the piece at once, again after half a second, then every 33 ms,
        # until the wall stops it.
        tap(boxes[2], 0.6)
        seen = game.canvas()
        check(any(not differences(seen, rasterise(game.script(game.events + ["key 65"] * presses + ["tick"] * game.ticks)
                                                  .encode())) for presses in (3, 4, 5)), "a held touch key repeating")


def test_after_one_visit_the_sites_edition_plays_offline_and_can_be_installed():
    check_equal([name for name in os.listdir(WEB) if not filecmp.cmp(os.path.join(WEB, name),
                                                                       os.path.join(SITE, "play", name), shallow=False)],
                [], "files of the site's play/ that differ from build/web")
    with browser(1280, 900) as driver:
        with served(SITE, 48022) as site:
            open_game(driver, site + "play/", frozen=False)
            kept = driver.execute_async_script("""const done = arguments[0];
                navigator.serviceWorker.ready.then(() => caches.keys()).then((names) => Promise.all(
                    names.map((name) => caches.open(name).then((cache) => cache.keys()))))
                  .then((lists) => done(lists.flat().map((request) => request.url)))""")
            check_equal(driver.execute_cdp_cmd("Page.getInstallabilityErrors", {})["installabilityErrors"], [],
                        "why Chromium would not install the edition")
        check_equal(sorted(kept), sorted([site + "play/"] + [site + "play/" + name for name in os.listdir(WEB)
                                                               if name != "service-worker.js"]), "the files kept")
        driver.execute_cdp_cmd("Network.enable", {})
        driver.execute_cdp_cmd("Network.emulateNetworkConditions",
                               {"offline": True, "latency": 0, "downloadThroughput": -1, "uploadThroughput": -1})
        game = open_game(driver, site + "play/")
        game.check()
        game.click(f'[data-control="{IDC_START}"]')
        game.handle("start")
        game.check()
