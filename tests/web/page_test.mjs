// The replay's web page in a real browser: pages written by `tideplot replay --html`,
// opened from their files in headless Chromium, against `tideplot replay --trace` of the
// same race. Run by ctest (tests/web/run.sh); exits 77 (skipped) without Chromium or
// puppeteer-core.
//
//   TIDEPLOT_EXE=build/default/src/app/tideplot TIDEPLOT_RACEGEN=build/default/tools/tideplot-racegen \
//   TIDEPLOT_SOURCE_DIR=. node tests/web/page_test.mjs
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { copyFileSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { createRequire } from 'node:module';
import { after, before, describe, test } from 'node:test';
import { pathToFileURL } from 'node:url';
import { launch, skipWithoutChromium } from './chromium.mjs';

skipWithoutChromium();

const exe = process.env.TIDEPLOT_EXE;
const racegen = process.env.TIDEPLOT_RACEGEN;
const sourceDir = process.env.TIDEPLOT_SOURCE_DIR;
assert.ok(exe && racegen && sourceDir, 'set TIDEPLOT_EXE, TIDEPLOT_RACEGEN and TIDEPLOT_SOURCE_DIR');

const work = mkdtempSync(join(tmpdir(), 'tideplot-web-test-'));
let browser;
// Every request a page made that is not its own file (nor a data: URL), by test.
const outside = [];

// Writes the page and the trace of `race` with the replay's `options`.
function writePage(race, name, options = []) {
  const html = join(work, `${name}.html`), trace = join(work, `${name}.trace`);
  execFileSync(exe, ['replay', race, '--html', html, '--trace', trace, ...options], { stdio: 'pipe' });
  return { html, url: pathToFileURL(html).href, ...readTrace(trace) };
}

// What the control window shows after each step, from the trace: the legend, the race
// time of step N, each boat's distance as last written up to step N.
function readTrace(path) {
  const legend = [], clock = [''], distances = [];
  for (const line of readFileSync(path, 'latin1').split('\n')) {
    let m;
    if ((m = /^legend (\d+) (\d+) (.*)$/.exec(line))) {
      legend[Number(m[1])] = Buffer.from(m[3], 'latin1').toString('utf8');
    } else if ((m = /^step (\d+) (.*)$/.exec(line))) {
      clock[Number(m[1])] = m[2];
      distances.push([...(distances.at(-1) || legend.map(() => ''))]);
    } else if ((m = /^dst (\d+) ?(.*)$/.exec(line))) {
      distances.at(-1)[Number(m[1])] = m[2];
    }
  }
  const steps = clock.length - 1;
  return {
    legend, steps,
    expected(n) {
      return {
        raceTime: clock[n],
        boats: legend.map((caption, k) => [caption, n === 0 ? '' : distances[n - 1][k]]),
      };
    },
  };
}

async function openPage(url, viewport = { width: 1280, height: 900 }) {
  const page = await browser.newPage();
  await page.setViewport(viewport);
  await page.setRequestInterception(true);
  page.on('request', (request) => {
    const u = request.url();
    if (u.startsWith('file:') || u.startsWith('data:')) return request.continue();
    outside.push(u);
    return request.abort();
  });
  page.dialogs = [];
  page.on('dialog', async (dialog) => { page.dialogs.push(dialog.message()); await dialog.dismiss(); });
  page.errors = [];
  page.on('pageerror', (error) => page.errors.push(String(error)));
  await page.goto(url);
  await page.waitForFunction(() => document.documentElement.dataset.ready === 'true');
  return page;
}

// What the page shows: the race time, the Boats table, the slider.
function shown(page) {
  return page.evaluate(() => ({
    raceTime: document.querySelector('[aria-label="Race time"]').textContent,
    boats: [...document.querySelector('table[aria-label="Boats"]').tBodies[0].rows].map((r) =>
      [...r.cells].map((c) => c.textContent)),
    position: Number(document.querySelector('input[aria-label="Replay position"]').value),
    max: Number(document.querySelector('input[aria-label="Replay position"]').max),
    hash: location.hash,
  }));
}

async function expectStep(page, race, n, what) {
  const s = await shown(page);
  assert.equal(s.position, n, `${what}: the slider stands at ${s.position}, not ${n}`);
  assert.deepEqual({ raceTime: s.raceTime, boats: s.boats }, race.expected(n), `${what}: step ${n}`);
}

async function waitForHash(page, n) {
  await page.waitForFunction((h) => location.hash === h, { timeout: 3000 }, `#step=${n}`);
}

before(async () => { browser = await launch(); });
after(async () => {
  await browser?.close();
  rmSync(work, { recursive: true, force: true });
});

describe('the sample race with a finish line', () => {
  let race;
  before(() => {
    const dir = join(work, 'sample');
    execFileSync('mkdir', ['-p', dir]);
    const from = join(sourceDir, 'examples', 'sample-race');
    for (const f of readdirSync(from)) if (/\.(txt|TP1)$/.test(f)) copyFileSync(join(from, f), join(dir, f));
    writeFileSync(join(dir, 'race.TP1.course'), 'finish 57.598843 11.502571 57.601157 11.497429\r\n');
    race = writePage(join(dir, 'race.TP1'), 'sample');
  });

  test('opens at #step=N with the race time and the distances of the trace up to step N', async () => {
    const page = await openPage(`${race.url}#step=0`);
    assert.equal((await shown(page)).max, race.steps);
    // before the gun, at the gun, during the race, the last step
    for (const n of [0, 1, 2, 30, 31, 32, 250, 477, race.steps - 1, race.steps]) {
      await page.evaluate((h) => { location.hash = h; }, `#step=${n}`);
      await page.waitForFunction((v) => document.querySelector('#position').value === String(v), {}, n);
      await expectStep(page, race, n, `#step=${n}`);
    }
    const fresh = await openPage(`${race.url}#step=123`);
    await expectStep(fresh, race, 123, 'opened at #step=123');
    assert.deepEqual([...page.errors, ...fresh.errors], []);
  });

  test('keys: Left and Right one step, Home and End, Space plays and pauses', async () => {
    const page = await openPage(`${race.url}#step=100`);
    await page.focus('#position');
    await page.keyboard.press('ArrowRight');
    await expectStep(page, race, 101, 'Right on the slider');
    await page.keyboard.press('ArrowLeft');
    await page.keyboard.press('ArrowLeft');
    await expectStep(page, race, 99, 'Left twice on the slider');
    await page.keyboard.press('End');
    await expectStep(page, race, race.steps, 'End on the slider');
    await page.keyboard.press('Home');
    await expectStep(page, race, 0, 'Home on the slider');
    await waitForHash(page, 0);

    // The same keys where no control takes them (the page itself).
    await page.evaluate(() => document.activeElement.blur());
    await page.keyboard.press('End');
    await page.keyboard.press('ArrowLeft');
    await expectStep(page, race, race.steps - 1, 'End, Left on the page');
    await page.keyboard.press('Home');
    await page.keyboard.press('ArrowRight');
    await page.keyboard.press('ArrowRight');
    await expectStep(page, race, 2, 'Home, Right, Right on the page');

    // Space plays at the chosen speed (600x: 60 steps a second at 10 s a step) and pauses.
    await page.select('#speed', '600');
    await page.evaluate(() => document.activeElement.blur());
    await page.keyboard.press('Space');
    assert.equal(await page.$eval('#play', (b) => b.textContent), 'Pause');
    await page.waitForFunction(() => Number(document.querySelector('#position').value) >= 20);
    await page.keyboard.press('Space');
    assert.equal(await page.$eval('#play', (b) => b.textContent), 'Play');
    const stopped = (await shown(page)).position;
    assert.ok(stopped >= 20 && stopped < race.steps, `played to ${stopped}`);
    await expectStep(page, race, stopped, 'after playing');
    await waitForHash(page, stopped);
    assert.deepEqual(page.errors, []);
  });

  test('the address follows the slider and opens the same moment', async () => {
    const page = await openPage(race.url);
    await expectStep(page, race, 0, 'opened without a step');
    const slider = await page.$('#position');
    const box = await slider.boundingBox();
    await page.mouse.click(box.x + box.width * 0.6, box.y + box.height / 2);
    const n = (await shown(page)).position;
    assert.ok(n > race.steps * 0.5 && n < race.steps * 0.7, `a click at 60 % goes to step ${n}`);
    await waitForHash(page, n);
    const url = await page.evaluate(() => location.href);
    const again = await openPage(url);
    await expectStep(again, race, n, `the copied address ${url}`);
  });

  test('the leaderboard and the results beside the chart', async () => {
    const page = await openPage(`${race.url}#step=${race.steps}`);
    const tables = await page.evaluate(() => Object.fromEntries(['Leaderboard', 'Results'].map((name) => [name,
      [...document.querySelector(`table[aria-label="${name}"]`).rows].map((r) => [...r.cells].map((c) => c.textContent))])));
    // `tideplot results` prints the same table: its rows after the header, word by word.
    const printed = execFileSync(exe, ['results', join(work, 'sample', 'race.TP1')], { encoding: 'utf8' })
      .split('\n').filter((l) => /^ *\d+ /.test(l)).map((l) => l.trim().split(/ +/));
    assert.deepEqual(tables.Results.slice(1).map((row) => row.join(' ').split(' ')), printed);
    assert.equal(tables.Leaderboard.length, 1 + race.legend.length);
    assert.deepEqual(tables.Leaderboard.slice(1).map((r) => r[2].startsWith('finished ')), race.legend.map(() => true));
    assert.equal(tables.Leaderboard[1][3], '', 'the winner has no gap');
    assert.match(tables.Leaderboard[2][3], /^\+\d+:\d\d:\d\d$/);
    // At the end the leaderboard places and times the boats as the results do, to the second,
    // and each gap is the difference of the times shown.
    assert.deepEqual(tables.Leaderboard.slice(1).map((r) => [r[0], r[2]]),
      tables.Results.slice(1).map((r) => [r[0], 'finished ' + r[6]]));
    const seconds = (text) => text.split(':').reduce((sum, part) => sum * 60 + Number(part), 0);
    const clock = (s) => `${Math.floor(s / 3600)}:${String(Math.floor(s / 60) % 60).padStart(2, '0')}:${String(s % 60).padStart(2, '0')}`;
    const first = seconds(tables.Results[1][6]);
    assert.deepEqual(tables.Leaderboard.slice(2).map((r) => r[3]),
      tables.Results.slice(2).map((r) => '+' + clock(seconds(r[6]) - first)));
  });

  test('axe-core finds no fault, light and dark, wide and on a phone; names are isolated', async () => {
    const axeSource = readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');
    for (const [scheme, viewport] of [['light', { width: 1280, height: 900 }], ['dark', { width: 390, height: 844, isMobile: true, hasTouch: true }]]) {
      const page = await browser.newPage();
      await page.setBypassCSP(true); // for axe's own script
      await page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: scheme }]);
      await page.setViewport(viewport);
      await page.goto(`${race.url}#step=400`);
      await page.waitForFunction(() => document.documentElement.dataset.ready === 'true');
      await page.addScriptTag({ content: axeSource });
      const found = await page.evaluate(async () => (await window.axe.run(document)).violations.map((v) =>
        `${v.id} (${v.impact}): ${v.nodes.map((n) => n.target.join(' ')).slice(0, 5).join(', ')}`));
      assert.deepEqual(found, [], `axe-core, ${scheme}`);
      const names = await page.evaluate(() => [...document.querySelectorAll('#boats tbody td:first-child')].map((td) =>
        td.firstElementChild?.tagName));
      assert.deepEqual(names, race.legend.map(() => 'BDI'));
      await page.close();
    }
  });

  test('the slider and Play on the screen when it opens, at 360x640, 800x500 and 1280x800; targets of 44 px', async () => {
    for (const [width, height] of [[360, 640], [800, 500], [1280, 800]]) {
      const page = await openPage(`${race.url}#step=10`, { width, height, isMobile: width < 500, hasTouch: width < 500 });
      const boxes = await page.evaluate(() => ['play', 'position', 'zoom-in', 'zoom-all', 'speed', 'copy-link'].map((id) => {
        const box = document.getElementById(id).getBoundingClientRect();
        return { id, top: box.top, bottom: box.bottom, width: box.width, height: box.height };
      }));
      for (const b of boxes) {
        if (b.id === 'play' || b.id === 'position') assert.ok(b.top >= 0 && b.bottom <= height, `${width}x${height}: #${b.id} at ${b.top} to ${b.bottom}`);
        assert.ok(b.width >= 44 && b.height >= 44, `${width}x${height}: #${b.id} is ${b.width}x${b.height}`);
      }
      await page.close();
    }
  });

  test('"Copy link to this moment": the page at the step, or the club page of ?parent= around it', async () => {
    const page = await openPage(`${race.url}?parent=${encodeURIComponent('https://club.example/races/june.html#top')}#step=250`);
    await page.click('#copy-link');
    await page.waitForFunction(() => document.querySelector('#copy-status').textContent !== '');
    assert.match(await page.$eval('#copy-status', (e) => e.textContent), /: https:\/\/club\.example\/races\/june\.html#step=250$/);
    const own = await openPage(`${race.url}#step=120`);
    await own.click('#copy-link');
    await own.waitForFunction(() => document.querySelector('#copy-status').textContent !== '');
    const link = (await own.$eval('#copy-status', (e) => e.textContent)).replace(/^[^:]*: /, '');
    assert.equal(link, `${race.url}#step=120`);
    await expectStep(await openPage(link), race, 120, 'the copied link');
  });

  test('a club\'s page passes its address in by message: the link is that page at the step', async () => {
    const club = join(work, 'club.html');
    writeFileSync(club, `<!doctype html><title>Club</title><iframe src="${race.url}#step=75" width="800" height="500"
      onload="this.contentWindow.postMessage({ tideplotParent: 'https://club.example/june.html?race=1' }, '*')"></iframe>`);
    const page = await browser.newPage();
    await page.goto(pathToFileURL(club).href);
    const frame = page.frames().find((f) => f !== page.mainFrame());
    await frame.waitForFunction(() => document.documentElement.dataset.ready === 'true');
    await frame.click('#copy-link');
    await frame.waitForFunction(() => document.querySelector('#copy-status').textContent !== '');
    assert.match(await frame.$eval('#copy-status', (e) => e.textContent), /: https:\/\/club\.example\/june\.html\?race=1#step=75$/);
    await page.close();
  });

  test('fits a phone 390 pixels wide, every control reachable by Tab with a visible focus', async () => {
    const page = await openPage(`${race.url}#step=400`, { width: 390, height: 844, isMobile: true, hasTouch: true });
    const widths = await page.evaluate(() => ({ page: document.documentElement.scrollWidth, view: innerWidth }));
    assert.ok(widths.page <= widths.view, `the page is ${widths.page} pixels wide in ${widths.view}`);
    const reached = new Set();
    for (let i = 0; i < 20; ++i) {
      await page.keyboard.press('Tab');
      const focus = await page.evaluate(() => {
        const e = document.activeElement;
        return { id: e.id, outline: getComputedStyle(e).outlineStyle };
      });
      if (focus.id) reached.add(focus.id);
      if (['play', 'position', 'chart'].includes(focus.id))
        assert.notEqual(focus.outline, 'none', `#${focus.id} shows no focus`);
    }
    for (const id of ['chart', 'zoom-in', 'zoom-out', 'zoom-all', 'play', 'speed', 'position', 'tail', 'follow', 'copy-link'])
      assert.ok(reached.has(id), `Tab never reaches #${id} (reached ${[...reached]})`);
    // The chart's own keys pan and zoom without moving the replay; so do a finger and two.
    const view = () => page.evaluate(() => ({ ...window.tideplotStats.view }));
    const fitted = await view();
    await page.focus('#chart');
    await page.keyboard.press('ArrowLeft');
    await page.keyboard.press('+');
    const keyed = await view();
    assert.ok(keyed.cx < fitted.cx && keyed.scale > fitted.scale * 1.4, 'Left pans west, + zooms in');
    const chart = await (await page.$('#chart')).boundingBox();
    const cx = chart.x + chart.width / 2, cy = chart.y + chart.height / 2;
    const cdp = await page.createCDPSession();
    const touch = (type, points) => cdp.send('Input.dispatchTouchEvent', { type, touchPoints: points.map(([x, y], id) => ({ x, y, id })) });
    // One finger scrolls the page and leaves the chart; two pan it.
    const scrolled = await page.evaluate(() => scrollY);
    await touch('touchStart', [[cx, cy]]);
    for (let i = 1; i <= 5; ++i) await touch('touchMove', [[cx, cy - 10 * i]]);
    await touch('touchEnd', []);
    assert.ok(await page.evaluate(() => scrollY) >= scrolled + 40, 'a finger swiped up scrolls the page down');
    assert.deepEqual(await view(), keyed, 'a finger moved the chart');
    const top = cy - (await page.evaluate(() => scrollY)) + scrolled;
    await touch('touchStart', [[cx - 20, top], [cx + 20, top]]);
    for (let i = 1; i <= 5; ++i) await touch('touchMove', [[cx - 20, top + 10 * i], [cx + 20, top + 10 * i]]);
    await touch('touchEnd', []);
    const swiped = await view();
    assert.ok(swiped.cy < keyed.cy && Math.abs(swiped.cx - keyed.cx) < 1e-9, 'two fingers swiped down pan north');
    await touch('touchStart', [[cx - 20, top], [cx + 20, top]]);
    for (let i = 1; i <= 5; ++i) await touch('touchMove', [[cx - 20 - 8 * i, top], [cx + 20 + 8 * i, top]]);
    await touch('touchEnd', []);
    const pinched = await view();
    assert.ok(pinched.scale > swiped.scale * 2.5 && pinched.scale < swiped.scale * 3.5,
      `a pinch from 40 to 120 pixels zooms in three times, not ${pinched.scale / swiped.scale}`);
    await expectStep(page, race, 400, 'keys and touches on the chart');
  });
});

