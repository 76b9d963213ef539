#!/usr/bin/env python3
"""The review page of `vrim report`, loaded from a file URL in headless
Chromium with the network off, checked as a reviewer would use it.

Chromium is driven over its DevTools protocol on a pipe (fds 3 and 4,
--remote-debugging-pipe): no port is opened, and the protocol reports every
console message and every request the page makes, which is what these checks
are about. Only the standard library is used.

Usage: browser_test.py --vrim PATH --out DIR [--chromium PATH]
Prints one line per check and "N passed, N failed"; exits 1 on any failure,
including a Chromium that cannot start.
"""

import argparse
import json
import math
import os
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

TIMEOUT = 60.0  # seconds for any one protocol answer or page load

# --------------------------------------------------------------------------
# Scenes made here, as the host writes them.

def block(keys, key_num=None):
    """A wrapped key block; keys: (freq, wx, wy, wz, start, end, fall_off)."""
    lines = ["Plugin ItemMotionHandler 1 VRIM_S", "VRIM_START",
             "KEY_NUM %f" % (len(keys) if key_num is None else key_num)]
    for freq, wx, wy, wz, start, end, fall in keys:
        lines += ["KEY_START", "FREQ %s" % freq, "FREQ_W_X %s" % wx, "FREQ_W_Y %s" % wy,
                  "FREQ_W_Z %s" % wz, "START_F %f" % start, "END_F %f" % end,
                  "FALL_OFF %f" % fall]
    return lines + ["VRIM_END", "EndPlugin"]


def scene(fps, first, last, items):
    """items: (name, keys or None for an item without a shake)."""
    lines = ["LWSC", "3", "", "FirstFrame %d" % first, "LastFrame %d" % last, "FrameStep 1",
             "FramesPerSecond %g" % fps, ""]
    for name, keys in items:
        lines += ["AddNullObject %s" % name, "ShowObject 6 3", "ObjectMotion", "NumChannels 9"]
        if keys is not None:
            lines += block(keys)
        lines.append("")
    return "\n".join(lines) + "\n"


# name -> (fps, first, last, items); items with keys are the ones the page draws.
SCENES = {
    "several.lws": (30, 0, 90, [
        # Key 1 runs to 70, but key 2 starts at 20: key 1 is hidden after key 2's span.
        # First, so that the screenshot shows a finding.
        ("Hidden_Key", [("0.4", 0.1, 0.1, 0, 0, 70, 0), ("0.2", 0, 0, 0.05, 20, 30, 0)]),
        ("Camera_Rig", [("0.100000", 0, 0.08, 0, 0, 24, 1), ("0.25", 0.05, 0, 0.03, 36, 60, 0)]),
        ("Lamp_Swing", [("0.5", 0.2, 0, 0, 0, 90, 1)]),
        ("Ground", None),
    ]),
    "nan.lws": (30, 0, 40, [
        ("Broken", [("nan", 0.1, 0, 0, 0, 30, 0)]),
        ("Fine", [("0.3", 0, 0.02, 0, 5, 35, 1)]),
    ]),
    "noshake.lws": (30, 0, 50, [("Tree", None), ("Rock", None)]),
    "fps24.lws": (24, 1001, 1100, [
        ("ShotCam", [("0.2", 0.03, 0.03, 0, 1010, 1090, 1)]),
    ]),
}

# --------------------------------------------------------------------------
# Chromium over the DevTools pipe.

class BrowserError(Exception):
    pass


