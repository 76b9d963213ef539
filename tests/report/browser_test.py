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
import base64
import hashlib
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
    # A long shot with one short, fast key: a shake every 0.1 s for 2 s,
    # which the page must show frame by frame. And a name with no break in it.
    "long.lws": (30, 0, 19999, [
        ("Quick_Shake", [("0.1", 0.2, 0.1, 0, 12000, 12060, 0)]),
        ("A_very_long_item_name_without_any_space_in_it_" * 3, [("0.5", 0, 0.1, 0, 30, 90, 1)]),
    ]),
}
LONG_KEY = (12000, 12060)  # the fast key's scene frames (30 fps, as its own)
# A key on 12,000 frames shaking every 3 frames: sampled every 3rd frame, its
# samples all fall on one phase; the curve must still show the whole shake.
SCENES["alias.lws"] = (30, 0, 11999, [("Fast_Long", [("0.1", 0.2, 0, 0, 0, 12000, 0)])])
BIG_FRAMES = 50000000

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


def open_page(browser, url, width, height, scripts=True, scheme="light"):
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
    browser.call("Emulation.setEmulatedMedia", {"features": [
        {"name": "prefers-color-scheme", "value": scheme}]})
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


def bake_row(vrim, path, address, fps, frames, frame):
    """The x,y,z that `vrim bake` prints for the frame (the item rests at 0,0,0)."""
    # --allow-errors: the NaN item is one check calls in error, and the page
    # draws it all the same.
    out = subprocess.run([vrim, "bake", path, "--allow-errors", "--item", address, "--fps",
                          str(fps), "--frames", "%d:%d" % frames], capture_output=True,
                         text=True, timeout=60)
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
    # Exit 1: written, with findings (the NaN value is an error); one line
    # on standard error says what was written where.
    results.check("vrim report writes the page and says so", made.returncode == 1 and
                  os.path.exists(page) and made.stderr.startswith("vrim: wrote " + page) and
                  made.stderr.count("\n") == 1, made.stderr.strip())
    if not os.path.exists(page):
        print("%d passed, %d failed" % (results.passed, results.failed))
        return 1
    url = "file://" + page

    profile = tempfile.mkdtemp(prefix="vrim-chromium-")
    try:
        browser = Chromium(args.chromium, profile)
        try:
            run_checks(browser, args.vrim, paths, url, out, results)
            run_new_checks(browser, args.vrim, paths, page, url, out, results)
            run_review_checks(browser, args.vrim, url, out, results)
        finally:
            browser.close()
    except BrowserError as e:
        results.check("Chromium runs the page", False, str(e))
    finally:
        shutil.rmtree(profile, ignore_errors=True)
    print("%d passed, %d failed" % (results.passed, results.failed))
    return 0 if results.failed == 0 else 1


def scene_anchor(browser, name):
    return browser.evaluate("""Array.from(document.querySelectorAll('section.scene')).find(
        s => s.querySelector('h2').textContent === %s).id""" % json.dumps(name))