describe('the debrief of the sample race round its course', () => {
  let race, analysis, series;
  before(() => {
    const dir = join(work, 'course');
    execFileSync('mkdir', ['-p', dir]);
    const from = join(sourceDir, 'examples', 'sample-race');
    for (const f of readdirSync(from)) if (/\.(txt|TP1|course)$/.test(f)) copyFileSync(join(from, f), join(dir, f));
    race = writePage(join(dir, 'race.TP1'), 'course');
    const json = join(work, 'course.json'), csv = join(work, 'course.series.csv');
    execFileSync(exe, ['analyse', join(dir, 'race.TP1'), '--json', json, '--series', csv], { stdio: 'pipe' });
    analysis = JSON.parse(readFileSync(json, 'utf8'));
    series = readFileSync(csv, 'utf8').split('\r\n').slice(1).filter(Boolean).map((l) => l.split(','));
  });
  const seconds = (t) => { const m = /^(-?)(\d+):(\d\d):(\d\d)$/.exec(t); return (m[1] ? -1 : 1) * (m[2] * 3600 + m[3] * 60 + Number(m[4])); };
  const fixed = (v, d) => (v === null ? '-' : v.toFixed(d));
  // What the Analysis window reads out for boat k at race time t from `--series`: the fix
  // nearest (the earlier of two as near), none beyond a minute.
  function readOut(k, t) {
    const b = analysis.boats[k], gun = Date.parse(b.gun);
    const fixes = series.filter((f) => Number(f[0]) === b.row).map((f) => ({ s: (Date.parse(f[1]) - gun) / 1000, f }));
    let best = null;
    for (const x of fixes) if (!best || Math.abs(x.s - t / b.lys) < Math.abs(best.s - t / b.lys)) best = x;
    if (!best || Math.abs(best.s * b.lys - t) > 60) return null;
    return [5, 6, 7].map((i) => (best.f[i] === '' ? null : Number(best.f[i])));
  }
  // The page's speed and VMG to a tenth and course to a degree against the series' 2 and 1
  // decimals: the same number, to the series' rounding.
  function sameReadOut(cells, expected, what) {
    if (!expected) return assert.deepEqual(cells, ['-', '-', '-'], what);
    const [speed, course, vmg] = expected;
    assert.ok(Math.abs(Number(cells[0]) - speed) <= 0.0501, `${what}: speed ${cells[0]}, the series ${speed}`);
    const turn = Math.abs(Number(cells[1]) - course) % 360;
    assert.ok(Math.min(turn, 360 - turn) <= 0.5501, `${what}: course ${cells[1]}, the series ${course}`);
    if (vmg === null) assert.equal(cells[2], '-', what);
    else assert.ok(Math.abs(Number(cells[2]) - vmg) <= 0.0501, `${what}: VMG ${cells[2]}, the series ${vmg}`);
  }

  test('the start and the legs as `analyse --json`, the tacks and gybes up to each step, a boat followed', async () => {
    const page = await openPage(`${race.url}#step=0`);
    const table = (id) => page.evaluate((i) => [...document.getElementById(i).tBodies[0].rows].map((r) =>
      [...r.cells].map((c) => c.textContent)), id);
    const captions = analysis.boats.map((b) => b.caption);
    assert.deepEqual(await table('start-report'), analysis.boats.filter((b) => b.start).map((b) => [b.caption,
      fixed(b.start.line_distance_m, 1), fixed(b.start.line_position, 3), fixed(b.start.speed_kn, 2),
      fixed(b.start.seconds_late, 1), b.start.returned ? 'returned' : b.start.ocs ? 'yes' : 'no']));
    const legs = analysis.boats.flatMap((b) => b.legs.map((l) => [b.caption, `${l.from} \u2192 ${l.to}`, String(l.lap),
      l.kind || '-', fixed(l.seconds, 1), fixed(l.distance_nm, 3), fixed(l.mean_speed_kn, 2), fixed(l.vmg_kn, 2),
      String(l.tacks), String(l.gybes), fixed(l.mean_loss_m, 1), String(l.rank), fixed(l.gap_s, 1)]));
    assert.ok(legs.length >= 4 * 6, `${legs.length} legs`);
    assert.deepEqual(await table('legs'), legs);
    assert.match(await page.$eval('#start-line', (e) => e.textContent), /^Start line: /);

    // Enter on a boat's name chooses it; a click on another's row too.
    await page.focus('#boats tbody tr:nth-child(2) button');
    await page.keyboard.press('Enter');
    await page.click('#boats tbody tr:nth-child(4) td:nth-child(2)');
    assert.deepEqual(await page.$$eval('#boats button[aria-pressed="true"]', (b) => b.map((e) => e.textContent)),
      [captions[1], captions[3]]);
    for (const n of [0, 1, 31, 120, 250, 477, race.steps]) {
      await page.evaluate((h) => { location.hash = h; }, `#step=${n}`);
      await page.waitForFunction((v) => document.querySelector('#position').value === String(v), {}, n);
      await expectStep(page, race, n, `#step=${n}`);
      const t = n === 0 ? -Infinity : seconds(race.expected(n).raceTime);
      const count = (kind) => [1, 3].reduce((sum, k) => sum + analysis.boats[k].manoeuvres.filter((m) =>
        m.kind === kind && !m.before_start && seconds(m.race_time) <= t).length, 0);
      const text = await page.$eval('#manoeuvres-shown', (e) => e.textContent);
      const [tacks, gybes] = /: (\d+) tacks?.*, (\d+) gybes?/.exec(text).slice(1).map(Number);
      assert.deepEqual([tacks, gybes], [count('tack'), count('gybe')], `step ${n}: ${text}`);
      const chosen = await table('chosen');
      assert.deepEqual(chosen.map((r) => r[0]), [captions[1], captions[3]]);
      [1, 3].forEach((k, i) => sameReadOut(chosen[i].slice(1), n === 0 ? null : readOut(k, t), `step ${n}, ${captions[k]}`));
    }
    assert.match(await page.$eval('#speed-caption', (e) => e.textContent), new RegExp(`${captions[1]} from \\d`));
    // The chart follows the boat chosen last; a pan lets it go.
    const view = () => page.evaluate(() => ({ ...window.tideplotStats.view }));
    const before = await view();
    await page.evaluate(() => { location.hash = '#step=200'; });
    await page.waitForFunction(() => window.tideplotStats.view.cx !== undefined);
    await new Promise((r) => setTimeout(r, 100));
    assert.notDeepEqual(await view(), before, 'the chart follows the boat');
    assert.deepEqual(page.errors, []);
  });

  test('axe-core finds no fault in the debrief, light and dark; a phone is not broken', async () => {
    const axeSource = readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');
    for (const [scheme, viewport] of [['light', { width: 1280, height: 900 }], ['dark', { width: 390, height: 844, isMobile: true, hasTouch: true }]]) {
      const page = await browser.newPage();
      await page.setBypassCSP(true);
      await page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: scheme }]);
      await page.setViewport(viewport);
      await page.goto(`${race.url}#step=300`);
      await page.waitForFunction(() => document.documentElement.dataset.ready === 'true');
      await page.click('#boats tbody tr:nth-child(3) button');
      await page.addScriptTag({ content: axeSource });
      const found = await page.evaluate(async () => (await window.axe.run(document)).violations.map((v) =>
        `${v.id} (${v.impact}): ${v.nodes.map((n) => n.target.join(' ')).slice(0, 5).join(', ')}`));
      assert.deepEqual(found, [], `axe-core, ${scheme}`);
      const sizes = await page.$$eval('#boats button.choose', (b) => b.map((e) => [e.offsetWidth, e.offsetHeight]));
      assert.ok(sizes.every(([w, h]) => w >= 44 && h >= 44), `targets ${JSON.stringify(sizes)}`);
      const widths = await page.evaluate(() => ({ page: document.documentElement.scrollWidth, view: innerWidth }));
      assert.ok(widths.page <= widths.view, `${scheme}: the page is ${widths.page} pixels wide in ${widths.view}`);
      await page.close();
    }
  });
});

