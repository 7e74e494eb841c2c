// The page: one state (the file, the choices, the picture and result the
// preview worker holds, the figures, the comparison), and a viewer that draws
// the pictures it gets back with its own zoom and pan.
//
// Three workers (worker.js) do the work: the preview worker reads the file
// and converts it, and makes the downloads; the figures worker measures the
// current choice; the compare worker goes through every mode. Every request
// carries the keys of what it was made for, and an answer whose keys are no
// longer the page's is dropped; figures and comparisons that are no longer
// wanted end with their worker, which is started again when needed.
const $ = (id) => document.getElementById(id);

const workerUrl = URL.createObjectURL(new Blob([$('halvex-worker').textContent], { type: 'text/javascript' }));
let nextId = 1;

// A worker that can be stopped (its requests answer `cancelled`) and that
// is started again on the next request.
class Helper {
  constructor() {
    this.worker = null;
    this.waiting = new Map(); // id -> { resolve, progress }
  }

  get busy() {
    return this.waiting.size > 0;
  }

  start() {
    this.worker = new Worker(workerUrl);
    this.worker.onmessage = (event) => this.receive(event.data);
    this.worker.onerror = (event) => {
      event.preventDefault();
      this.stop({ ok: false, dead: true, message: String(event.message) });
    };
  }

  receive(reply) {
    const entry = this.waiting.get(reply.id);
    if (!entry) return;
    if (reply.progress) {
      entry.progress?.(reply);
      return;
    }
    this.waiting.delete(reply.id);
    if (reply.dead) this.stop({ ok: false, cancelled: true });
    entry.resolve(reply);
  }

  ask(type, fields = {}, progress = null) {
    if (!this.worker) this.start();
    const id = nextId++;
    const transfer = fields.bytes ? [fields.bytes] : [];
    return new Promise((resolve) => {
      this.waiting.set(id, { resolve, progress });
      this.worker.postMessage({ id, type, ...fields }, transfer);
    });
  }

  stop(reply = { ok: false, cancelled: true }) {
    this.worker?.terminate();
    this.worker = null;
    const waiting = [...this.waiting.values()];
    this.waiting.clear();
    for (const entry of waiting) entry.resolve(reply);
  }
}

const preview = new Helper();
const measurer = new Helper();
const comparer = new Helper();

const METHODS = { none: 0, 'floyd-steinberg': 1, 'atkinson-boyle': 2, ordered: 3 };
const MODE_NAMES = { none: 'None', ordered: 'Ordered', 'floyd-steinberg': 'Floyd-Steinberg',
  'atkinson-boyle': 'Atkinson-Boyle' };
const SIZE_LIMIT = 65535;

const state = {
  file: null, // { bytes, name }: the picture chosen last, whether it could be read or not
  readKey: 0, // changes with the file and with every reading choice
  held: { readKey: -1, ok: false, quantKey: null }, // what the preview worker holds
  picture: null, // { width, height, source, result, difference, quantKey }: what is shown
  pumping: false,
  opened: false, // a file was opened and its first result is not drawn yet
  results: 0,
  figuresKey: null, // the quantisation key the shown figures belong to
  compare: null, // { readKey, green, tiles: [...], running, done }
  error: '', // the conversion's or a download's failure
};

// ---------------------------------------------------------------- choices

function sizeField(id) {
  const text = $(id).value.trim();
  if (text === '') return { value: 0 };
  if (!/^[0-9]+$/.test(text) || Number(text) < 1 || Number(text) > SIZE_LIMIT)
    return { error: `${id === 'resize-width' ? 'Width' : 'Height'}: a whole number from 1 to ${SIZE_LIMIT}, or empty` };
  return { value: Number(text) };
}

function fieldErrors() {
  return ['resize-width', 'resize-height'].map(sizeField).filter((f) => f.error).map((f) => f.error);
}

function readingChoices() {
  return {
    decoder: $('decoder').value === 'standard' ? 1 : 0,
    background: parseInt($('background').value.replace('#', ''), 16) >>> 0,
    resizeWidth: sizeField('resize-width').value || 0,
    resizeHeight: sizeField('resize-height').value || 0,
    fit: Number($('fit').value),
    filter: Number($('filter').value),
  };
}

