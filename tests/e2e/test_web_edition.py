"""The web edition played in headless Chromium with real clicks, keys and taps, its clock set and
its time stepped through the DevTools protocol: after each step the canvas and the texts are
smorvala-replay's for the same events. The site's copy, in play/, on a phone and offline.

The page's clock is set to a known second and its time stepped, so that the fall timer ticks and
the row clear's hold ends where the test says. The game played: Start; the session maker's moves,
turns, drops and ticks to a row clear; the hold, with keys pressed during it; Pause and Space; the
About box, the game going on behind it, and its link; the Restart and Exit questions answered both
ways (N, Y and Enter; Esc leaves them open); pieces dropped to the game-over box, closed with Esc;
and Exit answered yes. The sounds start where the trace asks for them, the turn during the clear's
sound silent. The folder is at most 128 KB, the console clean, and every request the edition's own.

The site's copy, play/, is the same bytes as build/web/. In a phone's emulation (390 x 844, touch)
nothing scrolls and the window and the touch keys are inside the view. There the taps run in real
time, as Chromium completes no tap while a page's time stands still: a tap on each touch key moves
the piece as its key does in the replay, with the timer's ticks that the page counted, and a held
key repeats. After one visit, with the server stopped and the network cut through the DevTools
protocol, the page loads again and Start plays; the service worker has kept exactly the edition's
files, and Chromium's installability check finds no error.

    tests/e2e/run -k web_edition
"""

import base64
import filecmp
import hashlib
import io
import os
import re
import shutil
import subprocess
import time

import PIL.Image
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
# Screens of phones and tablets, in CSS pixels, and their device pixels to each: the first the
# phone turned sideways.
SCREENS = [(844, 390, 3), (667, 375, 2), (740, 360, 3), (820, 1180, 2), (1180, 820, 2), (1024, 768, 2), (390, 844, 3)]
FIRST_TEXTS = {IDC_PAUSE: "暂停", IDC_EXIT: "退出", IDC_START: "开始", IDC_LEVEL: "第 0 关", IDC_SCORE: "分数: 0"}
KEYS = {37: Keys.ARROW_LEFT, 38: Keys.ARROW_UP, 39: Keys.ARROW_RIGHT, 40: Keys.ARROW_DOWN, 65: "a", 68: "d",
        83: "s", 87: "w"}
# Before the page loads: its clock at the seed's second; a record of the sounds it starts, by
# resource, the row clear's the long one; and the fall timer's ticks and when the next is due,
# the timer being its only interval of 100 ms or more.
INSTRUMENTS = f"""{{
  Date.now = () => {SEED * 1000};
  window.startedSounds = [];
  window.fallTicks = 0;
  const start = AudioBufferSourceNode.prototype.start;
  AudioBufferSourceNode.prototype.start = function (...args) {{
    startedSounds.push(this.buffer.duration > 0.3 ? 105 : 107);
    return start.apply(this, args);
  }};
  const every = window.setInterval;
  window.setInterval = (callback, ms) => ms < 100 ? every(callback, ms) : (window.fallDue = performance.now() + ms,
    every(() => {{ fallTicks += 1; fallDue += ms; callback(); }}, ms));
}}"""


class WebGame:
    """The page, and the replay script of what it handled, with a repaint wherever it ran one."""

    def __init__(self, driver):
        self.driver = driver
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
        data, self.ticks = self.driver.execute_script(
            "return [document.getElementById('canvas').toDataURL().slice(22), window.fallTicks]")
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
            check_equal({int(i): t for i, t in self.driver.execute_script(
                "return Array.from(document.querySelectorAll('[data-control]'), c => [c.dataset.control, c.textContent])")},
                expected, "the controls' texts")

    def shows(self, extra, ticked=False):
        seen = self.canvas()
        return not differences(seen, rasterise(self.expected(extra, ticked).encode()))

    def now(self):
        return self.driver.execute_script("return performance.now()")

    def advance(self, milliseconds):
        target = self.now() + milliseconds
        self.driver.execute_cdp_cmd("Emulation.setVirtualTimePolicy", {"policy": "advance", "budget": milliseconds})
        wait_until(lambda: self.now() >= target - 0.5, 10, "the page's time to run on")

    def until_tick(self):
        return self.driver.execute_script("return window.fallDue") - self.now()

    def tick(self):
        self.advance(self.until_tick() + 1)
        self.handle("tick")

    def press(self, *keys, **handling):
        """Virtual-key codes the game handles, or other keys as Selenium names them."""
        ActionChains(self.driver).send_keys(*(KEYS.get(key, key) for key in keys)).perform()
        self.handle(*(f"key {key}" for key in keys if key in KEYS), **handling)

    def click(self, selector):
        self.driver.find_element(By.CSS_SELECTOR, selector).click()

    def box(self):
        return self.driver.execute_script("""const box = document.getElementById('message-box');
            return box.hidden ? null : [box.querySelector('.caption-text').textContent, box.querySelector('.text').textContent,
                Array.from(box.querySelectorAll('.answers button'), b => b.offsetParent ? b.textContent : '').join('')]""")

    def ask(self, control_id, question, key):
        """Clicks a button whose question Esc leaves open and the key answers."""
        self.click(f'[data-control="{control_id}"]')
        for press in (Keys.ESCAPE, key):
            check_equal(self.box(), ["询问", question, "是(Y)否(N)"], "the question")
            self.press(press)
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
    """The game's page, its clock set, started up and with `frozen` its time standing still."""
    # Once for the browser: twice, the page's timer would be counted twice.
    driver.instrumented = getattr(driver, "instrumented", None) or driver.execute_cdp_cmd(
        "Page.addScriptToEvaluateOnNewDocument", {"source": INSTRUMENTS})
    driver.get(address)
    wait_until(lambda: driver.execute_script("return window.Module?.calledRun === true"), 10, "the game to start up")
    if frozen:
        driver.execute_cdp_cmd("Emulation.setVirtualTimePolicy", {"policy": "pause"})
    return WebGame(driver)


