// The npm package as a user gets it: the tarball from `npm pack` installed
// into an empty folder, imported by name from a Node script, tracking the
// demo clip's decoded frames (PNG files); its records must be mvtrack's on
// the clip. WebAssembly's maths library differs from glibc's in the last
// bits, so numbers agree to 1e-6 relative (absolute below 1), not exactly.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';

function env(name) {
  const v = process.env[name];
  assert.ok(v, `${name} is not set: run this test through ctest`);
  return v;
}

const TOLERANCE = 1e-6;
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
    const resolve = (spec) => execFileSync('node', ['--input-type=module', '-e', `console.log(import.meta.resolve('${spec}'))`], { cwd: work, encoding: 'utf8' }).trim();
    morvex = await import(resolve('morvex'));
    morvexNode = await import(resolve('morvex/node'));
  }
  return { ...morvex, ...morvexNode };
}

function close(got, want, what) {
  const gap = Math.abs(got - want);
  assert.ok(gap <= TOLERANCE * Math.max(1, Math.abs(want)), `${what}: ${got} against mvtrack's ${want}`);
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
          for (let c = 0; c < 4; c++) worst = Math.max(worst, close(got.pose[r][c], want.transform[r][c], `${at} pose[${r}][${c}]`));
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