function quantisation() {
  const dither = $('dither').value;
  const method = METHODS[dither];
  const diffusion = method === 1 || method === 2;
  $('serpentine').disabled = !diffusion;
  return { method, dither, serpentine: diffusion && $('serpentine').checked, green: $('green').checked };
}

const quantKeyOf = (q) => `${q.method}/${q.serpentine}/${q.green}`;

// ----------------------------------------------------------------- status

function setMessage(id, text, warning = false) {
  $(id).textContent = text || '';
  $(id).classList.toggle('warning', warning);
}

function current() {
  return state.picture && state.held.ok && state.held.readKey === state.readKey
    && state.picture.quantKey === quantKeyOf(quantisation()) && fieldErrors().length === 0;
}

// Brings the stage's data-state, the buttons and the status line in step
// with the state.
function refreshStatus() {
  const ready = current() && !state.pumping;
  for (const id of ['download', 'download-preview', 'compare-all']) $(id).disabled = !ready;
  let name = 'empty';
  if (state.file) {
    const failed = fieldErrors().length > 0 || (!state.pumping && state.held.readKey === state.readKey && !state.held.ok)
      || state.error !== '';
    name = failed ? 'error' : ready ? 'ready' : 'working';
  }
  $('stage').dataset.state = name;
  const c = state.compare;
  let status = '';
  let progress = null;
  if (name === 'working') status = 'Converting...';
  else if (c?.running) {
    const done = c.tiles.filter((t) => t.bitmap !== undefined).length;
    status = `Comparing every mode: ${done} of 6`;
    progress = [done, 6];
  } else if (ready && state.figuresKey !== state.picture.quantKey) status = 'Measuring the figures...';
  $('status').textContent = status;
  $('progress').classList.toggle('idle', !status);
  if (progress) {
    $('progress').max = progress[1];
    $('progress').value = progress[0];
  } else $('progress').removeAttribute('value');
  $('compare-stop').hidden = !c?.running;
  $('figures').setAttribute('aria-busy', String(Boolean(ready && state.figuresKey !== state.picture?.quantKey)));
}

// --------------------------------------------------------------- the work

function closePicture() {
  const p = state.picture;
  if (!p) return;
  for (const b of [p.source, p.result, p.difference]) b?.close();
  state.picture = null;
}

function clearFigures() {
  for (const id of ['fig-psnr', 'fig-mean', 'fig-max', 'fig-drift']) $(id).textContent = '-';
}

// A worker that died took its picture with it: the page says why and starts
// a new one with the next request.
async function memoryWords() {
  const reply = await preview.ask('memoryWords');
  return reply.ok ? reply.message : 'Not enough memory for the picture';
}

async function readNow() {
  const key = state.readKey;
  const file = state.file;
  const options = readingChoices();
  const reply = await preview.ask('load', { bytes: file.bytes.slice(0), options, key });
  state.held = { readKey: key, ok: reply.ok, quantKey: null };
  if (key !== state.readKey) {
    reply.source?.close();
    return;
  }
  closePicture();
  if (!reply.ok) {
    const text = reply.dead || reply.memory ? await memoryWords() : reply.message;
    const resizing = options.resizeWidth > 0 || options.resizeHeight > 0;
    const where = reply.where === 'resize' || ((reply.dead || reply.memory) && resizing) ? 'resize' : 'file';
    setMessage(where === 'resize' ? 'resize-message' : 'file-message', `${where === 'file' ? `${file.name}: ` : ''}${text}`);
    $('source-info').textContent = `${file.name}: not read`;
    clearFigures();
    draw();
    return;
  }
  setMessage('file-message', reply.warnings ? `${file.name}: ${reply.warnings}` : '', true);
  setMessage('resize-message', '');
  $('source-info').textContent = `${file.name}: ${reply.width} x ${reply.height} pixels`;
  state.picture = { width: reply.width, height: reply.height, source: reply.source, result: null,
    difference: null, quantKey: null, name: file.name };
  draw();
}

