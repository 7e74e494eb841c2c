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
import { dirname, join } from 'node:path';
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
async function nextResult(since, on = page) {
  await on.waitForFunction((n) => Number(document.getElementById('stage').dataset.results) > n
    && document.getElementById('stage').dataset.state === 'ready', since, { timeout: 60000 });
}

async function generation(on = page) {
  return on.evaluate(() => Number(document.getElementById('stage').dataset.results));
}

async function openPicture(path, on = page) {
  const before = await generation(on);
  await on.setInputFiles('#file-input', path);
  await nextResult(before, on);
}

// Waits until the page is done with the last change, however it ended.
async function settled() {
  await page.waitForFunction(() => ['ready', 'error'].includes(document.getElementById('stage').dataset.state),
    null, { timeout: 120000 });
}

async function choose(choices) {
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
  // A reading choice can make the picture shown unreadable (a TGA for the
  // compatible decoder): the change is done when the page is ready or says why not.
  if (changed) await settled();
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

const fits = { 0: 'contain', 1: 'cover', 2: 'stretch' };
const defaults = { dither: 'floyd-steinberg', serpentine: false, green: true, decoder: 'compatible',
  background: '#000000', 'resize-width': '', 'resize-height': '', fit: 0, filter: 0 };
const diffusion = (dither) => dither === 'floyd-steinberg' || dither === 'atkinson-boyle';

// The command line's options for the page's choices.
function cliArgs(c) {
  const args = ['--dither', c.dither, '--green-compensation', c.green ? 'on' : 'off',
    '--decoder', c.decoder, '--background', c.background.slice(1)];
  if (c.serpentine && diffusion(c.dither)) args.push('--serpentine');
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
  // Every other format from the decoders' fixtures and the fuzz seeds.
  const project = join(dirname(sample), '..');
  const fixture = (name) => join(project, 'tests', 'decode', 'fixtures', name);
  made['webp-lossy'] = fixture('lossy-alpha.webp');
  made['webp-lossless'] = fixture('lossless.webp');
  made['webp-animated'] = fixture('animated.webp');
  made['jpg-arithmetic'] = fixture('arithmetic-progressive.jpg');
  made['gif'] = fixture('interlaced.gif');
  made['jpg-profile'] = join(project, 'fuzz', 'seeds', 'profile-p3.jpg');
  made['png-profile'] = join(project, 'fuzz', 'seeds', 'profile-p3.png');
  return made;
}

test('downloads are the command line\'s bytes', async () => {
  const inputs = makeInputs();
  const cases = [
    ['bmp', {}],
    ['bmp', { dither: 'none', green: false }],
    ['bmp', { dither: 'atkinson-boyle', serpentine: true }],
    ['bmp', { dither: 'ordered', 'resize-width': '97', 'resize-height': '40', fit: 1 }],
    ['tga', { decoder: 'standard', dither: 'floyd-steinberg', serpentine: true }],
    ['png-alpha', { background: '#3366cc' }],
    ['png-alpha', { 'resize-width': '64', 'resize-height': '64', fit: 0, background: '#ffffff', filter: 1 }],
    ['jpg', { dither: 'atkinson-boyle', 'resize-width': '', 'resize-height': '50', fit: 2 }],
    ['webp-lossy', { background: '#3366cc' }],
    ['webp-lossless', {}],
    ['webp-animated', { dither: 'none' }],
    ['jpg-arithmetic', {}],
    ['gif', { background: '#ffffff' }],
    ['jpg-profile', {}],
    ['png-profile', { dither: 'atkinson-boyle' }],
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
  await choose({ ...defaults, dither: 'atkinson-boyle' });
  await openPicture(sample);
  assert.ok(await page.locator('#byte-order').isDisabled(), 'RGN/MBR files are little-endian');
  for (const [extension, order] of [['raw', 'little'], ['bin', 'big'], ['c', 'big'], ['h', 'little']]) {
    await page.selectOption('#extension', extension);
    await page.selectOption('#byte-order', order);
    const saved = await download('#download');
    assert.equal(saved.name, `sample.${extension}`);
    const out = join(work, `cli-${Date.now()}`);
    mkdirSync(out);
    execFileSync(cli, ['convert', ...cliArgs({ ...defaults, dither: 'atkinson-boyle' }), '--byte-order', order, sample,
      join(out, saved.name)]);
    assert.ok(saved.bytes.equals(readFileSync(join(out, saved.name))), `${extension} ${order}`);
  }
  await page.selectOption('#extension', 'rgn');
  assert.equal(await page.inputValue('#byte-order'), 'little');
  await choose(defaults);
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

// A TGA file without the version 2.0 footer, 24 bits, rows from the top.
function tgaWithoutFooter(width, height, pixel) {
  const file = Buffer.alloc(18 + width * height * 3);
  file[2] = 2; // uncompressed true colour
  file.writeUInt16LE(width, 12);
  file.writeUInt16LE(height, 14);
  file[16] = 24;
  file[17] = 0x20;
  for (let y = 0; y < height; y += 1)
    for (let x = 0; x < width; x += 1) {
      const [r, g, b] = pixel(x, y);
      file.set([b, g, r], 18 + 3 * (y * width + x));
    }
  return file;
}

async function text(id) {
  return page.textContent(`#${id}`);
}

// Messages in the page's words, next to what they concern, each cleared by
// the next success; a file that cannot be read leaves nothing to download.
test('messages in the page\'s words, and a failed read leaves nothing behind', async () => {
  await openPicture(sample);
  const cases = [
    ['bad.png', Buffer.from('hello'), /^bad\.png: Not a BMP, TGA, PNG, JPEG, GIF or WebP file$/],
    ['cut.bmp', bmpFile(40, 30, gradient(40, 30)).subarray(0, 300), /^cut\.bmp: The file ends before the picture does$/],
    ['plain.tga', tgaWithoutFooter(24, 16, gradient(24, 16)), /^plain\.tga: .*choose Standard under BMP\/TGA decoder/],
  ];
  for (const [name, bytes, words] of cases) {
    const path = join(work, name);
    writeFileSync(path, bytes);
    await page.setInputFiles('#file-input', path);
    await page.waitForFunction((n) => document.getElementById('stage').dataset.state === 'error'
      && document.getElementById('file-message').textContent.startsWith(n), name);
    const message = await text('file-message');
    assert.match(message, words);
    assert.doesNotMatch(message, /not BMP\?|--/);
    assert.ok(await page.locator('#download').isDisabled(), `${name}: nothing to download`);
    assert.equal(await text('error'), '');
  }
  // The TGA is the file held: the decoder that reads it reads it, not the BMP before.
  await choose({ decoder: 'standard' });
  assert.equal(await text('file-message'), '');
  assert.equal(await text('source-info'), 'plain.tga: 24 x 16 pixels');
  const saved = await download('#download');
  assert.equal(saved.name, 'plain.rgn');
  assert.ok(saved.bytes.equals(cliConvert(join(work, 'plain.tga'), cliArgs({ ...defaults, decoder: 'standard' }))));
  await choose({ decoder: 'compatible' });
  await openPicture(sample);
  assert.equal(await text('file-message'), '');
});

test('the size fields take whole numbers in range, and a resize too large is refused', async () => {
  const gif = join(work, 'small.gif');
  execFileSync('convert', ['-size', '320x200', 'gradient:red-blue', gif]);
  await openPicture(gif);
  for (const bad of ['1e3', '-5', '2.5', '70000', 'ten']) {
    await page.fill('#resize-width', bad);
    await page.press('#resize-width', 'Tab');
    assert.match(await text('resize-message'), /^Width: a whole number from 1 to 65535, or empty$/, bad);
    assert.ok(await page.locator('#download').isDisabled(), bad);
  }
  // Width first (62.5 megapixels), then height: the page either converts
  // the 100 megapixels or says why next to the fields; it never dies.
  await page.fill('#resize-width', '10000');
  await page.press('#resize-width', 'Tab');
  await page.fill('#resize-height', '10000');
  await page.press('#resize-height', 'Tab');
  await settled();
  const state = await page.getAttribute('#stage', 'data-state');
  if (state === 'error') {
    assert.match(await text('resize-message'), /^[A-Z].*(limit|memory)/);
    assert.ok(await page.locator('#download').isDisabled());
  } else assert.equal(await text('source-info'), 'small.gif: 10000 x 10000 pixels');
  await page.fill('#resize-width', '65535');
  await page.press('#resize-width', 'Tab');
  await settled();
  assert.equal(await text('resize-message'), 'The resized picture would be larger than the 100-megapixel limit');
  assert.ok(await page.locator('#download').isDisabled());
  assert.doesNotMatch(await page.innerText('body'), /Abort/);
  await choose({ 'resize-width': '', 'resize-height': '' });
  assert.equal(await text('resize-message'), '');
  await openPicture(gif);
  assert.equal(await text('source-info'), 'small.gif: 320 x 200 pixels');
  const saved = await download('#download');
  assert.ok(saved.bytes.equals(cliConvert(gif, cliArgs(defaults))));
});

// Every canvas of the view drawn at the same scale around the same point.
async function drawnAt(selector) {
  await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));
  return page.$$eval(selector, (canvases) => canvases.map((c) =>
    ({ scale: Number(c.dataset.scale), fit: Number(c.dataset.fit), x: Number(c.dataset.centreX), y: Number(c.dataset.centreY) })));
}

async function drag(from, to, steps = 5) {
  await page.mouse.move(from.x, from.y);
  await page.mouse.down();
  await page.mouse.move(to.x, to.y, { steps });
  await page.mouse.up();
}

async function centreOf(selector) {
  const box = await page.locator(selector).first().boundingBox();
  return { x: box.x + box.width / 2, y: box.y + box.height / 2, box };
}

test('the viewer: zoom by keys and wheel, one pan for both sides, the divider', async () => {
  const picture = join(work, 'viewer.bmp');
  writeFileSync(picture, bmpFile(800, 480, gradient(800, 480)));
  await openPicture(picture);
  await page.selectOption('#view', 'side');
  let [left, right] = await drawnAt('#source-canvas, #result-canvas');
  assert.equal(left.scale, left.fit);
  await page.focus('#stage');
  await page.keyboard.press('1');
  [left, right] = await drawnAt('#source-canvas, #result-canvas');
  assert.equal(left.scale, 1);
  const start = await centreOf('#source-canvas');
  await drag(start, { x: start.x + 60, y: start.y + 40 });
  [left, right] = await drawnAt('#source-canvas, #result-canvas');
  assert.deepEqual(left, right, 'both sides at the same zoom and place');
  assert.deepEqual([left.x, left.y], [400 - 60, 240 - 40]);
  // The wheel zooms around the pointer: the point under it stays.
  await page.mouse.move(start.x + 100, start.y);
  await page.mouse.wheel(0, -300);
  [left, right] = await drawnAt('#source-canvas, #result-canvas');
  assert.ok(left.scale > 1 && Math.abs((left.x + 100 / left.scale) - (340 + 100)) < 0.5, JSON.stringify(left));
  await page.keyboard.press('0');
  [left] = await drawnAt('#source-canvas');
  assert.equal(left.scale, left.fit);

  await page.selectOption('#view', 'split');
  for (let i = 0; i < 6; i += 1) await page.click('#zoom-in'); // past 8x the divider stays on screen
  const pane = (await centreOf('#result-canvas')).box;
  const handle = await centreOf('#divider .handle');
  assert.ok(handle.x > pane.x && handle.x < pane.x + pane.width, 'the divider is on screen');
  await drag(handle, { x: pane.x + pane.width * 0.25, y: pane.y + 10 });
  assert.ok(Math.abs(Number(await page.getAttribute('#stage', 'data-split')) - 0.25) < 0.02);
  await page.keyboard.press('0');

  await page.selectOption('#view', 'difference');
  await page.selectOption('#difference-scale', '16');
  assert.equal(await text('result-label'), 'Difference x16');
  await page.selectOption('#view', 'side');
});

test('compare all: a grid of the source and six modes, a tile or a row makes the choice', async () => {
  await choose(defaults);
  await openPicture(sample);
  await page.click('#compare-all');
  await page.waitForFunction(() => document.getElementById('compare-stop').hidden
    && document.querySelectorAll('#compare-table tbody tr').length === 6
    && [...document.querySelectorAll('#compare-table tbody td:nth-child(3)')].every((c) => c.textContent !== '-'));
  assert.equal(await page.inputValue('#view'), 'all');
  assert.equal(await page.locator('#compare-tiles .tile').count(), 7);
  assert.equal(await page.locator('#compare-tiles .tile[data-source]').count(), 1);
  const tiles = await drawnAt('#compare-tiles canvas');
  assert.ok(tiles.every((t) => JSON.stringify(t) === JSON.stringify(tiles[0])), 'every tile drawn alike');
  assert.equal(await page.locator('.tile.chosen').getAttribute('data-dither'), 'floyd-steinberg');

  let before = await generation();
  await page.click('#compare-tiles .tile[data-dither="atkinson-boyle"][data-serpentine="true"] canvas');
  await nextResult(before);
  assert.equal(await page.inputValue('#dither'), 'atkinson-boyle');
  assert.ok(await page.locator('#serpentine').isChecked());
  assert.equal(await page.locator('.tile.chosen').getAttribute('data-serpentine'), 'true');
  const figures = await page.textContent('#fig-mean');
  const row = await page.textContent('#compare-table tr[data-dither="atkinson-boyle"][data-serpentine="true"] td:nth-child(3)');
  assert.equal(figures, row, 'the figures of the choice are the grid\'s');

  before = await generation();
  await page.click('#compare-table tr[data-dither="ordered"] button');
  await nextResult(before);
  assert.equal(await page.inputValue('#dither'), 'ordered');
  const saved = await download('#download');
  assert.ok(saved.bytes.equals(cliConvert(sample, cliArgs({ ...defaults, dither: 'ordered' }))));
  await page.selectOption('#view', 'side');
  await choose(defaults);
});

test('axe finds nothing serious, empty or loaded, in every view', async () => {
  const axe = readFileSync(new URL('../node_modules/axe-core/axe.min.js', import.meta.url), 'utf8');
  const check = async (on, what) => {
    if (!(await on.evaluate(() => 'axe' in window))) await on.addScriptTag({ content: axe });
    const violations = await on.evaluate(async () => (await window.axe.run()).violations
      .filter((v) => ['serious', 'critical'].includes(v.impact)).map((v) => `${v.id}: ${v.nodes.map((n) => n.target).join(' ')}`));
    assert.deepEqual(violations, [], what);
  };
  const fresh = await context.newPage();
  await fresh.goto(pageUrl);
  await check(fresh, 'empty');
  await fresh.close();
  await openPicture(sample);
  for (const view of ['side', 'split', 'difference', 'all']) {
    await page.selectOption('#view', view);
    await check(page, view);
  }
  await page.waitForFunction(() => document.getElementById('compare-stop').hidden);
  await page.selectOption('#view', 'side');
});

// On each screen the picture fits, the result and Download come into view,
// and nothing scrolls sideways.
test('fit on load on a desktop, a small screen and a phone', async () => {
  const picture = join(work, 'screen-fit.bmp');
  writeFileSync(picture, bmpFile(800, 480, gradient(800, 480)));
  for (const [width, height, mobile] of [[1280, 800, false], [800, 600, false], [390, 844, true]]) {
    const small = await browser.newContext({ viewport: { width, height }, isMobile: mobile, hasTouch: mobile });
    const p = await small.newPage();
    await p.goto(pageUrl);
    await openPicture(picture, p);
    await p.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));
    const seen = await p.evaluate(() => {
      const canvas = document.getElementById('result-canvas');
      const stage = document.getElementById('stage').getBoundingClientRect();
      const button = document.getElementById('download').getBoundingClientRect();
      return { scale: canvas.dataset.scale, fit: canvas.dataset.fit, stageTop: stage.top, stageBottom: stage.bottom,
        downloadBottom: button.bottom, pageWidth: document.documentElement.scrollWidth, height: innerHeight };
    });
    const what = `${width} x ${height}: ${JSON.stringify(seen)}`;
    assert.equal(seen.scale, seen.fit, what);
    assert.ok(seen.downloadBottom <= seen.height && seen.stageTop >= 0 && seen.stageTop < seen.height / 2, what);
    assert.ok(seen.pageWidth <= width, what);
    await small.close();
  }
});

