'use strict';
// The replay of a race as Tideplot played it: this script only shows what the program
// wrote into the page (race time, distances, leaderboard and pieces of track for every
// step); it computes no number of the race. Texts from files are only ever set as text.
//
// The page holds its script in three parts, one after the other in one script element:
// this one decodes the race's data, chart.js draws the chart, controls.js makes the page's
// texts and controls and starts the replay.

// The race as the program wrote it into the page (`data`, the page's JSON): its steps' race
// clocks, the boats' pieces of track in Web Mercator, their distances to the first boat, the
// leaderboard of every step, and the texts of these numbers as the program writes them.
function decodeRace(data) {
  // ---- The numbers, from their variable-length integers -------------------------------
  function bytesOf(base64) {
    const text = atob(base64 || '');
    const bytes = new Uint8Array(text.length);
    for (let i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
    return bytes;
  }
  class Reader {
    constructor(base64) { this.b = bytesOf(base64); this.i = 0; }
    more() { return this.i < this.b.length; }
    u() {
      let value = 0, scale = 1, c;
      do {
        if (this.i >= this.b.length) throw new Error('the page\'s data is cut short');
        c = this.b[this.i++];
        value += (c & 0x7f) * scale;
        scale *= 128;
      } while (c & 0x80);
      return value;
    }
    s() { const u = this.u(); return u % 2 ? -(u + 1) / 2 : u / 2; }
  }

  const steps = data.steps;
  const clockSeconds = new Float64Array(steps + 1);
  {
    const r = new Reader(data.clock);
    let seconds = 0;
    for (let s = 1; s <= steps && r.more(); ++s) clockSeconds[s] = seconds += r.s();
  }
  const widths = new Uint8Array(steps + 1).fill(1);
  {
    const r = new Reader(data.widths);
    for (let s = 0; r.more();) { s += r.u(); widths[s] = r.u(); }
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
  const boats = data.boats.map((b) => {
    const r = new Reader(b.track);
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
    while (r.more()) {
      const head = r.u();
      step += Math.floor(head / 2);
      if (head % 2) { lat += r.s(); lon += r.s(); push(); }
      lat += r.s(); lon += r.s(); push();
      pieceStep.push(step);
      pieceTo.push(xs.length - 1);
    }
    const d = new Reader(b.distance);
    const distanceStep = [0], distanceCode = [0];
    // 0: no text; else 1 + the zig-zag change of the distance in thousandths
    for (let s = 0, last = 0; d.more();) {
      s += d.u();
      const code = d.u();
      if (code) { const z = code - 1; last += z % 2 ? -(z + 1) / 2 : z / 2; }
      distanceStep.push(s);
      distanceCode.push(code ? last + 1 : 0);
    }
    return {
      caption: b.caption, colour: b.colour, window: b.window,
      xs: Float64Array.from(xs), ys: Float64Array.from(ys),
      pieceStep: Int32Array.from(pieceStep), pieceTo: Int32Array.from(pieceTo),
      distanceStep: Float64Array.from(distanceStep), distanceCode: Float64Array.from(distanceCode),
      wide: Int32Array.from(pieceStep.map((ps, i) => (widths[ps] !== 1 ? i : -1)).filter((i) => i >= 0)),
      labelWidth: 0,
    };
  });
  const firstLon = boats.find((b) => b.xs.length) ? (boats.find((b) => b.xs.length).xs[0] - 0.5) * 360 : 0;

  // The leaderboard of every step: snapshots of rows [boat, kind, number, gap + 1].
  const board = { at: new Int32Array(steps + 1), snapshots: [] };
  if (data.leaderboard) {
    const r = new Reader(data.leaderboard);
    const last = new Float64Array(boats.length);
    for (let s = 0; s <= steps && r.more(); ++s) {
      if (r.u() === 1) {
        const rows = [];
        for (let i = 0; i < boats.length; ++i) {
          const bk = r.u(), boat = Math.floor(bk / 3), kind = bk % 3;
          let value = 0, gap = 0;
          if (kind !== 0) { value = last[boat] += r.s(); gap = r.u(); }
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