async function convertNow(q) {
  const readKey = state.held.readKey;
  const quantKey = quantKeyOf(q);
  const reply = await preview.ask('convert', { quantisation: q });
  if (!reply.ok) {
    if (reply.dead || reply.memory) {
      // Not tried again until a choice changes.
      state.held = { readKey, ok: false, quantKey: null };
      closePicture();
      draw();
      setMessage('file-message', `${state.file.name}: ${await memoryWords()}`);
    } else {
      state.error = reply.message;
      setMessage('error', state.error);
    }
    return;
  }
  state.held.quantKey = quantKey;
  if (readKey !== state.readKey || quantKey !== quantKeyOf(quantisation()) || !state.picture) {
    reply.result?.close();
    return;
  }
  state.picture.result?.close();
  state.picture.difference?.close();
  Object.assign(state.picture, { result: reply.result, difference: null, quantKey });
  state.error = '';
  setMessage('error', '');
  state.results += 1;
  $('stage').dataset.results = String(state.results);
  if (state.opened) {
    state.opened = false;
    $('result-panel').scrollIntoView({ block: 'start' });
  }
  markChoice();
  draw();
}

// Brings what the preview worker holds in step with the choices, one
// request at a time; a change made meanwhile is picked up by the next turn.
async function pump() {
  if (state.pumping) return;
  state.pumping = true;
  refreshStatus();
  try {
    for (;;) {
      if (!state.file || fieldErrors().length > 0) break;
      if (state.held.readKey !== state.readKey) {
        await readNow();
        continue;
      }
      if (!state.held.ok) break;
      const q = quantisation();
      if (state.held.quantKey !== quantKeyOf(q)) {
        await convertNow(q);
        if (state.error) break;
        continue;
      }
      break;
    }
  } finally {
    state.pumping = false;
    refreshStatus();
  }
  if (current()) {
    measure();
    if ($('view').value === 'all') compareAll(false);
    if ($('view').value === 'difference') differenceNow();
  }
}

// The figures of the current choice, in their own worker; a figures
// request still running for another choice is stopped.
async function measure() {
  const q = quantisation();
  const quantKey = quantKeyOf(q);
  const readKey = state.readKey;
  if (state.figuresKey === quantKey && state.figuresRead === readKey) return;
  const fromCompare = state.compare?.readKey === readKey && state.compare.green === q.green
    && state.compare.tiles.find((t) => t.dither === q.dither && t.serpentine === q.serpentine && t.figures);
  if (fromCompare) {
    showFigures(fromCompare.figures, quantKey, readKey);
    return;
  }
  if (measurer.busy) measurer.stop();
  clearFigures();
  refreshStatus();
  const reply = await measurer.ask('figures', { bytes: state.file.bytes.slice(0), options: readingChoices(),
    key: readKey, quantisation: q });
  if (readKey !== state.readKey || quantKey !== quantKeyOf(quantisation()) || reply.cancelled) return;
  if (reply.ok) showFigures(reply.figures, quantKey, readKey);
  else {
    // The preview and the download stand; only the figures are missing.
    setMessage('error', `The figures could not be measured: ${reply.dead || reply.memory ? await memoryWords() : reply.message}`);
    showFigures({}, quantKey, readKey);
  }
}

function formatNumber(value, digits) {
  if (value === Infinity) return 'inf';
  return Number.isFinite(value) ? value.toFixed(digits) : '-';
}

function showFigures(f, quantKey, readKey) {
  $('fig-psnr').textContent = Number.isFinite(f.psnr) ? `${formatNumber(f.psnr, 2)} dB` : formatNumber(f.psnr, 2);
  $('fig-mean').textContent = formatNumber(f.meanDeltaE, 2);
  $('fig-max').textContent = formatNumber(f.maxDeltaE, 2);
  $('fig-drift').textContent = formatNumber(f.greyDrift, 4);
  state.figuresKey = quantKey;
  state.figuresRead = readKey;
  refreshStatus();
}

