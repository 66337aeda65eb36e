// decode.h - identifies a coded marker from the grey levels of its cells.
// Internal to the core; the tracker calls it for each detected square.
//
// Promises: no state is kept between calls and nothing is printed; any
// thread may call decodeCells at any time (the family's look-up table is
// built once, on first use, under std::call_once).
//
// What the caller samples: `cells` holds family.grid x family.grid grey
// levels, row-major, covering the black square with its one-cell frame
// (the quiet zone outside it is not sampled). Cell (r, c) is the level at
// the centre of row r, column c of the family's own cell grid laid over
// the detected square: with the detector's corners q0..q3 (clockwise on
// screen), the point at fractions (u, v) = ((c + 0.5) / grid,
// (r + 0.5) / grid) of the square, where (0, 0) is q0, (1, 0) q1, (1, 1) q2
// and (0, 1) q3, mapped through the square's homography (and the lens
// model, to observed pixels). In marker coordinates of a square of side s
// with q0 at (-s/2, s/2) and q1 at (s/2, s/2): x = (u - 1/2) s,
// y = (1/2 - v) s. Levels may be on any scale where larger is lighter;
// min_contrast is in that scale (grey levels 0..255 for the default).
// Averaging a small footprint around each centre (a third of a cell or
// less) steadies the level of small, noisy markers.
//
// How it decides: the dark level starts at the median of the frame cells
// and the light level at the lightest data cell; the threshold is moved to
// the midpoint of the two groups' means (all cells) until it settles. The
// grid is refused when the two levels differ by less than min_contrast or
// more frame cells than max_light_frame fall on the light side. The data
// cells give a word in the family's bit layout, looked up exactly in the
// family's table of every code in every turn, and otherwise matched to the
// one view within max_correction bits.
#ifndef MORVEX_CODE_DECODE_H
#define MORVEX_CODE_DECODE_H

#include "code_family.h"

namespace mvcore {

struct DecodeOptions {
    // Bit errors corrected: -1 for the family's bound (max_correction in
    // the family record); larger values are held to that bound, smaller
    // ones lower it (0: exact codes only).
    int max_correction = -1;
    // Frame cells (4 * (grid - 1)) allowed on the light side: -1 for an
    // eighth of them, rounded down (3 for tag36h11, 2 for aruco4x4_*).
    int max_light_frame = -1;
    // Light minus dark level, at least.
    float min_contrast = 20.0f;
};

struct CodeMatch {
    int id = -1;          // within the family
    int turn = 0;         // observed corner j lies at upright corner (j + turn) % 4
    int corrected = 0;    // bits that differed from the code
    float threshold = 0;  // the level between dark and light cells
    float dark = 0, light = 0;  // the two groups' mean levels
};

// True with *match filled when `cells` (family.grid^2 levels, see above)
// show one of the family's codes; false, *match untouched, otherwise.
bool decodeCells(const CodeFamily &family, const float *cells, const DecodeOptions &options,
                 CodeMatch *match);

}  // namespace mvcore

#endif
