// The whole tracks up to the step shown, drawn once and kept (the script's third part,
// after racedata.js and trackpen.js; chart.js uses it). `race` is decodeRace's, `view` the
// chart's view, `redraw()` asks for another frame. Returns drawWholeTracks(step) and hide().
function makeSheets(race, view, strokePieces, redraw) {
  const $ = (id) => document.getElementById(id);
  const { boats, widths, lastAtMost } = race;
  const narrowKey = (ps) => (widths[ps] === 1 ? 1 : 0);
  const wideKey = (ps) => widths[ps];

  // The tracks up to the step shown are drawn onto a picture of their own (a "sheet") that
  // covers the view and a margin around it, at the view's scale. As the replay goes on only
  // the new pieces are added to it; a pan within the margin only moves it. Every `snapEvery`
  // steps a copy of it is kept, so a step back starts from the nearest copy at or before the
  // step, not from the start. A new scale, or a pan past the margin, starts a new sheet that
  // is drawn a few milliseconds a frame while the old one, moved and scaled, stands in for it;
  // a sheet moved by a pan keeps the copies of the one before it, each with its place in the
  // world, so that a step back after a pan draws only the strips a copy does not cover.
  const kSheetMargin = 0.125;      // of the view's width and height, on each side
  const kSnapBytes = 160e6;        // the copies' memory at most
  const kMaxSnaps = 48;
  // The drawing of a frame at most: the browser paints the pieces after the script has
  // given them, so their number bounds a frame's time where the script's clock cannot.
  const kFrameBudgetMs = 10, kFramePieces = 6000;  // a new sheet
  const kStepBudgetMs = 24, kStepPieces = 16000;   // the sheet shown, when the step moves far
  // While the reader scrubs back, a frame draws little: the copy at or before the step and
  // a window of steps after it, the next window the next frame if the step has not gone back
  // past it. The tracks catch up with the boats once the step rests.
  const kScrubBudgetMs = 6, kScrubPieces = 1500, kScrubRestMs = 250;
  let piecesPerStep = 0;
  for (const boat of boats) piecesPerStep += boat.pieceStep.length / Math.max(1, race.steps);
  let shownSheet = null, nextSheet = null;

  // The sheets are canvases of their own under the chart's (which draws the boats, the
  // captions, the scale and the finish line on top): a pan or a zoom only moves or scales
  // the one shown, which the browser does without drawing it again.
  const sheetBox = $('sheets');
  function newSheet() {
    const ratio = view.dpr;
    const cssWidth = Math.ceil(view.width * (1 + 2 * kSheetMargin));
    const cssHeight = Math.ceil(view.height * (1 + 2 * kSheetMargin));
    const canvas = document.createElement('canvas');
    canvas.width = Math.max(1, Math.round(cssWidth * ratio));
    canvas.height = Math.max(1, Math.round(cssHeight * ratio));
    canvas.style.width = cssWidth + 'px';
    canvas.style.height = cssHeight + 'px';
    const snaps = Math.max(2, Math.min(kMaxSnaps, Math.floor(kSnapBytes / (canvas.width * canvas.height * 4))));
    return {
      canvas, context: canvas.getContext('2d'), ratio, cssWidth, cssHeight, scale: view.scale,
      x0: view.cx - cssWidth / 2 / view.scale, y0: view.cy - cssHeight / 2 / view.scale,
      snapEvery: Math.max(1, Math.ceil(race.steps / snaps)), store: { snapshots: new Map(), users: 1 },
      upTo: 0, windowEnd: 0, nextBoat: 0,
    };
  }
  // Whether `sheet` holds the whole view at the view's scale.
  function sheetFits(sheet) {
    if (!sheet || sheet.scale !== view.scale || sheet.ratio !== view.dpr) return false;
    const vx0 = view.cx - view.width / 2 / view.scale, vy0 = view.cy - view.height / 2 / view.scale;
    const eps = 1 / view.scale;
    return vx0 >= sheet.x0 - eps && vy0 >= sheet.y0 - eps &&
      vx0 + view.width / view.scale <= sheet.x0 + sheet.cssWidth / sheet.scale + eps &&
      vy0 + view.height / view.scale <= sheet.y0 + sheet.cssHeight / sheet.scale + eps;
  }
  // Where a kept copy lies on `sheet`, in its device pixels (whole ones: the copies of a
  // sheet and of those moved from it differ by whole pixels); null when it would cover less
  // than a quarter of it.
  function placeOf(sheet, kept) {
    const k = sheet.scale * sheet.ratio;
    const x = Math.round((kept.x0 - sheet.x0) * k), y = Math.round((kept.y0 - sheet.y0) * k);
    const w = sheet.canvas.width, h = sheet.canvas.height;
    return Math.abs(x) > w / 2 || Math.abs(y) > h / 2 ? null : { x, y };
  }
  // The rectangles of a w x h sheet that a picture of its size put at (x, y) leaves out.
  function uncovered(w, h, x, y) {
    const left = Math.max(0, x), right = Math.min(w, w + x);
    const rects = [x > 0 ? [0, 0, x, h] : [w + x, 0, w, h], y > 0 ? [left, 0, right, y] : [left, h + y, right, h]];
    return rects.filter(([x0, y0, x1, y1]) => x1 > x0 && y1 > y0);
  }
  // The sheet at `step`: from the kept copy nearest before the step (empty at 0), the strips
  // that a copy of a sheet before a pan leaves out to be drawn by drawStrips.
  function restoreSheet(sheet, step) {
    const context = sheet.context;
    context.setTransform(1, 0, 0, 1, 0, 0);
    context.clearRect(0, 0, sheet.canvas.width, sheet.canvas.height);
    let from = 0, place = null;
    for (const [at, kept] of sheet.store.snapshots) {
      if (!kept || at > step || at <= from) continue;
      const p = placeOf(sheet, kept);
      if (p) { from = at; place = p; }
    }
    sheet.strips = null;
    if (from > 0) {
      context.drawImage(sheet.store.snapshots.get(from).copy, place.x, place.y);
      const rects = uncovered(sheet.canvas.width, sheet.canvas.height, place.x, place.y);
      if (rects.length) sheet.strips = { rects, rect: 0, from: 0, boat: 0 };
    }
    sheet.upTo = from;
    sheet.windowEnd = from;
    sheet.nextBoat = 0;
  }
  function keepSnapshot(sheet) {
    const at = sheet.upTo, store = sheet.store;
    if (at % sheet.snapEvery !== 0 || store.snapshots.has(at)) return;
    store.snapshots.set(at, null); // taken: the copy comes from the browser a moment later
    const { x0, y0 } = sheet;
    createImageBitmap(sheet.canvas).then((copy) => {
      if (store.users === 0) copy.close(); else store.snapshots.set(at, { copy, x0, y0 });
    }, () => store.snapshots.delete(at));
  }
  // A copy of a sheet before a pan, once the strips it leaves out are drawn, is taken anew
  // from this sheet: a step back to it again draws no strips.
  function retakeSnapshot(sheet) {
    const at = sheet.upTo, kept = sheet.store.snapshots.get(at);
    if (!kept || (kept.x0 === sheet.x0 && kept.y0 === sheet.y0)) return;
    sheet.store.snapshots.delete(at);
    kept.copy.close();
    keepSnapshot(sheet);
  }
  // The world of `sheet` from (x0, y0) to (x1, y1) in its CSS pixels, and a margin for the
  // lines' width.
  function sheetClip(sheet, x0, y0, x1, y1) {
    const margin = 8 / sheet.scale;
    return {
      x0: sheet.x0 + x0 / sheet.scale - margin, y0: sheet.y0 + y0 / sheet.scale - margin,
      x1: sheet.x0 + x1 / sheet.scale + margin, y1: sheet.y0 + y1 / sheet.scale + margin,
    };
  }
  function setPen(sheet) {
    const context = sheet.context;
    context.setTransform(sheet.ratio, 0, 0, sheet.ratio, 0, 0);
    context.lineCap = 'round';
    context.lineJoin = 'round';
  }
  // Strokes the pieces of `boat` after step `from` up to step `to` on `sheet`; the count of
  // those in `clip`.
  function strokeBoat(sheet, boat, from, to, clip) {
    const first = lastAtMost(boat.pieceStep, from) + 1, last = lastAtMost(boat.pieceStep, to) + 1;
    if (last <= first) return 0;
    const context = sheet.context;
    const place = { scale: sheet.scale, ox: -sheet.x0 * sheet.scale, oy: -sheet.y0 * sheet.scale };
    const setWidth = (w) => { context.lineWidth = w; };
    context.strokeStyle = boat.colour;
    return strokePieces(context, boat, first, last, narrowKey, setWidth, clip, null, place) +
      strokePieces(context, boat, lastAtMost(boat.wide, first - 1) + 1, lastAtMost(boat.wide, last - 1) + 1,
        wideKey, setWidth, clip, boat.wide, place);
  }
  // A sheet for the view made from `old`, at the same scale: its picture moved by whole
  // pixels; the strips that it does not cover are left to drawStrips. Null when they would
  // be most of the sheet.
  function shiftedSheet(old) {
    if (!old || old.nextBoat !== 0 || old.strips || old.scale !== view.scale || old.ratio !== view.dpr) return null;
    const sheet = newSheet();
    const w = sheet.canvas.width, h = sheet.canvas.height, k = sheet.scale * sheet.ratio;
    const dx = Math.round((sheet.x0 - old.x0) * k), dy = Math.round((sheet.y0 - old.y0) * k);
    if (w !== old.canvas.width || h !== old.canvas.height || Math.abs(dx) > w / 2 || Math.abs(dy) > h / 2) {
      dropSheet(sheet);
      return null;
    }
    sheet.x0 = old.x0 + dx / k;
    sheet.y0 = old.y0 + dy / k;
    sheet.context.drawImage(old.canvas, -dx, -dy);
    sheet.strips = { rects: uncovered(w, h, -dx, -dy), rect: 0, from: 0, boat: 0 };
    sheet.upTo = sheet.windowEnd = old.upTo;
    // The old sheet's copies serve this one too, moved as its picture was.
    sheet.store.users = 0;
    sheet.store = old.store;
    ++old.store.users;
    return sheet;
  }
  // Draws the strips of a moved sheet, each a window of steps at a time as the sheet was
  // drawn (so that tracks cross as elsewhere on it), a boat at a time until `deadline`. True
  // when done.
  function drawStrips(sheet, deadline, pieces) {
    const strips = sheet.strips, context = sheet.context;
    let drawn = 0;
    for (; strips.rect < strips.rects.length; ++strips.rect, strips.from = 0, strips.boat = 0) {
      const [x0, y0, x1, y1] = strips.rects[strips.rect];
      context.save();
      context.setTransform(1, 0, 0, 1, 0, 0);
      context.beginPath();
      context.rect(x0, y0, x1 - x0, y1 - y0);
      context.clip();
      setPen(sheet);
      const clip = sheetClip(sheet, x0 / sheet.ratio, y0 / sheet.ratio, x1 / sheet.ratio, y1 / sheet.ratio);
      for (; strips.from < sheet.upTo; strips.from += sheet.snapEvery, strips.boat = 0) {
        const to = Math.min(sheet.upTo, strips.from + sheet.snapEvery);
        for (; strips.boat < boats.length; ++strips.boat) {
          if (drawn > pieces || performance.now() > deadline) { context.restore(); return false; }
          drawn += strokeBoat(sheet, boats[strips.boat], strips.from, to, clip);
        }
      }
      context.restore();
    }
    sheet.strips = null;
    retakeSnapshot(sheet);
    return true;
  }
  // Draws `sheet` on to `step`, a window of at most `windowSteps` steps at a time (each
  // ending at a multiple of snapEvery at the latest, where a copy is kept), a boat at a time
  // until `deadline`. True when done.
  function advanceSheet(sheet, step, deadline, pieces, windowSteps = Infinity) {
    let drawn = 0;
    const behind = step < sheet.upTo || (sheet.nextBoat > 0 && step < sheet.windowEnd);
    let ahead = 0;
    for (const [at, kept] of sheet.store.snapshots) {
      if (kept && at > sheet.upTo && at <= step && at > ahead && placeOf(sheet, kept)) ahead = at;
    }
    if (behind || (ahead && sheet.nextBoat === 0)) restoreSheet(sheet, step);
    if (sheet.strips && !drawStrips(sheet, deadline, pieces)) return false;
    setPen(sheet);
    const clip = sheetClip(sheet, 0, 0, sheet.cssWidth, sheet.cssHeight);
    while (sheet.upTo < step) {
      if (sheet.nextBoat === 0) {
        const next = (Math.floor(sheet.upTo / sheet.snapEvery) + 1) * sheet.snapEvery;
        sheet.windowEnd = Math.min(step, next, sheet.upTo + windowSteps);
      }
      for (; sheet.nextBoat < boats.length; ++sheet.nextBoat) {
        if (drawn > pieces || performance.now() > deadline) return false;
        drawn += strokeBoat(sheet, boats[sheet.nextBoat], sheet.upTo, sheet.windowEnd, clip);
      }
      sheet.upTo = sheet.windowEnd;
      sheet.nextBoat = 0;
      keepSnapshot(sheet);
    }
    return true;
  }
  // Puts `sheet` on the chart where its world lies in the view (scaled when its scale is
  // not the view's).
  function showSheet(sheet) {
    const vx0 = view.cx - view.width / 2 / view.scale, vy0 = view.cy - view.height / 2 / view.scale;
    const factor = view.scale / sheet.scale;
    const transform = 'translate(' + (sheet.x0 - vx0) * view.scale + 'px,' + (sheet.y0 - vy0) * view.scale + 'px)' +
      (factor === 1 ? '' : ' scale(' + factor + ')');
    if (sheet.canvas.style.transform !== transform) sheet.canvas.style.transform = transform;
    if (sheetBox.firstChild !== sheet.canvas || sheetBox.childNodes.length !== 1) sheetBox.replaceChildren(sheet.canvas);
    sheetBox.hidden = false;
  }
  // A sheet no longer wanted gives its copies' memory back at once.
  function dropSheet(sheet) {
    if (!sheet || sheet.dropped) return;
    sheet.dropped = true;
    const store = sheet.store;
    if (--store.users > 0) return;
    for (const kept of store.snapshots.values()) if (kept) kept.copy.close();
    store.snapshots.clear();
  }
  // The pieces a frame draws follow the device: fewer after a slow frame, more after a quick one.
  let pieceShare = 1, lastFrameAt = 0;
  function paceFrames(now) {
    const interval = now - lastFrameAt;
    lastFrameAt = now;
    if (interval > 100) return; // the first frame after a rest
    if (interval > 34) pieceShare = Math.max(0.1, pieceShare * 0.7);
    else if (interval < 20) pieceShare = Math.min(1, pieceShare * 1.15);
  }
  let lastScale = 0, lastStep = 0, backAt = -Infinity;
  function drawWholeTracks(step) {
    const started = performance.now();
    paceFrames(started);
    if (step < lastStep) backAt = started;
    lastStep = step;
    const scrubbing = started - backAt < kScrubRestMs;
    // While a zoom or pinch goes on, the sheet shown stands in, scaled; a new one once it rests.
    const zooming = shownSheet !== null && view.scale !== lastScale;
    lastScale = view.scale;
    if (!sheetFits(shownSheet)) {
      if (zooming) {
        redraw();
      } else {
        if (!sheetFits(nextSheet)) {
          dropSheet(nextSheet);
          nextSheet = shiftedSheet(shownSheet) || newSheet();
        }
        if (advanceSheet(nextSheet, step, started + kFrameBudgetMs, kFramePieces * pieceShare) || !shownSheet) {
          dropSheet(shownSheet);
          shownSheet = nextSheet;
          nextSheet = null;
        } else {
          redraw(); // the new sheet goes on being drawn next frame
        }
      }
    }
    const done = scrubbing
      ? advanceSheet(shownSheet, step, started + kScrubBudgetMs, kScrubPieces * pieceShare,
        Math.max(1, Math.floor((kScrubPieces * pieceShare) / piecesPerStep)))
      : advanceSheet(shownSheet, step, started + kStepBudgetMs, kStepPieces * pieceShare);
    if (!done) redraw();
    showSheet(shownSheet);
  }

  return { drawWholeTracks, hide: () => { sheetBox.hidden = true; } };
}