async function differenceNow() {
  const p = state.picture;
  if (!p?.result || p.difference || !current() || state.pumping) return;
  const quantKey = p.quantKey;
  const reply = await preview.ask('difference');
  if (reply.ok && state.picture === p && p.quantKey === quantKey) {
    p.difference = reply.difference;
    draw();
  } else reply.difference?.close();
}

// Something the picture depends on changed: what was shown no longer
// belongs to it, so the downloads wait and the figures are dropped.
function changed(reading) {
  if (reading) state.readKey += 1;
  state.error = '';
  setMessage('error', '');
  if (measurer.busy) measurer.stop();
  state.figuresKey = null;
  clearFigures();
  const errors = fieldErrors();
  setMessage('resize-message', errors.join('\n'));
  const q = quantisation();
  if (state.compare && (state.compare.readKey !== state.readKey || state.compare.green !== q.green)) stopCompare(true);
  markChoice();
  refreshStatus();
  pump();
}

async function openFile(file) {
  if (!file) return;
  state.file = { bytes: await file.arrayBuffer(), name: file.name || 'pasted' };
  state.opened = true;
  setMessage('file-message', '');
  changed(true);
}

// -------------------------------------------------------------- downloads

function baseName(name) {
  const dot = name.lastIndexOf('.');
  return dot > 0 ? name.slice(0, dot) : name;
}

function save(bytes, name, type) {
  const url = URL.createObjectURL(new Blob([bytes], { type }));
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
}

async function downloadFile() {
  if (!current()) return;
  const extension = $('extension').value;
  const name = `${baseName(state.file.name)}.${extension}`;
  const type = extension === 'c' || extension === 'h' ? 'text/plain' : 'application/octet-stream';
  const reply = await preview.ask('file', { name, source: state.file.name, order: $('byte-order').value });
  if (reply.ok) save(reply.bytes, name, type);
  else setMessage('error', reply.message);
}

// RGN/MBR files are little-endian by definition: the byte order is for raw
// words and C text only.
function showByteOrder() {
  const rgn = ['rgn', 'mbr'].includes($('extension').value);
  $('byte-order').disabled = rgn;
  if (rgn) $('byte-order').value = 'little';
}

async function downloadPreview() {
  if (!current()) return;
  const reply = await preview.ask('png');
  if (reply.ok) save(reply.bytes, `${baseName(state.file.name)}-preview.png`, 'image/png');
  else setMessage('error', reply.message);
}

// ---------------------------------------------------------- compare all

const MODES = [['none', false], ['ordered', false], ['floyd-steinberg', false], ['floyd-steinberg', true],
  ['atkinson-boyle', false], ['atkinson-boyle', true]];

function modeName(dither, serpentine) {
  return `${MODE_NAMES[dither]}${serpentine ? ' serpentine' : ''}`;
}

function stopCompare(drop) {
  comparer.stop();
  if (!state.compare) return;
  state.compare.running = false;
  if (drop) {
    for (const t of state.compare.tiles) t.bitmap?.close();
    state.compare = null;
    $('compare-section').hidden = true;
    buildTiles();
  }
  refreshStatus();
}

// Compares every mode at the chosen compensation; `fresh` starts again even
// when a comparison of this picture exists.
async function compareAll(fresh) {
  if (!current()) return;
  const q = quantisation();
  const c0 = state.compare;
  if (!fresh && c0 && c0.readKey === state.readKey && c0.green === q.green && (c0.running || c0.done)) return;
  stopCompare(true);
  const compare = { readKey: state.readKey, green: q.green, running: true, done: false,
    tiles: MODES.map(([dither, serpentine]) => ({ dither, serpentine })) };
  state.compare = compare;
  buildTiles();
  showCompareTable();
  if ($('view').value !== 'all') setView('all');
  refreshStatus();
  const reply = await comparer.ask('compare', { bytes: state.file.bytes.slice(0), options: readingChoices(),
    key: compare.readKey, green: compare.green }, (step) => {
    if (state.compare !== compare) {
      step.bitmap?.close();
      return;
    }
    Object.assign(compare.tiles[step.index], { bitmap: step.bitmap, figures: step.figures });
    showCompareTable();
    draw();
    refreshStatus();
    if (!state.figuresKey) measure();
  });
  if (state.compare !== compare) return;
  compare.running = false;
  compare.done = reply.ok;
  if (!reply.ok && !reply.cancelled)
    setMessage('error', `Every mode could not be compared: ${reply.dead || reply.memory ? await memoryWords() : reply.message}`);
  refreshStatus();
}

