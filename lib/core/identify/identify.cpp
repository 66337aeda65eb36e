/* identify.cpp - sampling a marker and matching the sample. */
#include "identify.h"

#include "../detect/history.h"
#include "../detect/sample.h"

namespace mvcore {

void identify_outline(const FrameView &frame, bool half, const int *x, const int *y,
                      const int corners[4], const PatternList &patterns, int *id, int *direction,
                      double *confidence, bool sparse)
{
    unsigned char sample[kSampleBytes];
    if (sample_outline(frame, half, x, y, corners, sample, sparse) < 0) {
        // A partial picture's correlation would mean nothing.
        *id = -1;
        *direction = -1;
        *confidence = 0.0;
        return;
    }
    match_sample(sample, patterns.entries, patterns.count, patterns.grey, id, direction, confidence);
}

bool identify_corners(const FrameView &frame, const double distortion[4],
                      const PatternList &patterns, MvMarkerInfo *marker)
{
    unsigned char sample[kSampleBytes];
    if (!sample_corners(frame, distortion, marker->vertices, sample)) return false;
    int id, direction;
    double confidence;
    match_sample(sample, patterns.entries, patterns.count, patterns.grey, &id, &direction,
                 &confidence);
    marker->id = confidence >= kIdentityMin ? id : -1;
    marker->direction = direction;
    marker->confidence = confidence;
    return true;
}

}  // namespace mvcore
