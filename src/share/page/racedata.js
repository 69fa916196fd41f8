'use strict';
// The replay of a race as Tideplot played it: this script only shows what the program
// wrote into the page (race time, distances, leaderboard and pieces of track for every
// step); it computes no number of the race. Texts from files are only ever set as text.
//
// The page holds its script in seven parts, one after the other in one script element:
// this one decodes the race's data, trackpen.js strokes the tracks, sheets.js keeps the
// pictures of the whole tracks, chart.js draws the chart, debrief.js and debriefgraph.js show
// the race's analysis, controls.js makes the page's texts
// and controls and starts the replay.

// The page's streams of bytes: zlib streams written in base 85 (four bytes as five
// characters, a last group of n bytes as n + 1; the digits are the printable characters from
// "!" on but " \\ < > &), inflated by the browser.
const kBase85Digits = (() => {
  const digits = new Int32Array(128).fill(-1);
  for (let c = 33, d = 0; c < 127 && d < 85; ++c) if (!'"\\<>&'.includes(String.fromCharCode(c))) digits[c] = d++;
  return digits;
})();
async function unpackStream(text) {
  if (!text) return new Uint8Array(0);
  const packed = new Uint8Array(Math.floor(text.length / 5) * 4 + Math.max(0, (text.length % 5) - 1));
  for (let at = 0, out = 0; at < text.length; at += 5) {
    const count = Math.min(5, text.length - at);
    let value = 0;
    for (let i = 0; i < 5; ++i) value = value * 85 + (i < count ? kBase85Digits[text.charCodeAt(at + i)] : 84);
    for (let i = 0; i < count - 1; ++i) packed[out++] = Math.floor(value / 2 ** (24 - 8 * i)) & 255;
  }
  const inflated = new Blob([packed]).stream().pipeThrough(new DecompressionStream('deflate'));
  return new Uint8Array(await new Response(inflated).arrayBuffer());
}
async function unpackRace(data) {
  const each = (name) => Promise.all(data.boats.map((b) => unpackStream(b[name])));
  const [clock, widths, leaderboard, heads, lats, lons, distances] = await Promise.all([
    unpackStream(data.clock), unpackStream(data.widths), unpackStream(data.leaderboard),
    each('heads'), each('lats'), each('lons'), each('distance'),
  ]);
  return decodeRace(data, { clock, widths, leaderboard, heads, lats, lons, distances });
}

// The pieces of track a box of the chart's index holds.
const kChunkPieces = 64;

// Colours by contrast (WCAG 2's relative luminance and contrast ratio), of "#rrggbb".
function luminance(css) {
  const n = parseInt(css.slice(1), 16);
  const channel = (v) => { v /= 255; return v <= 0.03928 ? v / 12.92 : ((v + 0.055) / 1.055) ** 2.4; };
  return 0.2126 * channel(n >> 16) + 0.7152 * channel((n >> 8) & 255) + 0.0722 * channel(n & 255);
}
function contrast(a, b) {
  const la = luminance(a), lb = luminance(b);
  return (Math.max(la, lb) + 0.05) / (Math.min(la, lb) + 0.05);
}
// Black or white, whichever stands out more on `css`: text on a boat's colour, and the
// casing under its track.
function inkOn(css) {
  return contrast(css, '#000000') >= contrast(css, '#ffffff') ? '#000000' : '#ffffff';
}