function choose(dither, serpentine) {
  $('dither').value = dither;
  quantisation();
  if (!$('serpentine').disabled) $('serpentine').checked = serpentine;
  changed(false);
}

function showCompareTable() {
  const body = $('compare-table').tBodies[0];
  body.replaceChildren();
  for (const t of state.compare?.tiles || []) {
    const row = document.createElement('tr');
    row.dataset.dither = t.dither;
    row.dataset.serpentine = String(t.serpentine);
    const first = document.createElement('td');
    const button = document.createElement('button');
    button.type = 'button';
    button.textContent = modeName(t.dither, t.serpentine);
    button.addEventListener('click', () => choose(t.dither, t.serpentine));
    first.append(button);
    row.append(first);
    const f = t.figures || {};
    for (const text of [f.psnr === Infinity ? 'inf' : formatNumber(f.psnr, 2), formatNumber(f.meanDeltaE, 2),
      formatNumber(f.maxDeltaE, 2), formatNumber(f.greyDrift, 4)]) {
      const cell = document.createElement('td');
      cell.textContent = text;
      row.append(cell);
    }
    body.append(row);
  }
  $('compare-section').hidden = !state.compare;
  markChoice();
}

function buildTiles() {
  const box = $('compare-tiles');
  box.replaceChildren();
  if (!state.compare) return;
  const make = (label, data) => {
    const figure = document.createElement('figure');
    figure.className = 'tile';
    Object.assign(figure.dataset, data);
    const canvas = document.createElement('canvas');
    const caption = document.createElement('figcaption');
    const span = document.createElement('span');
    span.textContent = label;
    caption.append(span);
    figure.append(canvas, caption);
    box.append(figure);
  };
  make('Source', { source: 'true' });
  for (const t of state.compare.tiles)
    make(modeName(t.dither, t.serpentine), { dither: t.dither, serpentine: String(t.serpentine) });
  layoutTiles();
}

// Equal tiles in the grid of columns that makes them largest on this stage.
function layoutTiles() {
  const box = $('compare-tiles');
  const n = box.children.length;
  const p = state.picture;
  if (!n || !p) return;
  const w = box.clientWidth || 1;
  const h = box.clientHeight || 1;
  let best = { columns: 1, scale: 0 };
  for (let columns = 1; columns <= n; columns += 1) {
    const rows = Math.ceil(n / columns);
    const scale = Math.min(w / columns / Math.max(1, p.width), h / rows / Math.max(1, p.height));
    if (scale > best.scale) best = { columns, scale };
  }
  box.style.gridTemplateColumns = `repeat(${best.columns}, minmax(0, 1fr))`;
  box.style.gridTemplateRows = `repeat(${Math.ceil(n / best.columns)}, minmax(0, 1fr))`;
}

function markChoice() {
  const q = quantisation();
  const chosen = (el) => el.dataset.dither === q.dither && el.dataset.serpentine === String(q.serpentine);
  for (const el of document.querySelectorAll('#compare-tiles .tile[data-dither], #compare-table tbody tr')) {
    el.classList.toggle('chosen', chosen(el));
    if (el.tagName === 'TR') el.setAttribute('aria-current', String(chosen(el)));
  }
}

// ---------------------------------------------------------------- viewer

// One zoom and position for every pane: scale null fits the picture, else
// screen pixels per picture pixel; cx, cy the picture point at the panes' centre.
const viewer = { scale: null, cx: 0, cy: 0, split: 0.5 };
const MAX_SCALE = 32;
const MIN_SCALE = 1 / 8;

