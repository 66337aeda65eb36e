// app.js - the page: a webcam (or the demo clip) tracked frame by frame, with
// mvviewer's scene drawn on the marker.
//
// URL words: ?source=camera|clip (default: the webcam, the clip without
// one); &step=1 with the clip: no playing, frames are tracked one by one
// through morvexPage.trackClip (the tests use it).
import { createTracker, MorvexError } from '../morvex.js';
import { Scene } from './scene.js';

const CLIP = 'resources/demo_clip.webm';
const CLIP_FPS = 30;
const params = new URLSearchParams(location.search);
const $ = (id) => document.getElementById(id);
const video = $('video'), view = $('view');
const grab = document.createElement('canvas');
const grabContext = grab.getContext('2d', { willReadFrequently: true });

// What the page has done, for people (on screen) and tests (window.morvexPage).
const state = {
  ready: false, source: null, error: null, framesProcessed: 0, framesWithMarker: 0,
  lastMarkers: [], lastPose: null, camera: null, frameSize: null, trackMs: 0, fps: 0,
};
let tracker = null, patternId = -1, scene = null, running = false, stream = null;
let configuring = Promise.resolve();
let fpsCount = 0, fpsSince = performance.now(), trackMsSum = 0;

function status(text, isError = false) {
  $('status').textContent = text;
  $('status').style.color = isError ? '#f88' : '';
  if (isError) state.error = text;
}

async function fileBytes(input) {
  const file = input.files && input.files[0];
  if (!file) return null;
  return { bytes: new Uint8Array(await file.arrayBuffer()), name: file.name };
}

// A tracker from the choices on the form.
async function configure() {
  const cameraChoice = $('camera').value;
  let camera = null;  // the default camera of each frame's size
  if (cameraChoice === 'bundled' || (cameraChoice === 'auto' && state.source === 'clip')) {
    camera = 'resources/camera_para.dat';
  } else if (cameraChoice === 'file') {
    const f = await fileBytes($('camera-file'));
    if (!f) { status('choose a camera file'); return; }
    camera = f.bytes;
  }
  let pattern = { source: 'resources/patt.lumo' };
  if ($('marker').value === 'file') {
    const f = await fileBytes($('marker-file'));
    if (!f) { status('choose a pattern file'); return; }
    pattern = { source: f.bytes, name: f.name };
  }
  pattern.width = Number($('marker-width').value) || 45;
  const next = await createTracker({ camera, patterns: [pattern] });
  if (tracker) tracker.destroy();
  tracker = next;
  patternId = tracker.patterns[0].id;
  state.error = null;
  status(`tracking ${tracker.patterns[0].name} (${pattern.width} mm) on the ${state.source === 'clip' ? 'demo clip' : 'webcam'}`);
}

function reconfigure() {
  configuring = configuring.then(configure).catch((e) => status(e.message, true));
  return configuring;
}

// Tracks the video's current frame and draws it with the scene.
function processFrame() {
  const w = video.videoWidth, h = video.videoHeight;
  if (!tracker || !w || !h) return null;
  if (grab.width !== w || grab.height !== h) {
    grab.width = w;
    grab.height = h;
    // Small frames drawn at twice their size, as the viewer's window shows
    // them: the scene's lines stay thin.
    const zoom = w < 640 ? 2 : 1;
    view.width = zoom * w;
    view.height = zoom * h;
    state.frameSize = [w, h];
  }
  grabContext.drawImage(video, 0, 0, w, h);
  const frame = grabContext.getImageData(0, 0, w, h);
  const t0 = performance.now();
  let markers;
  try {
    markers = tracker.track(frame);
  } catch (e) {
    status(e instanceof MorvexError ? e.message : String(e), true);
    return null;
  }
  const dt = performance.now() - t0;
  // The most confident marker of our pattern with a pose, as the viewer.
  let best = null;
  for (const m of markers)
    if (m.id === patternId && m.pose && (!best || m.confidence > best.confidence)) best = m;
  const camera = tracker.camera;
  scene.draw(frame, camera, best ? best.pose : null);

  state.framesProcessed++;
  if (best) state.framesWithMarker++;
  state.lastMarkers = markers;
  state.lastPose = best ? best.pose : null;
  state.camera = camera;
  fpsCount++;
  trackMsSum += dt;
  const now = performance.now();
  if (now - fpsSince >= 1000) {
    state.fps = (1000 * fpsCount) / (now - fpsSince);
    state.trackMs = trackMsSum / fpsCount;
    $('fps').textContent = `${state.fps.toFixed(1)} fps · tracker ${state.trackMs.toFixed(2)} ms/frame`;
    fpsCount = 0;
    trackMsSum = 0;
    fpsSince = now;
  }
  return markers;
}

