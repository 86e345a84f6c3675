#!/usr/bin/env python3
"""The demo's pages in a real browser.

Runs quorvel over the bundled sample log into a fresh report directory, then opens
the index page, the year list it links to and every weekly page in headless
Chromium, driven over the DevTools protocol on a pipe (standard library only).
Each page must load with every image decoded (naturalWidth > 0), every local link
must name an existing file (and every in-page anchor an existing target), and the
console must stay free of errors. Full-page screenshots go to the output directory.

The demo is then made again with "pagestyle modern" and served over HTTP with the
header "Content-Security-Policy: default-src 'self'". Its pages are checked the same way
at 1280 and at 400 pixels wide (a phone), and besides: the stylesheet loads, nothing
makes the page wider than the window, and no content-security violation is reported.

Usage: browser_test.py QUORVEL SOURCE_DIR OUTPUT_DIR [--readme DOCS_DIR]
  --readme DOCS_DIR  also write the small pictures of the README: DOCS_DIR/index.png,
                     DOCS_DIR/period.png (classic), DOCS_DIR/modern-index.png,
                     DOCS_DIR/modern-period.png (desktop) and DOCS_DIR/modern-phone.png,
                     DOCS_DIR/modern-index-phone.png (400 pixels wide)
Exit status: 0 passed, 1 failed, 77 skipped (no Chromium on this machine).
"""

import base64
import fcntl
import html.parser
import http.server
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

SKIP = 77
PAGE_TIMEOUT = 20.0  # seconds for one page to load
BROWSER_FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--disable-extensions", "--disable-dev-shm-usage", "--hide-scrollbars",
    "--remote-debugging-pipe",
]


class Failure(Exception):
    pass


def find_chromium():
    for candidate in (os.environ.get("CHROMIUM"), "/usr/bin/chromium", shutil.which("chromium")):
        if candidate and os.access(candidate, os.X_OK):
            return candidate
    return None


class Links(html.parser.HTMLParser):
    """The href of every <a> of a page, in order."""

    def __init__(self):
        super().__init__()
        self.hrefs = []

    def handle_starttag(self, tag, attrs):
        if tag == "a":
            for name, value in attrs:
                if name == "href" and value:
                    self.hrefs.append(value)


def links_of(path):
    parser = Links()
    with open(path, encoding="latin-1") as page:
        parser.feed(page.read())
    return parser.hrefs


def make_demo(quorvel, source, work, extra=()):
    """The demo's report directory, made the way scripts/demo.sh makes it; extra lines
    go at the end of its configuration."""
    reports = os.path.join(work, "reports")
    os.mkdir(reports)
    config = os.path.join(work, "quorvel.conf")
    lines = ["reportdir " + reports]
    with open(os.path.join(source, "examples", "quorvel.conf"), encoding="latin-1") as sample:
        for line in sample:
            words = line.split()
            if words and words[0].lower() in ("reportdir", "logfile", "logdir"):
                continue
            lines.append(line.rstrip("\n"))
    lines += extra
    with open(config, "w", encoding="latin-1") as out:
        out.write("\n".join(lines) + "\n")
    run = subprocess.run(
        [quorvel, "-c", config, "-l", os.path.join(source, "examples", "sample.log"),
         "-b", "03/01/2024", "-e", "03/28/2024"],
        stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=120)
    if run.returncode != 0 or run.stderr:
        raise Failure("quorvel failed (status %d): %s" % (run.returncode, run.stderr))
    return reports