def session_maker_events():
    """The session maker's keys and ticks of the game of SEED up to the Down press that clears a row."""
    script = subprocess.run([os.path.join(BUILD, "host", "tests", "smorvala-session-maker"), str(SEED), "0"],
                            capture_output=True, text=True, check=True).stdout.splitlines()
    return script[script.index("paint") + 1:script.index("paint", script.index("paint") + 1)]


def test_a_game_in_the_browser_is_the_programs_event_for_event():
    check(sum(os.path.getsize(os.path.join(WEB, name)) for name in os.listdir(WEB)) <= 128 * 1024,
          "the web edition is at most 128 KB")
    with served(WEB, 48018) as web_server, browser(1280, 900) as driver:
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
            game.tick() if step == "tick" else game.press(int(step.split()[1]))
            game.check()
        # The landing that clears a row holds the game, the row white, while a tick falls due and
        # keys wait; then the keys act on the next piece.
        game.advance(game.until_tick() - 100)
        for keys in ([KEYS[int(clearing.split()[1])]], ["w", Keys.ARROW_LEFT]):
            ActionChains(driver).send_keys(*keys).perform()
            game.check([clearing], texts=False)
        game.advance(201)
        game.handle(clearing, "key 87", "key 37", queued=True)
        game.check()

        # Pause stops the timer and keeps the focus on the button, so Space continues.
        game.click(f'[data-control="{IDC_PAUSE}"]')
        game.handle("pause")
        game.advance(2000)
        game.check()
        game.press(" ")
        game.handle("pause")
        check_equal(game.focused(), "client", "the focus after Continue")

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

        # Every sound the trace asks for starts, but the turn asked for while the clear's plays.
        asked = [int(sound) for sound in re.findall(r"^sound (\d+)$", game.script(game.events), re.M)]
        del asked[asked.index(105) + 1]
        check_equal(driver.execute_script("return startedSounds"), asked, "the sounds started")
        check_equal([entry["message"] for entry in driver.get_log("browser") if entry["level"] == "SEVERE"], [],
                    "console errors")
        check_equal([name for name in driver.execute_script(
            "return performance.getEntriesByType('resource').map(r => r.name)") if not name.startswith(web_server)],
                    [], "addresses outside the edition's folder")


