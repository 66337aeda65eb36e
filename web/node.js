// morvex/node - image files for the tracker in Node scripts, with Node's own
// zlib and nothing else: PNG (8-bit, not interlaced: grey, grey and alpha,
// RGB, RGBA, palette) and binary PPM / PGM (P6, P5) files.
//
//   import { createTracker } from 'morvex';
//   import { readImage } from 'morvex/node';
//   const markers = tracker.track(await readImage('frame.png'));
import { readFile } from 'node:fs/promises';
import { inflateSync } from 'node:zlib';
import { MorvexError } from './morvex.js';

const PNG_SIGNATURE = [137, 80, 78, 71, 13, 10, 26, 10];

function fail(path, why) { return new MorvexError(`${path}: ${why}`, 2); }

function paeth(a, b, c) {
  const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

function decodePng(bytes, path) {
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  let width = 0, height = 0, depth = 0, type = 0, interlace = 0, palette = null, alphas = null;
  const idat = [];
  for (let at = 8; at + 8 <= bytes.length;) {
    const length = view.getUint32(at);
    const kind = String.fromCharCode(...bytes.subarray(at + 4, at + 8));
    const body = bytes.subarray(at + 8, at + 8 + length);
    if (kind === 'IHDR') {
      width = view.getUint32(at + 8); height = view.getUint32(at + 12);
      depth = body[8]; type = body[9]; interlace = body[12];
    } else if (kind === 'PLTE') palette = body;
    else if (kind === 'tRNS') alphas = body;
    else if (kind === 'IDAT') idat.push(body);
    else if (kind === 'IEND') break;
    at += 12 + length;
  }
  const channels = { 0: 1, 2: 3, 3: 1, 4: 2, 6: 4 }[type];
  if (!width || !height || !channels) throw fail(path, 'not a PNG picture this reader knows');
  if (depth !== 8 || interlace) throw fail(path, `PNG of ${depth}-bit samples${interlace ? ', interlaced' : ''}: only 8-bit, not interlaced`);
  const raw = inflateSync(Buffer.concat(idat));
  const rowBytes = width * channels;
  if (raw.length < height * (rowBytes + 1)) throw fail(path, 'PNG data ends early');
  const pixels = new Uint8Array(rowBytes * height);
  for (let y = 0; y < height; y++) {
    const filter = raw[y * (rowBytes + 1)];
    const src = y * (rowBytes + 1) + 1, dst = y * rowBytes, up = dst - rowBytes;
    for (let x = 0; x < rowBytes; x++) {
      const a = x >= channels ? pixels[dst + x - channels] : 0;
      const b = y > 0 ? pixels[up + x] : 0;
      const c = x >= channels && y > 0 ? pixels[up + x - channels] : 0;
      let v = raw[src + x];
      if (filter === 1) v += a;
      else if (filter === 2) v += b;
      else if (filter === 3) v += (a + b) >> 1;
      else if (filter === 4) v += paeth(a, b, c);
      else if (filter !== 0) throw fail(path, `PNG row filter ${filter}`);
      pixels[dst + x] = v & 255;
    }
  }
  const rgba = new Uint8ClampedArray(width * height * 4);
  for (let i = 0, j = 0; i < width * height; i++, j += channels) {
    let r, g, b, a = 255;
    if (type === 3) {
      const k = pixels[j];
      if (!palette || 3 * k + 2 >= palette.length) throw fail(path, 'PNG colour index outside its palette');
      r = palette[3 * k]; g = palette[3 * k + 1]; b = palette[3 * k + 2];
      if (alphas && k < alphas.length) a = alphas[k];
    } else if (channels <= 2) {
      r = g = b = pixels[j];
      if (channels === 2) a = pixels[j + 1];
    } else {
      r = pixels[j]; g = pixels[j + 1]; b = pixels[j + 2];
      if (channels === 4) a = pixels[j + 3];
    }
    rgba[4 * i] = r; rgba[4 * i + 1] = g; rgba[4 * i + 2] = b; rgba[4 * i + 3] = a;
  }
  return { data: rgba, width, height };
}

function decodePnm(bytes, path) {
  // Header: magic, width, height, maximum, each after blanks or comments.
  const words = [];
  let at = 0;
  while (words.length < 4 && at < bytes.length) {
    while (at < bytes.length && (bytes[at] <= 32 || bytes[at] === 35)) {
      if (bytes[at] === 35) while (at < bytes.length && bytes[at] !== 10) at++;
      else at++;
    }
    let word = '';
    while (at < bytes.length && bytes[at] > 32) word += String.fromCharCode(bytes[at++]);
    words.push(word);
  }
  at++;  // the one blank before the samples
  const [magic, w, h, max] = words;
  const width = Number(w), height = Number(h), channels = magic === 'P6' ? 3 : 1;
  if (!(width > 0 && height > 0) || max !== '255') throw fail(path, 'only 8-bit binary PPM (P6) and PGM (P5)');
  if (bytes.length < at + width * height * channels) throw fail(path, 'samples end early');
  const rgba = new Uint8ClampedArray(width * height * 4);
  for (let i = 0, j = at; i < width * height; i++, j += channels) {
    rgba[4 * i] = bytes[j];
    rgba[4 * i + 1] = bytes[j + (channels === 3 ? 1 : 0)];
    rgba[4 * i + 2] = bytes[j + (channels === 3 ? 2 : 0)];
    rgba[4 * i + 3] = 255;
  }
  return { data: rgba, width, height };
}

/** Reads a PNG, PPM or PGM file into {data (RGBA), width, height}. */
export async function readImage(path) {
  let bytes;
  try {
    bytes = new Uint8Array(await readFile(path));
  } catch (e) {
    throw new MorvexError(`${path}: cannot be read (${e.code || e.message})`, 1);
  }
  if (PNG_SIGNATURE.every((v, i) => bytes[i] === v)) return decodePng(bytes, String(path));
  if (bytes[0] === 80 && (bytes[1] === 54 || bytes[1] === 53)) return decodePnm(bytes, String(path));
  throw fail(String(path), 'neither PNG nor binary PPM / PGM');
}
