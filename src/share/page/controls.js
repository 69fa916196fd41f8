// The page's texts and tables, the replay position (slider, keys, the address) and playing,
// and the start (the script's last part, after racedata.js, trackpen.js, sheets.js, chart.js,
// debrief.js and debriefgraph.js, which it uses).
(async () => {
  // The address of the club's page around this one, when that page passes it in (before the
  // race is read, so that a message sent as the frame loads is not missed):
  //   frame.contentWindow.postMessage({ tideplotParent: location.href }, '*')
  // from the frame's own parent only, an http or https address.
  let parentByMessage = null;
  window.addEventListener('message', (e) => {
    if (window.parent === window || e.source !== window.parent) return;
    const address = e.data && typeof e.data === 'object' ? e.data.tideplotParent : undefined;
    if (typeof address === 'string') parentByMessage = address;
  });
  const data = JSON.parse(document.getElementById('race-data').textContent);
  const $ = (id) => document.getElementById(id);
  const race = await unpackRace(data);
  const { steps, boats, board, clockText, thousandthsText, durationText, distanceText } = race;

  // ---- The page's texts ----------------------------------------------------------
  const title = data.title || data.race;
  $('title').textContent = title;
  {
    const resolution = data.resolutionSeconds;
    $('summary').textContent = '\u2068' + data.race + '\u2069 \u00b7 ' + boats.length + (boats.length === 1 ? ' boat' : ' boats') +
      ' \u00b7 ' + steps + ' steps of ' + resolution + ' s race time' +
      (data.complete ? '' : ' \u00b7 the replay was stopped before the end of the race');
  }
  $('generator').textContent = 'Made by ' + data.generator + ' from the boats\' GPS tracks, on corrected time.';
  // A boat's name in its window colour, isolated from the text around it (a name may hold
  // characters that turn the direction of writing).
  function showCaption(td, boat) {
    const name = document.createElement('bdi');
    name.textContent = boat.caption;
    td.replaceChildren(name);
    td.style.background = boat.window;
    td.style.color = inkOn(boat.window);
  }
  function captionCell(boat) {
    const td = document.createElement('td');
    showCaption(td, boat);
    return td;
  }
  const boatCells = boats.map((boat) => {
    const tr = document.createElement('tr');
    tr.appendChild(captionCell(boat));
    const distance = document.createElement('td');
    distance.className = 'number';
    tr.appendChild(distance);
    $('boats').tBodies[0].appendChild(tr);
    return distance;
  });
  const boardRows = [];
  if (data.leaderboard) {
    $('leaderboard-section').hidden = false;
    for (let i = 0; i < boats.length; ++i) {
      const tr = document.createElement('tr');
      const cells = [0, 1, 2, 3].map(() => tr.appendChild(document.createElement('td')));
      cells[0].className = 'number';
      cells[0].textContent = String(i + 1);
      $('leaderboard').tBodies[0].appendChild(tr);
      boardRows.push({ cells, boat: -1 });
    }
  }
  if (data.handicap) {
    $('handicap').textContent = 'Handicap: ' + data.handicap.caption;
    $('handicap').hidden = false;
    $('results').tHead.rows[0].cells[2].textContent = data.handicap.column;
  }
  if (data.results) {
    $('results-section').hidden = false;
    for (const texts of data.results) {
      const tr = document.createElement('tr');
      texts.forEach((text, i) => {
        const td = tr.appendChild(document.createElement('td'));
        td.textContent = text;
        if (i === 0 || i === 2 || i === 5 || i === 6) td.className = 'number';
        else td.dir = 'auto';
      });
      $('results').tBodies[0].appendChild(tr);
    }
  }
  if (data.map) {
    $('attribution').textContent = data.map.attribution;
    $('attribution').hidden = false;
  }

  // The debrief beside the tables (the chart is made below, before anything can call it).
  const debrief = await makeDebrief(data, race, { redraw: () => chart.redraw() });

  // ---- The replay position -------------------------------------------------------
  const slider = $('position');
  slider.max = String(steps);
  let step = 0;
  let playing = false;
  let textsShown = -1;

  function setText(el, text) { if (el.textContent !== text) el.textContent = text; }
  // While the slider is dragged, the tables Boats and Leaderboard (which the browser lays out
  // anew at every change, a phone's frame time) follow a few times a second, and at once when
  // it is let go; the race time, the debrief and the chart follow every frame.
  const kTablesEveryMs = 200;
  let dragging = false, tablesShown = -1, tablesAt = 0, tablesTimer = 0;
  function showTexts() {
    if (!dragging) showTables();
    else if (!tablesTimer && tablesShown !== step) {
      tablesTimer = setTimeout(showTables, Math.max(0, tablesAt + kTablesEveryMs - performance.now()));
    }
    if (textsShown === step) return;
    textsShown = step;
    const time = clockText(step);
    setText($('race-time'), time);
    setText($('step-count'), step + ' / ' + steps);
    slider.setAttribute('aria-valuetext', step === 0 ? 'step 0 of ' + steps + ', before the first step'
      : 'step ' + step + ' of ' + steps + ', race time ' + time);
    debrief.show(step);
  }
  function showTables() {
    clearTimeout(tablesTimer);
    tablesTimer = 0;
    if (tablesShown === step) return;
    tablesShown = step;
    tablesAt = performance.now();
    boats.forEach((boat, k) => setText(boatCells[k], k === 0 ? '' : distanceText(boat, step)));
    if (board.snapshots.length) {
      const rows = board.snapshots[board.at[step]];
      let rank = 0;
      rows.forEach(([b, kind, value, gap], i) => {
        const shown = boardRows[i];
        // Boats finished in the same time as shown share their place, as in the results.
        const tied = i > 0 && kind === 2 && rows[i - 1][1] === 2 && rows[i - 1][2] === value;
        rank = tied ? rank : i + 1;
        setText(shown.cells[0], String(rank));
        if (shown.boat !== b) {
          shown.boat = b;
          showCaption(shown.cells[1], boats[b]);
        }
        let status = 'not started', gapText = '';
        if (kind === 2) {
          status = 'finished ' + durationText(value);
          if (gap) gapText = '+' + durationText(gap - 1);
        } else if (kind === 1) {
          status = thousandthsText(value) + ' nm to go';
          if (gap) gapText = '+' + thousandthsText(gap - 1) + ' nm';
        }
        setText(shown.cells[2], status);
        setText(shown.cells[3], gapText);
      });
    }
  }

  let addressTimer = 0, addressShown = -1;
  function writeAddress() {
    addressTimer = 0;
    if (addressShown === step) return;
    addressShown = step;
    const hash = '#step=' + step;
    try {
      history.replaceState(null, '', hash);
    } catch (e) {
      location.replace(hash);
    }
  }
  // The address follows the position, at most a few times a second while it moves, and once
  // the slider is let go when it is dragged (a new address costs a phone a frame).
  function followAddress(now) {
    if (now) { clearTimeout(addressTimer); writeAddress(); return; }
    if (!addressTimer) addressTimer = setTimeout(writeAddress, 250);
  }

  function setStep(n, fromSlider) {
    n = Math.max(0, Math.min(steps, Math.round(n) || 0));
    if (n === step && !fromSlider) return;
    step = n;
    dragging = Boolean(fromSlider);
    if (!fromSlider) slider.value = String(n);
    showTexts();
    chart.redraw();
    if (!fromSlider) followAddress(false);
  }
  function stepOfAddress(hash = location.hash) {
    const m = /(?:^#|[#&])step=(\d+)/.exec(hash);
    return m ? Number(m[1]) : null;
  }

  // ---- A link to this moment -----------------------------------------------------------
  // The page's own address at the step shown; in a club's page, the address that page passed
  // in (by message, else in ?parent=; an http or https address) with the step after its #.
  function linkToMoment() {
    const hash = '#step=' + step;
    for (const parent of [parentByMessage, new URLSearchParams(location.search).get('parent')]) {
      if (!parent) continue;
      try {
        const url = new URL(parent);
        if (url.protocol === 'https:' || url.protocol === 'http:') {
          url.hash = hash.slice(1);
          return url.href;
        }
      } catch (e) {
        // not an address: the next one, or the page's own
      }
    }
    return location.href.replace(/#.*$/, '') + hash;
  }
  $('copy-link').addEventListener('click', async () => {
    const link = linkToMoment();
    const status = $('copy-status');
    try {
      await navigator.clipboard.writeText(link);
      status.textContent = 'Link copied: ' + link;
    } catch (e) {
      status.textContent = 'Copy this link: ' + link;
    }
  });

  // ---- Playing ---------------------------------------------------------------------
  const playButton = $('play');
  const speedBox = $('speed');
  let carried = 0, lastTick = 0;
  function setPlaying(on) {
    if (on && step >= steps) setStep(0);
    playing = on && steps > 0;
    playButton.textContent = playing ? 'Pause' : 'Play';
    // The race time is read out when it rests, not at every step of a replay that plays.
    $('race-time').setAttribute('aria-live', playing ? 'off' : 'polite');
    carried = 0;
    lastTick = performance.now();
    if (playing) requestAnimationFrame(tick);
    else followAddress(true);
  }
  function tick(now) {
    if (!playing) return;
    const seconds = Math.max(0, Math.min(1, (now - lastTick) / 1000));
    lastTick = now;
    carried += seconds * Number(speedBox.value) / (data.resolutionSeconds || 10);
    const whole = Math.floor(carried);
    if (whole > 0) {
      carried -= whole;
      setStep(step + whole);
      if (step >= steps) { setPlaying(false); return; }
    }
    requestAnimationFrame(tick);
  }
  playButton.addEventListener('click', () => setPlaying(!playing));
  slider.addEventListener('input', () => setStep(Number(slider.value), true));
  slider.addEventListener('change', () => {
    dragging = false;
    showTables();
    followAddress(true);
  });
  // The address the reader went to, not the one the page may have written since.
  window.addEventListener('hashchange', (e) => {
    const s = stepOfAddress(new URL(e.newURL).hash);
    if (s !== null) setStep(s);
  });

  document.addEventListener('keydown', (e) => {
    if (e.defaultPrevented || e.altKey || e.ctrlKey || e.metaKey) return;
    const t = e.target;
    const tag = t && t.tagName;
    if (tag === 'SELECT' || tag === 'TEXTAREA' || (tag === 'INPUT' && t.type !== 'range' && t.type !== 'checkbox'))
      return;
    const onRange = tag === 'INPUT' && t.type === 'range';
    if (e.key === ' ' || e.key === 'Spacebar') {
      if (tag === 'BUTTON' || (tag === 'INPUT' && t.type === 'checkbox')) return; // they take Space themselves
      e.preventDefault();
      setPlaying(!playing);
    } else if (onRange) {
      return; // the slider steps by itself, and says so
    } else if (e.key === 'ArrowLeft' || e.key === 'ArrowRight') {
      e.preventDefault();
      setStep(step + (e.key === 'ArrowLeft' ? -1 : 1));
    } else if (e.key === 'Home' || e.key === 'End') {
      e.preventDefault();
      setStep(e.key === 'Home' ? 0 : steps);
    }
  });

  // ---- The chart -------------------------------------------------------------------
  const chart = makeChart(data, race, {
    step: () => step, beforeDraw: showTexts,
    overlay: debrief.drawOnChart, followed: debrief.followed, panned: debrief.panned,
  });

  // ---- Start ----------------------------------------------------------------------
  chart.start();
  const opening = stepOfAddress();
  step = Math.max(0, Math.min(steps, opening === null ? 0 : opening));
  slider.value = String(step);
  addressShown = opening === null ? -1 : step;
  showTexts();
  chart.redraw();
  document.documentElement.dataset.ready = 'true';
})();