class Chromium:
    def __init__(self, binary, profile):
        to_chrome_r, self._to_chrome = os.pipe()
        self._from_chrome, from_chrome_w = os.pipe()

        def child_fds():
            # The browser reads commands on fd 3 and writes answers on fd 4.
            a, b = os.dup(to_chrome_r), os.dup(from_chrome_w)
            os.dup2(a, 3)
            os.dup2(b, 4)

        args = [binary, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                "--no-first-run", "--disable-background-networking",
                "--disable-component-update", "--disable-sync", "--disable-extensions",
                "--user-data-dir=" + profile, "--remote-debugging-pipe",
                # Network off: every host name fails, and a proxy that is not there
                # takes anything else.
                "--host-resolver-rules=MAP * ~NOTFOUND", "--proxy-server=http://127.0.0.1:9",
                "--hide-scrollbars", "about:blank"]
        self._log = tempfile.TemporaryFile()
        try:
            self._process = subprocess.Popen(args, stdin=subprocess.DEVNULL,
                                             stdout=self._log, stderr=self._log,
                                             preexec_fn=child_fds, pass_fds=(3, 4),
                                             close_fds=True)
        except OSError as e:
            raise BrowserError("Chromium could not start: %s" % e)
        os.close(to_chrome_r)
        os.close(from_chrome_w)
        self._buffer = b""
        self._next_id = 0
        self.events = []
        self.session = None

    def _read_message(self, deadline):
        while b"\0" not in self._buffer:
            left = deadline - time.monotonic()
            if left <= 0:
                raise BrowserError("Chromium did not answer within %g s" % TIMEOUT)
            ready, _, _ = select.select([self._from_chrome], [], [], left)
            if ready:
                chunk = os.read(self._from_chrome, 1 << 20)
                if not chunk:
                    raise BrowserError("Chromium closed the DevTools pipe (it stopped): "
                                       + self.log_tail())
                self._buffer += chunk
        message, self._buffer = self._buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, params=None, browser_level=False):
        self._next_id += 1
        message = {"id": self._next_id, "method": method, "params": params or {}}
        if self.session and not browser_level:
            message["sessionId"] = self.session
        try:
            os.write(self._to_chrome, json.dumps(message).encode() + b"\0")
        except OSError as e:
            raise BrowserError("Chromium could not be reached: %s; %s" % (e, self.log_tail()))
        deadline = time.monotonic() + TIMEOUT
        while True:
            answer = self._read_message(deadline)
            if answer.get("id") == self._next_id:
                if "error" in answer:
                    raise BrowserError("%s failed: %s" % (method, answer["error"]))
                return answer.get("result", {})
            self.events.append(answer)

    def wait_for(self, method):
        deadline = time.monotonic() + TIMEOUT
        while True:
            for i, event in enumerate(self.events):
                if event.get("method") == method:
                    return self.events.pop(i)
            self.events.append(self._read_message(deadline))

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", {"expression": expression,
                                                "returnByValue": True, "awaitPromise": True})
        if "exceptionDetails" in result:
            raise BrowserError("script failed: %s" % json.dumps(result["exceptionDetails"]))
        return result["result"].get("value")

    def log_tail(self):
        self._log.seek(0)
        return self._log.read()[-600:].decode(errors="replace").strip()

    def close(self):
        try:
            self.call("Browser.close", browser_level=True)
        except BrowserError:
            pass
        try:
            self._process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self._process.kill()
            self._process.wait()
        os.close(self._to_chrome)
        os.close(self._from_chrome)


def open_page(browser, url, width, height, scripts=True):
    target = browser.call("Target.createTarget", {"url": "about:blank"}, browser_level=True)
    browser.session = browser.call("Target.attachToTarget",
                                   {"targetId": target["targetId"], "flatten": True},
                                   browser_level=True)["sessionId"]
    for domain in ("Page", "Runtime", "Log", "Network"):
        browser.call(domain + ".enable")
    browser.call("Network.emulateNetworkConditions", {"offline": True, "latency": 0,
                                                      "downloadThroughput": -1,
                                                      "uploadThroughput": -1})
    browser.call("Emulation.setDeviceMetricsOverride", {"width": width, "height": height,
                                                        "deviceScaleFactor": 1,
                                                        "mobile": width < 600})
    browser.call("Emulation.setScriptExecutionDisabled", {"value": not scripts})
    browser.events.clear()
    browser.call("Page.navigate", {"url": url})
    browser.wait_for("Page.loadEventFired")


