"""The site that the package target makes, served from 127.0.0.1 and read in a real browser
(Debian's Chromium, headless, through Selenium): both pages clean under tidy, loaded with no
console error, every address on them answered, the screenshot loaded, the game page's sizes and
sums those of its files, the Chinese texts shown, and no sideways scrolling on a phone; and the
game's own two links, in a build for this site, opening its two pages.

The link to play/ is among the addresses that must answer. Screenshots of each page at a
desktop's and a phone's width (390 CSS pixels) go to build/e2e/site-*.png. The build for this
site has SMORVALA_HOMEPAGE set to the test's server; the links test's capture reads the addresses
that its menu and About box open."""

import base64
import contextlib
import email.utils
import functools
import gzip
import hashlib
import http.server
import io
import os
import re
import subprocess
import sys
import threading
import urllib.request

import PIL.Image
import pytest
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

from desktop import BUILD, ROOT, ROUTE, publisher_details
from smorvala_e2e import check, check_equal, work_dir
# The links test's capture of the addresses the game opens, and its game with the About box.
from test_about_and_links import (AboutGame, browser_recorder_and_no_sound_server, forget_opened,  # noqa: F401
                                  wait_opened)

SITE = os.path.join(BUILD, "windows", "site")
PAGES = ["index.html", "morvala.htm"]
POLICY = b'<meta http-equiv="Content-Security-Policy"'
# The width of a desktop browser and of a phone, in CSS pixels.
WIDTHS = {"desktop": (1280, 900), "phone": (390, 844)}
PUBLISHER = publisher_details("windows")
TEXTS = {
    "index.html": [PUBLISHER["PUBLISHER"], "游戏", "在浏览器中玩", "联系我们", "邮箱： " + PUBLISHER["EMAIL"],
                   PUBLISHER["IM"]],
    "morvala.htm": ["在浏览器中玩", "游戏简介", "按键", "W 或 ↑", "改变形状", "向下加速", "下载", "安装版（推荐）", "绿色版",
                    "校验下载的文件", "certutil -hashfile", "sha256sum -c", "系统要求", "Windows XP 至 Windows 11",
                    "Wine 8", "In English"],
}


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    """Serves a folder as a static host does; with `compress`, HTML, CSS, JavaScript and JSON
    gzipped to a browser that asks for it. With instruments, a folder's page (an address that ends
    in / or index.html) has their script before the page's policy."""

    def log_message(self, *arguments):
        pass

    def log_request(self, code="-", size="-"):
        self.server.requests.append((self.path, int(code)))

    def end_headers(self):
        if self.server.policy:
            self.send_header("Content-Security-Policy", self.server.policy)
        super().end_headers()

    def send_head(self):
        if self.server.redirect and self.path.endswith(self.server.redirect[0]):
            self.send_response(301)
            self.send_header("Location", self.path.removesuffix(self.server.redirect[0]) + self.server.redirect[1])
            return self.end_headers()
        path = self.translate_path(self.path)
        page = os.path.isdir(path) and self.path.split("?")[0].endswith("/")
        path = os.path.join(path, "index.html") if page else path
        page = path.endswith(os.sep + "index.html")
        compress = self.server.compress and path.endswith((".html", ".css", ".js", ".json")) and \
            "gzip" in self.headers.get("Accept-Encoding", "")
        if not (compress or page and self.server.instruments) or not os.path.isfile(path):
            return super().send_head()
        with open(path, "rb") as file:
            body = file.read().replace(POLICY, self.server.instruments + POLICY) if page else file.read()
        body = gzip.compress(body) if compress else body
        self.send_response(200)
        for header, value in (("Content-Type", self.guess_type(path)), ("Content-Length", str(len(body))),
                              *([("Content-Encoding", "gzip")] if compress else [])):
            self.send_header(header, value)
        self.end_headers()
        return io.BytesIO(body)


