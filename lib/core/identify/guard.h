// guard.h - the tracker's guard for picture patterns: a marker is named
// only when its match is very unlikely to be chance.
//
// The marker's cells are sampled at its (refined) corners and compared
// with every pattern's templates at four blur levels; the level that fits
// best stands for how soft the marker is seen. At that level the best
// pattern is reported when
//   - its correlation reaches the pattern's chance level (the correlation
//     a fixed set of other pictures reaches with it at that level), or the
//     user's minimum for that pattern;
//   - it stands clear of the best other pattern: the sample is nearer the
//     best by a distance ratio (sqrt(2 - 2 r) for a correlation r) of at
//     most kGuardRatio for that level, stricter at the softest level,
//     where templates look most alike;
//   - the two are not a pair of patterns that are turns of each other;
//   - the marker's cells spread at least kGuardContrast times as much as
//     the pattern's at that level, both over the step from the black
//     border to the lightest value (a square of the scene with a shallow
//     shading inside is no marker of a gradient).
// Otherwise the marker is unknown (id -1), its correlation kept. Internal
// to the core.
#ifndef MORVEX_IDENTIFY_GUARD_H
#define MORVEX_IDENTIFY_GUARD_H

#include "../detect/frame.h"
#include "../pattern/profile.h"
#include "morvex/detect.h"

#include <utility>
#include <vector>

namespace mvcore {

constexpr double kGuardRatio[kGuardLevels] = {0.8, 0.8, 0.8, 0.5};
constexpr double kGuardContrast = 0.4;
// Patterns whose sharp templates correlate at least
// this much when one is turned are taken for turns of each other.
constexpr double kTurnedPair = 0.95;
constexpr int kTurnedPairLevel = 0;

// One pattern taking part in the guard.
struct GuardEntry {
    const PatternProfile *profile;
    int id;
    double min_confidence;   // the user's minimum, or < 0 for the chance level
};

// The patterns, their turned pairs (ids) and how they are compared.
struct GuardList {
    const GuardEntry *entries;
    int count;
    const std::pair<int, int> *turned;
    int turned_count;
    bool grey;
};

// What the comparison found, before the decision.
struct GuardScores {
    int level = -1;        // the blur level that fitted best
    int best = -1;         // entry index, -1 when nothing correlates positively
    int direction = -1;
    double confidence = 0.0;
    int second = -1;       // the best other entry at that level, -1 none
    double second_confidence = -1.0;
    double contrast = -1.0;   // the marker's (PatternProfile::contrast), < 0 unknown
};

// Correlates a 768-byte sample (detection's layout) with the list at every
// level. False for a sample without contrast. `border` is the grey level of
// the marker's black border (< 0 unknown: no contrast is measured).
bool guard_scores(const unsigned char *sample, double border, const GuardList &list, GuardScores *s);

// The decision on scores: the entry's id, or -1.
int guard_decide(const GuardList &list, const GuardScores &s);

// Names the marker from its cells sampled at its corners as they are:
// id (-1 when refused or no pattern correlates), direction and confidence
// (the best correlation, kept when refused). False, with the marker
// untouched, when its corners do not form a convex quadrilateral.
bool guard_identify(const FrameView &frame, const double distortion[4], const GuardList &list,
                    MvMarkerInfo *marker);

}  // namespace mvcore

#endif
