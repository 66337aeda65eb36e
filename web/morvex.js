// morvex.js - the Morvex tracker in JavaScript, over its WebAssembly build.
//
//   import { createTracker } from 'morvex';
//   const tracker = await createTracker({
//     camera: 'camera_para.dat',                  // URL in a page, path in Node; null: default
//     patterns: [{ source: 'patt.lumo', width: 45 }],
//   });
//   for (const m of tracker.track(videoElement)) // or ImageData, or {data, width, height}
//     if (m.pose) console.log(m.id, m.pose);      // marker -> camera, mm
//   tracker.destroy();
//
// Every number comes from the C tracker (include/morvex/tracker.h) as it is;
// failures throw MorvexError with the library's own message.
import createMorvexCore from './morvex_core.mjs';

const ERROR_NAMES = ['none', 'not_found', 'format', 'capacity', 'memory', 'device', 'argument', 'write'];
const MESSAGE_MAX = 256;
const FORMATS = { rgba: [0, 4], bgra: [1, 4], rgb: [2, 3], bgr: [3, 3], grey: [4, 1] };
const PATTERN_BYTES = 3072;
const IN_NODE = typeof process === 'object' && !!(process.versions && process.versions.node) &&
  typeof window === 'undefined';

/** A failure of the library: `message` is its text, `code` its MvError number. */
export class MorvexError extends Error {
  constructor(message, code) {
    super(message);
    this.name = 'MorvexError';
    this.code = code;
    this.codeName = ERROR_NAMES[code] || 'unknown';
  }
}

let corePromise = null;
let core = null;
let L = null;  // the records' layout, from the bridge

/**
 * Loads the WebAssembly module once (every other call waits for it).
 * options.wasmBinary: the .wasm's bytes; options.locateFile: where to fetch it.
 */
export function init(options = {}) {
  if (!corePromise) {
    corePromise = (async () => {
      const moduleOptions = { ...options };
      if (IN_NODE && !moduleOptions.wasmBinary) {
        // Node's fetch cannot read a file path: hand it the bytes.
        const fsName = 'node:fs/promises';
        const fs = await import(fsName);
        moduleOptions.wasmBinary = await fs.readFile(new URL('./morvex_core.wasm', import.meta.url));
      }
      const c = await createMorvexCore(moduleOptions);
      const out = c._malloc(64 * 4);
      const n = c._mvwebLayout(out, 64);
      const v = Array.from(c.HEAP32.subarray(out >> 2, (out >> 2) + n));
      c._free(out);
      const names = ['marker', 'id', 'family', 'direction', 'confidence', 'area', 'center', 'corners',
        'cornersIdeal', 'edgeLines', 'hasPose', 'pose', 'poseError', 'widthMm', 'camera',
        'projection', 'distortion', 'settings', 'threshold', 'refine', 'history', 'halfResolution',
        'greyMatching', 'maxMarkers', 'stats', 'frames', 'detectSeconds', 'poseSeconds'];
      L = Object.fromEntries(names.map((k, i) => [k, v[i]]));
      c.FS.mkdir('/input');
      core = c;
      return c;
    })();
    corePromise.catch(() => { corePromise = null; });
  }
  return corePromise;
}

// --- memory helpers (the views are re-read: memory may have grown) --------

function f64(ptr, n) { return Array.from(core.HEAPF64.subarray(ptr >> 3, (ptr >> 3) + n)); }
function i32(ptr) { return core.HEAP32[ptr >> 2]; }
function cString(text) {
  const size = core.lengthBytesUTF8(text) + 1;
  const ptr = core._malloc(size);
  core.stringToUTF8(text, ptr, size);
  return ptr;
}
function withMemory(size, fn) {
  const ptr = core._malloc(size);
  try { return fn(ptr); } finally { core._free(ptr); }
}

function readCamera(ptr) {
  const p = ptr + L.projection, d = ptr + L.distortion;
  return {
    xsize: i32(ptr), ysize: i32(ptr + 4),
    projection: [f64(p, 4), f64(p + 32, 4), f64(p + 64, 4)],
    distortion: f64(d, 4),
  };
}

function writeCamera(ptr, cam) {
  if (!cam || !Array.isArray(cam.projection) || cam.projection.length !== 3 ||
      !Array.isArray(cam.distortion) || cam.distortion.length !== 4)
    throw new MorvexError('camera: needs xsize, ysize, projection (3 rows of 4) and distortion (4 numbers)', 6);
  core.HEAP32[ptr >> 2] = cam.xsize;
  core.HEAP32[(ptr >> 2) + 1] = cam.ysize;
  const h = core.HEAPF64;
  for (let r = 0; r < 3; r++)
    for (let c = 0; c < 4; c++) h[((ptr + L.projection) >> 3) + 4 * r + c] = Number(cam.projection[r][c]);
  for (let k = 0; k < 4; k++) h[((ptr + L.distortion) >> 3) + k] = Number(cam.distortion[k]);
}

