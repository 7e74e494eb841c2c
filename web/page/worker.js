// A worker: holds one instance of the compiled core and does the heavy steps
// off the page's thread. The page runs three of them, each with its own
// picture: one for the preview and the downloads, one for the figures of the
// current choice and one for comparing every mode, so that the slow figures
// never hold up a preview or a download, and a task that is no longer wanted
// ends with its worker (the page terminates it and starts another).
//
// Each request is answered by one message carrying the request's id; a long
// request may send progress messages before it. Pictures travel to the page
// as ImageBitmaps, which it draws with its own zoom and pan. A module that
// dies (a failed assertion, memory) says so with `dead`, and the page starts
// a fresh worker.
/* global HalvexCore */
'use strict';

let core = null;
let heldKey = null; // the reading (page's key) of the picture this worker holds
const coreReady = HalvexCore().then((module) => {
  core = module;
});

const METHOD_NAMES = ['none', 'floyd-steinberg', 'atkinson-boyle', 'ordered'];
const BAND_PIXELS = 1 << 20; // rows copied out of the module at a time

class OutOfMemory extends Error {}

function message() {
  return core.UTF8ToString(core._hx_message());
}

function copyIn(bytes) {
  const pointer = core._malloc(bytes.length > 0 ? bytes.length : 1);
  if (!pointer) throw new OutOfMemory();
  core.HEAPU8.set(bytes, pointer);
  return pointer;
}

function copyOut(pointer, length) {
  return core.HEAPU8.slice(pointer, pointer + length);
}

function size() {
  return { width: core._hx_width(), height: core._hx_height() };
}

// The source (0), the result (1) or their difference (2) as an ImageBitmap,
// a band of rows at a time; null for a picture without pixels.
async function bitmapOf(kind) {
  const { width, height } = size();
  if (width === 0 || height === 0) return null;
  let rgba;
  try {
    rgba = new Uint8ClampedArray(width * height * 4);
  } catch {
    throw new OutOfMemory();
  }
  const rows = Math.max(1, Math.floor(BAND_PIXELS / width));
  for (let y = 0; y < height; y += rows) {
    const count = Math.min(rows, height - y);
    const pointer = core._hx_rgba_rows(kind, y, count);
    if (!pointer) throw new OutOfMemory();
    rgba.set(core.HEAPU8.subarray(pointer, pointer + width * count * 4), width * y * 4);
  }
  return createImageBitmap(new ImageData(rgba, width, height));
}

function load(request) {
  heldKey = null;
  const bytes = new Uint8Array(request.bytes);
  const pointer = copyIn(bytes);
  const o = request.options;
  const status = core._hx_load(pointer, bytes.length, o.decoder, o.background, o.resizeWidth,
    o.resizeHeight, o.fit, o.filter);
  core._free(pointer);
  if (status !== 0) return { ok: false, where: status === -2 ? 'resize' : 'file', message: message() };
  heldKey = request.key;
  return { ok: true, ...size(), warnings: message() };
}

// Loads the picture unless this worker holds it already.
function hold(request) {
  if (heldKey !== null && heldKey === request.key) return { ok: true };
  return load(request);
}

function convert(q) {
  if (core._hx_convert(q.method, q.serpentine ? 1 : 0, q.green ? 1 : 0) !== 0) throw new Error(message());
}

function figures() {
  core._hx_measure();
  const pointer = core._hx_figures() >> 3;
  const values = core.HEAPF64.subarray(pointer, pointer + 4);
  return { psnr: values[0], meanDeltaE: values[1], maxDeltaE: values[2], greyDrift: values[3] };
}

const MODES = [[0, false], [3, false], [1, false], [1, true], [2, false], [2, true]];

const handlers = {
  async load(request) {
    const reply = load(request);
    if (reply.ok) reply.source = await bitmapOf(0);
    return reply;
  },

  async convert(request) {
    convert(request.quantisation);
    return { ok: true, result: await bitmapOf(1) };
  },

  async difference() {
    return { ok: true, difference: await bitmapOf(2) };
  },

  async figures(request) {
    const held = hold(request);
    if (!held.ok) return held;
    convert(request.quantisation);
    return { ok: true, figures: figures() };
  },

  // Every mode at the chosen compensation, one progress message per mode.
  async compare(request) {
    const held = hold(request);
    if (!held.ok) return held;
    for (const [index, [method, serpentine]] of MODES.entries()) {
      convert({ method, serpentine, green: request.green });
      const bitmap = await bitmapOf(1);
      self.postMessage({ id: request.id, progress: true, index, dither: METHOD_NAMES[method], serpentine,
        bitmap, figures: figures() }, bitmap ? [bitmap] : []);
    }
    return { ok: true };
  },

  // The word file of the current result: its name's extension chooses the
  // format, as on the command line.
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

  // The words for a picture that a worker died of.
  async memoryWords() {
    return { ok: true, message: core.UTF8ToString(core._hx_out_of_memory_message()) };
  },

  async png() {
    if (core._hx_preview_png() !== 0) return { ok: false, message: message() };
    return { ok: true, bytes: copyOut(core._hx_png_data(), core._hx_png_size()).buffer };
  },
};

self.onmessage = async (event) => {
  const request = event.data;
  let reply;
  try {
    await coreReady;
    reply = await handlers[request.type](request);
  } catch (error) {
    if (error instanceof OutOfMemory) {
      reply = { ok: false, memory: true, message: core.UTF8ToString(core._hx_out_of_memory_message()) };
    } else {
      // An abort leaves the module unusable: the page replaces this worker.
      const dead = error instanceof WebAssembly.RuntimeError || /abort/i.test(String(error && error.message));
      reply = { ok: false, dead, message: String(error && error.message ? error.message : error) };
    }
    heldKey = null;
  }
  reply.id = request.id;
  const transfer = [];
  for (const key of ['bytes']) if (reply[key]) transfer.push(reply[key]);
  for (const key of ['source', 'result', 'difference']) if (reply[key]) transfer.push(reply[key]);
  self.postMessage(reply, transfer);
};
