// The debrief (the script's fourth part, after chart.js): the race's analysis as the program
// wrote it into the page (each boat's start and legs as `tideplot analyse --json` writes them,
// its tacks and gybes, and its speed, course and VMG at the page's steps as the Analysis
// window reads them out), shown as it is: the boats chosen in the table Boats, followed and
// ringed on the chart with their speed, course and VMG, the tacks and gybes on the chart up to
// the step shown, the speed graph, the start and the legs. It computes no number of the race.
// makeDebrief's `replay.redraw()` draws the chart anew; it returns what controls.js and
// chart.js call: show(step), drawOnChart(chart), followed() (the boat the chart centres on,
// or -1) and panned().

// The streams' variable-length integers (as racedata.js reads them), signed ones zig-zag.
function debriefUnzigzag(u) { return u % 2 ? -(u + 1) / 2 : u / 2; }
function debriefReader(bytes) {
  let at = 0;
  const next = () => {
    let value = 0, shift = 1, byte;
    do { byte = bytes[at++]; value += (byte & 127) * shift; shift *= 128; } while (byte & 128);
    return value;
  };
  return { next, signed: () => debriefUnzigzag(next()), more: () => at < bytes.length };
}

// A boat's speed and VMG (tenths of a knot) and course (whole degrees) at `points` steps, NaN
// where not known: the program's three runs, the speeds, then the courses and the VMGs of
// the points with a speed.
function decodeMotion(bytes, points) {
  const speed = new Float32Array(points).fill(NaN), course = new Float32Array(points).fill(NaN);
  const vmg = new Float32Array(points).fill(NaN);
  const r = debriefReader(bytes);
  const known = [];
  let v = 0;
  for (let i = 0; i < points && r.more(); ++i) {
    const head = r.next();
    if (head) { speed[i] = v += debriefUnzigzag(head - 1); known.push(i); }
  }
  let c = 0;
  for (const i of known) course[i] = c = (c + r.signed() + 360) % 360;
  v = 0;
  for (const i of known) {
    const head = r.next();
    if (head) vmg[i] = v += debriefUnzigzag(head - 1);
  }
  return { speed, course, vmg };
}

// A boat's tacks and gybes in time order: race time (seconds) and place in world units.
function decodeManoeuvres(bytes, race) {
  const r = debriefReader(bytes), list = [];
  let seconds = 0, lat = 0, lon = 0;
  while (r.more()) {
    const head = r.next();
    seconds += debriefUnzigzag(Math.floor(head / 2));
    lat += r.signed(); lon += r.signed();
    let a = lon / 1e6;
    while (a - race.firstLon > 180) a -= 360;
    while (a - race.firstLon < -180) a += 360;
    list.push({ tack: head % 2 === 0, seconds, x: race.project.x(a), y: race.project.y(lat / 1e6) });
  }
  return list;
}

// The start and the legs, as `analyse --json` writes them, each row after the boat's caption
// cell (`captionCell(k)`).
function fillDebriefTables(analysis, d, captionCell) {
  const $ = (id) => document.getElementById(id);
  const fixed = (v, decimals) => (v === null || v === undefined ? '-' : v.toFixed(decimals));
  function fillTable(id, list) {
    const body = $(id).tBodies[0];
    for (const [k, texts, numbers] of list) {
      const tr = body.appendChild(document.createElement('tr'));
      tr.appendChild(captionCell(k));
      texts.forEach((text, i) => {
        const td = tr.appendChild(document.createElement('td'));
        td.textContent = text;
        if (numbers.includes(i)) td.className = 'number'; else td.dir = 'auto';
      });
    }
  }
  const starts = [], legs = [];
  analysis.boats.forEach((b, k) => {
    const s = b.start;
    if (s) starts.push([k, [fixed(s.line_distance_m, 1), fixed(s.line_position, 3), fixed(s.speed_kn, 2),
      fixed(s.seconds_late, 1), s.returned ? 'returned' : s.ocs ? 'yes' : 'no'], [0, 1, 2, 3]]);
    for (const l of b.legs) {
      legs.push([k, [l.from + ' \u2192 ' + l.to, String(l.lap), l.kind || '-', fixed(l.seconds, 1), fixed(l.distance_nm, 3),
        fixed(l.mean_speed_kn, 2), fixed(l.vmg_kn, 2), String(l.tacks), String(l.gybes), fixed(l.mean_loss_m, 1),
        String(l.rank), fixed(l.gap_s, 1)], [1, 3, 4, 5, 6, 7, 8, 9, 10, 11]]);
    }
  });
  if (d.line || starts.length) {
    $('start-section').hidden = false;
    $('start-line').textContent = d.line || '';
    fillTable('start-report', starts);
  }
  if (legs.length) {
    $('legs-section').hidden = false;
    fillTable('legs', legs);
  }
  $('debrief-wind').textContent = d.wind ? d.wind + '.' : '';
}