def run_checks(browser, vrim, paths, url, out, results):
    open_page(browser, url, 1200, 900)
    found = problems(browser, url)
    results.check("no console error and no request leaving the file", not found,
                  "; ".join(found))

    scenes = list(SCENES.values())
    shown = browser.evaluate("""Array.from(document.querySelectorAll('section.scene')).map(s => ({
        scene: s.querySelector('h2').textContent,
        plots: s.querySelectorAll('svg.plot').length,
        rows: s.querySelectorAll('.player tbody tr').length,
        player: !!s.querySelector('.player') && !s.querySelector('.player').hidden,
        names: Array.from(s.querySelectorAll('details.item .name')).map(h => h.textContent)}))""")
    wanted = {name: [n for n, keys in items if keys is not None]
              for name, (_, _, _, items) in SCENES.items()}
    results.check("one plot and one player row per item with a shake",
                  sorted((s["scene"], s["plots"], s["rows"]) for s in shown) ==
                  sorted((n, len(w), len(w)) for n, w in wanted.items()), json.dumps(shown))
    results.check("items are named as the scene names them",
                  {s["scene"]: sorted(s["names"]) for s in shown} ==
                  {n: sorted(w) for n, w in wanted.items()},
                  json.dumps([s["names"] for s in shown]))
    # Scenes with errors first, then warnings; in a scene the items the same way.
    order = browser.evaluate("""Array.from(document.querySelectorAll(
        'section.scene, details.item')).map(e => e.tagName + ' ' + e.className + ' ' +
        (e.querySelector('h2, .name') || {}).textContent)""")
    scene_ranks = [o.split()[2] for o in order if o.startswith("SECTION")]
    rank = {"has-errors": 0, "has-warnings": 1, "clean": 2}
    results.check("scenes with errors first, then warnings, then clean",
                  [o.split(" ", 3)[3] for o in order if o.startswith("SECTION")][:1] ==
                  ["nan.lws"] and scene_ranks == sorted(scene_ranks, key=rank.get),
                  json.dumps(order))
    several = [o.split()[2] for o in order if o.startswith("DETAILS") and
               any(n in o for n in ("Hidden_Key", "Camera_Rig", "Lamp_Swing"))]
    results.check("items with findings first in their scene",
                  several == sorted(several, key=rank.get) and several[0] != "clean",
                  json.dumps(several))

    # check's findings stand under their item, each with its file line.
    findings = browser.evaluate("""Object.fromEntries(
        Array.from(document.querySelectorAll('details.item')).map(d => [
            d.querySelector('.name').textContent,
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
        frames = (first + 12, (first + last) // 2, last)
        if name == "long.lws":
            frames = (LONG_KEY[0] + 1, LONG_KEY[0] + 17, LONG_KEY[1])
        if name == "alias.lws":
            frames = (12, 6000, last)  # sampled every 3rd frame, and its last
        for frame in frames:
            rows = browser.evaluate("""(() => {
                const s = document.getElementById(%s).closest('section.scene');
                const p = s.querySelector('.player');
                const sought = p.seek(%d);
                return {now: p.querySelector('output.now').textContent, sought,
                        rows: Array.from(p.querySelectorAll('tbody tr')).map(
                          r => [r.dataset.item].concat(Array.from(r.querySelectorAll('td')).map(
                            c => c.textContent)))};
            })()""" % (json.dumps(scene_anchor(browser, name)), frame))
            mismatches = []
            for row in rows["rows"]:
                address = row[0].split("/", 1)[1]  # the item's anchor: scene/address
                row = row[1:]
                if name == "long.lws" and address != "Quick_Shake" and row[1] == "-":
                    continue  # the other item, sampled thinly here
                baked = bake_row(vrim, paths[index], address, fps, (first, last), frame)
                if not all(same(text, value) for text, value in zip(row[1:], baked)):
                    mismatches.append("%s: page %s, bake %s" % (address, row[1:], baked))
            results.check("%s at frame %d shows the offsets vrim bake prints" % (name, frame),
                          rows["sought"] and rows["now"] == "frame %d" % frame and not mismatches,
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
        // A busy machine may hold the timer back: wait for a step, up to 20 s.
        for (let waited = 0; waited < 20000 && slider.value === '0'; waited += 50) {
            await new Promise(r => setTimeout(r, 50));
        }
        await new Promise(r => setTimeout(r, 100));
        const after = [p.querySelector('output.now').textContent, cursor.getAttribute('x1')];
        p.querySelector('button.play').click();
        return {before, after, value: Number(slider.value)};
    })()""")
    results.check("play advances the frame and the cursor",
                  moved["value"] > 0 and moved["before"][0] != moved["after"][0] and
                  moved["before"][1] != moved["after"][1], json.dumps(moved))

    # The picture: a scene with a finding and several keys, at a frame inside
    # its keys, cursor showing, scrolled to its start.
    browser.evaluate("""(() => {
        const s = document.getElementById(%s);
        s.querySelector('.player').seek(22);
        window.scrollTo(0, s.getBoundingClientRect().top + window.scrollY - 8);
    })()""" % json.dumps(scene_anchor(browser, "several.lws")))
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
                  static["plots"] == sum(len(w) for w in wanted.values()) and static["keys"] >= 6,
                  json.dumps(static))


def axe_source(out):
    """axe-core from the npm registry, installed once under the build folder."""
    folder = os.path.join(out, "axe")
    script = os.path.join(folder, "node_modules", "axe-core", "axe.min.js")
    if not os.path.exists(script):
        os.makedirs(folder, exist_ok=True)
        done = subprocess.run(["npm", "install", "--no-save", "--no-audit", "--no-fund",
                               "--prefix", folder, "axe-core"], capture_output=True, text=True,
                              timeout=240)
        if done.returncode != 0 or not os.path.exists(script):
            raise BrowserError("npm install axe-core failed: " + done.stderr.strip()[-400:])
    with open(script) as f:
        return f.read()


