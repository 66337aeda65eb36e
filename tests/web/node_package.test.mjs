// The npm package as a user gets it: the tarball from `npm pack` installed
// into an empty folder, imported by name from a Node script, tracking the
// demo clip's decoded frames (PNG files); its records must be mvtrack's on
// the clip. WebAssembly's maths library differs from glibc's in the last
// bits, so numbers agree to 1e-6 relative (absolute below 1), not exactly;
// poses to 1e-4: a small marker seen nearly face-on has a shallow pose
// minimum, in which those bits move the refined pose by up to about 1e-5.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

function env(name) {
  const v = process.env[name];
  assert.ok(v, `${name} is not set: run this test through ctest`);
  return v;
}

const TOLERANCE = 1e-6, POSE_TOLERANCE = 1e-4;
let work, morvex, morvexNode, records;

before(() => {
  const tgz = env('MORVEX_NPM_PACKAGE');
  assert.ok(existsSync(tgz), `${tgz} missing: the build makes it with emscripten and npm`);
  work = mkdtempSync(join(tmpdir(), 'morvex-npm-'));
  writeFileSync(join(work, 'package.json'), '{"name": "user", "private": true, "type": "module"}\n');
  execFileSync('npm', ['install', '--offline', '--no-audit', '--no-fund', '--silent', tgz], { cwd: work, stdio: 'inherit' });
  execFileSync(env('MAKE_WEB_CLIP'), [env('DEMO_CLIP'), '--png', join(work, 'frame%04d.png')], { stdio: 'ignore' });
  const out = execFileSync(env('MVTRACK'), ['-file=' + env('DEMO_CLIP'), '-nopace'], { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'], maxBuffer: 1 << 28 });
  records = out.trim().split('\n').map((line) => JSON.parse(line));
});

after(() => { if (work) rmSync(work, { recursive: true, force: true }); });

// Imports the installed package by name, as a script in the user's folder would.
async function load() {
  if (!morvex) {
    const resolve = (name) => execFileSync('node', ['--input-type=module', '-e', `console.log(import.meta.resolve('${name}'))`], { cwd: work, encoding: 'utf8' }).trim();
    morvex = await import(resolve('morvex'));
    morvexNode = await import(resolve('morvex/node'));
  }
  return { ...morvex, ...morvexNode };
}

function close(got, want, what, tolerance = TOLERANCE) {
  const gap = Math.abs(got - want);
  assert.ok(gap <= tolerance * Math.max(1, Math.abs(want)), `${what}: ${got} against mvtrack's ${want}`);
  return gap / Math.max(1, Math.abs(want));
}

test('the installed package tracks the clip\'s frames as mvtrack does', async () => {
  const { createTracker, readImage } = await load();
  const resources = env('MORVEX_RESOURCES');
  const tracker = await createTracker({
    camera: join(resources, 'camera_para.dat'),
    patterns: [{ source: join(resources, 'patt.lumo'), width: 45 }],
  });
  assert.equal(records.length, 300);
  let worst = 0, poses = 0;
  for (const [frame, record] of records.entries()) {
    const image = await readImage(join(work, `frame${String(frame).padStart(4, '0')}.png`));
    const markers = tracker.track(image);
    assert.equal(markers.length, record.markers.length, `frame ${frame}: marker count`);
    for (const [k, want] of record.markers.entries()) {
      const got = markers[k], at = `frame ${frame} marker ${k}`;
      assert.equal(got.id, want.id, `${at}: id`);
      assert.equal(got.direction, want.direction, `${at}: direction`);
      assert.equal(got.pattern, want.pattern, `${at}: pattern`);
      assert.equal(got.family, null);
      assert.equal(got.area, want.area, `${at}: area`);
      for (let c = 0; c < 4; c++)
        for (let d = 0; d < 2; d++) worst = Math.max(worst, close(got.corners_ideal[c][d], want.vertices[c][d], `${at} corner ${c}`));
      for (let d = 0; d < 2; d++) worst = Math.max(worst, close(got.center[d], want.center[d], `${at} centre`));
      worst = Math.max(worst, close(got.confidence, want.confidence, `${at} confidence`));
      assert.equal(got.pose === null, want.transform === null, `${at}: pose or none`);
      if (want.transform) {
        poses++;
        for (let r = 0; r < 3; r++)
          for (let c = 0; c < 4; c++) worst = Math.max(worst, close(got.pose[r][c], want.transform[r][c], `${at} pose[${r}][${c}]`, POSE_TOLERANCE));
        worst = Math.max(worst, close(got.pose_error, want.error, `${at} fit error`));
      }
    }
  }
  const stats = tracker.stats;
  assert.equal(stats.frames, 300);
  tracker.destroy();
  assert.throws(() => tracker.track({ data: new Uint8Array(12), width: 3, height: 1 }), /destroyed/);
  assert.ok(poses >= 290, `${poses} poses`);
  console.log(`node package vs mvtrack: 300 frames, ${poses} poses, largest relative gap ${worst.toExponential(2)}`);
});

test('failures throw MorvexError with the library\'s message', async () => {
  const { createTracker, loadCamera, defaultCamera, MorvexError } = await load();
  const resources = env('MORVEX_RESOURCES');
  await assert.rejects(createTracker({ patterns: [{ source: join(work, 'none.lumo') }] }),
    (e) => e instanceof MorvexError && e.codeName === 'not_found' && e.message.includes('none.lumo'));
  const bad = new TextEncoder().encode('0 1 2 300\n');
  await assert.rejects(createTracker({ patterns: [{ source: bad, name: 'bad.lumo' }] }),
    (e) => e instanceof MorvexError && e.codeName === 'format' && e.message.includes('bad.lumo'));
  await assert.rejects(loadCamera(readFileSync(join(resources, 'camera_para.dat')).subarray(0, 100)),
    (e) => e instanceof MorvexError && e.codeName === 'format' && /136/.test(e.message));
  const broken = { ...(await defaultCamera(320, 240)), xsize: 0 };
  await assert.rejects(createTracker({ camera: broken }),
    (e) => e instanceof MorvexError && e.codeName === 'argument' && e.message.includes('xsize'));
  const tracker = await createTracker({ patterns: [{ source: join(resources, 'patt.lumo') }] });
  assert.throws(() => tracker.track({ data: new Uint8Array(8), width: 2, height: 1 }),
    (e) => e instanceof MorvexError && e.codeName === 'argument');
  assert.throws(() => { tracker.settings = { threshold: 300 }; },
    (e) => e instanceof MorvexError && e.message.includes('threshold'));
  // Still usable after the failures; a default camera takes the frame's size.
  const image = await (await load()).readImage(join(work, 'frame0000.png'));
  assert.ok(tracker.track(image).some((m) => m.id === 0 && m.pose));
  assert.deepEqual([tracker.camera.xsize, tracker.camera.ysize], [320, 240]);
  tracker.destroy();
});

// The same frame in every layout the tracker takes, and patterns by value.
test('every pixel layout and a pattern given by values give the same markers', async () => {
  const { createTracker, readImage } = await load();
  const resources = env('MORVEX_RESOURCES');
  const camera = join(resources, 'camera_para.dat');
  const text = readFileSync(join(resources, 'patt.lumo'), 'utf8');
  const values = Uint8Array.from(text.trim().split(/\s+/).map(Number));
  assert.equal(values.length, 3072);
  const layouts = {
    rgb: (d, n) => { const o = new Uint8Array(3 * n); for (let i = 0; i < n; i++) o.set(d.subarray(4 * i, 4 * i + 3), 3 * i); return o; },
    bgr: (d, n) => { const o = new Uint8Array(3 * n); for (let i = 0; i < n; i++) { o[3 * i] = d[4 * i + 2]; o[3 * i + 1] = d[4 * i + 1]; o[3 * i + 2] = d[4 * i]; } return o; },
    bgra: (d, n) => { const o = new Uint8Array(4 * n); for (let i = 0; i < n; i++) { o[4 * i] = d[4 * i + 2]; o[4 * i + 1] = d[4 * i + 1]; o[4 * i + 2] = d[4 * i]; o[4 * i + 3] = 255; } return o; },
  };
  const reference = await createTracker({ camera, patterns: [{ source: join(resources, 'patt.lumo') }] });
  const others = {};
  for (const name of [...Object.keys(layouts), 'padded', 'values'])
    others[name] = await createTracker({ camera, patterns: [name === 'values' ? { values, name: 'patt.lumo' } : { source: join(resources, 'patt.lumo') }] });
  for (let frame = 0; frame < 60; frame += 3) {
    const image = await readImage(join(work, `frame${String(frame).padStart(4, '0')}.png`));
    const { width: w, height: h, data } = image, n = w * h;
    const want = reference.track(image);
    assert.ok(want.some((m) => m.id === 0 && m.pose), `frame ${frame}: the marker`);
    for (const [name, convert] of Object.entries(layouts))
      assert.deepEqual(others[name].track({ data: convert(data, n), width: w, height: h }, { format: name }), want, `${name}, frame ${frame}`);
    const stride = 4 * w + 12, padded = new Uint8Array(stride * h);
    for (let y = 0; y < h; y++) padded.set(data.subarray(4 * w * y, 4 * w * (y + 1)), stride * y);
    assert.deepEqual(others.padded.track({ data: padded, width: w, height: h }, { stride }), want, `rows ${stride} bytes apart, frame ${frame}`);
    assert.deepEqual(others.values.track(image), want, `pattern by values, frame ${frame}`);
  }
  // Without its pattern the marker is found but not identified.
  const image = await readImage(join(work, 'frame0100.png'));
  others.values.removePattern(0);
  const anonymous = others.values.track(image);
  assert.ok(anonymous.length > 0 && anonymous.every((m) => m.id === -1 && m.pose === null && m.pattern === null));
  assert.deepEqual(others.values.patterns, []);
  // A fixed threshold is kept and used.
  reference.settings = { threshold: 100, refine: false };
  assert.deepEqual({ ...reference.settings, threshold: reference.settings.threshold }, {
    threshold: 100, refine: false, history: true, halfResolution: false, greyMatching: false, maxMarkers: 0 });
  assert.ok(reference.track(image).some((m) => m.id === 0 && m.pose));
  for (const t of [reference, ...Object.values(others)]) t.destroy();
});

// readImage against Debian's Python imaging library on the same pictures.
test('readImage reads PNG of every colour type, PPM and PGM as the imaging library does', async () => {
  const { readImage } = await load();
  const src = join(work, 'frame0042.png');
  const script = `
import sys
from PIL import Image
src, out = sys.argv[1], sys.argv[2]
im = Image.open(src).convert('RGB')
forms = {'grey.png': im.convert('L'), 'greyalpha.png': im.convert('LA'), 'rgba.png': im.convert('RGBA'),
         'palette.png': im.convert('P', palette=Image.ADAPTIVE, colors=64), 'rgb.ppm': im, 'grey.pgm': im.convert('L')}
for name, form in forms.items():
    form.save(out + '/' + name)
    open(out + '/' + name + '.rgba', 'wb').write(form.convert('RGBA').tobytes())
`;
  execFileSync('/usr/bin/python3', ['-c', script, src, work]);
  for (const name of ['grey.png', 'greyalpha.png', 'rgba.png', 'palette.png', 'rgb.ppm', 'grey.pgm']) {
    const image = await readImage(join(work, name));
    assert.equal(image.width, 320, name);
    assert.equal(image.height, 240, name);
    assert.ok(Buffer.from(image.data.buffer, image.data.byteOffset, image.data.byteLength).equals(readFileSync(join(work, name + '.rgba'))), `${name}: pixels`);
  }
  writeFileSync(join(work, 'text.png'), 'not a picture');
  await assert.rejects(readImage(join(work, 'text.png')), /neither PNG nor/);
  await assert.rejects(readImage(join(work, 'missing.png')), (e) => e.codeName === 'not_found');
});