def problems(browser, page_url):
    """Console errors, uncaught exceptions and requests for anything but the page."""
    found = []
    for event in browser.events:
        method, params = event.get("method"), event.get("params", {})
        if method == "Runtime.exceptionThrown":
            found.append("exception: " + json.dumps(params["exceptionDetails"])[:300])
        elif method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
            found.append("console error: " + json.dumps(params.get("args"))[:300])
        elif method == "Log.entryAdded" and params["entry"].get("level") == "error":
            found.append("log error: " + params["entry"].get("text", "")[:300])
        elif method == "Network.requestWillBeSent":
            url = params["request"]["url"]
            if url != page_url:
                found.append("request left the page: " + url[:200])
    # One line each, however often the page repeats it.
    return ["%s (x%d)" % (f, found.count(f)) for f in dict.fromkeys(found)]


# --------------------------------------------------------------------------
# What the screenshot holds.

def png_pixels(data):
    """(width, height, rows of RGB bytes) of an 8-bit RGB or RGBA PNG."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, chunks, width = 8, [], None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            if depth != 8 or colour not in (2, 6):
                raise ValueError("PNG of depth %d colour type %d" % (depth, colour))
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            chunks.append(body)
        pos += 12 + length
    raw = zlib.decompress(b"".join(chunks))
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        if kind == 1:
            for i in range(channels, stride):
                line[i] = (line[i] + line[i - channels]) & 255
        elif kind == 2:
            line = bytearray((a + b) & 255 for a, b in zip(line, previous))
        elif kind == 3:
            for i in range(stride):
                left = line[i - channels] if i >= channels else 0
                line[i] = (line[i] + ((left + previous[i]) >> 1)) & 255
        elif kind == 4:
            for i in range(stride):
                a = line[i - channels] if i >= channels else 0
                b, c = previous[i], previous[i - channels] if i >= channels else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line[i] for i in range(stride) if i % channels < 3) if channels == 4
                    else bytes(line))
        previous = line
    return width, height, rows


def not_blank(png):
    """Share of pixels that are not the page's white, and distinct colours seen."""
    width, height, rows = png_pixels(png)
    inked, colours = 0, set()
    for row in rows[::4]:
        for x in range(0, width * 3, 12):
            pixel = row[x:x + 3]
            colours.add(pixel)
            inked += pixel != b"\xff\xff\xff"
    return inked / (len(rows[::4]) * len(range(0, width * 3, 12))), len(colours)


# --------------------------------------------------------------------------
# The checks.

class Results:
    def __init__(self):
        self.passed = self.failed = 0

    def check(self, name, good, detail=""):
        if good:
            self.passed += 1
            print("ok   %s" % name)
        else:
            self.failed += 1
            print("FAIL %s%s" % (name, (": " + detail) if detail else ""))


def bake_row(vrim, path, block_number, fps, frames, frame):
    """The x,y,z that `vrim bake` prints for the frame (the item rests at 0,0,0)."""
    out = subprocess.run([vrim, "bake", path, "--block", str(block_number), "--fps", str(fps),
                          "--frames", "%d:%d" % frames], capture_output=True, text=True,
                         timeout=60)
    if out.returncode != 0:
        raise BrowserError("vrim bake failed: " + out.stderr.strip())
    for line in out.stdout.splitlines()[1:]:
        fields = line.split(",")
        if float(fields[0]) == frame:
            return [float(v) for v in fields[2:5]]
    raise BrowserError("vrim bake printed no frame %d" % frame)