def run_new_checks(browser, vrim, paths, page, url, out, results):
    # HTML Tidy finds no error and no warning.
    # Tidy 5 predates headings in <summary> (an item's name is its heading
    # there, which HTML allows): those two lines of its are left out.
    tidy = subprocess.run(["tidy", "-errors", "-quiet", page], capture_output=True, text=True)
    said = [line for line in tidy.stderr.splitlines() if line.strip() and
            not line.endswith(("missing </summary> before <h3>",
                               "discarding unexpected </summary>", "trimming empty <summary>"))]
    results.check("HTML Tidy finds nothing", tidy.returncode in (0, 1) and not said,
                  "\n".join(said)[:800])

    open_page(browser, url + "#all-items", 1440, 1000)
    duplicates = browser.evaluate("""(() => {
        const seen = {};
        document.querySelectorAll('[id]').forEach(e => { seen[e.id] = (seen[e.id] || 0) + 1; });
        return Object.entries(seen).filter(([id, n]) => n > 1);
    })()""")
    count = browser.evaluate("""document.querySelectorAll(
        'section.scene[id], details.item[id]').length""")
    results.check("every id is unique, every scene and item has one (%d)" % count,
                  not duplicates and count == len(SCENES) + sum(
                      keys is not None for _, _, _, items in SCENES.values()
                      for _, keys in items), json.dumps(duplicates)[:300])

    # Where it came from: date, version, the module and every scene with its SHA-256.
    source = browser.evaluate("""(() => {
        const p = document.getElementById('provenance');
        const facts = {};
        p.querySelectorAll('dt').forEach(dt => { facts[dt.textContent] =
            dt.nextElementSibling.textContent; });
        return {facts, files: Array.from(p.querySelectorAll('table.files tbody tr')).map(
            r => Array.from(r.querySelectorAll('td')).map(c => c.textContent))};
    })()""")
    version = subprocess.run([vrim, "--version"], capture_output=True, text=True).stdout
    module = os.path.join(os.path.dirname(os.path.abspath(vrim)), "vrim_s.p")

    def sha(path):
        with open(path, "rb") as f:
            return hashlib.sha256(f.read()).hexdigest()

    facts = source["facts"]
    results.check("the provenance block names date, version, module and command",
                  facts.get("Made", "").startswith(time.strftime("%Y-", time.gmtime())) and
                  facts.get("Made", "").endswith(" UTC") and
                  version.startswith(facts.get("By", "-")) and
                  facts.get("Module") == module and facts.get("Module SHA-256") == sha(module) and
                  facts.get("Command", "").endswith("report " + " ".join(SCENES) +
                                                    " -o report.html"),
                  json.dumps(facts))
    results.check("the provenance block names every scene with its SHA-256",
                  sorted(source["files"]) == sorted([p, sha(p)] for p in paths),
                  json.dumps(source["files"])[:600])

    # The fast key of the long scene: every frame of its span sampled, and
    # the X curve turning back and forth across it in the drawing.
    anchor = scene_anchor(browser, "long.lws")
    wobble = browser.evaluate("""(() => {
        const s = document.getElementById(%s);
        const item = Array.from(s.querySelectorAll('details.item')).find(
            d => d.querySelector('.name').textContent === 'Quick_Shake');
        const data = JSON.parse(item.querySelector('script.samples').textContent);
        const frames = [];
        data.frames.forEach(r => { for (let k = 0; k < r[2]; ++k) frames.push(r[0] + k * r[1]); });
        // The drawn X curve, point by point.
        const path = item.querySelector('svg.plot path[stroke="#d55e00"]');
        const list = path.getPathData ? null : path.getAttribute('d');
        const points = [];
        let x = 0, y = 0;
        for (const m of list.matchAll(/([Ml])([-0-9.]+) ([-0-9.]+)/g)) {
            if (m[1] === 'M') { x = Number(m[2]); y = Number(m[3]); }
            else { x += Number(m[2]); y += Number(m[3]); }
            points.push([x, y]);
        }
        let turns = 0;
        for (let i = 2; i < points.length; ++i) {
            const a = points[i - 1][1] - points[i - 2][1], b = points[i][1] - points[i - 1][1];
            if (a * b < 0) turns++;
        }
        const box = item.querySelector('svg.plot').getBoundingClientRect();
        return {frames, turns, points: points.length, width: box.width,
                thin: item.querySelectorAll('svg.plot g.thin').length,
                sub: item.querySelector('p.sub').textContent};
    })()""" % json.dumps(anchor))
    inside = [f for f in wobble["frames"] if LONG_KEY[0] <= f <= LONG_KEY[1]]
    results.check("a 0.1 s shake in 20,000 frames: every frame of its key sampled",
                  inside == list(range(LONG_KEY[0], LONG_KEY[1] + 1)) and
                  len(wobble["frames"]) < 400, "%d inside, %d in all" %
                  (len(inside), len(wobble["frames"])))
    results.check("the wobble is drawn: the X curve turns at least 30 times",
                  wobble["turns"] >= 30, json.dumps({k: wobble[k] for k in
                                                     ("turns", "points", "thin", "sub")}))
    results.check("the page marks where it thinned", wobble["thin"] >= 1 and
                  "every 100 frames where none does" in wobble["sub"], wobble["sub"])

    # A picture of the fast key's plot, to look at.
    box = browser.evaluate("""(() => {
        const s = document.getElementById(%s);
        const item = Array.from(s.querySelectorAll('details.item')).find(
            d => d.querySelector('.name').textContent === 'Quick_Shake');
        item.scrollIntoView();
        const r = item.querySelector('.views').getBoundingClientRect();
        return {x: r.left + window.scrollX, y: r.top + window.scrollY, width: r.width,
                height: r.height};
    })()""" % json.dumps(anchor))
    shot = browser.call("Page.captureScreenshot", {"format": "png", "captureBeyondViewport": True,
                                                   "clip": dict(box, scale=1)})
    with open(os.path.join(out, "report-long-key.png"), "wb") as f:
        f.write(base64.b64decode(shot["data"]))

    # The findings filter, without script: an address, and style.
    for scripts in (False, True):
        open_page(browser, url + "#only-findings", 1200, 900, scripts=scripts)
        seen = browser.evaluate("""(() => {
            const shown = e => getComputedStyle(e).display !== 'none' &&
                (!e.closest('section.scene') ||
                 getComputedStyle(e.closest('section.scene')).display !== 'none');
            const items = Array.from(document.querySelectorAll('details.item, tr.listed'));
            return {clean: items.filter(e => e.classList.contains('clean')).map(shown),
                    found: items.filter(e => !e.classList.contains('clean')).map(shown),
                    scenes: Array.from(document.querySelectorAll('section.scene')).filter(
                      shown).map(s => s.querySelector('h2').textContent)};
        })()""")
        results.check("#only-findings shows only items with findings (script %s)" %
                      ("on" if scripts else "off"),
                      seen["clean"] and not any(seen["clean"]) and seen["found"] and
                      all(seen["found"]) and "noshake.lws" not in seen["scenes"] and
                      "long.lws" not in seen["scenes"], json.dumps(seen))
    browser.evaluate("document.querySelector('a.all').click()")
    every = browser.evaluate("""Array.from(document.querySelectorAll('details.item')).every(
        e => getComputedStyle(e).display !== 'none')""")
    results.check("'all items' shows them all again", every)

    # axe-core finds no violation, at a phone's width and a wide screen's.
    # Every item shown (#all-items), the player unfolded, in light and dark.
    axe = axe_source(out)
    for width in (390, 1440):
        for scheme in ("light", "dark"):
            open_page(browser, url + "#all-items", width, 900, scheme=scheme)
            browser.evaluate("""document.querySelectorAll('.player.folded button.fold').forEach(
                b => b.click())""")
            browser.evaluate(axe + "\n;0")
            found = browser.evaluate("""axe.run(document).then(r => r.violations.map(
                v => v.id + ': ' + v.nodes.length + ' (' + v.nodes.slice(0, 2).map(
                  n => n.target.join(' ')).join('; ') + ')'))""")
            results.check("axe-core finds no violation at %d px, %s" % (width, scheme),
                          found == [], "; ".join(found)[:900])

    # The screenshots, at a phone's width and a wide screen's: nothing runs
    # off the side, the readout's Z column included, long names wrapped.
    for width, height, scheme in ((390, 1800, "light"), (1440, 1400, "light"),
                                  (390, 1800, "dark"), (1440, 1400, "dark")):
        open_page(browser, url, width, height, scheme=scheme)
        layout = browser.evaluate("""(() => {
            const z = Array.from(document.querySelectorAll('table.readout td.z'));
            window.scrollTo(0, 0);
            return {page: document.documentElement.scrollWidth,
                    z: Math.max.apply(null, z.map(c => c.getBoundingClientRect().right)),
                    names: Math.max.apply(null, Array.from(document.querySelectorAll(
                      'summary .name, table.readout th a')).map(h => h.getBoundingClientRect().right))};
        })()""")
        results.check("at %d px (%s) nothing runs off the side" % (width, scheme),
                      layout["page"] <= width and layout["z"] <= width and
                      layout["names"] <= width, json.dumps(layout))
        shot = browser.call("Page.captureScreenshot", {"format": "png"})
        png = base64.b64decode(shot["data"])
        shot_path = os.path.join(out, "report-%d%s.png" % (width, "" if scheme == "light"
                                                             else "-dark"))
        with open(shot_path, "wb") as f:
            f.write(png)
        inked, colours = not_blank(png)
        results.check("the %d px %s screenshot is not blank (%s)" % (width, scheme, shot_path),
                      inked > 0.03 and colours >= 8,
                      "%.1f%% inked, %d colours" % (100 * inked, colours))


