// How the chart strokes a boat's pieces of track (the script's second part, after
// racedata.js, whose boats it takes): each boat's pieces as polylines, over a casing. Returns strokePieces().
function makeTrackPen() {
  // A polyline of pieces, points closer than a pixel to the last one drawn left out (the
  // newest always kept).
  const line = { ctx: null, open: false, kx: 0, ky: 0, nx: 0, ny: 0 };
  function lineStart(x0, y0, x1, y1) {
    lineEnd();
    line.ctx.moveTo(x0, y0);
    line.kx = x0; line.ky = y0; line.nx = x1; line.ny = y1; line.open = true;
  }
  function lineOn(x, y) {
    if (Math.abs(line.nx - line.kx) + Math.abs(line.ny - line.ky) < 0.75) { line.nx = x; line.ny = y; return; }
    line.ctx.lineTo(line.nx, line.ny);
    line.kx = line.nx; line.ky = line.ny; line.nx = x; line.ny = y;
  }
  function lineEnd() {
    if (line.open) line.ctx.lineTo(line.nx, line.ny);
    line.open = false;
  }

  // Strokes boat `boat`'s pieces first to last - 1 (or those of `indices` first to
  // last - 1), each in the style of its key (keyOf of its step; 0: not drawn), those of one
  // key that follow on one another as one polyline. `place` puts world units on the canvas
  // (pixels = world * scale + offset); pieces wholly outside `clip` (world units) are left out.
  // Returns the count of pieces stroked.
  function strokePieces(ctx, boat, first, last, keyOf, applyKey, clip, indices, place) {
    const { xs, ys, pieceStep, pieceTo, casing, chunks } = boat;
    const { scale: s, ox, oy } = place;
    let lastTo = -2, style = -1, drawn = 0;
    line.ctx = ctx;
    ctx.beginPath();
    for (let j = first; j < last; ++j) {
      // A whole box of pieces out of `clip` is passed over at once.
      if (!indices && j % kChunkPieces === 0 && j + kChunkPieces <= last) {
        const c = (j / kChunkPieces) * 4;
        if (chunks[c + 2] < clip.x0 || chunks[c] > clip.x1 || chunks[c + 3] < clip.y0 || chunks[c + 1] > clip.y1) {
          lineEnd();
          lastTo = -2;
          j += kChunkPieces - 1;
          continue;
        }
      }
      const i = indices ? indices[j] : j;
      const key = keyOf(pieceStep[i]);
      if (key !== style) {
        lineEnd();
        lastTo = -2;
        if (style > 0) strokeCased(ctx, casing);
        style = key;
        if (key > 0) { applyKey(key); ctx.beginPath(); }
      }
      if (key === 0) continue;
      const t = pieceTo[i], f = t - 1;
      const xf = xs[f], yf = ys[f], xt = xs[t], yt = ys[t];
      if ((xf < clip.x0 && xt < clip.x0) || (xf > clip.x1 && xt > clip.x1) ||
          (yf < clip.y0 && yt < clip.y0) || (yf > clip.y1 && yt > clip.y1)) { lineEnd(); lastTo = -2; continue; }
      if (f === lastTo && line.open) lineOn(xt * s + ox, yt * s + oy);
      else lineStart(xf * s + ox, yf * s + oy, xt * s + ox, yt * s + oy);
      lastTo = t;
      ++drawn;
    }
    lineEnd();
    if (style > 0) strokeCased(ctx, casing);
    return drawn;
  }
  // The path in the line's style over a casing two pixels wider, so that every colour stands
  // out from the sea, the map and the dark scheme alike.
  function strokeCased(ctx, casing) {
    if (casing) {
      const colour = ctx.strokeStyle, width = ctx.lineWidth;
      ctx.strokeStyle = casing;
      ctx.lineWidth = width + 2;
      ctx.stroke();
      ctx.strokeStyle = colour;
      ctx.lineWidth = width;
    }
    ctx.stroke();
  }

  return { strokePieces };
}
