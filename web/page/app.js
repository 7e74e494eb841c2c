// The page: reads the choices, sends the picture and the choices to the
// worker, and draws what comes back. Only the newest request counts: while
// the worker is busy, further changes wait as one pending request, so the
// page never queues stale work.
const $ = (id) => document.getElementById(id);

const workerSource = $('halvex-worker').textContent;
const worker = new Worker(URL.createObjectURL(new Blob([workerSource], { type: 'text/javascript' })));
// The worker draws into the two canvases itself.
{
  const source = $('source-canvas').transferControlToOffscreen();
  const result = $('result-canvas').transferControlToOffscreen();
  worker.postMessage({ id: 0, type: 'canvases', source, result }, [source, result]);
}

const state = {
  file: null, // { bytes, name } of the picture shown, kept to read it again when a reading choice changes
  loaded: false, // a picture is held by the worker
  busy: false,
  pending: new Map(), // kind -> the latest request of that kind waiting for the worker
  nextId: 1,
  generation: 0, // bumped every time a new result is drawn (tests wait on it)
  width: 0, // of the picture shown
  height: 0,
};
const waiting = new Map(); // request id -> resolve

worker.onmessage = (event) => {
  const reply = event.data;
  const resolve = waiting.get(reply.id);
  waiting.delete(reply.id);
  if (resolve) resolve(reply);
};

function ask(type, fields = {}) {
  const id = state.nextId++;
  const transfer = fields.bytes ? [fields.bytes] : [];
  return new Promise((resolve) => {
    waiting.set(id, resolve);
    worker.postMessage({ id, type, ...fields }, transfer);
  });
}

function readingChoices() {
  const hex = $('background').value.replace('#', '');
  const number = (id) => {
    const value = parseInt($(id).value, 10);
    return Number.isFinite(value) && value > 0 ? value : 0;
  };
  return {
    decoder: Number($('decoder').value),
    background: parseInt(hex, 16) >>> 0,
    resizeWidth: number('resize-width'),
    resizeHeight: number('resize-height'),
    fit: Number($('fit').value),
    filter: Number($('filter').value),
  };
}

function quantisationChoices() {
  const method = Number($('dither').value);
  const diffusion = method === 1 || method === 2;
  $('serpentine').disabled = !diffusion;
  return { method, serpentine: diffusion && $('serpentine').checked, green: $('green').checked };
}

function setStatus(text) {
  $('status').textContent = text;
  $('progress').classList.toggle('idle', !text);
}

function showError(text) {
  $('error').textContent = text || '';
}

function setStage(name) {
  $('stage').dataset.state = name;
}

function drawBitmap(canvas, bitmap, width, height) { // for the comparison tiles
  canvas.width = width;
  canvas.height = height;
  if (bitmap) {
    canvas.getContext('2d').drawImage(bitmap, 0, 0);
    bitmap.close();
  }
}

function applyZoom() {
  const zoom = Number($('zoom').value);
  $('zoom-value').textContent = `${zoom}x`;
  for (const canvas of [$('source-canvas'), $('result-canvas')]) {
    canvas.style.width = `${state.width * zoom}px`;
    canvas.style.height = `${state.height * zoom}px`;
  }
}

function applyView() {
  const view = $('view').value;
  $('stage').className = `stage ${view}`;
  document.body.classList.toggle('split-mode', view === 'split');
  applySplit();
  worker.postMessage({ id: 0, type: 'view', view });
}

function applySplit() {
  const result = $('result-canvas').parentElement;
  result.style.clipPath = $('view').value === 'split' ? `inset(0 0 0 ${$('split').value}%)` : '';
}

function formatNumber(value, digits) {
  if (value === Infinity) return 'inf';
  return Number.isFinite(value) ? value.toFixed(digits) : '-';
}

function showFigures(f) {
  $('fig-psnr').textContent = f.psnr === Infinity ? 'inf' : `${formatNumber(f.psnr, 2)} dB`;
  $('fig-mean').textContent = formatNumber(f.meanDeltaE, 2);
  $('fig-max').textContent = formatNumber(f.maxDeltaE, 2);
  $('fig-drift').textContent = formatNumber(f.greyDrift, 4);
}

function setEnabled(enabled) {
  for (const id of ['download', 'download-preview', 'compare-all']) $(id).disabled = !enabled;
}

// Runs one request now or, when the worker is busy, keeps it as the one
// pending request of its kind (a newer one of the same kind replaces it).
function schedule(request) {
  if (state.busy) {
    state.pending.delete(request);
    state.pending.set(request, request);
    return;
  }
  state.busy = true;
  setStage('busy');
  setStatus('Working...');
  request()
    .catch((error) => showError(String(error)))
    .finally(() => {
      state.busy = false;
      const [next] = state.pending.keys();
      if (next) {
        state.pending.delete(next);
        schedule(next);
      }
      else {
        setStatus('');
        setStage(state.loaded ? 'ready' : 'empty');
      }
    });
}

async function convertNow() {
  if (!state.loaded) return;
  const reply = await ask('convert', { quantisation: quantisationChoices() });
  if (!reply.ok) {
    showError(reply.message);
    return;
  }
  applyZoom();
  setEnabled(true);
  state.generation += 1;
  $('stage').dataset.generation = String(state.generation);
  for (const id of ['fig-psnr', 'fig-mean', 'fig-max', 'fig-drift']) $(id).textContent = '...';
  schedule(measureNow);
}

