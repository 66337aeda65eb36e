// refine.h - sub-pixel edges and corners of a detected marker. Internal to
// the core.
#ifndef MORVEX_DETECT_REFINE_H
#define MORVEX_DETECT_REFINE_H

#include "morvex/detect.h"
#include "frame.h"

namespace mvcore {

// Moves the marker's edge lines and corners (ideal pixels) onto the edges
// of its dark border in `frame`, read through the lens model `distortion`.
// `border` is the border's width as a share of the side (a quarter for a
// picture marker, one cell for a coded one): profiles reach no further in.
// Each side is sampled across at many places along it away from the
// corners, the edge found on each profile, and a line fitted to those edge
// points with outliers dropped; the corners are where the lines meet. Two
// passes. True when refined; false with the marker untouched when a side
// has too few good edge points, two sides come out parallel, or a corner
// would move more than a tenth of the shortest side (and more than 2 px).
// Keeps nothing and allocates nothing.
bool refine_marker(const FrameView &frame, const double distortion[4], double border,
                   MvMarkerInfo *marker);

// A picture marker's border: a quarter of the side.
constexpr double kPictureBorder = 0.25;

}  // namespace mvcore

#endif