def test_the_sites_edition_fits_a_phone_plays_by_touch_and_offline_and_can_be_installed():
    check_equal([name for name in os.listdir(WEB)
                 if not filecmp.cmp(os.path.join(WEB, name), os.path.join(SITE, "play", name), shallow=False)],
                [], "files of the site's play/ that differ from build/web")
    # In real time: Chromium completes no tap while a page's time stands still.
    with browser(390, 844) as driver:
        def tap(box, seconds=0.0):
            point = {"x": box["left"] + box["width"] / 2, "y": box["top"] + box["height"] / 2}
            driver.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": "touchStart", "touchPoints": [point]})
            time.sleep(seconds)
            driver.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": "touchEnd", "touchPoints": []})

        with served(SITE, 48021) as site:
            game = open_game(driver, site + "play/", frozen=False)
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
            tap(boxes[2], 0.6)
            check(any(game.shows(["key 65"] * n, ticked=True) for n in (3, 4, 5)), "a held touch key repeating")
            kept = driver.execute_async_script("""const done = arguments[0];
                navigator.serviceWorker.ready.then(() => caches.keys()).then((names) => Promise.all(
                    names.map((name) => caches.open(name).then((cache) => cache.keys()))))
                  .then((lists) => done(lists.flat().map((request) => request.url)))""")
            check_equal(sorted(kept), sorted([site + "play/"] + [site + "play/" + name for name in os.listdir(WEB)
                                                               if name != "service-worker.js"]), "the files kept")
            check_equal(driver.execute_cdp_cmd("Page.getInstallabilityErrors", {})["installabilityErrors"], [],
                        "why Chromium would not install the edition")
        # After one visit, with the server gone and the network cut, the page loads and plays.
        driver.execute_cdp_cmd("Network.enable", {})
        driver.execute_cdp_cmd("Network.emulateNetworkConditions",
                               {"offline": True, "latency": 0, "downloadThroughput": -1, "uploadThroughput": -1})
        game = open_game(driver, site + "play/", frozen=False)
        tap(boxes[1])
        game.events += ["start", "paint"]
        game.check(ticked=True)

        # The phone turned and other screens, mid-game with the About box open at first: the game
        # and the box are kept; nothing scrolls; the keys are 48 px square or more, in the view and
        # clear of the board and the buttons; the board takes its share of the height, on a
        # tablet at whole device pixels; a tap on each key steers the piece, low enough in the
        # well that the timer's steps cannot block a turn.
        for _ in range(3):
            tap(boxes[5])
            game.events.append("key 83")

        def boxes(selector):
            return driver.execute_script("return Array.from(document.querySelectorAll(arguments[0]), "
                                         "(e) => e.getBoundingClientRect().toJSON())", selector)

        tap(boxes("#menu-about")[0])
        for turn, (width, height, ratio) in enumerate(SCREENS):
            driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {"width": width, "height": height,
                                                                           "deviceScaleFactor": ratio, "mobile": True})
            # Laid out again once the resize is handled, with nothing to scroll.
            wait_until(lambda: driver.execute_script("const view = document.documentElement; return [view.scrollWidth, "
                                                     "view.scrollHeight]") == [width, height], 10,
                       f"the page at {width} x {height} with nothing to scroll")
            if turn == 0:
                check(driver.find_element(By.ID, "about").is_displayed(), "the About box kept")
                tap(boxes("#about .close")[0])
            keys, [board], others = boxes("#touch-keys button"), boxes("#canvas"), boxes("#canvas, #client button")
            check(all(k["width"] >= 48 and k["height"] >= 48 and k["left"] >= 0 and k["top"] >= 0 and k["right"] <= width
                      and k["bottom"] <= height and all(k["right"] <= o["left"] or o["right"] <= k["left"] or
                                                        k["bottom"] <= o["top"] or o["bottom"] <= k["top"] for o in others)
                      for k in keys), f"the touch keys at {width} x {height}: {keys}")
            tablet, pixels = min(width, height) >= 768, board["height"] * ratio / 546
            check(board["height"] / height >= (0.85 if width > height and not tablet else 0.6)
                  and (not tablet or pixels == round(pixels)), f"the board at {width} x {height}: {board}")
            for index in (0, 1, 2, 1) if turn % 2 else (1, 0, 2, 0):
                tap(keys[index])
                game.events.append(f"key {ord('ADWS'[index])}")
            game.check(ticked=True)


def test_a_release_uploaded_file_by_file_reaches_a_player_whole(tmp_path):
    """A second release, with another script and style in its page, copied over the first file by
    file, the service worker first, a visit after each file: no cache ever holds parts of both,
    each visit runs one release whole, and after the copy the second."""
    first, second, live = (str(tmp_path / name) for name in ("first", "second", "live"))
    for folder in (first, second, live):
        shutil.copytree(WEB, folder)
    with open(os.path.join(second, "index.html"), "r+", encoding="utf-8") as page:
        marked = page.read().replace("</body>", "<style>:root { --release: second; }</style>"
                                     "<script>window.release = 'second';</script></body>")
        page.seek(0)
        page.write(marked)
    names = sorted(name for name in os.listdir(WEB) if name != "service-worker.js")
    subprocess.run(["cmake", f"-DEDITION={second}", "-DVERSION=0", "-DFILES=" + ";".join(names),
                    f"-DTEMPLATE={os.path.join(ROOT, 'web', 'service_worker.js.in')}",
                    "-P", os.path.join(ROOT, "web", "make_service_worker.cmake")], check=True)
    sums = {folder: {name: hashlib.sha256(open(os.path.join(folder, name), "rb").read()).hexdigest()
                     for name in names} for folder in (first, second)}
    with served(live, 48022) as site, browser(1280, 900) as driver:
        def visit():
            driver.get(site)
            return driver.execute_async_script("""const done = arguments[0];
                const hex = (buffer) => Array.from(new Uint8Array(buffer), (b) => b.toString(16).padStart(2, '0')).join('');
                navigator.serviceWorker.ready.then(async (registration) => {
                  await registration.update().catch(() => {});
                  while (registration.installing || registration.waiting) await new Promise((r) => setTimeout(r, 20));
                  const kept = [];
                  for (const name of await caches.keys()) {
                    const cache = await caches.open(name), files = {};
                    for (const request of await cache.keys()) {
                      files[request.url.slice(location.href.length) || 'index.html'] =
                        hex(await crypto.subtle.digest('SHA-256', await (await cache.match(request)).arrayBuffer()));
                    }
                    kept.push(files);
                  }
                  done([window.release || 'first', getComputedStyle(document.documentElement)
                    .getPropertyValue('--release').trim() || 'first', kept]);
                });""")

        runs = [visit()]
        for name in sorted(os.listdir(second), reverse=True):
            shutil.copy(os.path.join(second, name), live)
            runs.append(visit())
        runs.append(visit())
        for script, style, kept in runs:
            check(script == style and all(files in sums.values() for files in kept),
                  f"a visit that ran the {script} script and the {style} style, and kept {kept}")
        check_equal(runs[-1][0], "second", "the release that runs after the copy")