def item_of(browser_expr_scene, name):
    return """Array.from(document.getElementById(%s).querySelectorAll('details.item')).find(
        d => d.querySelector('.name').textContent === %s)""" % (json.dumps(browser_expr_scene),
                                                                json.dumps(name))


def press(browser, key, code, shift=False):
    """A real key press, as the browser's input would send it."""
    for kind in ("rawKeyDown", "keyUp"):
        browser.call("Input.dispatchKeyEvent", {"type": kind, "key": key, "code": code,
                                                "windowsVirtualKeyCode": code_of(key),
                                                "modifiers": 8 if shift else 0})


def code_of(key):
    return {"ArrowLeft": 37, "ArrowRight": 39}[key]


def check_severity(browser, url, results):
    # Default: only items with findings; errors, warnings and clean differ.
    open_page(browser, url, 1440, 1000)
    shown = browser.evaluate("""Array.from(document.querySelectorAll('details.item')).map(
        d => [d.className, getComputedStyle(d).display !== 'none'])""")
    results.check("items with findings shown by default, clean ones hidden",
                  all(vis == ("clean" not in cls) for cls, vis in shown) and
                  any(vis for _, vis in shown), json.dumps(shown))
    open_page(browser, url + "#all-items", 1440, 1000)
    styles = browser.evaluate("""['has-errors', 'has-warnings', 'clean'].map(c => {
        const d = document.querySelector('details.item.' + c);
        const s = getComputedStyle(d);
        const badge = d.querySelector('summary .badge');
        const first = d.querySelector('summary .first');
        return {c, bar: s.borderLeftColor + ' ' + s.borderLeftStyle + ' ' + s.borderLeftWidth,
                badge: badge ? badge.textContent : '',
                badgeColour: badge ? getComputedStyle(badge).backgroundColor : '',
                first: first ? first.textContent : ''};
    })""")
    bars = [s["bar"] for s in styles]
    results.check("error, warning and clean items are styled apart",
                  len(set(bars)) == 3 and styles[0]["badge"].startswith("\u2716") and
                  styles[1]["badge"].startswith("\u25b2") and not styles[2]["badge"] and
                  styles[0]["badgeColour"] != styles[1]["badgeColour"], json.dumps(styles))
    results.check("a closed item's summary says its first finding",
                  "nan" in styles[0]["first"].lower() and "hidden" in styles[1]["first"] and
                  not styles[2]["first"], json.dumps([s["first"] for s in styles]))


