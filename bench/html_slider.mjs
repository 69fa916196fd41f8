// The web page's replay position dragged end to end in headless Chromium, as a mouse drags
// it: the thumb taken at step 0 and moved to the right end in `moves` pointer moves, one
// every 1/60 s, then back to the start; the page redraws on every frame its slider moved
// in. Prints for each drag the frames the page drew a second (goal: 30 or more; the moves
// come at 60 a second) and the time its script took to draw a frame (what the browser
// takes to paint the canvas comes on top).
//
//   node bench/html_slider.mjs PAGE.html [moves] [WIDTHxHEIGHT]
//
// Needs Chromium and puppeteer-core as the web page's tests do (scripts/install-deps.sh).
import { pathToFileURL } from 'node:url';
import { launch, missing } from '../tests/web/chromium.mjs';

const [pagePath, movesText = '300', sizeText = '1280x800'] = process.argv.slice(2);
if (!pagePath) {
  console.error('usage: node bench/html_slider.mjs PAGE.html [moves] [WIDTHxHEIGHT]');
  process.exit(2);
}
const why = missing();
if (why) {
  console.error(`cannot run: ${why}`);
  process.exit(2);
}
const moves = Number(movesText);
const [width, height] = sizeText.split('x').map(Number);

const browser = await launch();
try {
  const page = await browser.newPage();
  await page.setViewport({ width, height });
  await page.goto(`${pathToFileURL(pagePath).href}#step=0`);
  await page.waitForFunction(() => document.documentElement.dataset.ready === 'true');
  await new Promise((resolve) => setTimeout(resolve, 500));
  const steps = await page.$eval('#position', (e) => Number(e.max));
  await page.$eval('#position', (e) => e.scrollIntoView({ block: 'center' }));
  const box = await (await page.$('#position')).boundingBox();
  const y = box.y + box.height / 2;
  // The thumb's centre runs from half a thumb in from the left to half a thumb in from the right.
  const thumb = 16;
  const x0 = box.x + thumb / 2, x1 = box.x + box.width - thumb / 2;
  // One drag from `from` to `to` (pixels along the slider), a move every 1/60 s.
  async function drag(from, to, name) {
    await page.mouse.move(from, y);
    await page.mouse.down();
    const before = await page.evaluate(() => ({ frames: window.tideplotStats.framesDrawn, drawn: window.tideplotStats.drawMs.length }));
    const started = performance.now();
    for (let i = 1; i <= moves; ++i) {
      const due = started + (i * 1000) / 60;
      await page.mouse.move(from + ((to - from) * i) / moves, y);
      const wait = due - performance.now();
      if (wait > 0) await new Promise((resolve) => setTimeout(resolve, wait));
    }
    // the last frame of the drag
    await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));
    const seconds = (performance.now() - started) / 1000;
    await page.mouse.up();
    const after = await page.evaluate((drawn) => ({
      frames: window.tideplotStats.framesDrawn,
      drawMs: window.tideplotStats.drawMs.slice(drawn),
      position: Number(document.querySelector('#position').value),
    }), before.drawn);
    const frames = after.frames - before.frames;
    const sorted = after.drawMs.sort((a, b) => a - b);
    const at = (q) => sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))];
    console.log(`${name}: to step ${after.position} of ${steps} in ${moves} moves over ${seconds.toFixed(2)} s ` +
      `at ${width}x${height}: ${frames} frames drawn, ${(frames / seconds).toFixed(1)} frames a second; ` +
      `script time per frame: median ${at(0.5).toFixed(2)} ms, 95th percentile ${at(0.95).toFixed(2)} ms, ` +
      `max ${sorted.at(-1).toFixed(2)} ms`);
  }
  await drag(x0, x1, 'forward (start to end)');
  await drag(x1, x0, 'back (end to start, every frame drawn anew)');
} finally {
  await browser.close();
}
