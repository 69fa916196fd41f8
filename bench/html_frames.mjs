// The web page's frame rate in headless Chromium while a reader plays, pans, pinches and
// scrubs back: frames counted with requestAnimationFrame in the page over each gesture,
// and the longest time between two frames (the worst frame).
//
//   node bench/html_frames.mjs PAGE.html [desktop|phone] [seconds] [GESTURE,...]
//
// desktop: 1280x800 at 1x. phone: 390x844 at 3x pixels, touch, the CPU slowed 4x
// (Emulation.setCPUThrottlingRate). The gestures, each `seconds` long (default 3):
// - play: Play at 600x from the middle of the race;
// - pan: the mouse drags the chart in a circle, a move every 1/60 s;
// - pinch: two fingers spread and close on the chart, a move every 1/60 s;
// - scrub back: the slider dragged from the end to the start;
// - pan, scrub back: the chart first panned by half its width with the arrow keys (past the
//   margin that the tracks' picture keeps, so that it is moved and the strips it uncovers
//   drawn), then the slider dragged from the end to the start.
// GESTURE: only those named (play, pan, pinch, scrub, panscrub), all by default.
// Goals: 50 frames a second and no frame over 50 ms on the desktop; on the phone 30 frames a
// second for 7 boats, 20 for 64. Needs Chromium and puppeteer-core as the web page's tests
// do (scripts/install-deps.sh).
import { pathToFileURL } from 'node:url';
import { launch, missing } from '../tests/web/chromium.mjs';

const [pagePath, device = 'desktop', secondsText = '3', only = 'play,pan,pinch,scrub,panscrub'] = process.argv.slice(2);
const gestures = new Set(only.split(','));
if (!pagePath || !['desktop', 'phone'].includes(device)) {
  console.error('usage: node bench/html_frames.mjs PAGE.html [desktop|phone] [seconds]');
  process.exit(2);
}
const why = missing();
if (why) {
  console.error(`cannot run: ${why}`);
  process.exit(2);
}
const seconds = Number(secondsText);
const phone = device === 'phone';
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

const browser = await launch();
try {
  const page = await browser.newPage();
  await page.setViewport(phone ? { width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true }
    : { width: 1280, height: 800 });
  const cdp = await page.createCDPSession();
  const opened = performance.now();
  await page.goto(`${pathToFileURL(pagePath).href}#step=0`);
  await page.waitForFunction(() => document.documentElement.dataset.ready === 'true', { timeout: 120000 });
  const openSeconds = (performance.now() - opened) / 1000;
  if (phone) await cdp.send('Emulation.setCPUThrottlingRate', { rate: 4 });
  const steps = await page.$eval('#position', (e) => Number(e.max));
  console.log(`${pagePath} on the ${device}: ${steps} steps, ready in ${openSeconds.toFixed(2)} s`);

  // requestAnimationFrame's times from now until stop() is called.
  const startCounting = () => page.evaluate(() => {
    window.benchFrames = [];
    window.benchCounting = true;
    window.benchDrawn = window.tideplotStats.drawMs.length;
    const count = (t) => { if (!window.benchCounting) return; window.benchFrames.push(t); requestAnimationFrame(count); };
    requestAnimationFrame(count);
  });
  async function report(name) {
    const { times, drawMs } = await page.evaluate(() => {
      window.benchCounting = false;
      return { times: window.benchFrames, drawMs: window.tideplotStats.drawMs.slice(window.benchDrawn) };
    });
    let worst = 0;
    for (let i = 1; i < times.length; ++i) worst = Math.max(worst, times[i] - times[i - 1]);
    const span = (times.at(-1) - times[0]) / 1000;
    console.log(`  ${name.padEnd(15)} ${((times.length - 1) / span).toFixed(1).padStart(6)} frames a second, ` +
      `worst frame ${worst.toFixed(1)} ms; the page's script per frame: ` +
      `median ${(drawMs.sort((a, b) => a - b)[drawMs.length >> 1] || 0).toFixed(1)} ms, max ${(drawMs.at(-1) || 0).toFixed(1)} ms`);
  }
  async function goTo(step) {
    await page.evaluate((h) => { location.hash = h; }, `#step=${step}`);
    await page.waitForFunction((v) => document.querySelector('#position').value === String(v), {}, step);
    await sleep(phone ? 4000 : 1500); // the tracks drawn on to the step
  }
  // `move(i, t)` every 1/60 s for the gesture's seconds.
  async function paced(move) {
    const started = performance.now(), count = Math.round(seconds * 60);
    for (let i = 1; i <= count; ++i) {
      await move(i, i / count);
      const wait = started + (i * 1000) / 60 - performance.now();
      if (wait > 0) await sleep(wait);
    }
  }

  const chart = await (await page.$('#chart')).boundingBox();
  const cx = chart.x + chart.width / 2, cy = chart.y + chart.height / 2;

  if (gestures.has('play')) {
    await goTo(Math.floor(steps / 2));
    await page.select('#speed', '600');
    await startCounting();
    await page.click('#play');
    await sleep(seconds * 1000);
    await report('play');
    await page.click('#play');
  }

  if (gestures.has('pan')) {
    await goTo(steps);
    const radius = Math.min(chart.width, chart.height) / 4;
    await page.mouse.move(cx + radius, cy);
    await page.mouse.down();
    await startCounting();
    await paced((i, t) => page.mouse.move(cx + radius * Math.cos(2 * Math.PI * t),
      cy + radius * Math.sin(2 * Math.PI * t)));
    await report('pan');
    await page.mouse.up();
  }

  if (gestures.has('pinch')) {
    const touch = (type, points) => cdp.send('Input.dispatchTouchEvent',
      { type, touchPoints: points.map(([x, y], id) => ({ x, y, id })) });
    const spread = (t) => 20 + 60 * Math.sin(Math.PI * t);
    await touch('touchStart', [[cx - 20, cy], [cx + 20, cy]]);
    await startCounting();
    await paced((i, t) => touch('touchMove', [[cx - spread(t), cy], [cx + spread(t), cy]]));
    await touch('touchEnd', []);
    await report('pinch');
  }

  // The slider dragged from the end to the start, the chart first panned by `eighths` of its
  // width (each an arrow key on the chart).
  async function scrubBack(name, eighths) {
    await page.click('#zoom-all');
    await goTo(steps);
    if (eighths) {
      await page.focus('#chart');
      for (let i = 0; i < eighths; ++i) {
        await page.keyboard.press('ArrowLeft');
        await sleep(100);
      }
      await sleep(phone ? 4000 : 1500); // the strips drawn
    }
    await page.$eval('#position', (e) => e.scrollIntoView({ block: 'center' }));
    const box = await (await page.$('#position')).boundingBox();
    const y = box.y + box.height / 2, x0 = box.x + 8, x1 = box.x + box.width - 8;
    await page.mouse.move(x1, y);
    await page.mouse.down();
    await startCounting();
    await paced((i, t) => page.mouse.move(x1 + (x0 - x1) * t, y));
    await report(name);
    await page.mouse.up();
  }
  if (gestures.has('scrub')) await scrubBack('scrub back', 0);
  if (gestures.has('panscrub')) await scrubBack('pan, scrub back', 4);
} finally {
  await browser.close();
}
