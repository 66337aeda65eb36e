// Where a point of a marker appears in a camera's image, for the renderer,
// the tools' drawings and the tests.
//
//   #include "projection.h"          // link morvex_tool_support
//
//   const double corner[3] = {-40, 40, 0};
//   double ideal[2], observed[2];
//   if (mvtool::projectPoint(trans, cam, corner, ideal, observed) > 0) ...
#ifndef MORVEX_TOOL_PROJECTION_H
#define MORVEX_TOOL_PROJECTION_H

#include "morvex/camera.h"

namespace mvtool {

// Marker point `xyz` (mm, marker coordinates) under `trans` (marker ->
// camera, row-major 3x4) through cam.projection: its ideal pixel in
// `ideal` and, through the lens of `cam` (mvParamIdeal2Observ), its
// observed pixel in `observed` (may be null). Returns the third homogeneous
// coordinate, the point's depth for the usual last projection row
// (0, 0, 1, 0); at or below 0 the point is not in front of the camera and
// the pixels are meaningless (possibly not finite).
double projectPoint(const double trans[3][4], const MvCameraParam &cam, const double xyz[3],
                    double ideal[2], double observed[2]);

}  // namespace mvtool

#endif