// The tacks (white circles) and gybes (dark squares) of the boats `chosen` up to the step on
// the chart, `shown(k)` of each, and a ring round each of them. `chart`: { ctx, counts (pieces
// drawn per boat), toScreen(x, y), width, height }.
function drawDebriefMarks(chart, boats, manoeuvres, chosen, shown) {
  const { ctx, counts, toScreen, width, height } = chart;
  const circles = new Path2D(), squares = new Path2D();
  for (const k of chosen) {
    const n = shown(k);
    for (let i = 0; i < n; ++i) {
      const m = manoeuvres[k][i];
      const [x, y] = toScreen(m.x, m.y);
      if (x < -6 || y < -6 || x > width + 6 || y > height + 6) continue;
      if (m.tack) { circles.moveTo(x + 4, y); circles.arc(x, y, 4, 0, 2 * Math.PI); } else squares.rect(x - 4, y - 4, 8, 8);
    }
  }
  ctx.save();
  ctx.lineWidth = 1.5;
  ctx.fillStyle = '#ffffff'; ctx.strokeStyle = '#182838';
  ctx.fill(circles); ctx.stroke(circles);
  ctx.fillStyle = '#182838'; ctx.strokeStyle = '#ffffff';
  ctx.fill(squares); ctx.stroke(squares);
  // A ring round each boat chosen: black under white, seen on any sea.
  for (const k of chosen) {
    if (counts[k] <= 0) continue;
    const boat = boats[k], t = boat.pieceTo[counts[k] - 1];
    const [x, y] = toScreen(boat.xs[t], boat.ys[t]);
    for (const [w, colour] of [[5, '#000000'], [2, '#ffffff']]) {
      ctx.lineWidth = w; ctx.strokeStyle = colour;
      ctx.beginPath(); ctx.arc(x, y, 12, 0, 2 * Math.PI); ctx.stroke();
    }
  }
  ctx.restore();
}

// Each row of the table Boats chooses its boat (`choose(k)`) on a click, and its name, a
// button inside the name's <bdi> (which keeps it isolated for direction), on Enter too.
function makeChooseButtons(rows, choose) {
  return rows.map((row, k) => {
    const cell = row.cells[0];
    const button = document.createElement('button');
    button.type = 'button';
    button.className = 'choose';
    button.setAttribute('aria-pressed', 'false');
    button.title = 'Follow this boat on the chart and draw its speed';
    const name = cell.querySelector('bdi') || cell;
    button.append(...name.childNodes);
    name.replaceChildren(button);
    button.addEventListener('click', () => choose(k));
    row.addEventListener('click', (e) => { if (!e.target.closest('button')) choose(k); });
    return button;
  });
}
// A boat's caption on its window colour, in black or white by contrast.
function debriefCaptionCell(boat) {
  const td = document.createElement('td');
  const name = td.appendChild(document.createElement('bdi'));
  name.textContent = boat.caption;
  td.style.background = boat.window;
  td.style.color = inkOn(boat.window);
  return td;
}
// A row of the table Chosen boats: the caption and three cells for speed, course and VMG.
function chosenRow(caption, boat) {
  const tr = document.createElement('tr');
  tr.appendChild(caption);
  const cells = [0, 1, 2].map(() => {
    const td = tr.appendChild(document.createElement('td'));
    td.className = 'number';
    return td;
  });
  return { boat, cells };
}

// What the chart marks: the tacks and gybes of the boats `chosen`, `shown(k)` of each (of
// every boat at once they would be tens of thousands on a day's race, and slow to draw).
function manoeuvresText(manoeuvres, chosen, shown) {
  if (!chosen.length) return 'Choose boats to mark their tacks and gybes on the chart.';
  let tacks = 0, gybes = 0;
  for (const k of chosen) {
    const n = shown(k);
    for (let i = 0; i < n; ++i) { if (manoeuvres[k][i].tack) ++tacks; else ++gybes; }
  }
  return 'On the chart up to this moment: ' + tacks + (tacks === 1 ? ' tack' : ' tacks') + ' (white circles), ' + gybes +
    (gybes === 1 ? ' gybe' : ' gybes') + ' (dark squares) of the boats chosen.';
}