describe('a larger fleet from the race generator', () => {
  test('nine boats: every row of the Boats table at several steps', async () => {
    const dir = join(work, 'nine');
    execFileSync(racegen, ['--out', dir, '--boats', '9', '--hours', '1', '--seed', '5'], { stdio: 'pipe' });
    const race = writePage(join(dir, 'race.TP1'), 'nine', ['--resolution', '7.5', '--points', '20', '--tail', '15', '--title', 'Club race <June> \u05e9']);
    assert.equal(race.legend.length, 9);
    const page = await openPage(`${race.url}#step=${race.steps}`);
    for (const n of [race.steps, 1, 41, 42, Math.floor(race.steps / 2)]) {
      await page.evaluate((h) => { location.hash = h; }, `#step=${n}`);
      await page.waitForFunction((v) => document.querySelector('#position').value === String(v), {}, n);
      await expectStep(page, race, n, `#step=${n}`);
    }
    assert.equal(await page.$eval('#tail', (e) => e.value), '15');
    assert.deepEqual(await page.evaluate(() => [document.title, document.querySelector('h1').textContent]),
      ['Club race <June> \u05e9', 'Club race <June> \u05e9'], '--title');
    assert.equal(await page.$('#leaderboard-section:not([hidden])'), null, 'no finish line: no leaderboard');
  });
});