def same(page_text, baked):
    if math.isnan(baked):
        return page_text == "NaN"
    try:
        return abs(float(page_text) - baked) <= 1e-6
    except ValueError:
        return False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--vrim", required=True)
    parser.add_argument("--out", required=True, help="folder for scenes, pages and screenshots")
    parser.add_argument("--chromium", default=shutil.which("chromium") or "/usr/bin/chromium")
    args = parser.parse_args()
    out = os.path.abspath(args.out)
    os.makedirs(out, exist_ok=True)
    results = Results()

    paths = []
    for name, (fps, first, last, items) in SCENES.items():
        path = os.path.join(out, name)
        with open(path, "w", newline="\n") as f:
            f.write(scene(fps, first, last, items))
        paths.append(path)
    page = os.path.join(out, "report.html")
    # Run where the scenes are, with their bare names, as a reviewer would:
    # the page (and the README's picture of it) then shows no build folder.
    made = subprocess.run([os.path.abspath(args.vrim), "report", *SCENES.keys(), "-o",
                           "report.html"], capture_output=True, text=True, timeout=120, cwd=out)
    # Exit 2: the NaN value is an error among check's findings.
    results.check("vrim report writes the page", made.returncode == 2 and
                  os.path.exists(page), made.stderr.strip())
    if not os.path.exists(page):
        print("%d passed, %d failed" % (results.passed, results.failed))
        return 1
    url = "file://" + page

    profile = tempfile.mkdtemp(prefix="vrim-chromium-")
    try:
        browser = Chromium(args.chromium, profile)
        try:
            run_checks(browser, args.vrim, paths, url, out, results)
        finally:
            browser.close()
    except BrowserError as e:
        results.check("Chromium runs the page", False, str(e))
    finally:
        shutil.rmtree(profile, ignore_errors=True)
    print("%d passed, %d failed" % (results.passed, results.failed))
    return 0 if results.failed == 0 else 1