class Browser:
    """Headless Chromium spoken to over --remote-debugging-pipe: JSON messages,
    each ended by a NUL byte; commands go in on descriptor 3, replies and events
    come out on descriptor 4."""

    def __init__(self, chromium, profile, log_path):
        to_browser_r, self.to_browser = os.pipe()
        self.from_browser, from_browser_w = os.pipe()

        def place_pipes():
            # Copies numbered above 4 first, so that placing one end on 3 or 4 cannot
            # overwrite the other before it is placed.
            high_r = fcntl.fcntl(to_browser_r, fcntl.F_DUPFD, 10)
            high_w = fcntl.fcntl(from_browser_w, fcntl.F_DUPFD, 10)
            os.dup2(high_r, 3)
            os.dup2(high_w, 4)

        self.log = open(log_path, "wb")
        self.process = subprocess.Popen(
            [chromium] + BROWSER_FLAGS + ["--user-data-dir=" + profile, "about:blank"],
            stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log,
            preexec_fn=place_pipes, close_fds=False)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self.buffer = b""
        self.next_id = 0
        self.events = []

    def send(self, method, params=None, session=None, timeout=PAGE_TIMEOUT):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + timeout
        while True:
            reply = self._receive(deadline)
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise Failure("%s: %s" % (method, reply["error"].get("message")))
                return reply.get("result", {})
            if "method" in reply:
                self.events.append(reply)

    def wait_for(self, method, session, timeout=PAGE_TIMEOUT):
        """Waits for an event, keeping every other event for later inspection."""
        for at, event in enumerate(self.events):
            if event["method"] == method and event.get("sessionId") == session:
                del self.events[at]
                return event
        deadline = time.monotonic() + timeout
        while True:
            event = self._receive(deadline)
            if event.get("method") == method and event.get("sessionId") == session:
                return event
            if "method" in event:
                self.events.append(event)

    def _receive(self, deadline):
        while b"\0" not in self.buffer:
            if time.monotonic() > deadline:
                raise Failure("the browser did not answer in time")
            ready, _, _ = select.select([self.from_browser], [], [], 0.5)
            if not ready:
                if self.process.poll() is not None:
                    raise Failure("the browser ended with status %d" % self.process.returncode)
                continue
            chunk = os.read(self.from_browser, 1 << 20)
            if not chunk:
                raise Failure("the browser closed its pipe")
            self.buffer += chunk
        message, _, self.buffer = self.buffer.partition(b"\0")
        return json.loads(message)

    def close(self):
        try:
            os.write(self.to_browser, json.dumps({"id": 0, "method": "Browser.close"}).encode() + b"\0")
        except OSError:
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        os.close(self.to_browser)
        os.close(self.from_browser)
        self.log.close()


PAGE_FACTS = """JSON.stringify({
  title: document.title,
  images: Array.from(document.images).map(i => ({src: i.getAttribute('src'), url: i.src,
    complete: i.complete, width: i.naturalWidth, height: i.naturalHeight})),
  links: Array.from(document.links).map(a => ({href: a.getAttribute('href'), url: a.href})),
  anchors: Array.from(document.querySelectorAll('a[name], [id]'))
    .map(e => e.getAttribute('name') || e.id),
  width: document.documentElement.scrollWidth,
  height: document.documentElement.scrollHeight
})"""


def local_path(url):
    """The file a file:// URL names, without its fragment; None for other URLs."""
    parts = urllib.parse.urlsplit(url)
    if parts.scheme != "file":
        return None
    return urllib.parse.unquote(parts.path)


# What the modern pages must show besides: the window's width, the stylesheets with their
# rule counts (-1 when unreadable), content-security violations, inline styles and scripts.
MODERN_FACTS = """JSON.stringify({
  innerWidth: window.innerWidth,
  sheets: Array.from(document.styleSheets).map(s => {
    let rules = -1; try { rules = s.cssRules.length; } catch (e) {}
    return {href: s.href, rules: rules}; }),
  violations: window.__violations || [],
  styled: document.querySelectorAll('[style], style').length,
  scripts: document.scripts.length,
  charset: document.characterSet,
  viewport: (document.querySelector('meta[name=viewport]') || {}).content || '',
  wide: Array.from(document.body.querySelectorAll('*'))
    .filter(e => e.getBoundingClientRect().right > window.innerWidth + 0.5 &&
                 !e.closest('table'))
    .slice(0, 3).map(e => e.tagName + (e.className ? '.' + e.className : ''))
})"""

