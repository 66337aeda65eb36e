// The Node side of the web benchmark (web_bench.py): the package's tracker
// on PNG frames in order, several passes after one uncounted warm-up pass,
// timed over whole passes of track() calls (copy into the module's memory,
// tracking, the markers as objects). Prints one JSON line.
//
//   node bench_node.mjs MODULE_DIR CAMERA PATTERN PASSES FRAME.png...
import { pathToFileURL } from 'node:url';
import { join } from 'node:path';
import { timePasses } from './timed_passes.mjs';

const [moduleDir, camera, pattern, passesText, ...files] = process.argv.slice(2);
const { createTracker } = await import(pathToFileURL(join(moduleDir, 'morvex.js')));
const { readImage } = await import(pathToFileURL(join(moduleDir, 'node.js')));
const frames = [];
for (const f of files) frames.push(await readImage(f));
const tracker = await createTracker({ camera, patterns: [{ source: pattern, width: 45 }] });
console.log(JSON.stringify(timePasses(tracker, frames, Number(passesText))));
tracker.destroy();