async function makeDebrief(data, race, replay) {
  const none = { show() {}, drawOnChart() {}, followed: () => -1, panned() {} };
  const d = data.debrief;
  if (!d) return none;
  const $ = (id) => document.getElementById(id);
  const { boats, steps, clockSeconds, clockText } = race;
  const [packed, ...streams] = await Promise.all([unpackStream(d.analysis), ...d.boats.flat().map(unpackStream)]);
  const analysis = JSON.parse(new TextDecoder().decode(packed));
  if (analysis.boats.length !== boats.length || d.boats.length !== boats.length) return none;
  // Speed, course and VMG at every `every`-th step; the point of a step is the last at or
  // before it (-1 for none).
  const every = d.every || 1;
  const motion = boats.map((_, k) => decodeMotion(streams[2 * k], Math.floor(steps / every)));
  const pointOf = (step) => Math.floor(step / every) - 1;
  const manoeuvres = boats.map((_, k) => decodeManoeuvres(streams[2 * k + 1], race));
  // How many of a boat's tacks and gybes lie at or before `step`'s race time.
  function shownCount(k, step) {
    if (step <= 0) return 0;
    const list = manoeuvres[k], t = clockSeconds[step];
    let lo = 0, hi = list.length;
    while (lo < hi) { const mid = (lo + hi) >> 1; if (list[mid].seconds <= t) lo = mid + 1; else hi = mid; }
    return lo;
  }

  // ---- The boats chosen ------------------------------------------------------------
  const chosen = [];
  let following = false;
  const rows = [...$('boats').tBodies[0].rows];
  const buttons = makeChooseButtons(rows, (k) => choose(k));
  // "Follow the fleet" ticked lets the boat go.
  $('follow').addEventListener('change', () => { if ($('follow').checked) following = false; });
  const chosenBody = $('chosen').tBodies[0];
  let chosenCells = [];
  function choose(k) {
    const at = chosen.indexOf(k);
    if (at >= 0) chosen.splice(at, 1); else chosen.push(k);
    following = at < 0 || chosen.length > 0;
    if (following) $('follow').checked = false;
    buttons[k].setAttribute('aria-pressed', at < 0 ? 'true' : 'false');
    rows[k].classList.toggle('chosen', at < 0);
    chosenCells = chosen.map((b) => chosenRow(captionCell(b), b));
    chosenBody.replaceChildren(...chosenCells.map((c) => c.cells[0].parentNode));
    const step = Math.max(0, shownStep);
    shownStep = -1;
    graph.setBoats(chosen);
    show(step);
    replay.redraw();
  }
  const captionCell = (k) => debriefCaptionCell(boats[k]);

  // ---- The texts of each step --------------------------------------------------------
  const tenths = (v) => (Number.isNaN(v) ? '-' : (v / 10).toFixed(1));
  function setText(el, text) { if (el.textContent !== text) el.textContent = text; }
  let shownStep = -1;
  function show(step) {
    if (shownStep === step) return;
    shownStep = step;
    const p = pointOf(step);
    for (const { boat, cells } of chosenCells) {
      const m = motion[boat];
      setText(cells[0], p < 0 ? '-' : tenths(m.speed[p]));
      setText(cells[1], p < 0 || Number.isNaN(m.course[p]) ? '-' : String(m.course[p]));
      setText(cells[2], p < 0 ? '-' : tenths(m.vmg[p]));
    }
    setText($('manoeuvres-shown'), manoeuvresText(manoeuvres, chosen, (k) => shownCount(k, step)));
    graph.show(step);
  }

  const drawOnChart = (chart) => drawDebriefMarks(chart, boats, manoeuvres, chosen, (k) => shownCount(k, chart.step));
  fillDebriefTables(analysis, d, captionCell);
  const graph = makeSpeedGraph($('speed-graph'), $('speed-caption'), { boats, motion, every, steps, clockText });
  $('debrief').hidden = false;
  return {
    show,
    drawOnChart,
    followed: () => (following && chosen.length ? chosen[chosen.length - 1] : -1),
    panned() { following = false; },
  };
}
