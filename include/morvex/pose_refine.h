/* morvex/pose_refine.h - an optional, more accurate marker pose: the
   reprojection error of the four corners minimised over all six pose
   parameters, with the mirrored-tilt alternative of a planar marker checked
   and, in a sequence, the answer kept continuous with the previous frame.

       double center[2] = {0, 0}, trans[3][4], prev[3][4];
       int have_prev = 0;
       per frame, for the tracked marker m:
           if (mvGetTransMat(m, center, 80.0, trans) >= 0.0 &&
               mvRefineTransMat(m, center, 80.0, have_prev ? prev : NULL,
                                trans) >= 0.0) {
               memcpy(prev, trans, sizeof prev);
               have_prev = 1;
           } else
               have_prev = 0;

   Nothing here is used unless called: mvGetTransMat's results are
   unchanged. Units and conventions are those of morvex/pose.h (millimetres,
   ideal pixels, row-major 3x4 marker-to-camera transforms). The camera is
   the active one (mvParam), read only; the corners are compared in ideal
   coordinates whatever mvFittingMode says. No state is kept between calls
   and no storage is allocated, so calls may run concurrently as long as
   nothing changes the active camera meanwhile. */
#ifndef MORVEX_POSE_REFINE_H
#define MORVEX_POSE_REFINE_H

#include "morvex/detect.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Refines the pose in conv (read as the start, e.g. mvGetTransMat's) of a
   square of side `width` (mm) centred at `center` (mm, marker coordinates)
   whose own corners 0..3 appear at `corners` (ideal pixels; corner 0 at
   marker (-w/2, +w/2), 1 at (+w/2, +w/2), 2 at (+w/2, -w/2), 3 at
   (-w/2, -w/2), offset by center). Levenberg-Marquardt on a rotation vector
   and the translation; then the mirrored-tilt pose (the marker's normal
   reflected about the line of sight to its centre) is refined as well and
   the one with the smaller error is kept. When `prev` (the previous frame's
   transform of the same marker, or NULL) is given and the two fit about
   equally well, the one whose rotation is closer to prev's is kept instead.
   Writes conv and returns its mean squared reprojection error (square
   pixels, as mvGetTransMat's); returns -1.0 with conv untouched when the
   start is not finite or puts the marker behind the camera. prev is read
   only and may be conv itself. */
double mvRefinePose(const double corners[4][2], const double center[2], double width,
                    const double prev[3][4], double conv[3][4]);

/* The same for a detected marker: its vertices, taken in the order its
   direction gives (as mvGetTransMat takes them). The marker is read only;
   refined vertices (from a sub-pixel corner step) are used as they are. */
double mvRefineTransMat(const MvMarkerInfo *marker, const double center[2], double width,
                        const double prev[3][4], double conv[3][4]);

#ifdef __cplusplus
}
#endif

#endif
