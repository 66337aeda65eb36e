// profile.h - what the tracker's guard knows of a pattern, computed once
// when the pattern is made: its templates blurred as a camera blurs a small
// or soft marker, and how high pictures that are not it correlate with
// them. Internal to the core.
#ifndef MORVEX_PATTERN_PROFILE_H
#define MORVEX_PATTERN_PROFILE_H

#include "templates.h"

namespace mvcore {

// Blur levels, Gaussian sigma in cells (a cell is a 32nd of the marker's
// side). A marker 40 pixels across behind 1.5 pixels of blur is at about
// 1.2 cells; sharp templates then miss the right pattern in 3 % of views,
// blurred ones in none (docs/IDENTITY.md).
constexpr int kGuardLevels = 4;
constexpr double kGuardBlur[kGuardLevels] = {0.0, 0.5, 0.8, 1.2};

// Planes of matching: colour (768 values) or grey (256).
enum GuardPlane { kGuardColour = 0, kGuardGrey = 1 };

struct PatternProfile {
    // Per level and turn: the pattern's darkness blurred with the black
    // border around it, zero-mean and of unit length (all zero when flat).
    // The four turns side by side: value i of turn b at [level][i][b].
    float colour[kGuardLevels][kValues][kBlocks];
    float grey[kGuardLevels][kCells][kBlocks];
    // Per plane and level: the correlation chance reaches, from the
    // pattern's correlations with a fixed set of 512 other pictures (the
    // highest plus 0.02, at least 0.5).
    double chance[2][kGuardLevels];
    // Per level: the spread of the pattern's values (their standard
    // deviation, all three colours) over the step from its black border to
    // its lightest value.
    // Printed and lit, a marker keeps it; a shallow shading seen through a
    // square that is no marker has far less, whatever it correlates with.
    double contrast[kGuardLevels];
};

// The correlations of x (n values) with the four turns of a template
// ([value][turn]), each the sum x[0] t[0] + x[1] t[1] + ... in that order.
void dot_turns(const float *x, const float (*turns)[kBlocks], int n, float out[kBlocks]);

// dot_turns at every level of a template ([level][value][turn]) at once:
// out[level][turn]. The same sums; the levels' additions interleave.
template <int kLength>
void dot_levels(const float *x, const float (&levels)[kGuardLevels][kLength][kBlocks],
                float out[kGuardLevels][kBlocks]);

// The profile of a pattern file's values (file order, as
// template_from_values takes them). Builds the set of other pictures on
// first use (once per process, thread-safe).
void profile_from_values(const int values[kFileValues], PatternProfile *p);

// The highest correlation of two profiles' templates at `level` when the
// second is turned by 1, 2 or 3 quarters against the first (*turned), and
// unturned (*same).
void profile_similarity(const PatternProfile &a, const PatternProfile &b, int level, double *turned,
                        double *same);

}  // namespace mvcore

#endif
