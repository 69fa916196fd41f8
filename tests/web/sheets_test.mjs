// The chart's tracks in a real browser: the picture kept while the reader pans and steps
// back (copies of it moved with a pan, strips drawn where they do not reach, a scrub drawn a
// window of steps a frame) ends where a page opened at that step and panned alike ends.
// Run by ctest (tests/web/run.sh); exits 77 (skipped) without Chromium or puppeteer-core.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, test } from 'node:test';
import { pathToFileURL } from 'node:url';
import { launch, skipWithoutChromium } from './chromium.mjs';

skipWithoutChromium();

const exe = process.env.TIDEPLOT_EXE;
const racegen = process.env.TIDEPLOT_RACEGEN;
assert.ok(exe && racegen, 'set TIDEPLOT_EXE and TIDEPLOT_RACEGEN');

const work = mkdtempSync(join(tmpdir(), 'tideplot-sheets-test-'));
let browser, url, steps;

before(async () => {
  // Two hours of seven boats, a step a second: thousands of steps, so that a step back
  // starts from a kept copy and not from the start.
  execFileSync(racegen, ['--out', work, '--boats', '7', '--hours', '2', '--interval', '1', '--seed', '7'], { stdio: 'pipe' });
  const html = join(work, 'race.html');
  execFileSync(exe, ['replay', join(work, 'race.TP1'), '--resolution', '1', '--html', html], { stdio: 'pipe' });
  url = pathToFileURL(html).href;
  browser = await launch();
  const page = await browser.newPage();
  await page.goto(url);
  await page.waitForFunction(() => document.documentElement.dataset.ready === 'true');
  steps = await page.evaluate(() => Number(document.querySelector('input[aria-label="Replay position"]').max));
  await page.close();
  assert.ok(steps > 5000, `the race has ${steps} steps`);
});
after(async () => {
  await browser?.close();
  rmSync(work, { recursive: true, force: true });
});

// The page opened at `step`, its drawing at rest.
async function openAt(step) {
  const page = await browser.newPage();
  await page.setViewport({ width: 1000, height: 800 });
  await page.goto(`${url}#step=${step}`);
  await page.bringToFront(); // a tab behind another is given no frames
  await page.waitForFunction(() => document.documentElement.dataset.ready === 'true');
  await atRest(page, step);
  return page;
}

// Waits until no frame has been drawn for half a second: the tracks caught up with the
// slider standing at `step`.
async function atRest(page, step) {
  await page.waitForFunction((n) => document.querySelector('input[aria-label="Replay position"]').value === String(n) &&
    window.tideplotStats.framesDrawn > 0, {}, step);
  let frames = -1;
  for (let tries = 0; tries < 100; ++tries) {
    const now = await page.evaluate(() => window.tideplotStats.framesDrawn);
    if (now === frames) return;
    frames = now;
    await new Promise((resolve) => setTimeout(resolve, 500));
  }
  assert.fail('the chart never stopped drawing');
}

// Zoomed in, so that the tracks run past the view's edges, then panned half the view east.
async function zoomAndPan(page, step) {
  await page.focus('#chart');
  for (let i = 0; i < 2; ++i) await page.keyboard.press('+');
  await atRest(page, step);
  for (let i = 0; i < 4; ++i) await page.keyboard.press('ArrowRight');
  await atRest(page, step);
}

// The chart as the reader sees it, its pixels as RGBA bytes: once two screenshots a moment
// apart agree (the browser shows a canvas drawn in the last frame a little later).
async function picture(page) {
  const box = await (await page.$('#chart')).boundingBox();
  let last = null;
  for (let tries = 0; tries < 20; ++tries) {
    const png = await page.screenshot({ encoding: 'base64', clip: box });
    if (png === last) break;
    last = png;
    await new Promise((resolve) => setTimeout(resolve, 400));
  }
  return page.evaluate(async (data) => {
    const image = new Image();
    image.src = `data:image/png;base64,${data}`;
    await image.decode();
    const c = document.createElement('canvas');
    c.width = image.width; c.height = image.height;
    const context = c.getContext('2d');
    context.drawImage(image, 0, 0);
    return [...context.getImageData(0, 0, c.width, c.height).data];
  }, last);
}

function differingPixels(a, b) {
  assert.equal(a.length, b.length);
  let differing = 0;
  for (let i = 0; i < a.length; i += 4)
    if (Math.abs(a[i] - b[i]) + Math.abs(a[i + 1] - b[i + 1]) + Math.abs(a[i + 2] - b[i + 2]) > 24) ++differing;
  return differing / (a.length / 4);
}

// The slider moved to `step`; let go when `letGo`.
function moveTo(page, step, letGo = false) {
  return page.evaluate((n, end) => {
    const slider = document.querySelector('input[aria-label="Replay position"]');
    slider.value = String(n);
    slider.dispatchEvent(new Event('input', { bubbles: true }));
    if (end) slider.dispatchEvent(new Event('change', { bubbles: true }));
  }, step, letGo);
}

test('zoomed, panned, then stepped or scrubbed back: the tracks as drawn afresh in that view', async () => {
  const target = Math.round(steps * 0.45);
  // The tracks drawn in the panned view from the start: zoomed and panned before any piece is
  // drawn, then played to the step at once.
  const fresh = await openAt(0);
  await zoomAndPan(fresh, 0);
  await moveTo(fresh, target, true);
  await atRest(fresh, target);
  const expected = await picture(fresh);
  await fresh.close();

  const kept = await openAt(steps);
  await zoomAndPan(kept, steps);
  await moveTo(kept, target, true);
  await atRest(kept, target);
  const jumped = differingPixels(await picture(kept), expected);
  assert.ok(jumped < 0.002, `a jump back after a pan differs in ${(jumped * 100).toFixed(2)} % of the chart`);

  // A scrub: forward to the end, then back to the step a little at a time.
  await moveTo(kept, steps, true);
  await atRest(kept, steps);
  for (let i = 1; i <= 12; ++i) {
    await moveTo(kept, Math.round(steps - ((steps - target) * i) / 12), i === 12);
    await new Promise((resolve) => setTimeout(resolve, 30));
  }
  await atRest(kept, target);
  const scrubbed = differingPixels(await picture(kept), expected);
  assert.ok(scrubbed < 0.002, `a scrub back after a pan differs in ${(scrubbed * 100).toFixed(2)} % of the chart`);
  await kept.close();
  const unmoved = differingPixels(expected, await picture(await openAt(target)));
  assert.ok(unmoved > 0.01, `zoomed and panned, the picture changed in ${(unmoved * 100).toFixed(2)} % only`);
});
