// decode.h - identifies a coded marker from the grey levels sampled over
// its cells. Internal to the core; the tracker calls it for each detected
// square.
//
// Promises: no state is kept between calls and nothing is printed; any
// thread may call decodeCells at any time (the family's look-up table is
// built once, on first use, under std::call_once). The samples are only
// read, and only during the call.
//
// What the caller samples: with k = options.samples_per_cell, a square of
// (k * grid) x (k * grid) grey levels, row-major, grid = family.grid,
// covering the black square with its one-cell frame (the quiet zone
// outside it is not sampled). Sample (R, C) is the level at the point at
// fractions (u, v) = ((C + 0.5) / (k grid), (R + 0.5) / (k grid)) of the
// detected square, where (0, 0) is the detector's corner q0, (1, 0) q1,
// (1, 1) q2 and (0, 1) q3 (clockwise on screen), mapped through the
// square's homography (and the lens model, to observed pixels). In marker
// coordinates of a square of side s with q0 at (-s/2, s/2) and q1 at
// (s/2, s/2): x = (u - 1/2) s, y = (1/2 - v) s. With k = 1 these are the
// centres of the family's own cell grid (cell (r, c): row r, column c from
// q0); with k = 3 each cell's centre and eight points a third of a cell
// apart around it. Levels may be on any scale where larger is lighter;
// min_contrast is in that scale (grey levels 0..255 for the default).
//
// How it decides: a cell's level is the mean of its samples. The dark
// level starts at the median of the frame cells and the light level at the
// lightest data cell; the threshold moves to the midpoint of the two
// groups' means (all cells) until it settles. Unless the two levels differ
// by min_contrast, the grid is refused. Each cell is then sharpened
// against the mean of its neighbours in the grid (blur on small markers
// greys isolated cells) and the threshold placed again. A cell is unsure
// when its level lies within unsure_band of the threshold or one of its
// samples lies beyond the threshold, on the other side, by more than that.
// The grid is refused when more than max_light_frame frame cells are light
// or unsure. The data
// cells give a word in the family's bit layout, looked up exactly in the
// family's table of every code in every turn, or else matched to the one
// view that differs in at most (bound - unsure cells) bits: an unsure cell
// counts as a wrong bit.
//
// Measured on rendered views sampled at the true corners (noise 3 grey
// levels, tilts to 50 degrees, all rolls; tests/core/codes/rendered_test):
// with one sample per cell, every view decodes from a black square of 15
// pixels at blur 0.5 and 20 pixels at blur 0.8 for tag36h11, 20 and 25 for
// aruco6x6_250 (55 of 56 at 15 and 20), 12 pixels at blur 0.5 for
// aruco4x4_50; with nine, every view from 30 pixels at blur 0.8. No view gave a wrong id, down to
// 12 pixels at blur 0.8 where most views are refused.
//
// Several samples per cell (k = 2 or 3) refuse grids whose "cells" are not
// uniform, such as a picture inside a wider border sampled on the family's
// grid: choose k = 3 when a cell spans 4 pixels or more, k = 1 below.
//
// Time per call (bench/codes/decode_bench, one core of the shared 2-core
// machine, RelWithDebInfo): 0.5 to 1.5 us for a code as drawn or a grid
// refused at its frame; when no view matches exactly and the family
// corrects bits, the scan over every view adds up to 3.5 us for tag36h11
// and 7 to 8 us for the 1000-id 6x6 and 7x7 dictionaries.
#ifndef MORVEX_CODE_DECODE_H
#define MORVEX_CODE_DECODE_H

#include "code_family.h"

namespace mvcore {

struct DecodeOptions {
    // Bit errors corrected: -1 for the family's bound (max_correction in
    // the family record); larger values are held to that bound, smaller
    // ones lower it (0: exact codes only).
    int max_correction = -1;
    // Frame cells (4 * (grid - 1)) allowed to be light or unsure: -1 for an
    // eighth of them, rounded down (3 for tag36h11, 2 for aruco4x4_*).
    int max_light_frame = -1;
    // Light minus dark level, at least.
    float min_contrast = 20.0f;
    // Width of the unsure band on each side of the threshold, as a
    // fraction of (light - dark); 0 turns it off.
    float unsure_band = 0.1f;
    // Samples per cell along each axis, 1..4 (see above).
    int samples_per_cell = 1;
    // Sharpening of the cell levels against their neighbours (0 none).
    float sharpen = 0.5f;
};

struct CodeMatch {
    int id = -1;          // within the family
    int turn = 0;         // observed corner j lies at upright corner (j + turn) % 4
    int corrected = 0;    // bits that differed from the code
    float threshold = 0;  // the level between dark and light cells
    float dark = 0, light = 0;  // the two groups' mean levels
};

// True with *match filled when `samples` ((k grid)^2 levels, see above)
// show one of the family's codes; false, *match untouched, otherwise (also
// for samples_per_cell outside 1..4).
bool decodeCells(const CodeFamily &family, const float *samples, const DecodeOptions &options,
                 CodeMatch *match);

}  // namespace mvcore

#endif