function panes() {
  const view = $('view').value;
  if (view === 'all') return [...document.querySelectorAll('#compare-tiles canvas')];
  if (view === 'side') return [$('source-canvas'), $('result-canvas')];
  return [$('result-canvas')];
}

function fitScale(canvas) {
  const p = state.picture;
  if (!p || !p.width || !p.height) return 1;
  return Math.min(canvas.clientWidth / p.width, canvas.clientHeight / p.height) || 1;
}

function scaleFor(canvas) {
  return viewer.scale ?? fitScale(canvas);
}

function centre() {
  const p = state.picture;
  return viewer.scale === null ? [p.width / 2, p.height / 2] : [viewer.cx, viewer.cy];
}

function bitmapFor(canvas) {
  const p = state.picture;
  const tile = canvas.parentElement.classList.contains('tile') ? canvas.parentElement : null;
  if (tile) {
    if (tile.dataset.source) return p.source;
    return state.compare?.tiles.find((t) => t.dither === tile.dataset.dither
      && String(t.serpentine) === tile.dataset.serpentine)?.bitmap;
  }
  if (canvas.id === 'source-canvas') return p.source;
  return $('view').value === 'difference' ? p.difference : p.result;
}

function paint(canvas) {
  const ratio = window.devicePixelRatio || 1;
  const width = Math.round(canvas.clientWidth * ratio);
  const height = Math.round(canvas.clientHeight * ratio);
  if (canvas.width !== width) canvas.width = width;
  if (canvas.height !== height) canvas.height = height;
  const ctx = canvas.getContext('2d');
  ctx.setTransform(1, 0, 0, 1, 0, 0);
  ctx.clearRect(0, 0, width, height);
  const p = state.picture;
  if (!p) return;
  const s = scaleFor(canvas);
  const [cx, cy] = centre();
  Object.assign(canvas.dataset, { scale: s.toFixed(6), fit: fitScale(canvas).toFixed(6),
    centreX: cx.toFixed(2), centreY: cy.toFixed(2) });
  const place = () => {
    ctx.setTransform(s * ratio, 0, 0, s * ratio, (canvas.clientWidth / 2 - cx * s) * ratio,
      (canvas.clientHeight / 2 - cy * s) * ratio);
    ctx.imageSmoothingEnabled = s < 1;
  };
  const view = $('view').value;
  if (view === 'split' && canvas.id === 'result-canvas') {
    place();
    if (p.source) ctx.drawImage(p.source, 0, 0);
    ctx.setTransform(1, 0, 0, 1, 0, 0);
    ctx.beginPath();
    ctx.rect(viewer.split * width, 0, width, height);
    ctx.clip();
    place();
    if (p.result) ctx.drawImage(p.result, 0, 0);
    return;
  }
  const bitmap = bitmapFor(canvas);
  if (!bitmap) return;
  place();
  ctx.save();
  if (view === 'difference' && canvas.id === 'result-canvas') ctx.filter = `brightness(${$('difference-scale').value})`;
  ctx.drawImage(bitmap, 0, 0);
  ctx.restore();
}

let drawQueued = false;
function draw() {
  showLabels();
  if (drawQueued) return;
  drawQueued = true;
  requestAnimationFrame(() => {
    drawQueued = false;
    drawNow();
  });
}

// Side by side means one above the other where that shows the pictures larger (a phone upright).
function stackSides() {
  const p = state.picture;
  const stage = $('stage');
  if (!p || !p.width || !p.height) return;
  const w = stage.clientWidth;
  const h = stage.clientHeight;
  const across = Math.min(w / 2 / p.width, h / p.height);
  const down = Math.min(w / p.width, h / 2 / p.height);
  stage.classList.toggle('stacked', down > across);
}