# Records every content-security violation of a page before its own content runs.
VIOLATION_RECORDER = """window.__violations = [];
document.addEventListener('securitypolicyviolation',
  e => window.__violations.push(e.violatedDirective + ' ' + e.blockedURI));"""


class Page:
    def __init__(self, browser):
        self.browser = browser
        target = browser.send("Target.createTarget", {"url": "about:blank"})
        self.session = browser.send("Target.attachToTarget",
                                    {"targetId": target["targetId"], "flatten": True})["sessionId"]
        for domain in ("Page.enable", "Runtime.enable", "Log.enable"):
            browser.send(domain, session=self.session)
        browser.send("Page.addScriptToEvaluateOnNewDocument", {"source": VIOLATION_RECORDER},
                     session=self.session)

    def open(self, path, width=1000, mobile=False, modern=False):
        """Loads a page (a file, or an http URL) and returns what it shows and every console
        error it caused; with modern, the facts of MODERN_FACTS too."""
        # A plain window again, so that the page's height is its own, not the last screenshot's.
        self.browser.send("Emulation.setDeviceMetricsOverride",
                          {"width": width, "height": 800, "deviceScaleFactor": 1, "mobile": mobile},
                          session=self.session)
        self.browser.events = [e for e in self.browser.events if e.get("sessionId") != self.session]
        url = path if path.startswith("http:") else "file://" + urllib.parse.quote(path)
        reply = self.browser.send("Page.navigate", {"url": url}, session=self.session)
        if reply.get("errorText"):
            raise Failure("%s: %s" % (path, reply["errorText"]))
        self.browser.wait_for("Page.loadEventFired", self.session)
        facts = json.loads(self.evaluate(PAGE_FACTS))
        if modern:
            facts.update(json.loads(self.evaluate(MODERN_FACTS)))
        # Let late console messages arrive before they are counted.
        self.evaluate("new Promise(r => setTimeout(r, 100)).then(() => 1)")
        facts["errors"] = self.console_errors()
        return facts

    def evaluate(self, expression):
        result = self.browser.send("Runtime.evaluate",
                                   {"expression": expression, "returnByValue": True,
                                    "awaitPromise": True}, session=self.session)
        if "exceptionDetails" in result:
            raise Failure("script failed: %s" % result["exceptionDetails"].get("text"))
        return result["result"].get("value")

    def console_errors(self):
        errors = []
        for event in self.browser.events:
            if event.get("sessionId") != self.session:
                continue
            method, params = event["method"], event.get("params", {})
            if method == "Runtime.exceptionThrown":
                errors.append(params["exceptionDetails"].get("text", "exception"))
            elif method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
                errors.append(" ".join(str(a.get("value", a.get("description", "")))
                                       for a in params.get("args", [])))
            elif method == "Log.entryAdded" and params["entry"].get("level") == "error":
                entry = params["entry"]
                errors.append("%s %s" % (entry.get("text", ""), entry.get("url", "")))
        return errors

    def screenshot(self, path, width, height, scale=1.0, mobile=False):
        self.browser.send("Emulation.setDeviceMetricsOverride",
                          {"width": width, "height": height, "deviceScaleFactor": 1,
                           "mobile": mobile}, session=self.session)
        shot = self.browser.send(
            "Page.captureScreenshot",
            {"format": "png", "captureBeyondViewport": True,
             "clip": {"x": 0, "y": 0, "width": width, "height": height, "scale": scale}},
            session=self.session)
        with open(path, "wb") as out:
            out.write(base64.b64decode(shot["data"]))