describe('safety', () => {
  test('names from files are text: a boat <img src=x onerror=alert(1)>.txt runs nothing', async () => {
    const dir = join(work, 'names');
    execFileSync('mkdir', ['-p', dir]);
    const from = join(sourceDir, 'examples', 'sample-race');
    const evil = '<img src=x onerror=alert(1)>.txt';
    copyFileSync(join(from, 'Elsa.txt'), join(dir, evil));
    copyFileSync(join(from, 'Saga.txt'), join(dir, '<script><script>alert(2)<!--.txt'));
    const raceName = '<img src=y onerror=alert(3)>';
    writeFileSync(join(dir, `${raceName}.TP1`),
      `${evil} , 2008-06-21 11:00:00 , 1.00 , 0 , ,\r\n<script><script>alert(2)<!--.txt , 2008-06-21 11:03:30 , 1.05 , 1023 , ,\r\n`);
    writeFileSync(join(dir, `${raceName}.TP1.course`), 'finish 57.598843 11.502571 57.601157 11.497429\r\n');
    const race = writePage(join(dir, `${raceName}.TP1`), 'names');
    const page = await openPage(`${race.url}#step=300`);
    await expectStep(page, race, 300, 'names from files');
    const seen = await page.evaluate(() => ({
      images: document.images.length,
      scripts: document.scripts.length,
      title: document.title,
      heading: document.querySelector('h1').textContent,
      // The results name each boat as the legend does, and its track file last.
      results: [...document.querySelector('table[aria-label="Results"]').tBodies[0].rows].map((r) => r.cells[7].textContent),
    }));
    assert.deepEqual(seen.images, 0);
    assert.equal(seen.scripts, 2, 'the page\'s own data and script elements only');
    assert.equal(seen.title, raceName);
    assert.equal(seen.heading, raceName);
    assert.deepEqual(seen.results.sort(), [evil, '<script><script>alert(2)<!--.txt'].sort());
    await new Promise((resolve) => setTimeout(resolve, 300));
    assert.deepEqual(page.dialogs, [], 'a dialog opened');
    assert.deepEqual(page.errors, []);
  });

  test('with a map, only its tile server is asked, and its credit shows; without one nothing leaves', async () => {
    const sample = join(sourceDir, 'examples', 'sample-race', 'race.TP1');
    const race = writePage(sample, 'osm', ['--map', 'openstreetmap']);
    const page = await browser.newPage();
    await page.setViewport({ width: 800, height: 700 });
    await page.setRequestInterception(true);
    const asked = [];
    // a 1x1 PNG for every tile: the test machine has no network
    const png = Buffer.from('iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==', 'base64');
    page.on('request', (request) => {
      const u = request.url();
      if (u.startsWith('file:') || u.startsWith('data:')) return request.continue();
      asked.push(u);
      return request.respond({ status: 200, contentType: 'image/png', body: png });
    });
    await page.goto(`${race.url}#step=200`);
    await page.waitForFunction((n) => window.tideplotStats && window.tideplotStats.framesDrawn > 1, {}, 1);
    await page.waitForFunction(() => document.documentElement.dataset.ready === 'true');
    await new Promise((resolve) => setTimeout(resolve, 300));
    assert.ok(asked.length > 0, 'no tile asked for');
    for (const u of asked) assert.match(u, /^https:\/\/tile\.openstreetmap\.org\/\d+\/\d+\/\d+\.png$/);
    assert.equal(await page.$eval('#attribution', (e) => (e.hidden ? '' : e.textContent)), '\u00a9 OpenStreetMap contributors');
    // The policy forbids any other source, whatever a script tried.
    const blocked = await page.evaluate(async () => {
      try { await fetch('https://example.org/'); return 'fetched'; } catch { return 'blocked'; }
    });
    assert.equal(blocked, 'blocked');
    assert.ok(!asked.some((u) => u.includes('example.org')));

    // A server with subdomains ({s}): its tiles asked of a, b and c in turn, as tile clients
    // do, each of them allowed by the policy.
    const spread = writePage(sample, 'subdomains', ['--map', 'https://{s}.tiles.example.net/{z}/{x}/{y}.png']);
    asked.length = 0;
    await page.goto(`${spread.url}#step=200`);
    await page.waitForFunction(() => document.documentElement.dataset.ready === 'true');
    await page.waitForFunction((n) => window.tideplotStats && window.tideplotStats.framesDrawn > 1, {}, 1);
    await new Promise((resolve) => setTimeout(resolve, 300));
    const hosts = new Set();
    for (const u of asked) {
      const m = /^https:\/\/([abc])\.tiles\.example\.net\/\d+\/(\d+)\/(\d+)\.png$/.exec(u);
      assert.ok(m, u);
      assert.equal(m[1], 'abc'[(Number(m[2]) + Number(m[3])) % 3], u);
      hosts.add(m[1]);
    }
    assert.ok(hosts.size > 1, `tiles asked of ${[...hosts]} only`);
    assert.equal(await page.$eval('#attribution', (e) => e.textContent), 'Map tiles: tiles.example.net');

    assert.throws(() => writePage(sample, 'nofile', ['--map', join(work, 'harbour.mbtiles')]),
      (e) => /cannot read the MBTiles file .*: no such file/.test(String(e.stderr)));
  });

  test('an MBTiles file goes into the page: its tiles under the tracks with no network, and its credit', async () => {
    // Every tile of zooms 9 to 15 over the sample's waters an 8x8 PNG of (200, 100, 50).
    const png = `X'${Buffer.from('iVBORw0KGgoAAAANSUhEUgAAAAgAAAAICAIAAABLbSncAAAAEUlEQVR42mM4kWKEFTEMLQkAVkZXgUFSAJcAAAAASUVORK5CYII=', 'base64').toString('hex')}'`;
    const rows = [];
    for (let z = 9; z <= 15; ++z) {
      const n = 2 ** z, column = (lon) => Math.floor((lon / 360 + 0.5) * n);
      const row = (lat) => Math.floor((0.5 - Math.log(Math.tan(Math.PI / 4 + lat * Math.PI / 360)) / (2 * Math.PI)) * n);
      for (let x = column(11.3); x <= column(11.7); ++x) for (let y = row(57.7); y <= row(57.5); ++y) rows.push(`(${z},${x},${n - 1 - y},${png})`);
    }
    const mbtiles = join(work, 'waters.mbtiles');
    // Python's own SQLite (python3 is among the packages the tests install) writes the file.
    const sqlite = 'import sqlite3, sys; c = sqlite3.connect(sys.argv[1]); c.executescript(sys.stdin.read()); c.commit()';
    execFileSync('python3', ['-c', sqlite, mbtiles], { input: "CREATE TABLE metadata (name, value); INSERT INTO metadata VALUES ('attribution', '&copy; Test charts');" +
      `CREATE TABLE tiles (zoom_level, tile_column, tile_row, tile_data); INSERT INTO tiles VALUES ${rows.join(',')};` });
    const race = writePage(join(sourceDir, 'examples', 'sample-race', 'race.TP1'), 'mbtiles', ['--map', mbtiles]);
    const page = await openPage(`${race.url}#step=0`, { width: 1280, height: 800 });
    await new Promise((resolve) => setTimeout(resolve, 300));
    // Within the race's box, before the first step: the map alone.
    const box = await page.$eval('#chart-box', (e) => e.getBoundingClientRect().toJSON());
    const shot = await page.screenshot({ encoding: 'base64', clip: { x: Math.round(box.x + box.width * 0.4), y: Math.round(box.y + box.height * 0.6), width: 1, height: 1 } });
    const colour = await page.evaluate(async (base64) => {
      const img = new Image();
      img.src = `data:image/png;base64,${base64}`;
      await img.decode();
      const c = document.createElement('canvas').getContext('2d');
      c.drawImage(img, 0, 0);
      return [...c.getImageData(0, 0, 1, 1).data.slice(0, 3)];
    }, shot);
    assert.deepEqual(colour, [200, 100, 50]);
    assert.equal(await page.$eval('#attribution', (e) => (e.hidden ? '' : e.textContent)), '\u00a9 Test charts');
    assert.deepEqual(page.errors, []);
  });
});

after(() => {
  assert.deepEqual(outside, [], 'requests left a page without a map');
});