test('compare all shows its progress and stops; the page goes on', async () => {
  const large = join(work, 'stop.bmp');
  writeFileSync(large, bmpFile(4000, 3000, gradient(4000, 3000)));
  await openPicture(large);
  await page.click('#compare-all');
  await page.waitForFunction(() => !document.getElementById('compare-stop').hidden
    && /Comparing every mode: \d of 6/.test(document.getElementById('status').textContent));
  await page.click('#compare-stop');
  assert.ok(await page.locator('#compare-stop').isHidden());
  assert.doesNotMatch(await text('status'), /Comparing/);
  await choose({ dither: 'ordered' });
  const saved = await download('#download');
  assert.equal(saved.name, 'stop.rgn');
  await page.selectOption('#view', 'side');
  await choose(defaults);
});

test('a large picture keeps the page responsive', async () => {
  const large = join(work, 'large.bmp');
  writeFileSync(large, bmpFile(4000, 3000, gradient(4000, 3000)));
  await page.evaluate(() => { window.halvexLongTasks.length = 0; });
  await openPicture(large);
  await choose({ dither: 'atkinson-boyle' });
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
  await choose({ dither: 'floyd-steinberg' });
  for (const value of ['atkinson-boyle', 'none', 'floyd-steinberg', 'ordered', 'floyd-steinberg']) {
    // Each change starts from an idle page: the figures of the one before are done.
    await page.waitForFunction(() => document.getElementById('stage').dataset.state === 'ready');
    times.push(await page.evaluate((v) => new Promise((resolve) => {
      const stage = document.getElementById('stage');
      const before = Number(stage.dataset.results);
      const start = performance.now();
      const observer = new MutationObserver(() => {
        if (Number(stage.dataset.results) > before) {
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