def check_click(browser, url, results):
    # A click anywhere on a player row opens its item, whole, below the player.
    open_page(browser, url + "#all-items", 1440, 1000)
    seen = browser.evaluate("""(async () => {
        const scene = document.getElementById('several.lws');
        const item = %s;
        item.open = false;
        window.scrollTo(0, 0);
        const row = scene.querySelector('.player tr[data-item="several.lws/Lamp_Swing"]');
        row.querySelector('td.y').click();
        await new Promise(r => requestAnimationFrame(() => setTimeout(r, 50)));
        const box = item.getBoundingClientRect();
        const player = scene.querySelector('.player').getBoundingClientRect();
        return {open: item.open, top: box.top, bottom: box.bottom, below: player.bottom,
                height: innerHeight, hash: decodeURIComponent(location.hash)};
    })()""" % item_of("several.lws", "Lamp_Swing"))
    results.check("a click on a player row leaves its item open and wholly in view",
                  seen["open"] and seen["top"] >= seen["below"] - 1 and
                  seen["bottom"] <= seen["height"] and
                  seen["hash"] == "#several.lws/Lamp_Swing", json.dumps(seen))


def check_timeline(browser, url, results):
    open_page(browser, url, 1440, 1000, scripts=False)
    rows = browser.evaluate("""Array.from(document.querySelectorAll('section.scene')).map(s => {
        const range = s.querySelector('dl.facts dd:nth-of-type(2)').textContent.split(' to ');
        const runs = {};
        s.querySelectorAll('script.samples').forEach(n => {
            const d = JSON.parse(n.textContent);
            runs[d.id] = d.runs.map(r => r[0] + ':' + r[1] + '-' + r[2]).sort();
        });
        const rows = {};
        s.querySelectorAll('details.timeline li a.track').forEach(a => {
            rows[decodeURIComponent(a.getAttribute('href').slice(1))] = Array.from(
                a.querySelectorAll('.k')).map(k => ({key: k.dataset.key, frames: k.dataset.frames,
                    left: parseFloat(k.style.left)}));
        });
        return {first: Number(range[0]), last: Number(range[1]), runs, rows};
    })""")
    wrong = []
    for scene in rows:
        if set(scene["rows"]) != set(scene["runs"]):
            wrong.append("rows %s, items %s" % (sorted(scene["rows"]), sorted(scene["runs"])))
            continue
        frames = scene["last"] - scene["first"] + 1
        for item, spans in scene["rows"].items():
            drawn = sorted("%s:%s" % (s["key"], s["frames"]) for s in spans)
            placed = all(abs(s["left"] - (int(s["frames"].split("-")[0]) - scene["first"]) /
                             frames * 100) < 0.01 for s in spans)
            if drawn != scene["runs"][item] or not placed:
                wrong.append("%s: %s against %s" % (item, drawn, scene["runs"][item]))
    results.check("the timeline lists every item's key spans on the scene's frames, without "
                  "script", rows and not wrong, "; ".join(wrong)[:800])


