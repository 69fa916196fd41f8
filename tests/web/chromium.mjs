// Chromium for the web page's tests and benchmark: Debian's /usr/bin/chromium (or
// $CHROMIUM) driven by puppeteer-core, headless, with nothing of its own going to the
// network (the machines that run the tests have none).
import { existsSync, mkdtempSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

export const chromiumPath = process.env.CHROMIUM || '/usr/bin/chromium';

// Why the browser cannot run here, or null.
export function missing() {
  if (!existsSync(chromiumPath)) return `no Chromium at ${chromiumPath} (Debian's package "chromium"; scripts/install-deps.sh installs it)`;
  try {
    createRequire(import.meta.url).resolve('puppeteer-core');
  } catch {
    return 'puppeteer-core is not installed in tests/web (scripts/install-deps.sh runs "npm ci" there)';
  }
  return null;
}

// For a test: exits 77 (skipped, saying why) when the browser cannot run here.
export function skipWithoutChromium() {
  const why = missing();
  if (why) {
    console.log(`skipped: ${why}`);
    process.exit(77);
  }
}

export async function launch() {
  const { default: puppeteer } = await import('puppeteer-core');
  const profile = mkdtempSync(join(tmpdir(), 'tideplot-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: chromiumPath,
    headless: true,
    args: [
      '--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
      '--disable-sync', '--no-first-run', '--disable-dev-shm-usage', `--user-data-dir=${profile}`,
    ],
  });
  const close = browser.close.bind(browser);
  browser.close = async () => {
    await close();
    rmSync(profile, { recursive: true, force: true });
  };
  return browser;
}
