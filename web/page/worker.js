// The worker: holds the compiled core, does every heavy step off the page's
// thread, and answers each request with one message carrying the request's
// id. It draws the source and the result straight into the page's two
// canvases (handed over as OffscreenCanvases), so that even a large picture
// costs the page's thread nothing; only the comparison tiles travel back, as
// ImageBitmaps.
/* global HalvexCore */
'use strict';

let core = null;
let canvases = null; // { source, result }
let view = 'side';
let shown = null; // { width, height, result: ImageData, difference: ImageData or null }
const coreReady = HalvexCore().then((module) => {
  core = module;
});

const METHOD_NAMES = ['none', 'floyd-steinberg', 'atkinson-boyle', 'ordered'];

function copyIn(bytes) {
  const pointer = core._malloc(bytes.length > 0 ? bytes.length : 1);
  core.HEAPU8.set(bytes, pointer);
  return pointer;
}

function copyOut(pointer, length) {
  return core.HEAPU8.slice(pointer, pointer + length);
}

function message() {
  return core.UTF8ToString(core._hx_message());
}

function paint(canvas, rgba, width, height) {
  canvas.width = width;
  canvas.height = height;
  if (width > 0 && height > 0)
    canvas.getContext('2d').putImageData(new ImageData(new Uint8ClampedArray(rgba.buffer), width, height), 0, 0);
}

function paintResult() {
  if (!shown) return;
  if (view === 'difference' && !shown.difference) shown.difference = differenceOf(shown.source, shown.result);
  paint(canvases.result, view === 'difference' ? shown.difference : shown.result, shown.width, shown.height);
}

async function bitmapOf(rgba, width, height) {
  if (width === 0 || height === 0) return null;
  return createImageBitmap(new ImageData(new Uint8ClampedArray(rgba.buffer), width, height));
}

// Each channel's difference, four times as bright, so that dither noise shows.
function differenceOf(source, result) {
  const out = new Uint8ClampedArray(source.length);
  for (let i = 0; i < source.length; i += 4) {
    out[i] = Math.abs(source[i] - result[i]) * 4;
    out[i + 1] = Math.abs(source[i + 1] - result[i + 1]) * 4;
    out[i + 2] = Math.abs(source[i + 2] - result[i + 2]) * 4;
    out[i + 3] = 255;
  }
  return out;
}

function figures() {
  core._hx_measure();
  const pointer = core._hx_figures() >> 3;
  const values = core.HEAPF64.subarray(pointer, pointer + 4);
  return { psnr: values[0], meanDeltaE: values[1], maxDeltaE: values[2], greyDrift: values[3] };
}

function size() {
  return { width: core._hx_width(), height: core._hx_height() };
}

function convert(q) {
  if (core._hx_convert(q.method, q.serpentine ? 1 : 0, q.green ? 1 : 0) !== 0) throw new Error(message());
  const { width, height } = size();
  return copyOut(core._hx_result_rgba(), width * height * 4);
}

const handlers = {
  async canvases(request) {
    canvases = { source: request.source, result: request.result };
    return { ok: true };
  },

  async load(request) {
    const bytes = new Uint8Array(request.bytes);
    const pointer = copyIn(bytes);
    const o = request.options;
    const status = core._hx_load(pointer, bytes.length, o.decoder, o.background, o.resizeWidth,
      o.resizeHeight, o.fit, o.filter);
    core._free(pointer);
    if (status !== 0) return { ok: false, message: message() };
    const { width, height } = size();
    paint(canvases.source, copyOut(core._hx_source_rgba(), width * height * 4), width, height);
    shown = null;
    return { ok: true, width, height, warnings: message() };
  },

  async convert(request) {
    const result = convert(request.quantisation);
    const { width, height } = size();
    shown = { width, height, result, difference: null, source: copyOut(core._hx_source_rgba(), width * height * 4) };
    paintResult();
    return { ok: true, width, height };
  },

  async figures() {
    return { ok: true, figures: figures() };
  },

  async view(request) {
    view = request.view;
    paintResult();
    return { ok: true };
  },

  // The file a download of the current result gives: its name's extension
  // chooses the format, as on the command line.
  async file(request) {
    const text = (value) => copyIn(new TextEncoder().encode(`${value}\0`));
    const name = text(request.name);
    const source = text(request.source);
    const status = core._hx_word_file(name, source, request.order === 'big' ? 1 : 0);
    core._free(name);
    core._free(source);
    if (status !== 0) return { ok: false, message: message() };
    return { ok: true, bytes: copyOut(core._hx_file_data(), core._hx_file_size()).buffer };
  },

  async png() {
    if (core._hx_preview_png() !== 0) return { ok: false, message: message() };
    return { ok: true, bytes: copyOut(core._hx_png_data(), core._hx_png_size()).buffer };
  },

  async compareAll(request) {
    const { width, height } = size();
    const rows = [];
    const tiles = [];
    for (const green of [true, false]) {
      for (const [method, serpentine] of [[0, false], [3, false], [1, false], [1, true], [2, false], [2, true]]) {
        const rgba = convert({ method, serpentine, green });
        const row = { dither: METHOD_NAMES[method], serpentine, greenCompensation: green, ...figures() };
        rows.push(row);
        if (green === request.green) tiles.push({ ...row, bitmap: await bitmapOf(rgba, width, height) });
      }
    }
    rows.sort((a, b) => a.meanDeltaE - b.meanDeltaE);
    tiles.sort((a, b) => a.meanDeltaE - b.meanDeltaE);
    // The held result is the current choice again, so Download saves what the page shows.
    convert(request.current);
    return { ok: true, rows, tiles };
  },
};

self.onmessage = async (event) => {
  const request = event.data;
  let reply;
  try {
    await coreReady;
    reply = await handlers[request.type](request);
  } catch (error) {
    reply = { ok: false, message: String(error && error.message ? error.message : error) };
  }
  reply.id = request.id;
  reply.type = request.type;
  const transfer = [];
  if (reply.bytes) transfer.push(reply.bytes);
  for (const tile of reply.tiles || []) if (tile.bitmap) transfer.push(tile.bitmap);
  self.postMessage(reply, transfer);
};
