// The page's timing in headless Chromium: for each picture, the time from a
// change of the dithering to its preview drawn (the stage's data-results
// count going up) and to Download enabled, and from a click on Download to
// the file, each change made while the previous choice's figures are still
// being measured; then the time until the figures arrive when left alone.
//
// Usage: node bench/page_timing.mjs PAGE.html PICTURE... [--rounds N]
// Needs playwright-core (web/node_modules) and Chromium (CHROMIUM, default
// /usr/bin/chromium).
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { basename, join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { createRequire } from 'node:module';

const require = createRequire(new URL('../web/package.json', import.meta.url));
const { chromium } = require('playwright-core');

const args = process.argv.slice(2);
let rounds = 5;
const roundsAt = args.indexOf('--rounds');
if (roundsAt >= 0) {
  rounds = Number(args[roundsAt + 1]);
  args.splice(roundsAt, 2);
}
const [pagePath, ...pictures] = args;
if (!pagePath || pictures.length === 0) {
  console.error('usage: node bench/page_timing.mjs PAGE.html PICTURE... [--rounds N]');
  process.exit(2);
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor((values.length - 1) / 2)];
const ms = (value) => `${value.toFixed(0)} ms`;

const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking'],
});
const work = mkdtempSync(join(tmpdir(), 'halvex-page-timing-'));
try {
  const context = await browser.newContext({ acceptDownloads: true, viewport: { width: 1280, height: 800 } });
  const page = await context.newPage();
  page.on('crash', () => console.error('the page crashed'));
  page.on('pageerror', (error) => {
    console.error(`page error: ${error.message}`);
    process.exitCode = 1;
  });
  await page.goto(pathToFileURL(pagePath).href);
  const results = () => page.evaluate(() => Number(document.getElementById('stage').dataset.results));

  for (const picture of pictures) {
    const before = await results();
    const opened = Date.now();
    await page.setInputFiles('#file-input', picture);
    await page.waitForFunction((n) => Number(document.getElementById('stage').dataset.results) > n
      && !document.getElementById('download').disabled, before, { timeout: 120000 });
    const openMs = Date.now() - opened;
    const size = await page.textContent('#source-info');
    const previews = [];
    const downloads = [];
    const files = [];
    const values = ['atkinson-boyle', 'floyd-steinberg', 'ordered', 'none'];
    for (let round = 0; round < rounds; round += 1) {
      // The change comes while the last choice's figures are being measured.
      const [preview, download] = await page.evaluate((choices) => new Promise((resolve) => {
        const stage = document.getElementById('stage');
        const button = document.getElementById('download');
        const before = Number(stage.dataset.results);
        const start = performance.now();
        let drawn = null;
        const check = () => {
          if (drawn === null && Number(stage.dataset.results) > before) drawn = performance.now() - start;
          if (drawn !== null && !button.disabled) {
            observer.disconnect();
            requestAnimationFrame(() => resolve([drawn, performance.now() - start]));
          }
        };
        const observer = new MutationObserver(check);
        observer.observe(stage, { attributes: true });
        observer.observe(button, { attributes: true });
        // Another mode than the one shown, or nothing would change.
        const select = document.getElementById('dither');
        select.value = choices.find((value) => value !== select.value);
        select.dispatchEvent(new Event('change'));
      }), [values[round % values.length], values[(round + 1) % values.length]]);
      previews.push(preview);
      downloads.push(download);
      const clicked = Date.now();
      const [file] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
      await file.saveAs(join(work, `${round}.rgn`));
      files.push(Date.now() - clicked);
    }
    const measured = Date.now();
    await page.waitForFunction(() => document.getElementById('figures').getAttribute('aria-busy') === 'false',
      null, { timeout: 600000 });
    const figuresMs = Date.now() - measured;
    console.log(`${basename(picture)} (${size.replace(/^[^:]*: /, '')}): opened in ${ms(openMs)}; ` +
      `over ${rounds} changes, median (max): preview ${ms(median(previews))} (${ms(Math.max(...previews))}), ` +
      `Download enabled ${ms(median(downloads))} (${ms(Math.max(...downloads))}), ` +
      `file after the click ${ms(median(files))} (${ms(Math.max(...files))}); figures after ${ms(figuresMs)} more`);
  }
} finally {
  await browser.close();
  rmSync(work, { recursive: true, force: true });
}
