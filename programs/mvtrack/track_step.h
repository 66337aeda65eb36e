// track_step.h - one frame of tracking as mvtrack does it, shared with the
// Python module so that both report the same markers and poses for the same
// frames: detection (with or without the history), the opt-in refinements,
// the automatic threshold, and each known marker's pose, kept continuous
// with its pattern's pose of the previous frame.
//
//   std::vector<mvtrack::PatternTrack *> pats = {&mine};   // mine.slot from mvLoadPatt
//   MvAutoThresh at;  mvAutoThreshInit(&at, 100);
//   std::vector<mvtrack::TrackedMarker> found;
//   if (mvtrack::trackStep(frame, {}, &at, pats, &found) < 0) ...   // mvLastErrorText()
#ifndef MVTRACK_TRACK_STEP_H
#define MVTRACK_TRACK_STEP_H

#include "track_output.h"

#include <vector>

namespace mvtrack {

// What the step keeps of a loaded pattern between frames; the caller owns it.
struct PatternTrack {
    int slot = -1;          // the library's slot, -1 when freed
    double width = 45.0;    // marker side, mm
    bool hasPrev = false;   // prev holds the refined pose of the previous frame
    double prev[3][4] = {};
};

struct TrackSettings {
    int thresh = -1;        // fixed 0..255, or -1: `at` chooses it
    bool refine = true;     // sub-pixel corners, identities and poses
    bool lite = false;      // detection without the history
};

// Seconds spent, added to over the frames.
struct StepTimes {
    double detect_s = 0.0;  // detection, refinements and the threshold
    double pose_s = 0.0;
};

// Tracks one frame of the active camera's size (4-byte pixels, as the
// detector reads them). A marker takes the first pattern of its slot in
// `patterns` (TrackedMarker::patternIndex; `pattern` is left to the caller)
// and that pattern's previous pose; patterns not seen lose theirs. `at` is
// updated when the threshold is automatic. `found` receives the frame's
// markers. Returns the detector's result: < 0 when detection failed (no
// markers; the library's last error says why). `times`, when given, is
// added to.
int trackStep(const unsigned char *image, const TrackSettings &settings, MvAutoThresh *at,
              const std::vector<PatternTrack *> &patterns, std::vector<TrackedMarker> *found,
              StepTimes *times = nullptr);

}  // namespace mvtrack

#endif
