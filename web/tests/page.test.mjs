// The page in a real browser (Debian's Chromium driven by playwright-core),
// opened from disk: every download is compared byte for byte with what
// halvex-cli writes for the same picture and choices.
//
// Environment: HALVEX_PAGE (the built halvex.html), HALVEX_CLI (the Linux
// halvex-cli), HALVEX_SAMPLE (samples/sample.bmp); CHROMIUM overrides
// /usr/bin/chromium.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, writeFileSync, statSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const pagePath = process.env.HALVEX_PAGE;
const cli = process.env.HALVEX_CLI;
const sample = process.env.HALVEX_SAMPLE;
const pageUrl = pathToFileURL(pagePath).href;
const work = mkdtempSync(join(tmpdir(), 'halvex-web-'));

let browser;
let context;
let page;
const foreignRequests = [];
const longTasks = [];

before(async () => {
  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  context = await browser.newContext({ acceptDownloads: true });
  context.on('request', (request) => {
    const url = request.url();
    if (url !== pageUrl && !url.startsWith('blob:') && !url.startsWith('data:')) foreignRequests.push(url);
  });
  page = await context.newPage();
  page.on('pageerror', (error) => assert.fail(`page error: ${error.message}`));
  await page.addInitScript(() => {
    window.halvexLongTasks = [];
    new PerformanceObserver((list) => {
      for (const entry of list.getEntries()) window.halvexLongTasks.push(entry.duration);
    }).observe({ type: 'longtask', buffered: true });
  });
  await page.goto(pageUrl);
});

after(async () => {
  await browser?.close();
  rmSync(work, { recursive: true, force: true });
});

// Waits until the page has drawn a result newer than `since`.
async function nextResult(since) {
  await page.waitForFunction((n) => Number(document.getElementById('stage').dataset.generation || 0) > n
    && document.getElementById('stage').dataset.state === 'ready', since, { timeout: 60000 });
}

async function generation() {
  return page.evaluate(() => Number(document.getElementById('stage').dataset.generation || 0));
}

async function openPicture(path) {
  const before = await generation();
  await page.setInputFiles('#file-input', path);
  await nextResult(before);
}

async function choose(choices) {
  const before = await generation();
  let changed = false;
  for (const [id, value] of Object.entries(choices)) {
    const element = page.locator(`#${id}`);
    if ((await element.getAttribute('type')) === 'checkbox') {
      // A choice that does not apply (serpentine without error diffusion) stays as it is.
      if (await element.isEnabled() && (await element.isChecked()) !== value) {
        await element.setChecked(value);
        changed = true;
      }
    } else if ((await element.inputValue()) !== String(value)) {
      if ((await element.evaluate((e) => e.tagName)) === 'SELECT') await element.selectOption(String(value));
      else {
        await element.fill(String(value));
        await element.evaluate((e) => e.blur()); // commits the value, as leaving the field does
      }
      changed = true;
    }
  }
  if (changed) await nextResult(before);
}

async function download(button) {
  const [file] = await Promise.all([page.waitForEvent('download'), page.click(button)]);
  const path = join(work, `download-${Date.now()}`);
  await file.saveAs(path);
  return { name: file.suggestedFilename(), bytes: readFileSync(path) };
}

function cliConvert(input, args) {
  const out = join(work, `cli-${Date.now()}.rgn`);
  execFileSync(cli, ['convert', ...args, input, out]);
  return readFileSync(out);
}

const methods = { 0: 'none', 1: 'floyd-steinberg', 2: 'atkinson-boyle', 3: 'ordered' };
const fits = { 0: 'contain', 1: 'cover', 2: 'stretch' };
const defaults = { dither: 1, serpentine: false, green: true, decoder: 0, background: '#000000',
  'resize-width': '', 'resize-height': '', fit: 0, filter: 0 };

// The command line's options for the page's choices.
function cliArgs(c) {
  const args = ['--dither', methods[c.dither], '--green-compensation', c.green ? 'on' : 'off',
    '--decoder', c.decoder === 1 ? 'standard' : 'compatible', '--background', c.background.slice(1)];
  if (c.serpentine && (c.dither === 1 || c.dither === 2)) args.push('--serpentine');
  if (c['resize-width'] || c['resize-height']) {
    args.push('--resize', `${c['resize-width']}x${c['resize-height']}`, '--fit', fits[c.fit]);
    if (c.filter === 1) args.push('--filter', 'nearest');
  }
  return args;
}

