// The speed graph of the boats chosen (the script's fifth part, after debrief.js): each boat's
// speed over the race's steps in its colour on a casing, the least and the greatest speed of
// each pixel column, and a line at the step shown. The lines are drawn once for the boats
// chosen and the graph's size; a step only moves the line. Its caption says what it shows.
// A line through the least and the greatest speed (tenths of a knot, at every `every`-th
// step) of each of `columns` pixel columns from x = `left`.
function speedPath(speed, every, steps, columns, left, yOf) {
  const path = new Path2D();
  let column = -1, low = Infinity, high = -Infinity, drawn = false;
  const flush = () => {
    if (column < 0 || low > high) return;
    const x = left + column + 0.5;
    if (!drawn) { path.moveTo(x, yOf(low)); drawn = true; } else path.lineTo(x, yOf(low));
    if (high > low) path.lineTo(x, yOf(high));
  };
  for (let i = 0; i < speed.length; ++i) {
    const v = speed[i] / 10;
    if (Number.isNaN(v)) continue;
    const c = Math.min(columns - 1, Math.floor(((i + 1) * every / Math.max(1, steps)) * columns));
    if (c !== column) { flush(); column = c; low = Infinity; high = -Infinity; }
    low = Math.min(low, v); high = Math.max(high, v);
  }
  flush();
  return path;
}

function makeSpeedGraph(canvas, caption, graph) {
  const { boats, motion, every, steps, clockText } = graph;
  const ctx = canvas.getContext('2d');
  const kInk = '#182838', kCursor = '#b0170c';
  let picture = null, chosen = [], top = 1, step = 0;
  const pad = { left: 30, right: 6, top: 6, bottom: 16 };

  // The graph's size in CSS pixels as the ResizeObserver last saw it: asking the canvas at
  // each step would make the browser lay the page out in the middle of a frame.
  let box = null;
  function size() {
    const dpr = Math.min(window.devicePixelRatio || 1, 2);
    const { width, height } = box || { width: canvas.clientWidth, height: canvas.clientHeight };
    if (typeof ResizeObserver === 'function') box = { width, height };
    return { dpr, width: Math.max(1, width), height: Math.max(1, height) };
  }
  function xOf(s, width) { return pad.left + (steps ? s / steps : 0) * (width - pad.left - pad.right); }
  function yOf(v, height) { return height - pad.bottom - (v / top) * (height - pad.top - pad.bottom); }

  function drawLines() {
    const { dpr, width, height } = size();
    picture = document.createElement('canvas');
    picture.width = canvas.width = Math.round(width * dpr);
    picture.height = canvas.height = Math.round(height * dpr);
    const p = picture.getContext('2d');
    p.setTransform(dpr, 0, 0, dpr, 0, 0);
    p.font = '10px system-ui, "DejaVu Sans", sans-serif';
    p.fillStyle = getComputedStyle(canvas).color || kInk;
    p.strokeStyle = p.fillStyle;
    p.lineWidth = 1;
    p.beginPath(); p.moveTo(pad.left, pad.top); p.lineTo(pad.left, height - pad.bottom);
    p.lineTo(width - pad.right, height - pad.bottom); p.stroke();
    p.textAlign = 'right'; p.textBaseline = 'middle';
    const tick = top > 12 ? 5 : top > 5 ? 2 : 1;
    for (let v = 0; v <= top; v += tick) p.fillText(String(v), pad.left - 3, yOf(v, height));
    p.textAlign = 'left'; p.textBaseline = 'bottom';
    p.fillText('kn', pad.left + 3, pad.top + 10);
    const columns = Math.max(1, Math.round(width - pad.left - pad.right));
    for (const k of chosen) {
      const path = speedPath(motion[k].speed, every, steps, columns, pad.left, (v) => yOf(v, height));
      p.lineJoin = 'round';
      p.lineWidth = 4; p.strokeStyle = boats[k].casing; p.stroke(path);
      p.lineWidth = 2; p.strokeStyle = boats[k].colour; p.stroke(path);
    }
  }

  function show(n) {
    step = n;
    const { dpr, width, height } = size();
    if (!picture || picture.width !== Math.round(width * dpr) || canvas.height !== picture.height) drawLines();
    ctx.setTransform(1, 0, 0, 1, 0, 0);
    ctx.clearRect(0, 0, canvas.width, canvas.height);
    ctx.drawImage(picture, 0, 0);
    ctx.setTransform(dpr, 0, 0, dpr, 0, 0);
    const x = xOf(step, width);
    ctx.strokeStyle = kCursor; ctx.lineWidth = 2;
    ctx.beginPath(); ctx.moveTo(x, pad.top); ctx.lineTo(x, height - pad.bottom); ctx.stroke();
  }

  function setBoats(list) {
    chosen = [...list];
    top = 1;
    const parts = [];
    for (const k of chosen) {
      let low = Infinity, high = -Infinity;
      for (const v of motion[k].speed) if (!Number.isNaN(v)) { low = Math.min(low, v); high = Math.max(high, v); }
      if (high >= low) {
        top = Math.max(top, Math.ceil(high / 10));
        parts.push(boats[k].caption + ' from ' + (low / 10).toFixed(1) + ' to ' + (high / 10).toFixed(1) + ' kn');
      }
    }
    caption.textContent = chosen.length
      ? 'Speed over the race, ' + (steps ? clockText(1) + ' to ' + clockText(steps) : '') + ': ' + parts.join('; ') +
        '. The red line is the replay position; the speed now is in the table Chosen boats.'
      : 'Speed graph: choose boats in the table Boats to draw their speed over the race.';
    picture = null;
    show(step);
  }

  setBoats([]);
  if (typeof ResizeObserver === 'function') {
    new ResizeObserver((entries) => {
      const { width, height } = entries[entries.length - 1].contentRect;
      box = { width: Math.round(width), height: Math.round(height) };
      picture = null;
      show(step);
    }).observe(canvas);
  }
  return { show, setBoats };
}
