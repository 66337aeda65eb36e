// Declarations for morvex/node: image files for Node scripts.
import type { Pixels } from './morvex.js';

/** Reads a PNG (8-bit, not interlaced), binary PPM (P6) or PGM (P5) file as RGBA pixels. */
export function readImage(path: string | (typeof globalThis extends { URL: { prototype: infer T } } ? T : never)): Promise<Pixels & { data: Uint8ClampedArray }>;