function drawNow() {
  if ($('view').value === 'all') layoutTiles();
  if ($('view').value === 'side') stackSides();
  for (const canvas of panes()) {
    const ctx = canvas.getContext('2d');
    ctx.save();
    paint(canvas);
    ctx.restore();
  }
  const ref = panes()[0];
  const s = ref && state.picture ? scaleFor(ref) : null;
  $('zoom-value').textContent = s === null ? 'Fit'
    : `${viewer.scale === null ? 'Fit, ' : ''}${s >= 0.1 ? Math.round(s * 100) : (s * 100).toFixed(1)} %`;
}

function showLabels() {
  $('divider').style.left = `${viewer.split * 100}%`;
  $('divider').setAttribute('aria-valuenow', String(Math.round(viewer.split * 100)));
  $('stage').dataset.split = viewer.split.toFixed(3);
  $('result-label').textContent = $('view').value === 'difference'
    ? `Difference x${$('difference-scale').value}` : $('view').value === 'split' ? 'Result' : 'RGB565 result';
}

function clampCentre() {
  const p = state.picture;
  if (!p) return;
  viewer.cx = Math.min(Math.max(viewer.cx, 0), p.width);
  viewer.cy = Math.min(Math.max(viewer.cy, 0), p.height);
}

// Zooms by factor keeping the picture point under (x, y) (client
// coordinates, default the centre of the first pane) where it is.
function zoomBy(factor, canvas = panes()[0], x = null, y = null) {
  if (!state.picture || !canvas) return;
  const rect = canvas.getBoundingClientRect();
  const mx = x === null ? 0 : x - rect.left - rect.width / 2;
  const my = y === null ? 0 : y - rect.top - rect.height / 2;
  const s = scaleFor(canvas);
  const [cx, cy] = centre();
  const lowest = Math.min(fitScale(canvas), MIN_SCALE);
  const next = Math.min(MAX_SCALE, Math.max(lowest, s * factor));
  const px = cx + mx / s;
  const py = cy + my / s;
  viewer.scale = next;
  viewer.cx = px - mx / next;
  viewer.cy = py - my / next;
  clampCentre();
  draw();
}

function zoomTo(scale) {
  if (scale === null) viewer.scale = null;
  else {
    [viewer.cx, viewer.cy] = state.picture ? centre() : [0, 0];
    viewer.scale = scale;
  }
  draw();
}

function panBy(dx, dy, canvas) {
  if (!state.picture) return;
  const s = scaleFor(canvas);
  const [cx, cy] = centre();
  viewer.scale = s;
  viewer.cx = cx - dx / s;
  viewer.cy = cy - dy / s;
  clampCentre();
  draw();
}

const pointers = new Map(); // pointerId -> { x, y, startX, startY, canvas }

function onPointerDown(event) {
  const canvas = event.target.closest('canvas');
  if (!canvas || !state.picture) return;
  canvas.setPointerCapture(event.pointerId);
  pointers.set(event.pointerId, { x: event.clientX, y: event.clientY, startX: event.clientX, startY: event.clientY, canvas });
}

function onPointerMove(event) {
  const p = pointers.get(event.pointerId);
  if (!p) return;
  if (pointers.size === 2) {
    const [a, b] = [...pointers.values()];
    const before = Math.hypot(a.x - b.x, a.y - b.y);
    p.x = event.clientX;
    p.y = event.clientY;
    const after = Math.hypot(a.x - b.x, a.y - b.y);
    if (before > 0) zoomBy(after / before, p.canvas, (a.x + b.x) / 2, (a.y + b.y) / 2);
    return;
  }
  panBy(event.clientX - p.x, event.clientY - p.y, p.canvas);
  p.x = event.clientX;
  p.y = event.clientY;
}

function onPointerUp(event) {
  const p = pointers.get(event.pointerId);
  pointers.delete(event.pointerId);
  if (!p || event.type === 'pointercancel') return;
  const tile = p.canvas.parentElement;
  const still = Math.hypot(event.clientX - p.startX, event.clientY - p.startY) < 5;
  if (still && tile.classList.contains('tile') && tile.dataset.dither)
    choose(tile.dataset.dither, tile.dataset.serpentine === 'true');
}

