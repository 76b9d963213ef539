#include "tools/vrim/report/assets.h"

namespace vrim::report {

// Colours from the Okabe-Ito set, which stays apart for the common kinds of
// colour blindness; severity is also spelled out and shaped (a cross for an
// error, a triangle and a dashed bar for a warning), never shown by colour
// alone. Plots stay on light paper in dark mode: their inks are chosen for
// it. Below 720 px wide the plot and the plane views stack and the player
// starts folded.
const char* const kPageStyle = R"css(
:root { color-scheme: light dark; --bg: #ffffff; --fg: #222222; --muted: #555555;
  --line: #cccccc; --head: #f0f0f0; --panel: #f6f6f6; --link: #0060a0; --err: #c4001a;
  --warn: #8a5a00; --warn-bar: #e6a100; --note: #56b4e9; --info: #eef7fc; }
@media (prefers-color-scheme: dark) {
  :root { --bg: #161616; --fg: #e8e8e8; --muted: #b8b8b8; --line: #5a5a5a; --head: #262626;
    --panel: #202020; --link: #8ccaff; --err: #ff8f8f; --warn: #ffd27a; --info: #10263a; }
}
body { font: 16px/1.45 "DejaVu Sans", Verdana, Arial, sans-serif; color: var(--fg);
  background: var(--bg); max-width: 1180px; margin: 0 auto; padding: 0 12px 48px; }
h1 { font-size: 1.6em; margin: 0.6em 0 0.2em; }
h2 { font-size: 1.3em; margin: 0.4em 0; overflow-wrap: anywhere; }
h4 { font-size: 1em; margin: 0.8em 0 0.3em; }
a { color: var(--link); }
code { font-family: "DejaVu Sans Mono", monospace; font-size: 0.92em; }
.vh { position: absolute; width: 1px; height: 1px; overflow: hidden; clip: rect(0 0 0 0);
  white-space: nowrap; }
nav ol { padding-left: 2.2em; columns: 26em; column-gap: 2em; }
nav summary, section.provenance summary { cursor: pointer; }
nav li { overflow-wrap: anywhere; break-inside: avoid; padding: 2px 0; }
.mark { display: none; }
.filter a { display: inline-block; margin: 0 0.6em 0.3em 0; padding: 2px 12px; min-height: 24px;
  border: 1px solid var(--link); border-radius: 4px; text-decoration: none; }
body.findings:not(.show-all):not(:has(#all-items:target)) main .clean:not(:target):not(:has(:target)),
body.findings:not(.show-all):not(:has(#all-items:target)) nav li.clean,
body:not(.show-all) #only-findings:target ~ main .clean:not(:target):not(:has(:target)),
body:not(.show-all) #only-findings:target ~ nav li.clean { display: none; }
body.findings:not(.show-all):not(:has(#all-items:target)) header a.only,
body:not(.show-all) #only-findings:target ~ header a.only, body.show-all header a.all,
#all-items:target ~ header a.all { background: var(--link); color: var(--bg); }
table.files { width: 100%; table-layout: fixed; }
table.files td:last-child, table.files th:last-child { width: 42%; }
dd code, table.files code { overflow-wrap: anywhere; }
.sub { color: var(--muted); margin: 4px 0; }
.sampling, .capped { border-left: 5px solid var(--note); background: var(--info);
  padding: 6px 10px; }
section.scene { border-top: 3px solid var(--fg); margin-top: 28px; padding-top: 4px; }
dl.facts { display: grid; grid-template-columns: max-content auto; gap: 2px 14px; margin: 6px 0; }
dl.facts dt { font-weight: bold; }
dl.facts dd { margin: 0; }
.source { color: var(--muted); margin: 4px 0; }
details.item { border: 1px solid var(--line); border-left: 6px solid var(--line);
  border-radius: 4px; margin: 12px 0; padding: 4px 10px;
  scroll-margin-top: calc(var(--player-h, 0px) + 8px); }
details.item.has-errors { border-left: 6px solid var(--err); }
details.item.has-warnings { border-left: 6px dashed var(--warn-bar); }
details.item > summary { cursor: pointer; padding: 4px 0; min-height: 24px; }
summary h3.name { display: inline; font-size: 1.1em; margin: 0; overflow-wrap: anywhere; }
.counts { color: var(--muted); }
.badge { display: inline-block; padding: 0 8px; border-radius: 10px; font-size: 0.85em;
  font-weight: bold; white-space: nowrap; }
.badge.error { background: var(--err); color: var(--bg); }
.badge.warning { background: var(--warn-bar); color: #000000; border-radius: 2px; }
.badge.change { background: var(--info); color: var(--fg); border: 1px solid var(--note); }
ul.changes { margin: 0.2em 0; padding-left: 1.6em; font-family: "DejaVu Sans Mono", monospace;
  font-size: 0.92em; }
summary .first { display: block; margin-left: 1.2em; overflow: hidden; text-overflow: ellipsis;
  white-space: nowrap; }
summary .first.error { color: var(--err); }
summary .first.warning { color: var(--warn); }
.views { display: grid; grid-template-columns: minmax(0, 5fr) minmax(0, 2fr); gap: 12px;
  align-items: center; }
figure { margin: 0; }
.views figure { background: #ffffff; color: #222222; border-radius: 4px; padding: 4px; }
.chart { font-size: 13px; overflow: hidden; padding-right: 1.2em; }
.chart .legend { display: flex; flex-wrap: wrap; gap: 4px 14px; justify-content: flex-end; }
.chart .legend svg { width: 24px; height: 6px; margin-right: 4px; vertical-align: middle; }
.chart .nan-key { color: #a00000; }
.chart .drawing { display: grid; grid-template-columns: 3.8em minmax(0, 1fr); }
.chart .ticks-y { position: relative; margin: 1.4em 0 1.6em; }
.chart .ticks-y span { position: absolute; right: 6px; transform: translateY(-50%); }
.chart .area { position: relative; min-width: 0; }
.chart .key-labels, .chart .ticks-x { position: relative; height: 1.4em; }
.chart .ticks-x { height: 1.6em; }
.chart .key-labels span, .chart .ticks-x span { position: absolute; white-space: nowrap; }
.chart .key-labels span { bottom: 0; padding-left: 2px; }
.chart .key-labels span.nan { color: #a00000; font-weight: bold; top: 1.6em; z-index: 1; }
.chart .ticks-x span { top: 2px; transform: translateX(-50%); }
.chart .axis-name { text-align: center; margin: 0; color: #444444; }
svg.plot { display: block; width: 100%; height: 220px; }
svg.planes { display: block; width: 100%; max-width: 420px; height: auto; font: 13px sans-serif; }
.scroll { overflow-x: auto; }
table { border-collapse: collapse; margin: 4px 0; }
th, td { border: 1px solid var(--line); padding: 3px 8px; text-align: left; vertical-align: top;
  overflow-wrap: anywhere; }
table.keys, table.listed { width: 100%; }
thead th { background: var(--head); overflow-wrap: normal; }
table.readout { width: 100%; table-layout: fixed; }
table.readout td { text-align: right; font-family: "DejaVu Sans Mono", monospace; }
table.readout th a { display: block; min-height: 24px; }
table.readout tbody tr { cursor: pointer; }
table.readout tr.has-errors th a::before { content: "\2716  "; color: var(--err); }
table.readout tr.has-warnings th a::before { content: "\25B2  "; color: var(--warn); }
table.readout thead th:nth-child(2) { width: 3.5em; }
table.readout thead th:nth-child(n+3) { width: 7.5em; }
ul.findings { list-style: none; padding: 0; margin: 4px 0; }
ul.findings li { border-left: 5px solid var(--line); padding: 3px 8px; margin: 4px 0;
  background: var(--panel); overflow-wrap: anywhere; }
ul.findings li.error { border-left: 5px solid var(--err); }
ul.findings li.warning { border-left: 5px dashed var(--warn-bar); }
ul.findings li.note { border-color: var(--note); }
li.error .severity { color: var(--err); }
li.warning .severity { color: var(--warn); }
.severity { font-weight: bold; text-transform: uppercase; font-size: 0.85em; }
.where { font-family: "DejaVu Sans Mono", monospace; font-size: 0.9em; }
details.listed { margin: 12px 0; }
details.listed > summary { cursor: pointer; font-weight: bold; }
table.listed ul.findings { margin: 0; }
table.listed code { white-space: pre-wrap; }
tr.listed { scroll-margin-top: 8px; }
.more { color: var(--muted); font-style: italic; }
details.timeline { margin: 8px 0; --label: 14em; }
details.timeline > summary { cursor: pointer; font-weight: bold; min-height: 24px; }
.dope { overflow: hidden; padding-right: 1.5em; }
.dope .ruler { position: relative; height: 1.4em; margin-left: var(--label); font-size: 12px;
  color: var(--muted); }
.dope .ruler span { position: absolute; padding-left: 2px; border-left: 1px solid var(--line);
  white-space: nowrap; }
.dope ol { list-style: none; margin: 0; padding: 0; }
.dope a.track { display: grid; grid-template-columns: var(--label) minmax(0, 1fr);
  align-items: center; min-height: 26px; color: inherit; text-decoration: none;
  border-bottom: 1px solid var(--line); }
.dope a.track:hover .label, .dope a.track:focus .label { text-decoration: underline; }
.dope .label { overflow: hidden; text-overflow: ellipsis; white-space: nowrap; padding-right: 6px; }
.dope li.has-errors .label::before { content: "\2716  "; color: var(--err); }
.dope li.has-warnings .label::before { content: "\25B2  "; color: var(--warn); }
.dope .bar { position: relative; height: 18px; background: var(--panel); }
.dope .none { font-size: 12px; color: var(--muted); padding-left: 4px; }
.dope .k { position: absolute; top: 2px; bottom: 2px; min-width: 3px; border-radius: 2px; }
.k1 { background: #e69f00; } .k2 { background: #56b4e9; } .k3 { background: #cc79a7; }
.k4 { background: #009e73; } .k5 { background: #f0e442; }
.player { position: sticky; top: 0; z-index: 2; background: var(--bg); padding: 4px 0;
  border-bottom: 2px solid var(--fg); }
.player .controls { display: flex; flex-wrap: wrap; gap: 6px 10px; align-items: center;
  margin: 2px 0; }
.player label { display: inline-flex; gap: 6px; align-items: center; }
.player .slide { flex: 1 1 220px; }
.player input.frame { flex: 1; min-height: 24px; }
.player button, .player select, .player input { font: inherit; min-height: 28px; }
.player button { padding: 2px 12px; }
.player input[type=number] { width: 7em; }
.player input[type=checkbox] { width: 24px; height: 24px; margin: 0; }
.player .scroll { max-height: 9.6em; overflow-y: auto; }
.player.folded .scroll, .player.folded .more { display: none; }
output.now { font-family: "DejaVu Sans Mono", monospace; min-width: 9em; }
@media (max-width: 720px) {
  body { font-size: 15px; padding: 0 8px 32px; }
  .views { grid-template-columns: minmax(0, 1fr); }
  th, td { padding: 2px 4px; }
  table.readout { font-size: 13px; }
  table.readout thead th:nth-child(n+3) { width: 6.6em; }
  table.readout thead th:nth-child(2) { width: 2.8em; }
  svg.plot { height: 170px; }
  details.timeline { --label: 7.5em; }
  .player .controls { gap: 4px 6px; }
  .player button { padding: 2px 8px; }
  .player input[type=number] { width: 5.5em; }
}
@media print {
  :root { color-scheme: light; --bg: #ffffff; --fg: #000000; }
  body { font-size: 10pt; max-width: none; padding: 0; }
  .player, .filter { display: none; }
  details.item { break-inside: avoid; }
  section.scene { break-before: page; }
  section.scene:first-of-type { break-before: auto; }
  svg.plot { height: 5cm; }
  a { color: inherit; text-decoration: none; }
}
)css";

// The player steps through the samples written into the page as JSON; it
// never computes a position. Each scene has its own player, since scenes
// differ in rate and range. Its slider and frame box hold frame numbers;
// a frame that was not sampled goes to the sampled frame before it.
const char* const kPlayerScript = R"js(
(function () {
  "use strict";
  // Offsets come as whole millionths, or as text when too large or not a number.
  function value(v) {
    if (typeof v !== "string") { return v / 1e6; }
    return v === "inf" ? Infinity : v === "-inf" ? -Infinity : Number(v);
  }
  function text(v) {
    if (typeof v === "string") { return v; }
    var a = Math.abs(v), f = String(a % 1000000);
    return (v < 0 ? "-" : "") + Math.floor(a / 1000000) + "." + "000000".slice(f.length) + f;
  }
  // Paper shows every section, collapsed or not.
  window.addEventListener("beforeprint", function () {
    document.querySelectorAll("details").forEach(function (d) { d.open = true; });
  });

  // An item asked for is opened and shown whole below its scene's player.
  function targetOf(hash) {
    if (!hash || hash.length < 2) { return null; }
    var id = hash.slice(1), found = document.getElementById(id);
    if (!found) { try { found = document.getElementById(decodeURIComponent(id)); } catch (e) {} }
    return found && (found.matches("details.item, tr.listed") ? found : null);
  }
  function reveal(item) {
    if (!item) { return; }
    if (item.tagName === "DETAILS") { item.open = true; }
    var scene = item.closest("section.scene");
    var player = scene && scene.querySelector(".player:not([hidden])");
    var above = player ? player.getBoundingClientRect().height : 0;
    window.scrollTo(0, Math.max(0, item.getBoundingClientRect().top + window.scrollY - above - 8));
  }
  document.addEventListener("click", function (event) {
    var filter = event.target.closest("a.only, a.all");
    if (filter) { document.body.classList.toggle("show-all", filter.classList.contains("all")); }
    var link = event.target.closest('a[href^="#"]');
    var row = event.target.closest("tr[data-item]");
    var href = link ? link.getAttribute("href") : row ? "#" + row.dataset.item : null;
    var item = targetOf(href);
    if (!item) { return; }
    event.preventDefault();
    if (location.hash !== href && decodeURIComponent(location.hash) !== href) {
      location.hash = href;
    }
    reveal(item);
  });
  window.addEventListener("hashchange", function () { reveal(targetOf(location.hash)); });
  if (location.hash === "#all-items") { document.body.classList.add("show-all"); }

  function readItems(scene, player, all, starts) {
    var items = [];
    scene.querySelectorAll("script.samples").forEach(function (node) {
      var data = JSON.parse(node.textContent);
      var section = document.getElementById(data.id);
      var at = {}, keys = [], n = 0;
      data.frames.forEach(function (run) {
        for (var k = 0; k < run[2]; ++k) {
          var frame = run[0] + k * run[1];
          at[frame] = n++;
          all[frame] = true;
        }
      });
      data.key.forEach(function (run) {
        for (var k = 0; k < run[1]; ++k) { keys.push(run[0]); }
      });
      data.runs.forEach(function (run) { starts.push({first: run[1], last: run[2]}); });
      items.push({
        at: at, key: keys, axis: data.axis, raw: [data.x, data.y, data.z],
        row: player.querySelector('tr[data-item="' + CSS.escape(data.id) + '"]'),
        cursor: section.querySelector("svg.plot line.cursor"),
        planes: Array.prototype.slice.call(section.querySelectorAll("svg.planes g.plane"))
      });
    });
    return items;
  }
  function cursorX(axis, frame) {
    for (var i = 0; i < axis.length; ++i) {
      var p = axis[i];
      if (frame <= p[1] || i === axis.length - 1) {
        var x = p[1] > p[0] ? p[2] + (frame - p[0]) / (p[1] - p[0]) * (p[3] - p[2]) : p[2];
        return Math.min(Math.max(x, axis[0][2]), axis[axis.length - 1][3]);
      }
    }
    return 0;
  }
  function hideItem(item) {
    // Not sampled for this item (outside its frames, or where no key acts
    // and it was sampled thinly): nothing computed to show.
    item.row.querySelectorAll("td").forEach(function (cell) { cell.textContent = "-"; });
    item.cursor.setAttribute("visibility", "hidden");
    item.planes.forEach(function (g) {
      g.querySelector("circle.dot").setAttribute("visibility", "hidden");
    });
  }
  function showItem(item, frame) {
    var i = item.at[frame];
    if (i === undefined) { hideItem(item); return; }
    var cells = item.row.querySelectorAll("td");
    var x = cursorX(item.axis, frame).toFixed(1);
    item.cursor.setAttribute("x1", x);
    item.cursor.setAttribute("x2", x);
    item.cursor.setAttribute("visibility", "visible");
    cells[0].textContent = item.key[i] > 0 ? String(item.key[i]) : "-";
    for (var axis = 0; axis < 3; ++axis) { cells[axis + 1].textContent = text(item.raw[axis][i]); }
    item.planes.forEach(function (g) {
      var a = value(item.raw[Number(g.dataset.across)][i]);
      var b = value(item.raw[Number(g.dataset.up)][i]);
      var dot = g.querySelector("circle.dot");
      if (!Number.isFinite(a) || !Number.isFinite(b)) { dot.setAttribute("visibility", "hidden"); return; }
      var scale = Number(g.dataset.scale);
      dot.setAttribute("cx", (Number(g.dataset.cx) + a * scale).toFixed(2));
      dot.setAttribute("cy", (Number(g.dataset.cy) - b * scale).toFixed(2));
      dot.setAttribute("visibility", "visible");
    });
  }

  function setUp(scene, player) {
    var fps = Number(player.dataset.fps);
    var q = function (selector) { return player.querySelector(selector); };
    var slider = q("input.frame"), box = q("input.goto"), now = q("output.now");
    var button = q("button.play"), loop = q("input.loop"), from = q("input.loop-from");
    var to = q("input.loop-to"), speed = q("select.speed"), fold = q("button.fold");
    var all = {}, runs = [];
    var items = readItems(scene, player, all, runs);
    // Every frame some item was sampled at, in order; key starts likewise.
    var frames = Object.keys(all).map(Number).sort(function (a, b) { return a - b; });
    var starts = runs.map(function (r) { return r.first; }).sort(function (a, b) { return a - b; });
    var first = frames[0], last = frames[frames.length - 1], index = 0;
    [slider, box, from, to].forEach(function (input) { input.min = first; input.max = last; });
    from.value = first;
    to.value = last;
    // The sampled frame at or before the frame (the first one before any).
    function atOrBefore(frame) {
      var low = 0, high = frames.length - 1;
      while (low < high) {
        var mid = (low + high + 1) >> 1;
        if (frames[mid] <= frame) { low = mid; } else { high = mid - 1; }
      }
      return low;
    }
    function atOrAfter(frame) {
      var i = atOrBefore(frame);
      return frames[i] < frame && i + 1 < frames.length ? i + 1 : i;
    }
    function show(i) {
      index = Math.max(0, Math.min(frames.length - 1, i));
      var frame = frames[index];
      slider.value = String(frame);
      slider.setAttribute("aria-valuetext", "frame " + frame);
      box.value = String(frame);
      now.textContent = "frame " + frame;
      items.forEach(function (item) { showItem(item, frame); });
    }
    function keyStep(forward) {
      var frame = frames[index], start = null;
      for (var k = 0; k < starts.length; ++k) {
        if (forward ? starts[k] > frame : starts[k] < frame) {
          start = starts[k];
          if (forward) { break; }
        }
      }
      if (start !== null) { show(atOrAfter(start)); }
    }
    player.seek = function (frame) {
      var i = frames.indexOf(frame);
      if (i >= 0) { show(i); }
      return i >= 0;
    };
    var timer = null;
    function stop() {
      clearTimeout(timer);
      timer = null;
      button.textContent = "Play";
      button.setAttribute("aria-pressed", "false");
    }
    // Real time at the chosen speed: each sampled frame for as long as the
    // scene shows it, thinly sampled stretches passed at a quarter second a step.
    function step() {
      var next = index + 1;
      var looping = loop.checked && Number(to.value) >= Number(from.value);
      if (looping && (next >= frames.length || frames[next] > Number(to.value))) {
        next = atOrAfter(Number(from.value));
      } else if (next >= frames.length) { stop(); return; }
      var wait = Math.min(250, 1000 * Math.abs(frames[next] - frames[index]) / fps);
      show(next);
      timer = setTimeout(step, Math.max(4, wait / Number(speed.value)));
    }
    button.addEventListener("click", function () {
      if (timer !== null) { stop(); return; }
      if (index >= frames.length - 1 && !loop.checked) { show(0); }
      button.textContent = "Pause";
      button.setAttribute("aria-pressed", "true");
      timer = setTimeout(step, 1000 / fps / Number(speed.value));
    });
    q("button.prev").addEventListener("click", function () { show(index - 1); });
    q("button.next").addEventListener("click", function () { show(index + 1); });
    q("button.prev-key").addEventListener("click", function () { keyStep(false); });
    q("button.next-key").addEventListener("click", function () { keyStep(true); });
    q("button.loop-key").addEventListener("click", function () {
      // The shortest key run at the frame, else the next one.
      var frame = frames[index], best = null;
      runs.forEach(function (r) {
        var holds = r.first <= frame && frame <= r.last;
        var bestHolds = best && best.first <= frame && frame <= best.last;
        if (holds ? !bestHolds || r.last - r.first < best.last - best.first
                  : !bestHolds && r.first > frame && (!best || r.first < best.first)) { best = r; }
      });
      if (!best) { return; }
      from.value = best.first;
      to.value = best.last;
      loop.checked = true;
      show(atOrAfter(best.first));
    });
    slider.addEventListener("input", function () { show(atOrBefore(Number(slider.value))); });
    box.addEventListener("change", function () { show(atOrBefore(Number(box.value))); });
    player.addEventListener("keydown", function (event) {
      var target = event.target;
      if (target.matches("input[type=number], select") ||
          (event.key !== "ArrowLeft" && event.key !== "ArrowRight")) { return; }
      var forward = event.key === "ArrowRight";
      if (event.shiftKey) { keyStep(forward); } else { show(index + (forward ? 1 : -1)); }
      event.preventDefault();
    });
    function setFolded(folded) {
      player.classList.toggle("folded", folded);
      fold.setAttribute("aria-expanded", String(!folded));
      fold.textContent = folded ? "More" : "Fold";
    }
    fold.addEventListener("click", function () { setFolded(!player.classList.contains("folded")); });
    // The controls' row stays on a phone; the rest unfolds on demand.
    q(".controls").appendChild(fold);
    setFolded(window.matchMedia("(max-width: 720px)").matches);
    button.setAttribute("aria-pressed", "false");
    player.hidden = false;
    var measure = function () { scene.style.setProperty("--player-h", player.offsetHeight + "px"); };
    if (window.ResizeObserver) { new ResizeObserver(measure).observe(player); }
    measure();
    show(0);
  }
  document.querySelectorAll("section.scene").forEach(function (scene) {
    var player = scene.querySelector(".player");
    if (player) { setUp(scene, player); }
  });
  if (targetOf(location.hash)) { reveal(targetOf(location.hash)); }
})();
)js";

} // namespace vrim::report
