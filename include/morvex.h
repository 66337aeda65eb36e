/*
 * morvex.h - the Morvex marker tracking library, its video capture and its
 * display, in one C header.
 *
 * A typical tracking program:
 *
 *     MvCameraParam file_cam, cam;
 *     mvParamLoad("camera_para.dat", 1, &file_cam);       // big-endian file
 *     mvParamChangeSize(&file_cam, 320, 240, &cam);        // to the frame size
 *     mvInitCparam(&cam);                                   // the active camera
 *     int patt = mvLoadPatt("patt.lumo");                   // slot number or -1
 *
 *     for each frame (320 x 240, 4 bytes per pixel, R G B x):
 *         MvMarkerInfo *markers; int n;
 *         if (mvDetectMarker(frame, 100, &markers, &n) < 0) ...;
 *         for (int k = 0; k < n; k++)
 *             if (markers[k].id == patt) {
 *                 double center[2] = {0, 0}, trans[3][4];
 *                 mvGetTransMat(&markers[k], center, 80.0, trans);
 *             }
 *
 * Limits:
 *   - Not thread-safe and not re-entrant: detection, the pattern store, the
 *     active camera, capture and display keep process-wide state.
 *   - Per-frame results (marker table, label image, candidate table, capture
 *     buffer) live in static storage and stay valid until the next call of
 *     the operation that produced them.
 *   - Capacities: 4096 x 4096 working pixels per frame (any number of dark
 *     components), 30 candidates, 30 markers, 30 history entries, 10000 outline
 *     points per candidate, 50 patterns, 500 point pairs per pose.
 *
 * Conventions:
 *   - Lengths in millimetres; image coordinates in pixels with pixel (0, 0)
 *     centred at (0.0, 0.0), x to the right and y downwards.
 *   - "Observed" coordinates are where the lens puts a point in the frame;
 *     "ideal" coordinates are where the pinhole camera of `projection` would.
 *     Marker corners and edge lines are ideal.
 *   - A 3x4 transform is double[3][4], row-major, read as a 4x4 matrix with
 *     fourth row (0, 0, 0, 1): marker coordinates to camera coordinates
 *     (x right, y down, z along the view).
 *   - OpenGL matrices are 16 doubles, column-major.
 *   - Results: 0 success, -1 failure, unless a declaration says otherwise.
 *     The cause of the last failure: mvLastError and mvLastErrorText
 *     (morvex/error.h).
 *
 * Optional additions to the core, used only when called (each header
 * shows how): morvex/autothresh.h, a threshold that follows the scene's
 * exposure; morvex/pose_refine.h, a refined pose kept continuous between
 * frames.
 *
 * Libraries: the tracking core (camera, numerics, detect, pattern, pose)
 * is libmorvex and needs only libc and libm; capture is libmorvex_video
 * (FFmpeg), display is libmorvex_display (OpenGL, freeglut).
 */
#ifndef MORVEX_H
#define MORVEX_H

#include "morvex/error.h"
#include "morvex/camera.h"
#include "morvex/numerics.h"
#include "morvex/detect.h"
#include "morvex/pattern.h"
#include "morvex/pose.h"
#include "morvex/autothresh.h"
#include "morvex/pose_refine.h"
#include "morvex/refine.h"
#include "morvex/tracker.h"
#include "morvex/video.h"
#include "morvex/display.h"

#endif
