// classic.h - what the files of the process-wide interface share: the
// active frame geometry and identification against the process-wide
// pattern store. Internal to classic/.
#ifndef MORVEX_CLASSIC_H
#define MORVEX_CLASSIC_H

#include "morvex/camera.h"
#include "../detect/driver.h"
#include "../detect/frame.h"
#include "../identify/identify.h"

namespace mvcore {
namespace classic {

// A frame of the active camera's size (mvImXsize x mvImYsize, 4 bytes a
// pixel).
inline FrameView active_frame(const unsigned char *image)
{
    return rgbx_frame(image, mvImXsize, mvImYsize);
}

// Whether detection works at half resolution (mvImageProcMode 1).
bool half_resolution();

// Samples a candidate with detection's sampler and matches it against the
// store's active patterns in mvTemplateMatchingMode: mvGetCode's results.
void identify(const FrameView &frame, bool half, const int *x, const int *y, const int corners[4],
              int *id, int *direction, double *confidence);

// The store's active patterns in slot order, compared in
// mvTemplateMatchingMode; `room` holds them (50 entries).
PatternList store_patterns(MatchEntry room[50]);

// The process-wide detector behind mvDetectMarker, mvDetectMarkerLite and
// mvLabeling, with the classic capacities.
Detector &detector();

}  // namespace classic
}  // namespace mvcore

#endif