class SiteServer(http.server.ThreadingHTTPServer):
    def handle_error(self, request, client_address):
        # A browser may drop a connection it no longer needs, as it ends.
        if not isinstance(sys.exc_info()[1], ConnectionError):
            super().handle_error(request, client_address)


@contextlib.contextmanager
def served(folder, port=0, instruments="", compress=False, redirect=None, policy=None, requests=None):
    """The folder served from 127.0.0.1 at that port, or at a free one, as a web server would serve
    it; gives its address. With `redirect`, an address ending in its first part is sent to its second;
    `policy` makes a header of the page's own policy, the instruments allowed; `requests` lists each."""
    server = SiteServer(("127.0.0.1", port), functools.partial(QuietHandler, directory=folder))
    server.instruments, server.compress = f"<script>{instruments}</script>".encode() if instruments else b"", compress
    server.redirect, server.requests, server.policy = redirect, [] if requests is None else requests, None
    if policy:
        with open(os.path.join(folder, "index.html"), "rb") as page:
            own = re.search(POLICY + rb' content="([^"]*)"', page.read())[1].decode()
        allowed = base64.b64encode(hashlib.sha256(server.instruments[8:-9]).digest()).decode()
        server.policy = policy(own.replace("script-src", f"script-src 'sha256-{allowed}'"))
    thread = threading.Thread(target=server.serve_forever)
    thread.start()
    try:
        yield f"http://127.0.0.1:{server.server_address[1]}/"
    finally:
        server.shutdown()
        thread.join()
        server.server_close()


@pytest.fixture(scope="module")
def site_server():
    with served(SITE, 48017) as address:
        yield address


@contextlib.contextmanager
def browser(width, height):
    """Chromium with a view of that size, as a phone's where it is narrow: a window is never
    that narrow."""
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    # No sandbox where the suite runs as root, which Chromium's sandbox refuses.
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", f"--window-size={width},{height}"):
        options.add_argument(argument)
    if width < WIDTHS["desktop"][0]:
        options.add_experimental_option("mobileEmulation", {
            "deviceMetrics": {"width": width, "height": height, "pixelRatio": 1}})
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        yield driver
    finally:
        driver.quit()


def answers(address):
    with urllib.request.urlopen(address, timeout=10) as response:
        return response.status


@pytest.mark.parametrize("page", PAGES)
def test_the_page_is_clean_loads_whole_and_reads_on_a_desktop_and_a_phone(site_server, page):
    tidy = subprocess.run(["tidy", "-q", "-e", "-utf8", os.path.join(SITE, page)], capture_output=True, text=True)
    check_equal((tidy.returncode, tidy.stdout + tidy.stderr), (0, ""), f"tidy on {page}")
    for name, (width, height) in WIDTHS.items():
        with browser(width, height) as driver:
            driver.get(site_server + page)
            errors = [entry["message"] for entry in driver.get_log("browser") if entry["level"] == "SEVERE"]
            check_equal(errors, [], f"{page}: console errors at the {name}'s width")
            addresses = {element.get_attribute(attribute).split("#")[0]
                         for tag, attribute in (("a", "href"), ("link", "href"), ("img", "src"))
                         for element in driver.find_elements(By.TAG_NAME, tag)}
            check(all(address.startswith(site_server) for address in addresses),
                  f"{page}: addresses outside the site: {sorted(addresses)}")
            check_equal({address: answers(address) for address in addresses},
                        dict.fromkeys(addresses, 200), f"{page}: what every address answers")
            with PIL.Image.open(os.path.join(SITE, "smorvala", "screenshot.png")) as picture:
                for image in driver.find_elements(By.TAG_NAME, "img"):
                    check_equal((image.get_property("naturalWidth"), image.get_property("naturalHeight")),
                                picture.size, f"{page}: the screenshot as loaded")
            text = driver.find_element(By.TAG_NAME, "body").text
            check_equal([t for t in TEXTS[page] if t not in text], [], f"{page}: texts not shown")
            scroll, view = driver.execute_script(
                "return [document.documentElement.scrollWidth, document.documentElement.clientWidth]")
            if name == "phone":
                check_equal(view, width, f"{page}: the phone's view")
                # The web edition a thumb's tap away in the first screen; on the game's page, its
                # picture too.
                ways = driver.execute_script("""return Array.from(document.querySelectorAll('a[href="play/"]'),
                    (a) => [a.getBoundingClientRect().height, a.getBoundingClientRect().bottom, !!a.querySelector('img')])""")
                check(any(high >= 44 and bottom <= height for high, bottom, _ in ways), f"{page}: the way to play/: {ways}")
                check(page == "index.html" or any(picture for *_, picture in ways), f"{page}: the screenshot leads to play/")
            check(scroll <= view, f"{page}: {scroll} px wide in a {view}-px view at the {name}'s width")
            driver.save_screenshot(os.path.join(work_dir(), f"site-{page}-{name}.png"))