def check_page(name, path, facts, problems, served=None):
    """Adds to problems what is wrong with one loaded page. served: the server base URL
    and the directory it serves, when the page came over HTTP."""
    if not facts["images"] and "year list" not in name:
        problems.append("%s: no images at all" % name)
    for image in facts["images"]:
        if not image["complete"] or image["width"] <= 0:
            problems.append("%s: image %s did not load" % (name, image["src"]))
    page_file = os.path.realpath(path)
    for link in facts["links"]:
        href, url = link["href"], link["url"]
        if href.startswith("#"):
            if href[1:] not in facts["anchors"]:
                problems.append("%s: anchor %s has no target" % (name, href))
            continue
        target = local_path(url)
        if served and url.startswith(served[0]):
            target = os.path.join(served[1], urllib.parse.unquote(
                urllib.parse.urlsplit(url).path).lstrip("/"))
        if target is None:
            continue  # a document of the site or a referring page: not ours
        if not os.path.isfile(target):
            problems.append("%s: link %s names no file" % (name, href))
        elif os.path.realpath(target) == page_file and "#" not in href:
            problems.append("%s: link %s leads back to the page itself" % (name, href))
    for error in facts["errors"]:
        problems.append("%s: console error: %s" % (name, error))


def check_modern(name, facts, problems):
    """Adds to problems what is wrong with a loaded modern page beyond check_page."""
    if facts["width"] > facts["innerWidth"]:
        problems.append("%s: the page is %d pixels wide in a window of %d (%s)" % (
            name, facts["width"], facts["innerWidth"], ", ".join(facts["wide"])))
    if not facts["sheets"] or any(sheet["rules"] <= 0 for sheet in facts["sheets"]):
        problems.append("%s: stylesheet missing or empty: %s" % (name, facts["sheets"]))
    for violation in facts["violations"]:
        problems.append("%s: content-security violation: %s" % (name, violation))
    if facts["styled"] or facts["scripts"]:
        problems.append("%s: %d inline styles, %d scripts" % (name, facts["styled"],
                                                              facts["scripts"]))
    if facts["charset"] != "UTF-8" or "width=device-width" not in facts["viewport"]:
        problems.append("%s: charset %s, viewport %r" % (name, facts["charset"],
                                                         facts["viewport"]))


CSP = "default-src 'self'"


class Server:
    """A directory over HTTP on a free local port; every answer carries the
    Content-Security-Policy header CSP."""

    def __init__(self, directory):
        class Handler(http.server.SimpleHTTPRequestHandler):
            def __init__(self, *args, **kwargs):
                super().__init__(*args, directory=directory, **kwargs)

            def do_GET(self):
                # The browser asks for an icon of its own accord; the pages name none.
                if self.path == "/favicon.ico":
                    self.send_response(204)
                    self.end_headers()
                    return
                super().do_GET()

            def end_headers(self):
                self.send_header("Content-Security-Policy", CSP)
                self.send_header("Cache-Control", "no-store")
                super().end_headers()

            def log_message(self, *args):
                pass

        self.directory = directory
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.base = "http://127.0.0.1:%d/" % self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def demo_pages(reports):
    """The index, its one year list and the five weekly pages: (name, file) pairs."""
    index = os.path.join(reports, "index.html")
    year_lists = [h for h in links_of(index) if h.endswith("h.html")]
    if len(year_lists) != 1:
        raise Failure("the index should link to one year list, not %s" % year_lists)
    year_list = os.path.join(reports, year_lists[0])
    # Each once: a modern list links to the latest week in its navigation bar too.
    weeks = list(dict.fromkeys(h for h in links_of(year_list) if h.split(".")[0].isdigit()))
    if len(weeks) != 5:
        raise Failure("the year list should link to five weekly pages, not %s" % weeks)
    visits = [("index", index), ("year list", year_list)]
    return visits + [("week " + w, os.path.join(reports, w)) for w in weeks]