def check_player_keys(browser, url, results):
    open_page(browser, url + "#all-items", 1440, 1000)
    base = """const scene = document.getElementById('several.lws');
        const p = scene.querySelector('.player');
        const now = () => ({now: p.querySelector('output.now').textContent,
            slider: p.querySelector('input.frame').value,
            text: p.querySelector('input.frame').getAttribute('aria-valuetext')});"""
    boxed = browser.evaluate("""(() => { %s
        const box = p.querySelector('input.goto');
        box.value = '22';
        box.dispatchEvent(new Event('change'));
        p.querySelector('input.frame').focus();
        return now(); })()""" % base)
    results.check("the frame box goes to the frame; slider and readout in frame numbers",
                  boxed == {"now": "frame 22", "slider": "22", "text": "frame 22"},
                  json.dumps(boxed))
    starts = browser.evaluate("""(() => { const s = new Set();
        document.getElementById('several.lws').querySelectorAll('script.samples').forEach(
            n => JSON.parse(n.textContent).runs.forEach(r => s.add(r[1])));
        return Array.from(s).sort((a, b) => a - b); })()""")
    seen = []
    for key, shift in (("ArrowRight", False), ("ArrowRight", False), ("ArrowLeft", False),
                       ("ArrowRight", True), ("ArrowLeft", True)):
        press(browser, key, key, shift)
        seen.append(int(browser.evaluate("(() => { %s return now(); })()" % base)["slider"]))
    after = min([f for f in starts if f > 23] or [None])
    before = max([f for f in starts if f < (after or 23)] or [None])
    results.check("Left and Right step a frame, with Shift a key",
                  after is not None and seen == [23, 24, 23, after, before],
                  "%s; key starts %s" % (seen, starts))
    looped = browser.evaluate("""(async () => { %s
        p.querySelector('input.goto').value = '21';
        p.querySelector('input.goto').dispatchEvent(new Event('change'));
        p.querySelector('button.loop-key').click();
        p.querySelector('select.speed').value = '4';
        const from = Number(p.querySelector('input.loop-from').value);
        const to = Number(p.querySelector('input.loop-to').value);
        p.querySelector('button.play').click();
        const frames = [];
        for (let waited = 0; waited < 30000; waited += 20) {
            await new Promise(r => setTimeout(r, 20));
            frames.push(Number(p.querySelector('input.frame').value));
            if (frames.length > 2 && frames[frames.length - 1] < frames[frames.length - 2]) break;
        }
        p.querySelector('button.play').click();
        return {from, to, frames}; })()""" % base)
    frames = looped["frames"]
    results.check("'Loop the key' plays its frames over and over",
                  looped["from"] <= 21 <= looped["to"] and looped["to"] - looped["from"] < 60 and
                  all(looped["from"] <= f <= looped["to"] for f in frames) and
                  any(b < a for a, b in zip(frames, frames[1:])),
                  json.dumps({k: looped[k] for k in ("from", "to")}) + " " + str(frames[:40]))


def drawn_columns(browser, scene, name):
    """Per pixel column of the X curve: the points drawn there."""
    return browser.evaluate("""(() => {
        const item = %s;
        const d = item.querySelector('svg.plot path[stroke="#d55e00"]').getAttribute('d');
        const columns = {};
        let x = 0, y = 0;
        for (const m of d.matchAll(/([Ml])([-0-9.]+) ([-0-9.]+)/g)) {
            if (m[1] === 'M') { x = Number(m[2]); y = Number(m[3]); }
            else { x += Number(m[2]); y += Number(m[3]); }
            const c = Math.floor(x);
            (columns[c] = columns[c] || []).push(y);
        }
        const data = JSON.parse(item.querySelector('script.samples').textContent);
        return {columns, samples: data.x.length, sub: item.querySelector('p.sub').textContent,
                capped: (item.querySelector('p.capped') || {}).textContent || ''};
    })()""" % item_of(scene, name))


