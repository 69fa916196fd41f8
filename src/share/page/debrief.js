// The debrief (the script's fourth part, after chart.js): the race's analysis as the program
// wrote it into the page (the JSON of `tideplot analyse --json`, and each boat's speed, course
// and VMG at the page's steps as the Analysis window reads them out), shown as it is: the boats
// chosen in the table Boats, followed and ringed on the chart with their speed, course and VMG,
// their tacks and gybes on the chart up to the step shown, their speed graph, the start and
// the legs. It computes no number of the race.
// `replay.redraw()` draws the chart anew. Returns what controls.js and chart.js call:
// show(step), drawOnChart(chart), followed(), panned().
async function makeDebrief(data, race, replay) {
  const none = { show() {}, drawOnChart() {}, followed: () => -1, panned() {} };
  const d = data.debrief;
  if (!d) return none;
  const $ = (id) => document.getElementById(id);
  const { boats, steps, clockSeconds, clockText, project, firstLon } = race;
  const [packed, ...streams] = await Promise.all([unpackStream(d.analysis), ...d.motion.map(unpackStream)]);
  const analysis = JSON.parse(new TextDecoder().decode(packed));
  if (analysis.boats.length !== boats.length) return none;
  const every = d.every || 1;

  // ---- Speed, course and VMG at every `every`-th step -----------------------------------
  // Speed and VMG in tenths of a knot, course in whole degrees; NaN where not known.
  const points = Math.floor(steps / every);
  const motion = streams.map((bytes) => {
    const speed = new Float32Array(points).fill(NaN), course = new Float32Array(points).fill(NaN);
    const vmg = new Float32Array(points).fill(NaN);
    let at = 0;
    const next = () => {
      let value = 0, shift = 1, byte;
      do { byte = bytes[at++]; value += (byte & 127) * shift; shift *= 128; } while (byte & 128);
      return value;
    };
    const zigzag = (v) => (v % 2 ? -(v + 1) / 2 : v / 2);
    let s = 0, c = 0, v = 0;
    for (let i = 0; i < points && at < bytes.length; ++i) {
      const head = next();
      if (!head) continue;
      speed[i] = s += zigzag(head - 1);
      c = (c + zigzag(next()) + 360) % 360;
      course[i] = c;
      const vm = next();
      if (vm) vmg[i] = v += zigzag(vm - 1);
    }
    return { speed, course, vmg };
  });
  // The point of `step`: the last at or before it; -1 for none.
  const pointOf = (step) => Math.floor(step / every) - 1;

  // ---- Tacks and gybes, in world units, in time order --------------------------------
  const raceSecondsOf = (text) => {
    const m = /^(-?)(\d+):(\d\d):(\d\d)$/.exec(text);
    return m ? (m[1] ? -1 : 1) * (Number(m[2]) * 3600 + Number(m[3]) * 60 + Number(m[4])) : NaN;
  };
  const manoeuvres = analysis.boats.map((b) => {
    const list = b.manoeuvres.filter((m) => (m.kind === 'tack' || m.kind === 'gybe') && !m.before_start)
      .map((m) => {
        let lon = m.lon;
        while (lon - firstLon > 180) lon -= 360;
        while (lon - firstLon < -180) lon += 360;
        return { tack: m.kind === 'tack', seconds: raceSecondsOf(m.race_time), x: project.x(lon), y: project.y(m.lat) };
      })
      .sort((a, b) => a.seconds - b.seconds);
    return list;
  });
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
  const buttons = rows.map((row, k) => {
    const cell = row.cells[0];
    const button = document.createElement('button');
    button.type = 'button';
    button.className = 'choose';
    button.setAttribute('aria-pressed', 'false');
    button.title = 'Follow this boat on the chart and draw its speed';
    // Inside the name's <bdi>, which keeps it isolated for direction.
    const name = cell.querySelector('bdi') || cell;
    button.append(...name.childNodes);
    name.replaceChildren(button);
    button.addEventListener('click', () => choose(k));
    row.addEventListener('click', (e) => { if (!e.target.closest('button')) choose(k); });
    return button;
  });
  const chosenBody = $('chosen').tBodies[0];
  let chosenCells = [];
  function choose(k) {
    const at = chosen.indexOf(k);
    if (at >= 0) chosen.splice(at, 1); else chosen.push(k);
    following = at < 0 || chosen.length > 0;
    buttons[k].setAttribute('aria-pressed', at < 0 ? 'true' : 'false');
    rows[k].classList.toggle('chosen', at < 0);
    chosenCells = chosen.map((b) => {
      const tr = document.createElement('tr');
      tr.appendChild(captionCell(b));
      const cells = [0, 1, 2].map(() => {
        const td = tr.appendChild(document.createElement('td'));
        td.className = 'number';
        return td;
      });
      return { boat: b, cells };
    });
    chosenBody.replaceChildren(...chosenCells.map((c) => c.cells[0].parentNode));
    const step = Math.max(0, shownStep);
    shownStep = -1;
    graph.setBoats(chosen);
    show(step);
    replay.redraw();
  }
  function captionCell(k) {
    const td = document.createElement('td');
    const name = td.appendChild(document.createElement('bdi'));
    name.textContent = boats[k].caption;
    td.style.background = boats[k].window;
    td.style.color = inkOn(boats[k].window);
    return td;
  }

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
    let tacks = 0, gybes = 0;
    const which = chosen.length ? chosen : boats.map((_, k) => k);
    for (const k of which) {
      const n = shownCount(k, step);
      for (let i = 0; i < n; ++i) { if (manoeuvres[k][i].tack) ++tacks; else ++gybes; }
    }
    setText($('manoeuvres-shown'), 'On the chart up to this moment (' + (chosen.length ? 'the boats chosen' : 'every boat') +
      '): ' + tacks + (tacks === 1 ? ' tack' : ' tacks') + ' (white circles), ' + gybes + (gybes === 1 ? ' gybe' : ' gybes') +
      ' (dark squares).');
    graph.show(step);
  }

  // ---- On the chart --------------------------------------------------------------
  // `chart`: { ctx, counts (pieces drawn per boat), step, toScreen(x, y), width, height }.
  function drawOnChart(chart) {
    const { ctx, counts, step, toScreen, width, height } = chart;
    const which = chosen.length ? chosen : boats.map((_, k) => k);
    const circles = new Path2D(), squares = new Path2D();
    for (const k of which) {
      const n = shownCount(k, step);
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

  // ---- The start and the legs, as the analysis wrote them ---------------------------
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
  const starts = [];
  analysis.boats.forEach((b, k) => {
    const s = b.start;
    if (s) starts.push([k, [fixed(s.line_distance_m, 1), fixed(s.line_position, 3), fixed(s.speed_kn, 2),
      fixed(s.seconds_late, 1), s.returned ? 'returned' : s.ocs ? 'yes' : 'no'], [0, 1, 2, 3]]);
  });
  if (d.line || starts.length) {
    $('start-section').hidden = false;
    $('start-line').textContent = d.line || '';
    fillTable('start-report', starts);
  }
  const legs = [];
  analysis.boats.forEach((b, k) => {
    for (const l of b.legs) {
      legs.push([k, [l.from + ' \u2192 ' + l.to, String(l.lap), l.kind || '-', fixed(l.seconds, 1), fixed(l.distance_nm, 3),
        fixed(l.mean_speed_kn, 2), fixed(l.vmg_kn, 2), String(l.tacks), String(l.gybes), fixed(l.mean_loss_m, 1),
        String(l.rank), fixed(l.gap_s, 1)], [1, 3, 4, 5, 6, 7, 8, 9, 10, 11]]);
    }
  });
  if (legs.length) {
    $('legs-section').hidden = false;
    fillTable('legs', legs);
  }
  $('debrief-wind').textContent = d.wind ? d.wind + '.' : '';

  const graph = makeSpeedGraph($('speed-graph'), $('speed-caption'), {
    boats, motion, every, steps, clockText, chosen: () => chosen,
  });
  $('debrief').hidden = false;
  return {
    show,
    drawOnChart,
    followed: () => (following && chosen.length ? chosen[chosen.length - 1] : -1),
    panned() { following = false; },
  };
}