// The race as the program wrote it into the page (`data`, the page's JSON): its steps' race
// clocks, the boats' pieces of track in Web Mercator, their distances to the first boat, the
// leaderboard of every step, and the texts of these numbers as the program writes them.
function decodeRace(data, streams) {
  // ---- The numbers, from their variable-length integers -------------------------------
  class Reader {
    constructor(bytes) { this.bytes = bytes; this.at = 0; }
    more() { return this.at < this.bytes.length; }
    unsigned() {
      let value = 0, scale = 1, c;
      do {
        if (this.at >= this.bytes.length) throw new Error('the page\'s data is cut short');
        c = this.bytes[this.at++];
        value += (c & 0x7f) * scale;
        scale *= 128;
      } while (c & 0x80);
      return value;
    }
    signed() { const u = this.unsigned(); return u % 2 ? -(u + 1) / 2 : u / 2; }
  }

  const steps = data.steps;
  const clockSeconds = new Float64Array(steps + 1);
  {
    const r = new Reader(streams.clock);
    let seconds = 0;
    for (let s = 1; s <= steps && r.more(); ++s) clockSeconds[s] = seconds += r.signed();
  }
  const widths = new Uint8Array(steps + 1).fill(1);
  {
    const r = new Reader(streams.widths);
    for (let s = 0; r.more();) { s += r.unsigned(); widths[s] = r.unsigned(); }
  }
  const two = (n) => (n < 10 ? '0' : '') + n;
  // The texts as the program writes them: whole numbers, no floating point.
  function clockText(step) {
    if (step <= 0) return '';
    const seconds = clockSeconds[step], a = Math.abs(seconds);
    const hours = Math.floor(a / 3600);
    return (seconds < 0 ? '-' : '') + two(hours) + ':' + two(Math.floor(a / 60) % 60) + ':' + two(a % 60);
  }
  function thousandthsText(v) {
    const fraction = String(v % 1000);
    return Math.floor(v / 1000) + '.' + '000'.slice(fraction.length) + fraction;
  }
  function durationText(seconds) {
    return Math.floor(seconds / 3600) + ':' + two(Math.floor(seconds / 60) % 60) + ':' + two(seconds % 60);
  }

  // Web Mercator in world units (0 to 1 across the world, y down).
  const project = {
    x: (lonDeg) => lonDeg / 360 + 0.5,
    y: (latDeg) => {
      const phi = Math.max(-85.05112878, Math.min(85.05112878, latDeg)) * Math.PI / 180;
      return 0.5 - Math.log(Math.tan(Math.PI / 4 + phi / 2)) / (2 * Math.PI);
    },
  };
  const bounds = { x0: Infinity, y0: Infinity, x1: -Infinity, y1: -Infinity };

  // Each boat's pieces: point arrays, and per piece its step and the index of its end
  // (it starts at the point before).
  const boats = data.boats.map((b, k) => {
    const heads = new Reader(streams.heads[k]), lats = new Reader(streams.lats[k]), lons = new Reader(streams.lons[k]);
    const xs = [], ys = [], pieceStep = [], pieceTo = [];
    let step = 0, lat = 0, lon = 0;
    const push = () => {
      const x = project.x(lon / 1e6), y = project.y(lat / 1e6);
      xs.push(x); ys.push(y);
      if (x < bounds.x0) bounds.x0 = x;
      if (x > bounds.x1) bounds.x1 = x;
      if (y < bounds.y0) bounds.y0 = y;
      if (y > bounds.y1) bounds.y1 = y;
    };
    // A piece's move is told as the difference to the mean of the four moves before (none
    // after a piece that does not join), rounded half up.
    const latMoves = [0, 0, 0, 0], lonMoves = [0, 0, 0, 0];
    const foretold = (moves) => Math.floor((moves[0] + moves[1] + moves[2] + moves[3] + 2) / 4);
    for (let next = 0; heads.more(); next = (next + 1) % 4) {
      const head = heads.unsigned();
      step += Math.floor(head / 2);
      if (head % 2) {
        lat += lats.signed(); lon += lons.signed(); push();
        latMoves.fill(0); lonMoves.fill(0);
      }
      const moveLat = lats.signed() + foretold(latMoves), moveLon = lons.signed() + foretold(lonMoves);
      latMoves[next] = moveLat; lonMoves[next] = moveLon;
      lat += moveLat; lon += moveLon; push();
      pieceStep.push(step);
      pieceTo.push(xs.length - 1);
    }
    // Every step: 0 the text of the step before, 1 no text, else 2 + the zig-zag change of
    // the thousandths; kept as the steps where the text changes.
    const d = new Reader(streams.distances[k]);
    const distanceStep = [0], distanceCode = [0];
    for (let s = 1, last = 0, shown = 0; d.more(); ++s) {
      const code = d.unsigned();
      if (code === 0) continue;
      if (code > 1) { const z = code - 2; last += z % 2 ? -(z + 1) / 2 : z / 2; }
      const now = code > 1 ? last + 1 : 0;
      if (now === shown) continue;
      shown = now;
      distanceStep.push(s);
      distanceCode.push(now);
    }
    const pieceEnds = Int32Array.from(pieceTo);
    return {
      // the caption as the replay's legend writes it; a boat's name in its place where the
      // page is given one as `name`
      caption: b.name || b.caption, colour: b.colour, window: b.window, casing: inkOn(b.colour),
      xs: Float64Array.from(xs), ys: Float64Array.from(ys),
      pieceStep: Int32Array.from(pieceStep), pieceTo: pieceEnds, chunks: chunkBoxes(xs, ys, pieceEnds),
      distanceStep: Float64Array.from(distanceStep), distanceCode: Float64Array.from(distanceCode),
      wide: Int32Array.from(pieceStep.map((ps, i) => (widths[ps] !== 1 ? i : -1)).filter((i) => i >= 0)),
      labelWidth: 0,
    };
  });
  // The box of every kChunkPieces pieces one after the other (x0, y0, x1, y1 each), so that
  // the chart passes over those out of its view without looking at them one by one.
  function chunkBoxes(xs, ys, pieceTo) {
    const boxes = new Float64Array(Math.ceil(pieceTo.length / kChunkPieces) * 4);
    for (let c = 0; c * kChunkPieces < pieceTo.length; ++c) {
      const from = pieceTo[c * kChunkPieces] - 1, to = pieceTo[Math.min(pieceTo.length, (c + 1) * kChunkPieces) - 1];
      let x0 = Infinity, y0 = Infinity, x1 = -Infinity, y1 = -Infinity;
      for (let p = from; p <= to; ++p) {
        x0 = Math.min(x0, xs[p]); x1 = Math.max(x1, xs[p]);
        y0 = Math.min(y0, ys[p]); y1 = Math.max(y1, ys[p]);
      }
      boxes.set([x0, y0, x1, y1], c * 4);
    }
    return boxes;
  }
  const firstLon = boats.find((b) => b.xs.length) ? (boats.find((b) => b.xs.length).xs[0] - 0.5) * 360 : 0;

  // The leaderboard of every step: snapshots of rows [boat, kind, number, gap + 1].
  const board = { at: new Int32Array(steps + 1), snapshots: [] };
  if (data.leaderboard) {
    const r = new Reader(streams.leaderboard);
    const last = new Float64Array(boats.length);
    for (let s = 0; s <= steps && r.more(); ++s) {
      if (r.unsigned() === 1) {
        const rows = [];
        for (let i = 0; i < boats.length; ++i) {
          const bk = r.unsigned(), boat = Math.floor(bk / 3), kind = bk % 3;
          let value = 0, gap = 0;
          if (kind !== 0) { value = last[boat] += r.signed(); gap = r.unsigned(); }
          rows.push([boat, kind, value, gap]);
        }
        board.snapshots.push(rows);
      }
      board.at[s] = board.snapshots.length - 1;
    }
  }

  // The last index i of a sorted array with a[i] <= v, or -1 (from `lo`).
  function lastAtMost(a, v, lo = 0) {
    let hi = a.length - 1, found = lo - 1;
    while (lo <= hi) {
      const mid = (lo + hi) >> 1;
      if (a[mid] <= v) { found = mid; lo = mid + 1; } else hi = mid - 1;
    }
    return found;
  }
  function distanceText(boat, step) {
    const code = boat.distanceCode[lastAtMost(boat.distanceStep, step)];
    return code ? thousandthsText(code - 1) : '';
  }

  return {
    steps, clockSeconds, widths, project, bounds, boats, firstLon, board,
    lastAtMost, clockText, thousandthsText, durationText, distanceText,
  };
}