def check_aliasing(browser, url, results):
    open_page(browser, url + "#all-items", 1440, 1000)
    drawn = drawn_columns(browser, "alias.lws", "Fast_Long")
    columns = drawn["columns"]
    points = sum(len(c) for c in columns.values())
    spans = sorted(max(c) - min(c) for c in columns.values())
    # Inside the key every column spans the shake's whole height (most of
    # the drawing's 210 units): a bead pattern shows as columns of little
    # height, and samples all on one phase as a flat line.
    inner = spans[2:-2]
    results.check("a key of 12,000 frames, thinned to every 3rd: no more points than two per "
                  "pixel column, and every column the whole shake high",
                  points <= 2 * len(columns) + 2 and inner and min(inner) >= 0.8 * max(inner) and
                  min(inner) >= 100 and len(columns) >= 800 and
                  "every 3 frames" in drawn["sub"] and "at most 5000" in drawn["capped"],
                  "%d points in %d columns; heights %s..%s; %s" % (
                      points, len(columns), inner[:3], inner[-3:], drawn["sub"]))


def check_anchors(browser, vrim, url, out, results):
    # A link by address finds its item, and still does after the scene
    # gains an item before it.
    folder = os.path.join(out, "changed")
    os.makedirs(folder, exist_ok=True)
    fps, first, last, items = SCENES["several.lws"]
    with open(os.path.join(folder, "several.lws"), "w", newline="\n") as f:
        f.write(scene(fps, first, last, [("New_Item", [("0.3", 0.1, 0, 0, 5, 25, 0)])] + items))
    subprocess.run([os.path.abspath(vrim), "report", "several.lws", "-o", "changed.html"],
                   capture_output=True, timeout=120, cwd=folder)
    for page in (url, "file://" + os.path.join(folder, "changed.html")):
        open_page(browser, page + "#several.lws/Lamp_Swing", 1440, 1000)
        found = browser.evaluate("""(async () => {
            await new Promise(r => requestAnimationFrame(() => setTimeout(r, 50)));
            const t = document.querySelector(':target');
            const box = t.getBoundingClientRect();
            const p = t.closest('section.scene').querySelector('.player').getBoundingClientRect();
            return {name: t.querySelector('.name').textContent, open: t.open,
                    shown: getComputedStyle(t).display !== 'none',
                    top: box.top, below: p.bottom}; })()""")
        results.check("#several.lws/Lamp_Swing opens Lamp_Swing below the player (%s)" %
                      os.path.basename(page), found["name"] == "Lamp_Swing" and found["open"] and
                      found["shown"] and found["top"] >= found["below"] - 1, json.dumps(found))


def check_bounded(browser, vrim, out, results):
    # 50,000,000 frames: the page holds a bounded number of samples and says
    # where the bound applied. (Its time is the report benchmark's.)
    path = os.path.join(out, "big.lws")
    with open(path, "w", newline="\n") as f:
        f.write(scene(30, 0, BIG_FRAMES, [
            ("Whole_Range", [("0.1", 0.1, 0, 0, 0, BIG_FRAMES, 0),
                             ("0.2", 0, 0.1, 0, 24000000, 24000300, 0)])]))
    made = subprocess.run([os.path.abspath(vrim), "report", "big.lws", "-o", "big.html"],
                          capture_output=True, text=True, timeout=120, cwd=out)
    results.check("a 50,000,000-frame scene is reported", made.returncode in (0, 1),
                  made.stderr.strip())
    open_page(browser, "file://" + os.path.join(out, "big.html") + "#all-items", 1440, 1000)
    drawn = drawn_columns(browser, "big.lws", "Whole_Range")
    results.check("its page holds at most 5,600 samples and says it sampled every nth frame",
                  drawn["samples"] <= 5600 and "at most 5000" in drawn["capped"] and
                  sum(len(c) for c in drawn["columns"].values()) <=
                  2 * len(drawn["columns"]) + 2,
                  "%d samples; %s" % (drawn["samples"], drawn["capped"]))