// --- sources: a URL or path, or the file's bytes -------------------------

function baseName(name) { return String(name).split(/[\\/]/).pop().split(/[?#]/)[0] || 'input'; }

async function fetchBytes(source) {
  if (source instanceof Uint8Array) return source;
  if (source instanceof ArrayBuffer) return new Uint8Array(source);
  if (ArrayBuffer.isView(source)) return new Uint8Array(source.buffer, source.byteOffset, source.byteLength);
  const where = source instanceof URL ? source : String(source);
  if (IN_NODE && !(where instanceof URL && where.protocol !== 'file:') && !/^https?:/.test(String(where))) {
    const fsName = 'node:fs/promises';
    const fs = await import(fsName);
    try {
      return new Uint8Array(await fs.readFile(where));
    } catch (e) {
      throw new MorvexError(`${where}: cannot be read (${e.code || e.message})`, 1);
    }
  }
  const response = await fetch(where);
  if (!response.ok) throw new MorvexError(`${where}: cannot be fetched (HTTP ${response.status})`, 1);
  return new Uint8Array(await response.arrayBuffer());
}

function sourceName(source, fallback) {
  return typeof source === 'string' || source instanceof URL ? baseName(source) : fallback;
}

// Runs fn(name) with the bytes as the file `name` in the module's own file
// system, so that the library reads it, and words its messages, as a file.
function asFile(bytes, name, fn) {
  const path = '/input/' + baseName(name);
  core.FS.writeFile(path, bytes);
  core.FS.chdir('/input');
  try { return fn(baseName(name)); } finally { core.FS.unlink(path); core.FS.chdir('/'); }
}

/**
 * A camera from a camera file (the 136-byte big-endian record): a URL or
 * path, or the file's bytes. Resolves to {xsize, ysize, projection, distortion}.
 */
export async function loadCamera(source) {
  const bytes = await fetchBytes(source);
  await init();
  return asFile(bytes, sourceName(source, 'camera_para.dat'), (name) => withMemory(L.camera, (cam) => {
    const path = cString(name);
    try {
      core._mvClearError();
      if (core._mvwebLoadCamera(path, cam) < 0)
        throw new MorvexError(core.UTF8ToString(core._mvLastErrorText()) || `${name}: not a camera file`, 2);
      return readCamera(cam);
    } finally { core._free(path); }
  }));
}

/** The tracker's camera for a webcam of unknown calibration, width x height pixels. */
export async function defaultCamera(width, height) {
  await init();
  return withMemory(L.camera, (cam) => { core._mvTrackerDefaultCamera(width, height, cam); return readCamera(cam); });
}

function settingsFrom(ptr) {
  return {
    threshold: i32(ptr + L.threshold), refine: !!i32(ptr + L.refine), history: !!i32(ptr + L.history),
    halfResolution: !!i32(ptr + L.halfResolution), greyMatching: !!i32(ptr + L.greyMatching),
    maxMarkers: i32(ptr + L.maxMarkers),
  };
}

function writeSettings(ptr, s) {
  const put = (field, value) => { if (value !== undefined) core.HEAP32[(ptr + L[field]) >> 2] = Number(value); };
  put('threshold', s.threshold === 'auto' ? -1 : s.threshold);
  for (const k of ['refine', 'history', 'halfResolution', 'greyMatching'])
    if (s[k] !== undefined) put(k, s[k] ? 1 : 0);
  put('maxMarkers', s.maxMarkers);
}

/** One tracked video stream: its camera, patterns, history and settings. */
export class Tracker {
  /** Use createTracker(). */
  constructor(handle) {
    this._t = handle;
    this._frame = 0;
    this._frameSize = 0;
    this._out = core._malloc(8);  // markers pointer, then count
    this._canvas = null;
    this._names = new Map();
  }

  _live() {
    if (!this._t) throw new MorvexError('the tracker was destroyed', 6);
    return this._t;
  }

  _fail(code) {
    throw new MorvexError(core.UTF8ToString(core._mvTrackerErrorText(this._t)), code);
  }

  /**
   * Adds a pattern: the pattern file's bytes (3072 whole numbers as text),
   * or {values: 3072 bytes} in the file's order. Returns its id.
   */
  addPattern(contents, width = 45, name = 'pattern') {
    const t = this._live();
    let id;
    if (contents && typeof contents === 'object' && !ArrayBuffer.isView(contents) &&
        !(contents instanceof ArrayBuffer) && contents.values) {
      const values = contents.values;
      if (values.length !== PATTERN_BYTES)
        throw new MorvexError(`${name}: ${values.length} values, a pattern has ${PATTERN_BYTES}`, 6);
      id = withMemory(PATTERN_BYTES + 4, (ptr) => {
        core.HEAPU8.set(values, ptr);
        const namePtr = cString(name);
        const pattern = core._mvPatternFromValues(ptr, namePtr);
        core._free(namePtr);
        if (!pattern) throw new MorvexError('out of memory', 4);
        try {
          const code = core._mvTrackerAddPattern(t, pattern, width, ptr + PATTERN_BYTES);
          if (code) this._fail(code);
          return i32(ptr + PATTERN_BYTES);
        } finally { core._mvPatternRelease(pattern); }
      });
    } else {
      const bytes = typeof contents === 'string' ? new TextEncoder().encode(contents)
        : contents instanceof ArrayBuffer ? new Uint8Array(contents) : contents;
      id = asFile(bytes, name, (file) => withMemory(4, (idPtr) => {
        const path = cString(file);
        try {
          const code = core._mvTrackerAddPatternFile(t, path, width, idPtr);
          if (code) this._fail(code);
          return i32(idPtr);
        } finally { core._free(path); }
      }));
    }
    this._names.set(id, core.UTF8ToString(core._mvTrackerPatternName(t, id)));
    return id;
  }

  /** Stops identifying pattern `id` (from the next frame on). */
  removePattern(id) {
    const code = core._mvTrackerRemovePattern(this._live(), id);
    if (code) this._fail(code);
    this._names.delete(id);
  }

  /** The pattern ids and their names and marker sides (mm). */
  get patterns() {
    const t = this._live();
    return [...this._names.keys()].map((id) => ({ id, name: this._names.get(id), width: core._mvTrackerPatternWidth(t, id) }));
  }

  /** The settings: threshold (0..255 or 'auto'), refine, history, halfResolution, greyMatching, maxMarkers. */
  get settings() {
    const t = this._live();
    return withMemory(L.settings, (p) => {
      core._mvTrackerGetSettings(t, p);
      const s = settingsFrom(p);
      if (s.threshold < 0) s.threshold = 'auto';
      return s;
    });
  }

  /** Changes the settings given; the others stay. */
  set settings(changes) {
    const t = this._live();
    withMemory(L.settings, (p) => {
      core._mvTrackerGetSettings(t, p);
      writeSettings(p, changes);
      const code = core._mvTrackerSetSettings(t, p);
      if (code) this._fail(code);
    });
  }

  /** The camera used for the last frame (rescaled to its size), or null before any with a default camera. */
  get camera() {
    const t = this._live();
    return withMemory(L.camera, (p) => (core._mvTrackerGetCamera(t, p) < 0 ? null : readCamera(p)));
  }

  /** Replaces the camera (a camera object, or null for a default one) and starts a new stream. */
  set camera(cam) {
    const t = this._live();
    const code = cam ? withMemory(L.camera, (p) => { writeCamera(p, cam); return core._mvTrackerSetCamera(t, p); })
      : core._mvTrackerSetCamera(t, 0);
    if (code) this._fail(code);
  }

  /** Frames processed and seconds spent, from the tracker's own clock. */
  get stats() {
    const t = this._live();
    return withMemory(L.stats, (p) => {
      core._mvTrackerGetStats(t, p);
      return { frames: i32(p + L.frames), detectSeconds: f64(p + L.detectSeconds, 1)[0], poseSeconds: f64(p + L.poseSeconds, 1)[0] };
    });
  }

  /** Forgets the stream (history, previous poses, threshold): for a cut. */
  reset() { core._mvTrackerReset(this._live()); }

  // Pixels of an image, video frame, canvas or bitmap, through a 2-D canvas.
  _pixels(source) {
    const w = source.videoWidth || source.naturalWidth || source.displayWidth || source.width;
    const h = source.videoHeight || source.naturalHeight || source.displayHeight || source.height;
    if (!(w > 0 && h > 0)) throw new MorvexError('track: the image has no size yet (a video not started?)', 6);
    if (!this._canvas) {
      this._canvas = typeof OffscreenCanvas !== 'undefined' ? new OffscreenCanvas(w, h) : document.createElement('canvas');
      this._context = null;
    }
    if (this._canvas.width !== w || this._canvas.height !== h || !this._context) {
      this._canvas.width = w;
      this._canvas.height = h;
      this._context = this._canvas.getContext('2d', { willReadFrequently: true });
    }
    this._context.drawImage(source, 0, 0, w, h);
    return this._context.getImageData(0, 0, w, h);
  }

  /**
   * Tracks one frame: ImageData or {data, width, height} (RGBA unless
   * options.format says 'bgra', 'rgb', 'bgr' or 'grey'; options.stride in
   * bytes), or in a page a video, image, canvas, ImageBitmap or VideoFrame.
   * Returns the frame's markers.
   */
  track(frame, options = {}) {
    const t = this._live();
    let image = frame;
    if (!(frame && frame.data && frame.width > 0 && frame.height > 0)) image = this._pixels(frame);
    const fmt = FORMATS[options.format || 'rgba'];
    if (!fmt) throw new MorvexError(`track: format ${options.format}: rgba, bgra, rgb, bgr or grey`, 6);
    const { width, height } = image;
    const stride = options.stride || width * fmt[1];
    const data = image.data;
    const bytes = data instanceof Uint8Array || data instanceof Uint8ClampedArray ? data
      : new Uint8Array(data.buffer, data.byteOffset, data.byteLength);
    if (bytes.length < stride * (height - 1) + width * fmt[1])
      throw new MorvexError(`track: ${bytes.length} bytes are too few for ${width} x ${height} pixels, rows ${stride} bytes apart`, 6);
    const need = stride * (height - 1) + width * fmt[1];
    if (need > this._frameSize) {
      if (this._frame) core._free(this._frame);
      this._frame = core._malloc(need);
      this._frameSize = this._frame ? need : 0;
      if (!this._frame) throw new MorvexError('out of memory', 4);
    }
    core.HEAPU8.set(bytes.length > need ? bytes.subarray(0, need) : bytes, this._frame);
    const code = core._mvTrackerProcess(t, this._frame, width, height, stride, fmt[0], this._out, this._out + 4);
    if (code) this._fail(code);
    const first = i32(this._out), count = i32(this._out + 4);
    const markers = new Array(count);
    for (let k = 0; k < count; k++) markers[k] = this._marker(first + k * L.marker);
    return markers;
  }

  _marker(p) {
    const id = i32(p + L.id);
    const pairs = (q) => [f64(q, 2), f64(q + 16, 2), f64(q + 32, 2), f64(q + 48, 2)];
    const hasPose = i32(p + L.hasPose) !== 0;
    const family = i32(p + L.family);
    return {
      id,
      pattern: id >= 0 ? (this._names.get(id) ?? null) : null,
      family: family ? core.UTF8ToString(family) : null,
      direction: i32(p + L.direction),
      confidence: f64(p + L.confidence, 1)[0],
      area: i32(p + L.area),
      center: f64(p + L.center, 2),
      corners: pairs(p + L.corners),
      corners_ideal: pairs(p + L.cornersIdeal),
      lines: [f64(p + L.edgeLines, 3), f64(p + L.edgeLines + 24, 3), f64(p + L.edgeLines + 48, 3), f64(p + L.edgeLines + 72, 3)],
      pose: hasPose ? [f64(p + L.pose, 4), f64(p + L.pose + 32, 4), f64(p + L.pose + 64, 4)] : null,
      pose_error: hasPose ? f64(p + L.poseError, 1)[0] : null,
      width_mm: hasPose ? f64(p + L.widthMm, 1)[0] : 0,
    };
  }

  /** Frees the tracker; every later call throws. */
  destroy() {
    if (!this._t) return;
    core._mvTrackerDestroy(this._t);
    core._free(this._frame);
    core._free(this._out);
    this._t = 0;
    this._frame = 0;
    this._frameSize = 0;
  }
}

/**
 * Makes a tracker.
 *   camera: a camera object (loadCamera, defaultCamera), a camera file's URL
 *           or path or bytes, or null (default): a default camera of each
 *           frame's size, for webcams of unknown calibration.
 *   patterns: [{source: URL, path or the file's bytes, or values: 3072 bytes,
 *              width: marker side in mm (45), name}]
 *   settings: as Tracker.settings.
 */
export async function createTracker(options = {}) {
  await init();
  let camera = options.camera ?? null;
  if (camera && !camera.projection) camera = await loadCamera(camera);
  const patterns = [];
  for (const p of options.patterns || []) {
    if (p.values && !p.source) patterns.push({ contents: { values: p.values }, width: p.width ?? 45, name: p.name || 'pattern' });
    else patterns.push({ contents: await fetchBytes(p.source), width: p.width ?? 45, name: p.name || sourceName(p.source, 'pattern') });
  }
  const handle = withMemory(L.camera + L.settings + 4 + MESSAGE_MAX, (mem) => {
    const cam = mem, settings = mem + L.camera, out = settings + L.settings, why = out + 4;
    if (camera) writeCamera(cam, camera);
    core._mvTrackerSettingsInit(settings);
    writeSettings(settings, options.settings || {});
    const code = core._mvTrackerCreate(camera ? cam : 0, settings, out, why);
    if (code) throw new MorvexError(core.UTF8ToString(why), code);
    return i32(out);
  });
  const tracker = new Tracker(handle);
  try {
    for (const p of patterns) tracker.addPattern(p.contents, p.width, p.name);
  } catch (e) {
    tracker.destroy();
    throw e;
  }
  return tracker;
}