def run_checks(browser, vrim, paths, url, out, results):
    open_page(browser, url, 1200, 900)
    found = problems(browser, url)
    results.check("no console error and no request leaving the file", not found,
                  "; ".join(found))

    scenes = list(SCENES.values())
    shown = browser.evaluate("""Array.from(document.querySelectorAll('section.scene')).map(s => ({
        plots: s.querySelectorAll('svg.plot').length,
        rows: s.querySelectorAll('.player tbody tr').length,
        player: !!s.querySelector('.player') && !s.querySelector('.player').hidden,
        names: Array.from(s.querySelectorAll('details.item h3')).map(h => h.textContent)}))""")
    wanted = [[n for n, keys in items if keys is not None] for _, _, _, items in scenes]
    results.check("one plot and one player row per item with a shake",
                  [(s["plots"], s["rows"]) for s in shown] == [(len(w), len(w)) for w in wanted],
                  json.dumps(shown))
    results.check("items are named as the scene names them",
                  [s["names"] for s in shown] == wanted, json.dumps([s["names"] for s in shown]))

    # check's findings stand under their item, each with its file line.
    findings = browser.evaluate("""Object.fromEntries(
        Array.from(document.querySelectorAll('details.item')).map(d => [
            d.querySelector('h3').textContent,
            Array.from(d.querySelectorAll('ul.findings li')).map(li => li.textContent)]))""")
    hidden = findings.get("Hidden_Key", [])
    broken = findings.get("Broken", [])
    results.check("the hidden key and the NaN value are findings with their lines",
                  any("hidden" in f and "several.lws:" in f for f in hidden) and
                  any("nan" in f.lower() and "nan.lws:" in f for f in broken) and
                  not findings.get("Lamp_Swing"), json.dumps(findings)[:600])

    # The slider at frame F shows what `vrim bake` prints for F, on every scene
    # with a shake, the hidden key, the NaN and the 24 fps scene included.
    for index, (name, (fps, first, last, items)) in enumerate(SCENES.items()):
        shaken = [n for n, keys in items if keys is not None]
        if not shaken:
            continue
        for frame in (first + 12, (first + last) // 2, last):
            rows = browser.evaluate("""(() => {
                const s = document.querySelectorAll('section.scene')[%d];
                const p = s.querySelector('.player');
                const slider = p.querySelector('input.frame');
                slider.value = String((%d - Number(p.dataset.first)) / Number(p.dataset.step));
                slider.dispatchEvent(new Event('input'));
                return {now: p.querySelector('output.now').textContent,
                        rows: Array.from(p.querySelectorAll('tbody tr')).map(
                          r => Array.from(r.querySelectorAll('td')).map(c => c.textContent))};
            })()""" % (index, frame))
            mismatches = []
            for number, row in enumerate(rows["rows"]):
                baked = bake_row(vrim, paths[index], number + 1, fps, (first, last), frame)
                if not all(same(text, value) for text, value in zip(row[1:], baked)):
                    mismatches.append("%s: page %s, bake %s" % (shaken[number], row[1:], baked))
            results.check("%s at frame %d shows the offsets vrim bake prints" % (name, frame),
                          rows["now"] == "frame %d" % frame and not mismatches,
                          rows["now"] + "; " + "; ".join(mismatches))

    # Play advances the frame and moves the cursor.
    moved = browser.evaluate("""(async () => {
        const p = document.querySelector('section.scene .player');
        const slider = p.querySelector('input.frame');
        slider.value = '0';
        slider.dispatchEvent(new Event('input'));
        const cursor = document.querySelector('section.scene svg.plot line.cursor');
        const before = [p.querySelector('output.now').textContent, cursor.getAttribute('x1')];
        p.querySelector('button.play').click();
        await new Promise(r => setTimeout(r, 600));
        const after = [p.querySelector('output.now').textContent, cursor.getAttribute('x1')];
        p.querySelector('button.play').click();
        return {before, after, value: Number(slider.value)};
    })()""")
    results.check("play advances the frame and the cursor",
                  moved["value"] > 0 and moved["before"][0] != moved["after"][0] and
                  moved["before"][1] != moved["after"][1], json.dumps(moved))

    # The picture: the first scene at a frame inside its keys, cursor showing.
    browser.evaluate("""(() => {
        const p = document.querySelector('section.scene .player');
        const slider = p.querySelector('input.frame');
        slider.value = '40';
        slider.dispatchEvent(new Event('input'));
        window.scrollTo(0, 0);
    })()""")
    browser.call("Emulation.setDeviceMetricsOverride", {"width": 1100, "height": 1300,
                                                        "deviceScaleFactor": 1,
                                                        "mobile": False})
    shot = browser.call("Page.captureScreenshot", {"format": "png"})
    png = __import__("base64").b64decode(shot["data"])
    shot_path = os.path.join(out, "report-screenshot.png")
    with open(shot_path, "wb") as f:
        f.write(png)
    inked, colours = not_blank(png)
    results.check("the screenshot is not blank (%s)" % shot_path, inked > 0.03 and colours >= 8,
                  "%.1f%% inked, %d colours" % (100 * inked, colours))

    later = problems(browser, url)
    results.check("still no console error after playing", not later, "; ".join(later))

    # At phone width nothing runs off the side; without script the plots stay.
    open_page(browser, url, 375, 800)
    overflow = browser.evaluate("document.documentElement.scrollWidth")
    results.check("fits a phone's width", overflow <= 376, "page is %s px wide" % overflow)
    shot = browser.call("Page.captureScreenshot", {"format": "png"})
    with open(os.path.join(out, "report-phone.png"), "wb") as f:
        f.write(__import__("base64").b64decode(shot["data"]))
    open_page(browser, url, 1200, 900, scripts=False)
    static = browser.evaluate("""({plots: document.querySelectorAll('svg.plot').length,
        keys: document.querySelectorAll('table.keys tbody tr').length})""")
    results.check("without script the plots and key tables are there",
                  static["plots"] == sum(len(w) for w in wanted) and static["keys"] >= 6,
                  json.dumps(static))


if __name__ == "__main__":
    sys.exit(main())
