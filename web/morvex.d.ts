// Declarations for morvex.js: the Morvex tracker over its WebAssembly build.

// Browser and Node types where the project has them, without requiring the
// DOM library (a Node project) or Node's types (a page).
type Global<K extends string> = typeof globalThis extends { [P in K]: { prototype: infer T } } ? T : never;
type AnyURL = Global<'URL'>;
type BrowserImage = Global<'ImageData'> | Global<'HTMLVideoElement'> | Global<'HTMLImageElement'> |
  Global<'HTMLCanvasElement'> | Global<'ImageBitmap'> | Global<'OffscreenCanvas'> | Global<'VideoFrame'>;

/** A 3x4 row-major transform. */
export type Matrix3x4 = [number[], number[], number[]];
/** Four points, corner i where side i begins. */
export type Corners = [[number, number], [number, number], [number, number], [number, number]];

/** The library's error names, by MvError code. */
export type ErrorName = 'none' | 'not_found' | 'format' | 'capacity' | 'memory' | 'device' | 'argument' | 'write' | 'unknown';

/** A failure of the library: `message` is its text. */
export class MorvexError extends Error {
  readonly code: number;
  readonly codeName: ErrorName;
}

/** A camera model, as the 136-byte camera file holds it. */
export interface Camera {
  xsize: number;
  ysize: number;
  /** Camera coordinates to homogeneous ideal pixels. */
  projection: Matrix3x4;
  /** Distortion centre x, y (observed pixels), radial factor x 1e8, ideal/observed scale. */
  distortion: [number, number, number, number];
}

export interface Settings {
  /** Darkness threshold 0..255, or 'auto' (the default) to follow the scene. */
  threshold: number | 'auto';
  /** Sub-pixel corners, identities sampled through them, refined poses (default true). */
  refine: boolean;
  /** Identities steadied over the last frames (default true). */
  history: boolean;
  /** Detection on every second pixel (default false). */
  halfResolution: boolean;
  /** Patterns compared by brightness only (default false). */
  greyMatching: boolean;
  /** Most markers reported per frame, 0 for no limit (default). */
  maxMarkers: number;
}

export interface Marker {
  /** Pattern id in this tracker, -1 unknown. */
  id: number;
  /** The pattern's name (its file's), null for -1. */
  pattern: string | null;
  /** The coded family of a coded marker; null for picture patterns. */
  family: string | null;
  /** 0..3: which turn of the pattern matched, -1 unknown. */
  direction: number;
  /** Correlation with the pattern, at most 1. */
  confidence: number;
  /** Pixels of the black border. */
  area: number;
  /** The border's centroid, observed pixels. */
  center: [number, number];
  /** Observed pixels (where the lens puts them); corner i is the marker's corner (i + direction) mod 4. */
  corners: Corners;
  /** The same corners, ideal (undistorted) pixels. */
  corners_ideal: Corners;
  /** Side i as a x + b y + c = 0, ideal pixels. */
  lines: [number[], number[], number[], number[]];
  /** Marker to camera, millimetres (camera x right, y down, z forward); null without a pose. */
  pose: Matrix3x4 | null;
  /** The pose fit's mean squared reprojection error, pixels squared; null without a pose. */
  pose_error: number | null;
  /** The marker side the pose used (mm), 0 without a pose. */
  width_mm: number;
}

/** Pixels in memory: RGBA unless TrackOptions.format says otherwise. */
export interface Pixels {
  data: Uint8Array | Uint8ClampedArray | ArrayBufferView;
  width: number;
  height: number;
}

export interface TrackOptions {
  format?: 'rgba' | 'bgra' | 'rgb' | 'bgr' | 'grey';
  /** Bytes from one row to the next (default: width times the pixel's bytes). */
  stride?: number;
}

/** A URL (in a page) or a file path (in Node), or the file's bytes. */
export type Source = string | AnyURL | ArrayBuffer | ArrayBufferView;

export interface PatternSpec {
  /** A pattern file (3072 whole numbers as text)... */
  source?: Source;
  /** ...or its 3072 values in the file's order. */
  values?: Uint8Array | number[];
  /** Marker side in mm (default 45). */
  width?: number;
  name?: string;
}

export interface TrackerOptions {
  /** A camera, a camera file, or null (default): a default camera of each frame's size. */
  camera?: Camera | Source | null;
  patterns?: PatternSpec[];
  settings?: Partial<Settings>;
}

export interface Stats {
  frames: number;
  detectSeconds: number;
  poseSeconds: number;
}

export type FrameSource = Pixels | BrowserImage;

export class Tracker {
  private constructor();
  /** Adds a pattern file's contents (or {values}); returns its id. */
  addPattern(contents: string | Uint8Array | ArrayBuffer | { values: Uint8Array | number[] }, width?: number, name?: string): number;
  removePattern(id: number): void;
  readonly patterns: { id: number; name: string; width: number }[];
  /** Reads the settings; assigning changes the ones given. */
  get settings(): Settings;
  set settings(changes: Partial<Settings>);
  /** The camera of the last frame (at its size); null before any with a default camera. Assigning starts a new stream. */
  get camera(): Camera | null;
  set camera(camera: Camera | null);
  readonly stats: Stats;
  /** Forgets the stream: history, previous poses, threshold. */
  reset(): void;
  /** Tracks one frame and returns its markers. */
  track(frame: FrameSource, options?: TrackOptions): Marker[];
  /** Frees the tracker; later calls throw. */
  destroy(): void;
}

/** Loads the WebAssembly module (once); createTracker and the loaders call it. */
export function init(options?: { wasmBinary?: ArrayBuffer | Uint8Array; locateFile?: (path: string, prefix: string) => string }): Promise<unknown>;
export function loadCamera(source: Source): Promise<Camera>;
/** The tracker's camera for a webcam of unknown calibration. */
export function defaultCamera(width: number, height: number): Promise<Camera>;
export function createTracker(options?: TrackerOptions): Promise<Tracker>;
