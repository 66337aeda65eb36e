// autothresh.h - the threshold for the next frame, from the identified
// markers' border and surround levels, or from the frame's own levels when
// none is identified. The state is the caller's MvAutoThresh record
// (morvex/autothresh.h says how it behaves). Internal to the core.
#ifndef MORVEX_DETECT_AUTOTHRESH_H
#define MORVEX_DETECT_AUTOTHRESH_H

#include "morvex/autothresh.h"
#include "frame.h"

namespace mvcore {

// Starts a stream at `thresh` (clamped to 1..254).
void autothresh_init(MvAutoThresh *at, int thresh);

// Chooses the threshold for the frame after `frame`, given the markers
// detected in it (ideal pixels, mapped to the frame through `distortion`;
// those with id < 0 are ignored) and each one's border width as a share of
// its side (`borders`; null: a quarter, a picture marker's). Returns the
// new at->thresh.
int autothresh_update(MvAutoThresh *at, const FrameView &frame, const double distortion[4],
                      const MvMarkerInfo *markers, int markerNum, const double *borders);

}  // namespace mvcore

#endif
