// sample.h - a marker's picture sampled into the 16 x 16 cells x 3 channels
// that pattern matching compares. Internal to the core.
#ifndef MORVEX_DETECT_SAMPLE_H
#define MORVEX_DETECT_SAMPLE_H

#include "frame.h"

namespace mvcore {

// Sample layout: entry (row * 16 + column) * 3 + channel, channel 0 blue,
// 1 green, 2 red; rows run from corner 0 towards corner 3, columns from
// corner 0 towards corner 1; only the central half of the square (inside
// the border) is sampled.
constexpr int kSampleBytes = 768;

// Detection's sampler: 64 x 64 points through the four-point map of the
// outline corners (x[corners[i]], y[corners[i]], observed pixels), each
// adding a sixteenth of its pixel's bytes to its cell (so a cell holds at
// most 240). In half resolution (`half`) the points snap to even frame
// positions. 0, or -1 when a point maps to infinity (the sample then holds
// what was gathered before it). `sparse`: 32 x 32 points, 2 x 2 per cell,
// each adding a quarter (a cell holds at most 252): a quarter of the work,
// for a first look that finer sampling confirms.
int sample_outline(const FrameView &frame, bool half, const int *x, const int *y,
                   const int corners[4], unsigned char sample[kSampleBytes], bool sparse = false);

// The sampler for sub-pixel corners (ideal pixels): cells placed through
// the unit-square map and the lens model, each averaging a grid of
// bilinear samples (2 x 2 up to 4 x 4, about two pixels apart). False when
// the corners do not form a convex quadrilateral.
bool sample_corners(const FrameView &frame, const double distortion[4],
                    const double vertices[4][2], unsigned char sample[kSampleBytes]);

// Grey levels (R + G + B) / 3 at n x n points over the square of
// `vertices` (ideal pixels, the detector's corners q0..q3): point (R, C),
// stored at out[R * n + C], lies at fractions ((C + 0.5) / n, (R + 0.5) / n)
// of the square from q0 towards q1 and towards q3, through the unit-square
// map and the lens model, read bilinearly. False when the corners do not
// form a convex quadrilateral or a point falls off the frame. With `only`
// (n x n flags), just the flagged points are read (and must lie on the
// frame); the others are left as they were.
bool sample_grid(const FrameView &frame, const double distortion[4], const double vertices[4][2], int n,
                 float *out, const unsigned char *only = nullptr);

// Where a bilinear read of the frame at (x, y) (pixel centres at integers)
// takes its four pixels: *p the top-left one, weights w00, w10, w01, w11
// (right, down) in w. False outside the pixel centres' hull.
inline bool blend_at(const FrameView &f, double x, double y, const unsigned char **p, double w[4])
{
    const int wd = f.width, ht = f.height;
    if (!(x >= 0.0 && y >= 0.0 && x <= wd - 1 && y <= ht - 1) || wd < 2 || ht < 2) return false;
    const int x0 = (int)x < wd - 2 ? (int)x : wd - 2, y0 = (int)y < ht - 2 ? (int)y : ht - 2;
    const double fx = x - x0, fy = y - y0;
    w[3] = fx * fy;
    w[1] = fx - w[3];
    w[2] = fy - w[3];
    w[0] = 1.0 - fx - w[2];
    *p = f.pixel(x0, y0);
    return true;
}

// Bilinear R, G, B of the frame at (x, y), pixel centres at integers. False
// (rgb unset) outside the pixel centres' hull.
inline bool frame_rgb(const FrameView &f, double x, double y, double rgb[3])
{
    const unsigned char *p;
    double w[4];
    if (!blend_at(f, x, y, &p, w)) return false;
    const unsigned char *q = p + f.stride;
    const int off[3] = {f.red, f.green, f.blue};
    for (int ch = 0; ch < 3; ch++) {
        const int o = off[ch];
        rgb[ch] = w[0] * p[o] + w[1] * p[f.bpp + o] + w[2] * q[o] + w[3] * q[f.bpp + o];
    }
    return true;
}

}  // namespace mvcore

#endif
