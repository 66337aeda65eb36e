// The Node side of the web benchmark (web_bench.py): the package's tracker
// on PNG frames in order, several passes after one uncounted warm-up pass,
// timed over whole passes of track() calls (copy into the module's memory,
// tracking, the markers as objects). Prints one JSON line.
//
//   node bench_node.mjs MODULE_DIR CAMERA PATTERN PASSES FRAME.png...
import { pathToFileURL } from 'node:url';
import { join } from 'node:path';

const [moduleDir, camera, pattern, passesText, ...files] = process.argv.slice(2);
const { createTracker } = await import(pathToFileURL(join(moduleDir, 'morvex.js')));
const { readImage } = await import(pathToFileURL(join(moduleDir, 'node.js')));
const frames = [];
for (const f of files) frames.push(await readImage(f));
const tracker = await createTracker({ camera, patterns: [{ source: pattern, width: 45 }] });
const passes = Number(passesText);
let ms = 0, tracked = 0, found = 0;
// Whole passes are timed: the page's clock is coarse (0.1 ms) for one frame.
for (let pass = -1; pass < passes; pass++) {
  tracker.reset();
  let seen = 0;
  const a = performance.now();
  for (const frame of frames) {
    const markers = tracker.track(frame);
    if (markers.length && markers.some((m) => m.id === 0 && m.pose)) seen++;
  }
  const b = performance.now();
  if (pass < 0) continue;
  ms += b - a;
  tracked += frames.length;
  found += seen;
}
console.log(JSON.stringify({ frames: tracked, found, ms_per_frame: ms / tracked, width: frames[0].width, height: frames[0].height }));
tracker.destroy();