// Every new video frame, once. A restart begins a new generation; the
// callbacks of an older one end without tracking.
let generation = 0;
function loop() {
  const mine = ++generation;
  const live = () => running && mine === generation;
  if (video.requestVideoFrameCallback) {
    const onFrame = () => {
      if (!live()) return;
      processFrame();
      video.requestVideoFrameCallback(onFrame);
    };
    video.requestVideoFrameCallback(onFrame);
  } else {
    let last = -1;
    const tick = () => {
      if (!live()) return;
      if (video.currentTime !== last) { last = video.currentTime; processFrame(); }
      requestAnimationFrame(tick);
    };
    requestAnimationFrame(tick);
  }
}

async function startCamera() {
  if (!navigator.mediaDevices || !navigator.mediaDevices.getUserMedia)
    throw new Error('no camera access here (phones need the page over HTTPS)');
  stream = await navigator.mediaDevices.getUserMedia({
    audio: false, video: { width: { ideal: 640 }, height: { ideal: 480 }, facingMode: 'environment' },
  });
  video.srcObject = stream;
  state.source = 'camera';
}

let clipUrl = null;
async function startClip() {
  if (stream) { for (const t of stream.getTracks()) t.stop(); stream = null; }
  video.srcObject = null;
  // From memory: a static server need not answer byte ranges (Python's
  // does not), and without them the browser cannot seek in the file.
  if (!clipUrl) {
    const response = await fetch(CLIP);
    if (!response.ok) throw new Error(`${CLIP}: HTTP ${response.status}`);
    clipUrl = URL.createObjectURL(await response.blob());
  }
  video.src = clipUrl;
  state.source = 'clip';
}

async function whenLoaded() {
  if (video.readyState >= 2) return;
  await new Promise((resolve, reject) => {
    video.addEventListener('loadeddata', resolve, { once: true });
    video.addEventListener('error', () => reject(new Error(`cannot play ${video.currentSrc || 'the video'}`)), { once: true });
  });
}

async function start(source) {
  running = false;
  if (source === 'camera') {
    try {
      await startCamera();
    } catch (e) {
      status(`no webcam (${e.message}): playing the demo clip`);
      await startClip();
    }
  } else {
    await startClip();
  }
  $('source').value = state.source;
  await reconfigure();
  await whenLoaded();
  if (params.get('step') === '1' && state.source === 'clip') {
    video.pause();
  } else {
    await video.play();
    running = true;
    loop();
  }
  state.ready = true;
}

// The clip's frames 0 .. count - 1 in order, each tracked once: seeks to the
// middle of each frame's time and tracks what the video shows then.
async function trackClip(count) {
  running = false;
  video.pause();
  if (tracker) tracker.reset();
  const records = [];
  for (let i = 0; i < count; i++) {
    const target = (i + 0.5) / CLIP_FPS;
    if (target > video.duration) break;
    // The frame is there to be drawn once it is presented, which may come
    // after 'seeked'.
    const shown = await new Promise((resolve) => {
      if (video.requestVideoFrameCallback) video.requestVideoFrameCallback((now, meta) => resolve(meta.mediaTime));
      else video.addEventListener('seeked', () => resolve(video.currentTime), { once: true });
      video.currentTime = target;
    });
    const markers = processFrame() || [];
    records.push({ frame: i, time: shown, markers });
  }
  return records;
}

async function main() {
  for (const id of ['camera', 'marker']) {
    $(id).addEventListener('change', () => {
      const fileInput = $(`${id}-file`);
      if ($(id).value === 'file') fileInput.click();
      else reconfigure();
    });
    $(`${id}-file`).addEventListener('change', reconfigure);
  }
  $('marker-width').addEventListener('change', reconfigure);
  $('source').addEventListener('change', () => start($('source').value).catch((e) => status(e.message, true)));
  try {
    scene = new Scene(view);
    await start(params.get('source') || 'camera');
  } catch (e) {
    status(e.message, true);
  }
}

window.morvexPage = {
  state,
  trackClip,
  pause() { running = false; video.pause(); },
};
main();
