// identify.h - naming a marker: its picture sampled (detect/) and compared
// with a set of patterns (pattern/). The tracker and the process-wide
// interface both name markers this way. Internal to the core.
#ifndef MORVEX_IDENTIFY_H
#define MORVEX_IDENTIFY_H

#include "../detect/frame.h"
#include "../pattern/templates.h"
#include "morvex/detect.h"

namespace mvcore {

// The patterns to compare with, in order, and how.
struct PatternList {
    const MatchEntry *entries;
    int count;
    bool grey;   // compare brightness only
};

// Names a square candidate from detection's sample of its outline
// (x[corners[i]], y[corners[i]]); match_sample's outputs. A sample that
// reaches infinity (corners sending part of the square there) gives no
// match: id -1, direction -1, confidence 0. `sparse`: sample_outline's
// quarter sample.
void identify_outline(const FrameView &frame, bool half, const int *x, const int *y,
                      const int corners[4], const PatternList &patterns, int *id, int *direction,
                      double *confidence, bool sparse = false);

// Names a marker again from its corners as they are (typically sub-pixel):
// cells placed through the lens model, each averaging several bilinear
// samples. Writes id (-1 below kIdentityMin), direction and confidence.
// False, with the marker untouched, when its corners do not form a convex
// quadrilateral.
bool identify_corners(const FrameView &frame, const double distortion[4],
                      const PatternList &patterns, MvMarkerInfo *marker);

}  // namespace mvcore

#endif
