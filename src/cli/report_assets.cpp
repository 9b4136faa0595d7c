// The report page's own script and style, written beside index.html.
#include "cli/report_html.h"

namespace qm::cli {

// Sorting by any column, filtering by text and by flag. It marks <body> with
// data-ready="1" once it has run; an error shows in #script-errors and marks
// <body> with data-error="1".
const char* const kReportScript = R"JS('use strict';
window.onerror = function (message, source, line) {
  var box = document.getElementById('script-errors');
  if (box) {
    box.hidden = false;
    box.textContent += message + ' (' + source + ':' + line + ')\n';
  }
  document.body.setAttribute('data-error', '1');
};
(function () {
  var table = document.getElementById('records');
  var body = table.tBodies[0];
  var rows = Array.prototype.slice.call(body.rows);
  var heads = table.tHead.rows[0].cells;
  var filter = document.getElementById('filter');
  var flag = document.getElementById('flag');
  var shown = document.getElementById('shown');
  var texts = null;
  var sortColumn = -1, direction = 1;

  function update() {
    var q = filter.value.trim().toLowerCase(), f = flag.value, n = 0;
    if (q && !texts) {
      texts = new Map();
      rows.forEach(function (r) { texts.set(r, r.textContent.toLowerCase()); });
    }
    rows.forEach(function (r) {
      var ok = (!f || (' ' + r.getAttribute('data-flags') + ' ').indexOf(' ' + f + ' ') >= 0) &&
               (!q || texts.get(r).indexOf(q) >= 0);
      r.hidden = !ok;
      if (ok) n++;
    });
    shown.textContent = n + ' of ' + rows.length + ' rows';
  }

  function key(r, c, numeric) {
    var td = r.cells[c];
    if (!numeric) return td ? td.textContent : '';
    var v = td ? td.getAttribute('data-v') : null;
    return v === null ? NaN : parseFloat(v);
  }

  // Empty cells go last whichever way the column sorts.
  function sortBy(c, dir) {
    direction = dir || (c === sortColumn ? -direction : 1);
    sortColumn = c;
    var numeric = heads[c].getAttribute('data-type') === 'num';
    if (!heads[c].getAttribute('data-type')) return;
    var keyed = rows.map(function (r, i) { return {r: r, k: key(r, c, numeric), i: i}; });
    keyed.sort(function (a, b) {
      var d;
      if (numeric) {
        if (isNaN(a.k) || isNaN(b.k)) return (isNaN(a.k) - isNaN(b.k)) || a.i - b.i;
        d = a.k - b.k;
      } else {
        d = a.k < b.k ? -1 : a.k > b.k ? 1 : 0;
      }
      return d * direction || a.i - b.i;
    });
    var frag = document.createDocumentFragment();
    rows = keyed.map(function (x) { frag.appendChild(x.r); return x.r; });
    body.appendChild(frag);
    Array.prototype.forEach.call(heads, function (h, i) {
      h.removeAttribute('aria-sort');
      if (i === c) h.setAttribute('aria-sort', direction > 0 ? 'ascending' : 'descending');
    });
  }

  // The address may ask for an order and a flag: #sort=snr, #sort=-peak&flag=warning.
  function fromAddress() {
    location.hash.replace(/^#/, '').split('&').forEach(function (part) {
      var kv = part.split('=');
      if (kv[0] === 'flag') flag.value = decodeURIComponent(kv[1] || '');
      if (kv[0] !== 'sort' || !kv[1]) return;
      var down = kv[1].charAt(0) === '-', name = down ? kv[1].slice(1) : kv[1];
      Array.prototype.forEach.call(heads, function (h, i) {
        if (h.getAttribute('data-key') === name) sortBy(i, down ? -1 : 1);
      });
    });
    update();
  }

  Array.prototype.forEach.call(heads, function (h, i) {
    if (h.classList.contains('nosort')) return;
    h.addEventListener('click', function () { sortBy(i); });
  });
  // A row's player: its link is replaced by an audio element on the WAV,
  // made only when it is pressed (10,000 audio elements made up front would
  // triple the time the page takes to load), which plays at once. Without
  // the script the link opens the WAV in the browser's own player.
  body.addEventListener('click', function (e) {
    var link = e.target.closest ? e.target.closest('a.play') : null;
    if (!link) return;
    e.preventDefault();
    var audio = document.createElement('audio');
    audio.controls = true;
    audio.src = link.getAttribute('href');
    link.parentNode.replaceChild(audio, link);
    var playing = audio.play();
    if (playing && playing.catch) playing.catch(function () {});
  });
  filter.addEventListener('input', update);
  flag.addEventListener('change', update);
  window.addEventListener('hashchange', fromAddress);
  fromAddress();
  document.body.setAttribute('data-ready-ms', String(Math.round(performance.now())));
  document.body.setAttribute('data-ready', '1');
})();
)JS";

