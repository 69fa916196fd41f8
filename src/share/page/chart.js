// The chart of the replay (the script's fourth part, after racedata.js, trackpen.js and
// sheets.js): the map's tiles, the boats' tracks up to the step shown (or their tails), the
// course, the scale and the boats with their captions; panned and zoomed by pointer, wheel,
// pinch and keys.
// `race` is decodeRace's; `replay.step()` is the step shown, and `replay.beforeDraw()` runs
// before each frame is drawn. Returns redraw() (a frame soon) and start() (the chart sized to
// its box, and again whenever the box changes).
function makeChart(data, race, replay) {
  const { strokePieces } = makeTrackPen();
  const $ = (id) => document.getElementById(id);
  const { boats, bounds, project, widths, clockSeconds, firstLon, lastAtMost, clockText } = race;
  const tailBox = $('tail');
  tailBox.value = String(data.tailMinutes || 0);

  const canvas = $('chart');
  const ctx = canvas.getContext('2d');
  // The view: its centre in world units, pixels per world unit, its size in CSS pixels;
  // `moved` once the reader panned or zoomed (until then a new size fits the race anew).
  const view = { cx: 0.5, cy: 0.5, scale: 512, width: 300, height: 200, dpr: 1, moved: false };
  const kMaxScale = 256 * 2 ** 23, kMinScale = 64;
  const kInk = '#182838', kLabelBox = 'rgba(255,255,255,0.85)';
  // The sea is the chart box's colour (--sea), light or dark with the reader's colour scheme.
  if (window.matchMedia) {
    window.matchMedia('(prefers-color-scheme: dark)').addEventListener?.('change', () => redraw());
  }
  const kEarthMetres = 2 * Math.PI * 6378137;
  // What the tests and the benchmark read: frames drawn, the script's time per frame, the view.
  const stats = { framesDrawn: 0, lastDrawMs: 0, drawMs: [], view };
  window.tideplotStats = stats;

  function fitAll() {
    if (!(bounds.x1 >= bounds.x0)) { view.cx = project.x(0); view.cy = project.y(0); view.scale = 512; return; }
    const dx = Math.max(bounds.x1 - bounds.x0, 1e-9), dy = Math.max(bounds.y1 - bounds.y0, 1e-9);
    view.cx = (bounds.x0 + bounds.x1) / 2;
    view.cy = (bounds.y0 + bounds.y1) / 2;
    view.scale = Math.max(kMinScale, Math.min(kMaxScale, 0.9 * Math.min(view.width / dx, view.height / dy)));
  }
  function zoomAt(factor, px, py) {
    const scale = Math.max(kMinScale, Math.min(kMaxScale, view.scale * factor));
    // the world point under (px, py) stays there
    const wx = view.cx + (px - view.width / 2) / view.scale, wy = view.cy + (py - view.height / 2) / view.scale;
    view.scale = scale;
    view.moved = true;
    view.cx = wx - (px - view.width / 2) / scale;
    view.cy = wy - (py - view.height / 2) / scale;
    follow.checked = false;
    redraw();
  }
  function panBy(dxPx, dyPx) {
    view.cx -= dxPx / view.scale;
    view.cy -= dyPx / view.scale;
    view.moved = true;
    follow.checked = false;
    if (replay.panned) replay.panned();
    redraw();
  }
  const follow = $('follow');
  follow.addEventListener('change', redraw);
  tailBox.addEventListener('input', redraw);

  // Tiles of the map, in a cache of the last few hundred.
  const tiles = new Map();
  let tilesLoaded = 0;
  function tile(layer, z, x, y) {
    const n = 2 ** z;
    const key = layer + '/' + z + '/' + x + '/' + y;
    let t = tiles.get(key);
    if (t) { tiles.delete(key); tiles.set(key, t); return t; }
    const wrapped = ((x % n) + n) % n;
    const img = new Image();
    t = { img, ok: false };
    img.onload = () => { t.ok = true; ++tilesLoaded; redraw(); };
    img.decoding = 'async';
    // {s}: the subdomains in turn, as the program's own tiles take them.
    const subdomains = data.map.layers[layer].subdomains || '';
    const fields = { z, x: wrapped, y, s: subdomains.charAt((wrapped + y) % (subdomains.length || 1)) };
    img.src = data.map.layers[layer].url.replace(/\{([zxys])\}/g, (field, name) => fields[name]);
    tiles.set(key, t);
    if (tiles.size > 400) tiles.delete(tiles.keys().next().value);
    return t;
  }
  // The map's tiles on a canvas of their own under the tracks, drawn anew only when the view
  // moved or a tile came.
  const mapCanvas = $('map'), mapCtx = mapCanvas.getContext('2d');
  let mapDrawn = '';
  function drawTiles() {
    if (!data.map) return;
    const key = [view.cx, view.cy, view.scale, view.width, view.height, view.dpr, tiles.size, tilesLoaded].join();
    if (key === mapDrawn) return;
    mapDrawn = key;
    const ctx = mapCtx;
    ctx.setTransform(view.dpr, 0, 0, view.dpr, 0, 0);
    ctx.clearRect(0, 0, view.width, view.height);
    data.map.layers.forEach((layer, li) => {
      const z = Math.max(0, Math.min(layer.maxZoom, Math.round(Math.log2(view.scale / 256))));
      const n = 2 ** z, size = view.scale / n;
      const wx0 = view.cx - view.width / 2 / view.scale, wy0 = view.cy - view.height / 2 / view.scale;
      const x0 = Math.floor(wx0 * n), x1 = Math.floor((wx0 + view.width / view.scale) * n);
      const y0 = Math.max(0, Math.floor(wy0 * n));
      const y1 = Math.min(n - 1, Math.floor((wy0 + view.height / view.scale) * n));
      if ((x1 - x0 + 1) * (y1 - y0 + 1) > 150) return;
      for (let y = y0; y <= y1; ++y) {
        for (let x = x0; x <= x1; ++x) {
          const sx = (x / n - wx0) * view.scale, sy = (y / n - wy0) * view.scale;
          const t = tile(li, z, x, y);
          if (t.ok) { ctx.drawImage(t.img, sx, sy, size + 0.5, size + 0.5); continue; }
          // Until it comes, the tile of a zoom or two out, if it is there.
          for (let up = 1; up <= 3 && z - up >= 0; ++up) {
            const parent = tiles.get(li + '/' + (z - up) + '/' + (x >> up) + '/' + (y >> up));
            if (parent && parent.ok) {
              const part = 256 / 2 ** up, within = 1 << up;
              const px = (((x % within) + within) % within) * part, py = (y % within) * part;
              ctx.drawImage(parent.img, px, py, part, part, sx, sy, size + 0.5, size + 0.5);
              break;
            }
          }
        }
      }
    });
  }

  function viewPlace() {
    return { scale: view.scale, ox: view.width / 2 - view.cx * view.scale, oy: view.height / 2 - view.cy * view.scale };
  }

  const kLevels = 24;
  const sheets = makeSheets(race, view, strokePieces, redraw);
  function drawTracks(clip, counts, step) {
    const tailMinutes = Number(tailBox.value);
    if (!(tailMinutes > 0) || step === 0) {
      sheets.drawWholeTracks(step);
      return;
    }
    sheets.hide();
    ctx.lineCap = 'round';
    ctx.lineJoin = 'round';
    const now = clockSeconds[step], tailSeconds = tailMinutes * 60;
    // The tail: older pieces fainter, from full strength to 15 % at the tail's start, in 24 levels.
    const alpha = (ps) => Math.max(0.15, Math.min(1, 1 - (0.85 * (now - clockSeconds[ps])) / tailSeconds));
    const tailKey = (ps) => 256 * Math.round(kLevels * alpha(ps)) + widths[ps];
    const tailStyle = (key) => { ctx.globalAlpha = Math.floor(key / 256) / kLevels; ctx.lineWidth = key % 256; };
    boats.forEach((boat, k) => {
      const last = counts[k];
      if (last <= 0) return;
      ctx.strokeStyle = boat.colour;
      // The first piece of the tail: pieces are in step order, and clocks rise with the steps.
      let lo = 0, hi = last;
      while (lo < hi) {
        const mid = (lo + hi) >> 1;
        if (clockSeconds[boat.pieceStep[mid]] < now - tailSeconds) lo = mid + 1; else hi = mid;
      }
      strokePieces(ctx, boat, lo, last, tailKey, tailStyle, clip, null, viewPlace());
      ctx.globalAlpha = 1;
    });
  }

  // A position on the screen, its longitude the short way round from the race's first.
  function screenOf(lat, lon) {
    let a = lon;
    while (a - firstLon > 180) a -= 360;
    while (a - firstLon < -180) a += 360;
    return toScreen(project.x(a), project.y(lat));
  }
  // A line chequered white and `squares`, P1's end marked with a small circle; with `dashes`
  // only those squares, over a line already drawn.
  function drawChequered(line, squares, dashes) {
    const [lat1, lon1, lat2, lon2] = line;
    let a = lon1;
    while (a - firstLon > 180) a -= 360;
    while (a - firstLon < -180) a += 360;
    let b = lon2 + (a - lon1);
    while (b - a > 180) b -= 360;
    while (b - a < -180) b += 360;
    const p = toScreen(project.x(a), project.y(lat1)), q = toScreen(project.x(b), project.y(lat2));
    ctx.save();
    ctx.lineCap = 'butt';
    ctx.lineWidth = 6;
    if (dashes) {
      ctx.setLineDash(dashes);
      ctx.strokeStyle = squares;
      ctx.beginPath(); ctx.moveTo(p[0], p[1]); ctx.lineTo(q[0], q[1]); ctx.stroke();
      ctx.restore();
      return;
    }
    ctx.strokeStyle = '#ffffff';
    ctx.beginPath(); ctx.moveTo(p[0], p[1]); ctx.lineTo(q[0], q[1]); ctx.stroke();
    ctx.setLineDash([6, 6]);
    ctx.strokeStyle = squares;
    ctx.beginPath(); ctx.moveTo(p[0], p[1]); ctx.lineTo(q[0], q[1]); ctx.stroke();
    ctx.setLineDash([]);
    ctx.lineWidth = 1.5;
    ctx.strokeStyle = '#000000';
    ctx.fillStyle = '#ffffff';
    ctx.beginPath(); ctx.arc(p[0], p[1], 4.8, 0, 2 * Math.PI); ctx.fill(); ctx.stroke();
    ctx.restore();
  }
  // The course as the program's chart draws it: the start line chequered orange, the finish
  // line black; a mark a buoy red (left to port) or green (to starboard) with its name; a gate
  // two yellow buoys with a dashed line between them.
  function drawCourse() {
    const course = data.course;
    const f = data.finish, s = course && course.start;
    // One line serving as start and finish: every other black square in the start's colour.
    const shared = s && f && ((s[0] === f[0] && s[1] === f[1] && s[2] === f[2] && s[3] === f[3]) ||
      (s[0] === f[2] && s[1] === f[3] && s[2] === f[0] && s[3] === f[1]));
    if (s && !shared) drawChequered(s, '#f07800');
    if (f) drawChequered(f, '#000000');
    if (shared) drawChequered(f, '#f07800', [6, 18]);
    if (!course) return;
    ctx.save();
    ctx.lineWidth = 2;
    ctx.strokeStyle = '#282828';
    ctx.setLineDash([6, 4]);
    for (const mark of course.marks) {
      if (!mark.gate) continue;
      const p = screenOf(mark.lat, mark.lon), q = screenOf(mark.lat2, mark.lon2);
      ctx.beginPath(); ctx.moveTo(p[0], p[1]); ctx.lineTo(q[0], q[1]); ctx.stroke();
    }
    ctx.setLineDash([]);
    ctx.font = 'bold 11px system-ui, "DejaVu Sans", sans-serif';
    ctx.textAlign = 'left';
    ctx.textBaseline = 'middle';
    ctx.lineJoin = 'round';
    for (const mark of course.marks) {
      const colour = mark.gate ? '#f5c400' : mark.side === 'port' ? '#d8232a' : '#16a34a';
      const buoys = [screenOf(mark.lat, mark.lon)];
      if (mark.gate) buoys.push(screenOf(mark.lat2, mark.lon2));
      for (const [x, y] of buoys) {
        ctx.lineWidth = 1.5;
        ctx.strokeStyle = '#000000';
        ctx.fillStyle = colour;
        ctx.beginPath(); ctx.arc(x, y, 6, 0, 2 * Math.PI); ctx.fill(); ctx.stroke();
      }
      const [x, y] = buoys[0];
      ctx.lineWidth = 3;
      ctx.strokeStyle = 'rgba(255,255,255,0.86)';
      ctx.strokeText(mark.name, x + 9, y);
      ctx.fillStyle = '#000000';
      ctx.fillText(mark.name, x + 9, y);
    }
    ctx.restore();
  }
  function toScreen(x, y) {
    return [(x - view.cx) * view.scale + view.width / 2, (y - view.cy) * view.scale + view.height / 2];
  }

  function labelBox(x, y, w, h) { return { x, y, w, h }; }
  function overlaps(a, list) {
    return list.some((b) => a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h);
  }
  function drawLabel(g, box, text) {
    g.fillStyle = kLabelBox;
    g.beginPath();
    if (g.roundRect) g.roundRect(box.x, box.y, box.w, box.h, 3); else g.rect(box.x, box.y, box.w, box.h);
    g.fill();
    g.fillStyle = kInk;
    g.fillText(text, box.x + box.w / 2, box.y + box.h / 2 + 0.5);
  }

  function drawScaleBar(taken) {
    const lat = Math.atan(Math.sinh(Math.PI * (1 - 2 * view.cy)));
    const metresPerPx = kEarthMetres * Math.cos(lat) / view.scale;
    const pxPerNm = 1852 / metresPerPx;
    const maxPx = Math.max(60, Math.min(240, view.width / 4));
    let nm = 0;
    for (let e = -3; e <= 5; ++e) for (const m of [1, 2, 5]) if (m * 10 ** e * pxPerNm <= maxPx) nm = m * 10 ** e;
    if (!(nm > 0)) return;
    const length = nm * pxPerNm, text = Number(nm.toPrecision(6)) + ' NM';
    const width = Math.max(length, ctx.measureText(text).width) + 16, height = 14 + 18;
    const box = labelBox(10, view.height - 10 - height, width, height);
    taken.push(box);
    ctx.fillStyle = kLabelBox;
    ctx.fillRect(box.x, box.y, box.w, box.h);
    const x0 = box.x + 8, y = box.y + box.h - 9, half = length / 2;
    ctx.lineWidth = 1;
    ctx.strokeStyle = kInk;
    ctx.fillStyle = kInk;
    ctx.fillRect(x0, y - 2, half, 4);
    ctx.strokeRect(x0, y - 2, length, 4);
    ctx.beginPath();
    ctx.moveTo(x0, y - 6); ctx.lineTo(x0, y + 2);
    ctx.moveTo(x0 + length, y - 6); ctx.lineTo(x0 + length, y + 2);
    ctx.stroke();
    ctx.fillText(text, box.x + box.w / 2, box.y + 9);
  }

  // The boats as dots, then their captions as the desktop chart places them: beside the dot,
  // in the first of a few places that overlaps no other caption, dot, the scale or the
  // chart's edge; none for a caption that has no free place.
  // A boat's caption in its box, drawn once at the device's pixels, then copied each frame.
  function captionSprite(boat, w, h) {
    const ratio = view.dpr;
    if (boat.sprite && boat.spriteRatio === ratio) return boat.sprite;
    const sprite = document.createElement('canvas');
    sprite.width = Math.ceil(w * ratio);
    sprite.height = Math.ceil(h * ratio);
    const g = sprite.getContext('2d');
    g.scale(ratio, ratio);
    g.font = ctx.font;
    g.textAlign = 'center';
    g.textBaseline = 'middle';
    drawLabel(g, labelBox(0, 0, w, h), boat.caption);
    boat.sprite = sprite;
    boat.spriteRatio = ratio;
    return sprite;
  }
  // A boat's dot: its colour in a ring of its casing, and that in a thin ring of ink or white;
  // drawn once at the device's pixels.
  const kDotSize = 14;
  function dotSprite(boat) {
    const ratio = view.dpr;
    if (boat.dot && boat.dotRatio === ratio) return boat.dot;
    const dot = document.createElement('canvas');
    dot.width = dot.height = kDotSize * ratio;
    const g = dot.getContext('2d'), c = kDotSize / 2;
    g.scale(ratio, ratio);
    g.fillStyle = boat.colour;
    g.beginPath(); g.arc(c, c, 4.5, 0, 2 * Math.PI); g.fill();
    g.lineWidth = 2;
    g.strokeStyle = boat.casing;
    g.stroke();
    g.lineWidth = 1;
    g.strokeStyle = boat.casing === '#000000' ? '#ffffff' : '#000000';
    g.beginPath(); g.arc(c, c, 6, 0, 2 * Math.PI); g.stroke();
    boat.dot = dot;
    boat.dotRatio = ratio;
    return dot;
  }
  function drawBoats(counts, taken) {
    ctx.font = 'bold 11px system-ui, "DejaVu Sans", sans-serif';
    const inView = [], dots = [];
    boats.forEach((boat, k) => {
      const n = counts[k];
      if (n <= 0) return;
      const t = boat.pieceTo[n - 1];
      const [x, y] = toScreen(boat.xs[t], boat.ys[t]);
      if (x < 0 || y < 0 || x > view.width || y > view.height) return;
      inView.push('\u2068' + boat.caption + '\u2069');
      dots.push({ boat, x, y });
      taken.push(labelBox(x - 6, y - 6, 12, 12));
      const dot = dotSprite(boat), r = view.dpr, half = kDotSize / 2;
      ctx.drawImage(dot, Math.round((x - half) * r) / r, Math.round((y - half) * r) / r, kDotSize, kDotSize);
    });
    const within = (box) => box.x >= 0 && box.y >= 0 && box.x + box.w <= view.width && box.y + box.h <= view.height;
    for (const { boat, x, y } of dots) {
      if (!boat.labelWidth) boat.labelWidth = ctx.measureText(boat.caption).width + 8;
      const w = boat.labelWidth, h = 15;
      const offsets = [[8, -8 - h], [8, 8], [-8 - w, -8 - h], [-8 - w, 8]];
      for (let attempt = 0; attempt < 12; ++attempt) {
        const [ox, oy] = offsets[attempt % 4];
        const shift = Math.floor(attempt / 4) * (h + 2) * (oy < 0 ? -1 : 1);
        const box = labelBox(x + ox, y + oy + shift, w, h);
        if (within(box) && !overlaps(box, taken)) {
          taken.push(box);
          const sprite = captionSprite(boat, w, h), r = view.dpr;
          const sx = Math.round(box.x * r) / r, sy = Math.round(box.y * r) / r;
          ctx.drawImage(sprite, sx, sy, sprite.width / r, sprite.height / r);
          break;
        }
      }
    }
    return inView;
  }

  // The chart's description for screen readers (read when the chart takes the focus), at most
  // four times a second: a long text (the boats in view) that the browser lays out anew at
  // each change, and the race time in it changes every frame.
  let statusText = '', statusTimer = 0, statusAt = 0;
  function writeStatus() {
    statusTimer = 0;
    statusAt = performance.now();
    const box = $('chart-status');
    if (box.textContent !== statusText) box.textContent = statusText;
  }
  function showStatus(text) {
    statusText = text;
    if (statusTimer) return;
    const wait = statusAt + 250 - performance.now();
    if (wait <= 0) writeStatus(); else statusTimer = setTimeout(writeStatus, wait);
  }

  let drawPending = false;
  function redraw() {
    if (drawPending) return;
    drawPending = true;
    requestAnimationFrame(draw);
  }
  function draw() {
    drawPending = false;
    const started = performance.now();
    replay.beforeDraw();
    const step = replay.step();
    const counts = boats.map((boat) => lastAtMost(boat.pieceStep, step) + 1);
    const followed = replay.followed ? replay.followed() : -1;
    if (followed >= 0 && counts[followed] > 0) {
      const boat = boats[followed], t = boat.pieceTo[counts[followed] - 1];
      view.cx = boat.xs[t]; view.cy = boat.ys[t];
    } else if (follow.checked) {
      let x0 = Infinity, y0 = Infinity, x1 = -Infinity, y1 = -Infinity;
      boats.forEach((boat, k) => {
        if (counts[k] <= 0) return;
        const t = boat.pieceTo[counts[k] - 1];
        x0 = Math.min(x0, boat.xs[t]); x1 = Math.max(x1, boat.xs[t]);
        y0 = Math.min(y0, boat.ys[t]); y1 = Math.max(y1, boat.ys[t]);
      });
      if (x1 >= x0) { view.cx = (x0 + x1) / 2; view.cy = (y0 + y1) / 2; }
    }
    ctx.setTransform(view.dpr, 0, 0, view.dpr, 0, 0);
    ctx.clearRect(0, 0, view.width, view.height);
    drawTiles();
    const margin = 8 / view.scale;
    const clip = {
      x0: view.cx - view.width / 2 / view.scale - margin, x1: view.cx + view.width / 2 / view.scale + margin,
      y0: view.cy - view.height / 2 / view.scale - margin, y1: view.cy + view.height / 2 / view.scale + margin,
    };
    drawTracks(clip, counts, step);
    drawCourse();
    if (replay.overlay) replay.overlay({ ctx, counts, step, toScreen, width: view.width, height: view.height });
    ctx.textAlign = 'center';
    ctx.textBaseline = 'middle';
    ctx.font = '11px system-ui, "DejaVu Sans", sans-serif';
    const taken = [];
    const attribution = $('attribution');
    if (!attribution.hidden) {
      taken.push(labelBox(view.width - attribution.offsetWidth - 2, view.height - attribution.offsetHeight - 2,
        attribution.offsetWidth, attribution.offsetHeight));
    }
    drawScaleBar(taken);
    const inView = drawBoats(counts, taken);
    const status = (step === 0 ? 'Before the first step. ' : 'Race time ' + clockText(step) + '. ') +
      (inView.length ? 'In view: ' + inView.join(', ') + '.' : 'No boat in view.');
    showStatus(status);
    const ms = performance.now() - started;
    stats.framesDrawn++;
    stats.lastDrawMs = ms;
    if (stats.drawMs.length < 100000) stats.drawMs.push(ms);
  }

  function resize() {
    const box = $('chart-box');
    const width = Math.max(1, box.clientWidth), height = Math.max(1, box.clientHeight);
    // At most two pixels a CSS pixel: a phone's third is not worth drawing every frame.
    const dpr = Math.min(window.devicePixelRatio || 1, 2);
    view.width = width; view.height = height; view.dpr = dpr;
    if (!view.moved) fitAll();
    for (const c of [canvas, mapCanvas]) {
      c.width = Math.round(width * dpr);
      c.height = Math.round(height * dpr);
    }
    mapDrawn = '';
    redraw();
  }

  // Mouse, pen and touch: one pointer pans, two pinch.
  const pointers = new Map();
  // A finger alone scrolls the page, as everywhere else on it: two pan and pinch.
  canvas.addEventListener('pointerdown', (e) => {
    canvas.setPointerCapture(e.pointerId);
    pointers.set(e.pointerId, { x: e.offsetX, y: e.offsetY, touch: e.pointerType === 'touch', screenY: e.screenY });
    canvas.classList.add('dragging');
  });
  canvas.addEventListener('pointermove', (e) => {
    const p = pointers.get(e.pointerId);
    if (!p) return;
    if (pointers.size === 1 && p.touch) {
      window.scrollBy(0, p.screenY - e.screenY);
      p.screenY = e.screenY;
      return;
    }
    if (pointers.size === 1) {
      panBy(e.offsetX - p.x, e.offsetY - p.y);
    } else if (pointers.size === 2) {
      const [a, b] = [...pointers.values()];
      const other = a === p ? b : a;
      const before = Math.hypot(p.x - other.x, p.y - other.y);
      const after = Math.hypot(e.offsetX - other.x, e.offsetY - other.y);
      const midBefore = [(p.x + other.x) / 2, (p.y + other.y) / 2];
      const midAfter = [(e.offsetX + other.x) / 2, (e.offsetY + other.y) / 2];
      if (before > 0 && after > 0) zoomAt(after / before, midAfter[0], midAfter[1]);
      panBy(midAfter[0] - midBefore[0], midAfter[1] - midBefore[1]);
    }
    p.x = e.offsetX; p.y = e.offsetY; p.screenY = e.screenY;
  });
  const release = (e) => {
    pointers.delete(e.pointerId);
    if (!pointers.size) canvas.classList.remove('dragging');
  };
  canvas.addEventListener('pointerup', release);
  canvas.addEventListener('pointercancel', release);
  canvas.addEventListener('wheel', (e) => {
    e.preventDefault();
    const lines = e.deltaMode === 1 ? 16 : e.deltaMode === 2 ? 400 : 1;
    zoomAt(Math.exp(-e.deltaY * lines * 0.0015), e.offsetX, e.offsetY);
  }, { passive: false });
  canvas.addEventListener('dblclick', (e) => zoomAt(2, e.offsetX, e.offsetY));
  canvas.addEventListener('keydown', (e) => {
    if (e.altKey || e.ctrlKey || e.metaKey) return;
    const eighthX = view.width / 8, eighthY = view.height / 8;
    const zoomIn = () => zoomAt(1.5, view.width / 2, view.height / 2);
    const zoomOut = () => zoomAt(1 / 1.5, view.width / 2, view.height / 2);
    const keys = {
      ArrowLeft: () => panBy(eighthX, 0), ArrowRight: () => panBy(-eighthX, 0),
      ArrowUp: () => panBy(0, eighthY), ArrowDown: () => panBy(0, -eighthY),
      '+': zoomIn, '=': zoomIn, '-': zoomOut, '_': zoomOut,
      '0': () => { fitAll(); redraw(); },
    };
    if (keys[e.key]) { e.preventDefault(); keys[e.key](); }
  });
  $('zoom-in').addEventListener('click', () => zoomAt(1.5, view.width / 2, view.height / 2));
  $('zoom-out').addEventListener('click', () => zoomAt(1 / 1.5, view.width / 2, view.height / 2));
  $('zoom-all').addEventListener('click', () => { follow.checked = false; fitAll(); redraw(); });

  function start() {
    resize();
    if (typeof ResizeObserver === 'function') {
      let first = true;
      new ResizeObserver(() => { if (first) { first = false; return; } resize(); }).observe($('chart-box'));
    } else {
      window.addEventListener('resize', resize);
    }
  }

  return { redraw, start };
}