def modern_checks(page, quorvel, source, work, output, readme, problems):
    """The modern demo over HTTP under the content-security policy, at two widths."""
    modern = os.path.join(work, "modern")
    os.mkdir(modern)
    reports = make_demo(quorvel, source, modern,
                        ["pagestyle modern", "totals", "* All accesses", "end totals"])
    server = Server(reports)
    try:
        visits = demo_pages(reports)
        for width, mobile, suffix in ((1280, False, ""), (400, True, "-phone")):
            for name, path in visits:
                url = server.base + os.path.basename(path)
                facts = page.open(url, width, mobile, modern=True)
                label = "modern %s at %d" % (name, width)
                check_page(label, path, facts, problems, (server.base, reports))
                check_modern(label, facts, problems)
                shot = os.path.join(output, "modern-" + os.path.basename(path).replace(
                    ".html", suffix + ".png"))
                page.screenshot(shot, width, min(max(facts["height"], 200), 8000), 1.0, mobile)
                print("%-24s %2d images, %3d links, %d errors; %s" % (
                    label, len(facts["images"]), len(facts["links"]), len(facts["errors"]), shot))
        if readme:
            week = server.base + os.path.basename(visits[3][1])
            page.open(server.base + "index.html", 1100, False, modern=True)
            page.screenshot(os.path.join(readme, "modern-index.png"), 1100, 1130, 0.6)
            page.open(week, 1100, False, modern=True)
            page.screenshot(os.path.join(readme, "modern-period.png"), 1100, 1500, 0.6)
            page.open(server.base + "index.html", 400, True, modern=True)
            page.screenshot(os.path.join(readme, "modern-index-phone.png"), 400, 800, 0.75, True)
            page.open(week, 400, True, modern=True)
            page.screenshot(os.path.join(readme, "modern-phone.png"), 400, 800, 0.75, True)
    finally:
        server.close()


def main(argv):
    args = argv[1:]
    readme = None
    if "--readme" in args:
        at = args.index("--readme")
        readme = args[at + 1]
        del args[at:at + 2]
    if len(args) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    quorvel, source, output = (os.path.abspath(a) for a in args)
    chromium = find_chromium()
    if not chromium:
        print("chromium is not installed (scripts/bootstrap.sh chromium installs it): skipped")
        return SKIP
    os.makedirs(output, exist_ok=True)

    work = tempfile.mkdtemp(prefix="quorvel-browser-")
    browser = None
    problems = []
    try:
        reports = make_demo(quorvel, source, work)
        visits = demo_pages(reports)
        index = visits[0][1]
        weeks = [os.path.basename(path) for _, path in visits[2:]]

        started = time.monotonic()
        browser = Browser(chromium, os.path.join(work, "profile"), os.path.join(output, "chromium.log"))
        page = Page(browser)
        for name, path in visits:
            facts = page.open(path)
            check_page(name, path, facts, problems)
            shot = os.path.join(output, os.path.basename(path).replace(".html", ".png"))
            page.screenshot(shot, 1000, min(max(facts["height"], 200), 6000))
            print("%-16s %-12s %2d images, %3d links, %d console errors; %s" % (
                name, os.path.basename(path), len(facts["images"]), len(facts["links"]),
                len(facts["errors"]), shot))
        if readme:
            # Small pictures for the README: the top of the index and of the busiest week.
            os.makedirs(readme, exist_ok=True)
            page.open(index)
            page.screenshot(os.path.join(readme, "index.png"), 900, 680, 0.6)
            page.open(os.path.join(reports, weeks[1]))
            page.screenshot(os.path.join(readme, "period.png"), 900, 1500, 0.6)
        modern_checks(page, quorvel, source, work, output, readme, problems)
        print("browser checks took %.1f s" % (time.monotonic() - started))
    except Failure as failure:
        problems.append(str(failure))
    finally:
        if browser:
            browser.close()
        shutil.rmtree(work, ignore_errors=True)

    for problem in problems:
        print("FAILED: " + problem)
    if problems:
        print("browser log: " + os.path.join(output, "chromium.log"))
        return 1
    print("all pages passed")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