const char* const kReportStyle = R"CSS(body { font: 14px sans-serif; margin: 1em; color: #222; }
h1 { font-size: 1.3em; word-break: break-all; }
h2 { font-size: 1.1em; }
table { border-collapse: collapse; }
/* The rows as a grid of fixed columns: rows off the screen are neither laid
   out nor painted, so 10,000 of them stay light. */
#records, #records thead, #records tbody { display: block; }
#records tr { display: grid; grid-template-columns: 3.5em 5em 11em 11em 4.5em 4.5em 4.5em 124px 9.5em 8em; }
#records.folder tr { grid-template-columns: 3.5em 5em 11em 11em 4.5em 4.5em 4.5em 124px 9.5em 8em 3em 4.5em 4.5em 4em 4em 14em 8em; }
#records tbody tr { content-visibility: auto; contain-intrinsic-size: auto 40px; }
#records td, #records th { display: block; overflow-wrap: anywhere; }
#records th { overflow-wrap: normal; font-size: 0.9em; }
#records thead { position: sticky; top: 0; z-index: 1; }
th, td { border-bottom: 1px solid #ddd; padding: 2px 6px; text-align: left; vertical-align: middle; }
#records th { background: #f4f4f4; cursor: pointer; user-select: none; }
#records th.nosort { cursor: default; }
#records th[aria-sort=ascending]::after { content: ' \25B2'; }
#records th[aria-sort=descending]::after { content: ' \25BC'; }
td.num { text-align: right; font-variant-numeric: tabular-nums; }
td.error, .errors { color: #b00; }
.wave { display: block; }
.wave path { stroke: #2a6f97; stroke-width: 1; fill: none; shape-rendering: crispEdges; }
audio { height: 28px; width: 9em; }
a.play { display: inline-block; border: 1px solid #aaa; border-radius: 12px; padding: 0 10px; color: #222; text-decoration: none; }
.charts { display: flex; flex-wrap: wrap; gap: 1.5em; }
.chart rect { fill: #2a6f97; }
.chart text { font-size: 10px; fill: #555; }
.seg { border-radius: 3px; padding: 0 2px; margin-right: 2px; }
.seg.c2 { background: #eee; } .seg.c3 { background: #e0f0ff; } .seg.c4 { background: #d8ecff; }
.seg.c5 { background: #fff3d6; } .seg.c6 { background: #e6f5e6; }
.folder-text { color: #b00; font-size: 0.9em; }
.warnings div { font-size: 0.85em; color: #8a5a00; }
.flag { display: inline-block; border-radius: 3px; padding: 0 4px; margin: 1px; font-size: 0.85em; color: #fff; background: #777; }
.f-clipped, .f-error { background: #c0392b; } .f-silent { background: #7f8c8d; }
.f-warning { background: #d68910; } .f-low-snr { background: #8e44ad; } .f-mismatch { background: #a04000; }
#controls { margin: 1em 0 0.5em; }
#script-errors { color: #b00; }
)CSS";

}  // namespace qm::cli