def test_the_game_page_gives_each_downloads_size_and_sum_and_the_release(site_server):
    with browser(*WIDTHS["desktop"]) as driver:
        driver.get(site_server + "morvala.htm")
        rows = driver.find_elements(By.CSS_SELECTOR, "table.downloads tbody tr")
        named = []
        for row in rows:
            name = row.find_element(By.TAG_NAME, "a").get_attribute("href")[len(site_server):]
            with open(os.path.join(SITE, name), "rb") as download:
                data = download.read()
            size, digest = re.search(r"(\d+) 字节", row.text)[1], row.find_element(By.TAG_NAME, "code").text
            check_equal((int(size), digest), (len(data), hashlib.sha256(data).hexdigest()), name)
            named.append(name)
        check_equal(sorted(re.sub(r"\d+\.\d+\.\d+", "N", name) for name in named),
                    ["SMorvala-N-setup.exe", "SMorvala-N-win32.zip", "smorvala_N_all.deb"], "the downloads")
        # The latest entry of the changelog: its version on the first line, its date on the first
        # signature.
        with open(os.path.join(ROOT, "linux", "changelog"), encoding="utf-8") as changelog:
            entry = changelog.read()
        version = re.match(r"smorvala \(([^)]+)\)", entry)[1]
        day = email.utils.parsedate_to_datetime(re.search(r"^ -- .*>  (.*)$", entry, re.M)[1]).date()
        check(f"版本 {version} · 发布于 {day}" in driver.find_element(By.TAG_NAME, "body").text,
              f"the version {version} and the date {day} on the game's page")


def test_the_games_two_links_in_a_build_for_this_site_open_its_two_pages(site_server):
    """A build whose site is the local server: the menu's link and the About box's open the
    addresses that the server answers with the home page and the game's page."""
    # The route's program: a folder of each, since a folder keeps the toolchain it was set up with.
    build = os.path.join(BUILD, f"{ROUTE.build}-local-site")
    toolchain = "mingw-i686" if ROUTE.build == "windows" else "mingw-x86_64"
    subprocess.run(["cmake", "-S", ROOT, "-B", build, f"--toolchain={ROOT}/cmake/{toolchain}.cmake",
                    "-DCMAKE_BUILD_TYPE=Release", f"-DSMORVALA_HOMEPAGE={site_server}"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "-j", str(os.cpu_count()), "--target", "SMorvala"],
                   check=True, stdout=subprocess.DEVNULL)
    with AboutGame("site-links", program=os.path.join(build, "SMorvala.exe")) as game:
        forget_opened()
        game.press("alt+e")
        wait_opened([site_server])
        game.open_about()
        game.click_visit()
        wait_opened([site_server, site_server + "morvala.htm"])
    for address, page in ((site_server, "index.html"), (site_server + "morvala.htm", "morvala.htm")):
        with urllib.request.urlopen(address, timeout=10) as response, open(os.path.join(SITE, page), "rb") as made:
            check_equal((response.status, response.read() == made.read()), (200, True), f"what {address} answers")