def check_against(browser, vrim, out, results):
    # Against a previous version: the changed item first and open, its old
    # and new curves both drawn; the unchanged item folded; axe-core clean.
    old = [("Lamp_Swing", [("0.5", 0.2, 0, 0, 0, 90, 1)]),
           ("Camera_Rig", [("0.100000", 0, 0.08, 0, 0, 24, 1), ("0.25", 0.05, 0, 0.03, 36, 60, 0)])]
    new = [old[0], ("Camera_Rig", [old[1][1][0], ("0.2", 0.05, 0, 0.03, 36, 60, 0)])]
    for name, items in (("against-old.lws", old), ("against-new.lws", new)):
        with open(os.path.join(out, name), "w", newline="\n") as f:
            f.write(scene(30, 0, 90, items))
    made = subprocess.run([os.path.abspath(vrim), "report", "against-new.lws", "--against",
                           "against-old.lws", "-o", "against.html"], capture_output=True,
                          text=True, timeout=120, cwd=out)
    page = os.path.join(out, "against.html")
    results.check("vrim report --against writes the page", made.returncode == 0 and
                  os.path.exists(page), made.stderr.strip())
    if not os.path.exists(page):
        return
    for scheme in ("light", "dark"):
        open_page(browser, "file://" + page, 1440, 1000, scheme=scheme)
        seen = browser.evaluate("""(() => {
            const items = Array.from(document.querySelectorAll('details.item'));
            const drawn = (item, sel) => Array.from(item.querySelectorAll(sel)).filter(
                p => p.getAttribute('d') && p.getBBox().width > 100).length;
            return items.map(i => ({name: i.querySelector('h3').textContent, open: i.open,
                old: drawn(i, 'svg.plot g.before path'),
                now: drawn(i, 'svg.plot g:not(.before)[fill="none"] path'),
                changes: Array.from(i.querySelectorAll('ul.changes li')).map(
                  l => l.textContent)}));
        })()""")
        results.check("against (%s): the changed item first and open with both curves drawn, "
                      "the unchanged one folded" % scheme,
                      len(seen) == 2 and seen[0]["name"] == "Camera_Rig" and seen[0]["open"] and
                      seen[0]["old"] >= 2 and seen[0]["now"] >= 2 and
                      "key 2 period 0.25 \u2192 0.2" in seen[0]["changes"] and
                      not seen[1]["open"] and seen[1]["old"] == 0, json.dumps(seen)[:900])
        browser.evaluate(axe_source(out) + "\n;0")
        found = browser.evaluate("""axe.run(document).then(r => r.violations.map(
            v => v.id + ': ' + v.nodes.length))""")
        results.check("against (%s): axe-core finds no violation" % scheme, found == [],
                      "; ".join(found)[:900])


def run_review_checks(browser, vrim, url, out, results):
    check_against(browser, vrim, out, results)
    check_severity(browser, url, results)
    check_click(browser, url, results)
    check_timeline(browser, url, results)
    check_player_keys(browser, url, results)
    check_aliasing(browser, url, results)
    check_anchors(browser, vrim, url, out, results)
    check_bounded(browser, vrim, out, results)
    # A phone: plots the page's width, no text under 12 px, and a heading
    # for every item in the accessibility tree.
    open_page(browser, url + "#all-items", 390, 844)
    phone = browser.evaluate("""(() => {
        const px = e => parseFloat(getComputedStyle(e).fontSize);
        const chart = Array.from(document.querySelectorAll('.chart span, .chart p'));
        const planes = Array.from(document.querySelectorAll('svg.planes')).map(
            svg => px(svg) * svg.getBoundingClientRect().width / svg.viewBox.baseVal.width);
        const plots = Array.from(document.querySelectorAll('svg.plot')).map(
            svg => svg.getBoundingClientRect().width);
        const player = document.querySelector('.player').getBoundingClientRect().height;
        return {chart: Math.min.apply(null, chart.map(px)), planes: Math.min.apply(null, planes),
                plot: Math.min.apply(null, plots), player, width: innerWidth};
    })()""")
    results.check("at 390 px: plots near full width, text at least 12 px, the player folded",
                  phone["chart"] >= 12 and phone["planes"] >= 12 and
                  phone["plot"] >= 0.7 * phone["width"] and phone["player"] <= 844 / 5,
                  json.dumps(phone))
    tree = browser.call("Accessibility.getFullAXTree")
    headings = [n.get("name", {}).get("value") for n in tree["nodes"]
                if n.get("role", {}).get("value") == "heading" and not n.get("ignored")]
    items = [n for _, _, _, its in SCENES.values() for n, keys in its if keys is not None]
    results.check("every item has a heading", all(n in headings for n in items),
                  json.dumps(headings)[:600])

    # Paper shows no controls.
    open_page(browser, url, 1200, 900)
    browser.call("Emulation.setEmulatedMedia", {"media": "print"})
    printed = browser.evaluate("""['.filter', '.player'].map(s => Array.from(
        document.querySelectorAll(s)).every(e => getComputedStyle(e).display === 'none'))""")
    results.check("the printout has no controls", printed == [True, True], json.dumps(printed))


if __name__ == "__main__":
    sys.exit(main())