// Inputs of every kind, made from the sample with ImageMagick.
function makeInputs() {
  const made = { bmp: sample };
  const magick = (name, ...args) => {
    made[name] = join(work, `sample.${name.split('-')[0]}`);
    if (name.includes('-')) made[name] = join(work, `${name}.${name.split('-')[0]}`);
    execFileSync('convert', [sample, ...args, made[name]]);
  };
  magick('tga');
  magick('png-alpha', '-alpha', 'set', '-channel', 'A', '-fx', 'i/w', '+channel');
  magick('jpg', '-quality', '90');
  return made;
}

test('downloads are the command line\'s bytes', async () => {
  const inputs = makeInputs();
  const cases = [
    ['bmp', {}],
    ['bmp', { dither: 0, green: false }],
    ['bmp', { dither: 2, serpentine: true }],
    ['bmp', { dither: 3, 'resize-width': '97', 'resize-height': '40', fit: 1 }],
    ['tga', { decoder: 1, dither: 1, serpentine: true }],
    ['png-alpha', { background: '#3366cc' }],
    ['png-alpha', { 'resize-width': '64', 'resize-height': '64', fit: 0, background: '#ffffff', filter: 1 }],
    ['jpg', { dither: 2, 'resize-width': '', 'resize-height': '50', fit: 2 }],
  ];
  for (const [kind, choices] of cases) {
    const c = { ...defaults, ...choices };
    await choose(c);
    await openPicture(inputs[kind]);
    const saved = await download('#download');
    const base = inputs[kind].split('/').pop().replace(/\.[^.]*$/, '');
    assert.equal(saved.name, `${base}.rgn`);
    const expected = cliConvert(inputs[kind], cliArgs(c));
    assert.ok(saved.bytes.equals(expected), `${kind} ${JSON.stringify(choices)}`);
  }
  await choose(defaults);
});

test('the saved preview is the command line\'s preview', async () => {
  await openPicture(sample);
  const saved = await download('#download-preview');
  assert.equal(saved.name, 'sample-preview.png');
  const rgn = join(work, 'preview-source.rgn');
  writeFileSync(rgn, cliConvert(sample, []));
  const png = join(work, 'cli-preview.png');
  execFileSync(cli, ['preview', rgn, png]);
  assert.ok(saved.bytes.equals(readFileSync(png)));
});

test('raw words and C text are the command line\'s bytes', async () => {
  await choose({ ...defaults, dither: 2 });
  await openPicture(sample);
  assert.ok(await page.locator('#byte-order').isDisabled(), 'RGN/MBR files are little-endian');
  for (const [extension, order] of [['raw', 'little'], ['bin', 'big'], ['c', 'big'], ['h', 'little']]) {
    await page.selectOption('#extension', extension);
    await page.selectOption('#byte-order', order);
    const saved = await download('#download');
    assert.equal(saved.name, `sample.${extension}`);
    const out = join(work, `cli-${Date.now()}`);
    mkdirSync(out);
    execFileSync(cli, ['convert', ...cliArgs({ ...defaults, dither: 2 }), '--byte-order', order, sample,
      join(out, saved.name)]);
    assert.ok(saved.bytes.equals(readFileSync(join(out, saved.name))), `${extension} ${order}`);
  }
  await page.selectOption('#extension', 'rgn');
  assert.equal(await page.inputValue('#byte-order'), 'little');
  await choose(defaults);
});

test('a bad file shows the message and keeps the page usable', async () => {
  const bad = join(work, 'bad.bmp');
  writeFileSync(bad, 'not a picture at all');
  await page.setInputFiles('#file-input', bad);
  await page.waitForFunction(() => document.getElementById('error').textContent !== '');
  assert.match(await page.textContent('#error'), /bad\.bmp: Error reading file \(not BMP\?\)/);
  const saved = await download('#download');
  assert.equal(saved.name, 'sample.rgn', 'the previous picture is still held');
});

