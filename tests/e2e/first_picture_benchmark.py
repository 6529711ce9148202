"""From navigation to the frame after the page first paints the pixel (10, 14) of its canvas white
(the well's dotted frame; all of the bare page's canvas), for the web edition and for a bare page
that fills one canvas, in headless Chromium with its cache and the service worker left out, as on
a first visit: on this machine, and on a slow mobile network (150 ms from each request to its
answer, 1.6 Mbit/s down, 750 kbit/s up) from a server that compresses the page as static hosts do.
Markdown table rows of the times and the size (see tests/e2e/run-benchmark)."""

import os
import statistics

from desktop import BUILD, ROOT
from smorvala_e2e import wait_until
from test_site import browser, served

RUNS = 20
PAGES = {"game": os.path.join(BUILD, "web"), "bare": os.path.join(ROOT, "tests", "bench")}
WATCH = """const fill = CanvasRenderingContext2D.prototype.fillRect;
CanvasRenderingContext2D.prototype.fillRect = function (x, y, width, height) {
  fill.call(this, x, y, width, height);
  if (window.firstPicture === undefined && this.fillStyle === '#ffffff' && x <= 10 && y <= 14 && x + width > 10
      && y + height > 14) {
    window.firstPicture = null;
    requestAnimationFrame((time) => { window.firstPicture = time; });
  }
};"""
NETWORKS = {"this machine": {"latency": 0, "downloadThroughput": -1, "uploadThroughput": -1},
            "a slow mobile network, gzip": {"latency": 150, "downloadThroughput": 200000, "uploadThroughput": 93750}}


def main():
    with served(PAGES["game"], compress=True) as game, served(PAGES["bare"], compress=True) as bare, \
            browser(1280, 900) as driver:
        driver.execute_cdp_cmd("Network.enable", {})
        driver.execute_cdp_cmd("Network.setCacheDisabled", {"cacheDisabled": True})
        driver.execute_cdp_cmd("Network.setBypassServiceWorker", {"bypass": True})
        driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": WATCH})
        for network, conditions in NETWORKS.items():
            driver.execute_cdp_cmd("Network.emulateNetworkConditions", {"offline": False, **conditions})
            times = {name: [] for name in PAGES}
            for _ in range(RUNS):
                for name, address in (("game", game), ("bare", bare + "bare_page.html")):
                    driver.get(address)
                    times[name].append(wait_until(lambda: driver.execute_script("return window.firstPicture"), 30,
                                                  address))
            game_ms, bare_ms = (statistics.median(times[name]) for name in PAGES)
            print(f"| first picture in headless Chromium on {network}, cache off (median of {RUNS}, ms) | "
                  f"{game_ms:.0f} | {bare_ms:.0f} (bare page) | {game_ms / bare_ms:.2f} |")
    game_size = sum(os.path.getsize(os.path.join(PAGES["game"], file)) for file in os.listdir(PAGES["game"]))
    bare_size = os.path.getsize(os.path.join(PAGES["bare"], "bare_page.html"))
    print(f"| web edition size, everything in build/web (bytes) | {game_size} | {bare_size} (bare page) | "
          f"{game_size / bare_size:.1f} |")


if __name__ == "__main__":
    main()
