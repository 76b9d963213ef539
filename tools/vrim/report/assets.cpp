#include "tools/vrim/report/assets.h"

namespace vrim::report {

// Colours from the Okabe-Ito set, which stays apart for the common kinds of
// colour blindness; severity is also spelled out, never shown by colour
// alone. Below 720 px wide the plot and the plane views stack.
const char* const kPageStyle = R"css(
:root { color-scheme: light; }
body { font: 16px/1.45 "DejaVu Sans", Verdana, Arial, sans-serif; color: #222222;
  background: #ffffff; max-width: 1180px; margin: 0 auto; padding: 0 12px 48px; }
h1 { font-size: 1.6em; margin: 0.6em 0 0.2em; }
h2 { font-size: 1.3em; margin: 0.4em 0; overflow-wrap: anywhere; }
summary .name { font-weight: bold; font-size: 1.1em; overflow-wrap: anywhere; }
h3 { font-size: 1em; margin: 0.8em 0 0.3em; }
svg.plot { font: 13px sans-serif; }
svg.planes { font: 12px sans-serif; }
a { color: #0060a0; }
code { font-family: "DejaVu Sans Mono", monospace; font-size: 0.92em; }
nav ol { padding-left: 2.2em; columns: 26em; column-gap: 2em; }
nav summary { cursor: pointer; }
nav li { overflow-wrap: anywhere; break-inside: avoid; }
.mark { display: none; }
.filter a { display: inline-block; margin: 0 0.6em 0.3em 0; padding: 2px 10px;
  border: 1px solid #0060a0; border-radius: 4px; text-decoration: none; }
#only-findings:target ~ main .clean, #only-findings:target ~ nav li.clean { display: none; }
#only-findings:target ~ header a.only, #all-items:target ~ header a.all {
  background: #0060a0; color: #ffffff; }
section.provenance summary { cursor: pointer; }
table.files { width: 100%; table-layout: fixed; }
table.files td:last-child, table.files th:last-child { width: 42%; }
dd code, table.files code { overflow-wrap: anywhere; }
.sub { color: #555555; margin: 4px 0; }
.sampling { border-left: 5px solid #56b4e9; background: #eef7fc; padding: 6px 10px; }
section.scene { border-top: 3px solid #444444; margin-top: 28px; padding-top: 4px; }
dl.facts { display: grid; grid-template-columns: max-content auto; gap: 2px 14px; margin: 6px 0; }
dl.facts dt { font-weight: bold; }
dl.facts dd { margin: 0; }
.source { color: #555555; margin: 4px 0; }
details.item { border: 1px solid #cccccc; border-radius: 4px; margin: 12px 0; padding: 4px 10px; }
details.item > summary { cursor: pointer; padding: 4px 0; }
.counts { color: #555555; }
.views { display: grid; grid-template-columns: minmax(0, 5fr) minmax(0, 2fr); gap: 12px;
  align-items: center; }
figure { margin: 0; }
svg.plot { display: block; width: 100%; height: auto; }
svg.planes { display: block; width: 100%; max-width: 420px; height: auto; }
.scroll { overflow-x: auto; }
table { border-collapse: collapse; margin: 4px 0; }
th, td { border: 1px solid #cccccc; padding: 3px 8px; text-align: left; vertical-align: top;
  overflow-wrap: anywhere; }
table.keys, table.listed { width: 100%; }
thead th { background: #f0f0f0; overflow-wrap: normal; }
table.readout { width: 100%; table-layout: fixed; }
table.readout td { text-align: right; font-family: "DejaVu Sans Mono", monospace; }
table.readout th:first-child { width: auto; }
table.readout thead th:nth-child(2) { width: 3.5em; }
table.readout thead th:nth-child(n+3) { width: 7.5em; }
ul.findings { list-style: none; padding: 0; margin: 4px 0; }
ul.findings li { border-left: 5px solid #999999; padding: 3px 8px; margin: 4px 0;
  background: #f6f6f6; overflow-wrap: anywhere; }
ul.findings li.error { border-color: #d55e00; }
ul.findings li.warning { border-color: #e69f00; }
ul.findings li.note { border-color: #56b4e9; }
.severity { font-weight: bold; text-transform: uppercase; font-size: 0.85em; }
.where { font-family: "DejaVu Sans Mono", monospace; font-size: 0.9em; }
details.listed { margin: 12px 0; }
details.listed > summary { cursor: pointer; font-weight: bold; }
table.listed ul.findings { margin: 0; }
table.listed code { white-space: pre-wrap; }
.more { color: #555555; font-style: italic; }
.player { position: sticky; top: 0; z-index: 1; background: #ffffff; padding: 6px 0;
  border-bottom: 2px solid #444444; }
.player .controls { display: flex; flex-wrap: wrap; gap: 8px 14px; align-items: center; }
.player label { display: flex; gap: 8px; align-items: center; flex: 1 1 240px; }
.player input.frame { flex: 1; }
.player .scroll { max-height: 30vh; overflow-y: auto; }
.player button { font: inherit; padding: 4px 16px; min-width: 6em; }
output.now { font-family: "DejaVu Sans Mono", monospace; min-width: 9em; }
@media (max-width: 720px) {
  body { font-size: 15px; padding: 0 8px 32px; }
  .views { grid-template-columns: minmax(0, 1fr); }
  th, td { padding: 2px 4px; }
  table.readout { font-size: 0.78em; }
  table.readout thead th:nth-child(n+3) { width: 6.2em; }
  table.readout thead th:nth-child(2) { width: 2.6em; }
}
@media print {
  body { font-size: 10pt; max-width: none; padding: 0; }
  .player { display: none; }
  details.item { break-inside: avoid; border-color: #999999; }
  section.scene { break-before: page; }
  section.scene:first-of-type { break-before: auto; }
  svg.plot { max-height: 9cm; }
  a { color: inherit; text-decoration: none; }
}
)css";

// The player steps through the samples written into the page as JSON; it
// never computes a position. Each scene has its own slider, since scenes
// differ in rate and range.
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
  document.querySelectorAll("section.scene").forEach(function (scene) {
    var player = scene.querySelector(".player");
    if (!player) { return; }
    var fps = Number(player.dataset.fps);
    var slider = player.querySelector("input.frame");
    var now = player.querySelector("output.now");
    var button = player.querySelector("button.play");
    var items = [], all = {};
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
      items.push({
        at: at, key: keys, axis: data.axis, raw: [data.x, data.y, data.z],
        row: player.querySelector('tr[data-item="' + data.id + '"]'),
        cursor: section.querySelector("svg.plot line.cursor"),
        planes: Array.prototype.slice.call(section.querySelectorAll("svg.planes g.plane"))
      });
    });
    // Every frame some item was sampled at, in order.
    var frames = Object.keys(all).map(Number).sort(function (a, b) { return a - b; });
    player.positions = frames;
    slider.max = String(frames.length - 1);
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
    function show(index) {
      var frame = frames[index];
      now.textContent = "frame " + frame;
      items.forEach(function (item) {
        var cells = item.row.querySelectorAll("td");
        var i = item.at[frame];
        if (i === undefined) {
          // Not sampled for this item (outside its frames, or where no key
          // acts and it was sampled thinly): nothing computed to show.
          cells.forEach(function (cell) { cell.textContent = "-"; });
          item.cursor.setAttribute("visibility", "hidden");
          item.planes.forEach(function (g) {
            g.querySelector("circle.dot").setAttribute("visibility", "hidden");
          });
          return;
        }
        var x = cursorX(item.axis, frame);
        item.cursor.setAttribute("x1", x.toFixed(1));
        item.cursor.setAttribute("x2", x.toFixed(1));
        item.cursor.setAttribute("visibility", "visible");
        cells[0].textContent = item.key[i] > 0 ? String(item.key[i]) : "-";
        for (var axis = 0; axis < 3; ++axis) {
          cells[axis + 1].textContent = text(item.raw[axis][i]);
        }
        item.planes.forEach(function (g) {
          var a = value(item.raw[Number(g.dataset.across)][i]);
          var b = value(item.raw[Number(g.dataset.up)][i]);
          var dot = g.querySelector("circle.dot");
          if (!Number.isFinite(a) || !Number.isFinite(b)) {
            dot.setAttribute("visibility", "hidden");
            return;
          }
          var scale = Number(g.dataset.scale);
          dot.setAttribute("cx", (Number(g.dataset.cx) + a * scale).toFixed(2));
          dot.setAttribute("cy", (Number(g.dataset.cy) - b * scale).toFixed(2));
          dot.setAttribute("visibility", "visible");
        });
      });
    }
    player.seek = function (frame) {
      var index = frames.indexOf(frame);
      if (index >= 0) { slider.value = String(index); show(index); }
      return index >= 0;
    };
    var timer = null;
    function stop() {
      clearTimeout(timer);
      timer = null;
      button.textContent = "Play";
      button.setAttribute("aria-pressed", "false");
    }
    // Real time: each sampled frame for as long as the scene shows it, the
    // thinly sampled stretches passed at no more than a quarter second a step.
    function step() {
      var next = Number(slider.value) + 1;
      if (next > Number(slider.max)) { stop(); return; }
      var wait = Math.min(250, 1000 * (frames[next] - frames[next - 1]) / fps);
      slider.value = String(next);
      show(next);
      timer = setTimeout(step, wait);
    }
    button.addEventListener("click", function () {
      if (timer !== null) { stop(); return; }
      if (Number(slider.value) >= Number(slider.max)) { slider.value = "0"; }
      button.textContent = "Pause";
      button.setAttribute("aria-pressed", "true");
      timer = setTimeout(step, 1000 / fps);
    });
    slider.addEventListener("input", function () { show(Number(slider.value)); });
    button.setAttribute("aria-pressed", "false");
    player.hidden = false;
    show(Number(slider.value));
  });
})();
)js";

} // namespace vrim::report