// A 24-bit BMP of width x height whose pixels come from pixel(x, y) -> [r, g, b].
function bmpFile(width, height, pixel) {
  const rowBytes = (width * 3 + 3) & ~3;
  const file = Buffer.alloc(54 + rowBytes * height);
  file.write('BM', 0, 'latin1');
  file.writeUInt32LE(file.length, 2);
  file.writeUInt32LE(54, 10);
  file.writeUInt32LE(40, 14);
  file.writeInt32LE(width, 18);
  file.writeInt32LE(height, 22);
  file.writeUInt16LE(1, 26);
  file.writeUInt16LE(24, 28);
  file.writeUInt32LE(rowBytes * height, 34);
  for (let y = 0; y < height; y += 1) {
    const row = 54 + (height - 1 - y) * rowBytes;
    for (let x = 0; x < width; x += 1) {
      const [r, g, b] = pixel(x, y);
      file[row + 3 * x] = b;
      file[row + 3 * x + 1] = g;
      file[row + 3 * x + 2] = r;
    }
  }
  return file;
}

const gradient = (width, height) => (x, y) =>
  [(x * 255 / width) | 0, (y * 255 / height) | 0, ((x ^ y) * 7) & 255];

test('a picture without pixels gives the empty file', async () => {
  const empty = join(work, 'empty.bmp');
  writeFileSync(empty, bmpFile(0, 0, () => [0, 0, 0]));
  await openPicture(empty);
  const saved = await download('#download');
  assert.equal(saved.name, 'empty.rgn');
  assert.ok(saved.bytes.equals(cliConvert(empty, [])));
});

test('compare all lists every mode, best first', async () => {
  await openPicture(sample);
  await page.click('#compare-all');
  await page.waitForFunction(() => !document.getElementById('compare-section').hidden);
  const means = await page.$$eval('#compare-table tbody tr', (rows) => rows.map((r) => Number(r.cells[4].textContent)));
  assert.equal(means.length, 12);
  assert.deepEqual(means, [...means].sort((a, b) => a - b));
  assert.equal(await page.locator('#compare-tiles canvas').count(), 6);
});

test('a large picture keeps the page responsive', async () => {
  const large = join(work, 'large.bmp');
  writeFileSync(large, bmpFile(4000, 3000, gradient(4000, 3000)));
  await page.evaluate(() => { window.halvexLongTasks.length = 0; });
  await openPicture(large);
  await choose({ dither: 2 });
  const tasks = await page.evaluate(() => window.halvexLongTasks);
  console.log(`longest main-thread task while converting 4000 x 3000: ${Math.max(0, ...tasks).toFixed(0)} ms`);
  assert.ok(tasks.every((t) => t <= 200), `long tasks: ${tasks.join(', ')}`);
});

test('the page makes no request but for itself', () => {
  assert.deepEqual(foreignRequests, []);
});

test('readout: size and the time from a choice to its preview', async () => {
  const picture = join(work, 'screen.bmp');
  writeFileSync(picture, bmpFile(800, 480, gradient(800, 480)));
  await openPicture(picture);
  const times = [];
  for (const value of ['2', '1', '0', '3', '1']) {
    // Each change starts from an idle page: the figures of the one before are done.
    await page.waitForFunction(() => document.getElementById('stage').dataset.state === 'ready');
    times.push(await page.evaluate((v) => new Promise((resolve) => {
      const stage = document.getElementById('stage');
      const before = Number(stage.dataset.generation);
      const start = performance.now();
      const observer = new MutationObserver(() => {
        if (Number(stage.dataset.generation) > before) {
          observer.disconnect();
          requestAnimationFrame(() => resolve(performance.now() - start));
        }
      });
      observer.observe(stage, { attributes: true });
      const select = document.getElementById('dither');
      if (stage.dataset.state !== 'ready') throw new Error('the page is still busy');
      select.value = v;
      select.dispatchEvent(new Event('change'));
    }), value));
  }
  times.sort((a, b) => a - b);
  const size = statSync(pagePath).size;
  console.log(`choice to preview, 800 x 480: median ${times[2].toFixed(0)} ms (of ${times.map((t) => t.toFixed(0)).join(', ')})`);
  console.log(`halvex.html: ${(size / 1024).toFixed(0)} KiB`);
});