function dividerFrom(event) {
  const rect = $('result-canvas').getBoundingClientRect();
  viewer.split = Math.min(1, Math.max(0, (event.clientX - rect.left) / rect.width));
  draw();
}

function setView(view) {
  $('view').value = view;
  $('stage').classList.remove('side', 'split', 'difference', 'all');
  $('stage').classList.add(view);
  document.body.classList.toggle('difference-view', view === 'difference');
  if (view === 'difference') differenceNow();
  if (view === 'all') compareAll(false);
  draw();
}

// ----------------------------------------------------------------- events

$('file-input').addEventListener('change', (e) => {
  openFile(e.target.files[0]);
  e.target.value = ''; // choosing the same file again reads it again
});
document.body.addEventListener('dragover', (e) => {
  e.preventDefault();
  $('drop-zone').classList.add('over');
});
document.body.addEventListener('dragleave', () => $('drop-zone').classList.remove('over'));
document.body.addEventListener('drop', (e) => {
  e.preventDefault();
  $('drop-zone').classList.remove('over');
  openFile(e.dataTransfer.files[0]);
});
document.addEventListener('paste', (e) => {
  const item = [...e.clipboardData.items].find((i) => i.kind === 'file');
  if (item) openFile(item.getAsFile());
});
for (const id of ['dither', 'serpentine', 'green']) $(id).addEventListener('change', () => changed(false));
for (const id of ['decoder', 'background', 'resize-width', 'resize-height', 'fit', 'filter'])
  $(id).addEventListener('change', () => changed(true));
$('view').addEventListener('change', () => setView($('view').value));
$('difference-scale').addEventListener('change', draw);
$('download').addEventListener('click', downloadFile);
$('extension').addEventListener('change', showByteOrder);
$('download-preview').addEventListener('click', downloadPreview);
$('compare-all').addEventListener('click', () => compareAll(true));
$('compare-stop').addEventListener('click', () => stopCompare(false));
$('zoom-in').addEventListener('click', () => zoomBy(1.5));
$('zoom-out').addEventListener('click', () => zoomBy(1 / 1.5));
$('zoom-fit').addEventListener('click', () => zoomTo(null));
$('zoom-100').addEventListener('click', () => zoomTo(1));

const stage = $('stage');
stage.addEventListener('pointerdown', onPointerDown);
stage.addEventListener('pointermove', onPointerMove);
stage.addEventListener('pointerup', onPointerUp);
stage.addEventListener('pointercancel', onPointerUp);
stage.addEventListener('wheel', (e) => {
  const canvas = e.target.closest('canvas');
  if (!canvas || !state.picture) return;
  e.preventDefault();
  zoomBy(Math.exp(-e.deltaY * (e.deltaMode === 1 ? 0.05 : 0.002)), canvas, e.clientX, e.clientY);
}, { passive: false });

const divider = $('divider');
divider.addEventListener('pointerdown', (e) => {
  e.stopPropagation();
  divider.setPointerCapture(e.pointerId);
  divider.dataset.dragging = 'true';
});
divider.addEventListener('pointermove', (e) => {
  if (divider.dataset.dragging) dividerFrom(e);
});
for (const type of ['pointerup', 'pointercancel'])
  divider.addEventListener(type, () => delete divider.dataset.dragging);
divider.addEventListener('keydown', (e) => {
  const step = { ArrowLeft: -0.05, ArrowRight: 0.05 }[e.key];
  if (step === undefined) return;
  e.preventDefault();
  viewer.split = Math.min(1, Math.max(0, viewer.split + step));
  draw();
});

document.addEventListener('keydown', (e) => {
  if (e.target.closest('input, select, textarea, [role="slider"]') || e.ctrlKey || e.metaKey || e.altKey) return;
  const actions = { '+': () => zoomBy(1.5), '=': () => zoomBy(1.5), '-': () => zoomBy(1 / 1.5),
    0: () => zoomTo(null), 1: () => zoomTo(1) };
  const action = actions[e.key];
  if (action && state.picture) {
    e.preventDefault();
    action();
  }
});

new ResizeObserver(draw).observe(stage);
quantisation();
refreshStatus();