// The figures take longer than the preview, so they follow it.
async function measureNow() {
  const reply = await ask('figures');
  if (reply.ok) showFigures(reply.figures);
}

// Reads file (by default the picture shown, again) with the current choices.
async function loadNow(file = state.file) {
  if (!file) return;
  const reply = await ask('load', { bytes: file.bytes.slice(0), options: readingChoices() });
  if (!reply.ok) {
    // The previous picture, if any, stays; the worker still holds it.
    showError(`${file.name}: ${reply.message}`);
    return;
  }
  showError(reply.warnings ? `${file.name}: ${reply.warnings}` : '');
  state.file = file;
  state.loaded = true;
  state.width = reply.width;
  state.height = reply.height;
  $('source-info').textContent = `${file.name}: ${reply.width} x ${reply.height} pixels`;
  $('compare-section').hidden = true;
  await convertNow();
}

const reloadNow = () => loadNow();

async function openFile(file) {
  if (!file) return;
  const chosen = { bytes: await file.arrayBuffer(), name: file.name || 'pasted' };
  schedule(() => loadNow(chosen));
}

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
  const extension = $('extension').value;
  const name = `${baseName(state.file.name)}.${extension}`;
  const type = extension === 'c' || extension === 'h' ? 'text/plain' : 'application/octet-stream';
  const reply = await ask('file', { name, source: state.file.name, order: $('byte-order').value });
  if (reply.ok) save(reply.bytes, name, type);
  else showError(reply.message);
}

// RGN/MBR files are little-endian by definition: the byte order is for raw
// words and C text only.
function showByteOrder() {
  const rgn = ['rgn', 'mbr'].includes($('extension').value);
  $('byte-order').disabled = rgn;
  if (rgn) $('byte-order').value = 'little';
}

async function downloadPreview() {
  const reply = await ask('png');
  if (reply.ok) save(reply.bytes, `${baseName(state.file.name)}-preview.png`, 'image/png');
  else showError(reply.message);
}

function cell(row, text) {
  const td = document.createElement('td');
  td.textContent = text;
  row.append(td);
}

async function compareAll() {
  const reply = await ask('compareAll', { green: $('green').checked, current: quantisationChoices() });
  if (!reply.ok) {
    showError(reply.message);
    return;
  }
  const body = $('compare-table').tBodies[0];
  body.replaceChildren();
  for (const r of reply.rows) {
    const row = document.createElement('tr');
    cell(row, r.dither);
    cell(row, r.serpentine ? 'yes' : 'no');
    cell(row, r.greenCompensation ? 'on' : 'off');
    cell(row, r.psnr === Infinity ? 'inf' : formatNumber(r.psnr, 2));
    cell(row, formatNumber(r.meanDeltaE, 2));
    cell(row, formatNumber(r.maxDeltaE, 2));
    cell(row, formatNumber(r.greyDrift, 4));
    body.append(row);
  }
  const tiles = $('compare-tiles');
  tiles.replaceChildren();
  const zoom = Number($('zoom').value);
  for (const t of reply.tiles) {
    const figure = document.createElement('figure');
    const canvas = document.createElement('canvas');
    drawBitmap(canvas, t.bitmap, state.width, state.height);
    canvas.style.width = `${canvas.width * zoom}px`;
    const caption = document.createElement('figcaption');
    caption.textContent = `${t.dither}${t.serpentine ? ' serpentine' : ''}: ${formatNumber(t.meanDeltaE, 2)}`;
    figure.append(canvas, caption);
    tiles.append(figure);
  }
  $('compare-section').hidden = false;
}

$('file-input').addEventListener('change', (e) => {
  openFile(e.target.files[0]);
  e.target.value = ''; // choosing the same file again reads it again
});
const dropZone = document.body;
dropZone.addEventListener('dragover', (e) => {
  e.preventDefault();
  $('drop-zone').classList.add('over');
});
dropZone.addEventListener('dragleave', () => $('drop-zone').classList.remove('over'));
dropZone.addEventListener('drop', (e) => {
  e.preventDefault();
  $('drop-zone').classList.remove('over');
  openFile(e.dataTransfer.files[0]);
});
document.addEventListener('paste', (e) => {
  const item = [...e.clipboardData.items].find((i) => i.kind === 'file');
  if (item) openFile(item.getAsFile());
});
for (const id of ['dither', 'serpentine', 'green'])
  $(id).addEventListener('change', () => {
    quantisationChoices(); // serpentine is offered with error diffusion only
    schedule(convertNow);
  });
for (const id of ['decoder', 'background', 'resize-width', 'resize-height', 'fit', 'filter'])
  $(id).addEventListener('change', () => schedule(reloadNow));
$('view').addEventListener('change', applyView);
$('zoom').addEventListener('input', applyZoom);
$('split').addEventListener('input', applySplit);
$('download').addEventListener('click', () => schedule(downloadFile));
$('extension').addEventListener('change', showByteOrder);
$('download-preview').addEventListener('click', () => schedule(downloadPreview));
$('compare-all').addEventListener('click', () => schedule(compareAll));
quantisationChoices();
