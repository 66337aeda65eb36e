/* morvex/pose.h - a marker's 3-D pose from its edges and corners, and pose
   estimation from lists of point correspondences.

   Units: lengths in millimetres, image points in pixels. A transform is
   double[3][4], row-major, marker coordinates -> camera coordinates; its
   columns 0-2 are the marker's x, y and z axes in camera coordinates and
   column 3 the marker origin. A rotation is double[3][3] with the axes as
   columns. Marker coordinates: origin at the given centre, x from the
   marker's corner 0 to corner 1, y from corner 3 to corner 0, z = x cross y,
   towards the camera. Camera coordinates: x right, y down the image, z
   along the view.

   Errors returned by the estimators are mean squared reprojection errors,
   in square pixels, of the pose written; -1.0 means no pose was written.

   Not thread-safe: every estimator shares two scratch arrays and reads the
   active camera (mvParam) and mvFittingMode. At most MV_POSE_POINT_MAX
   point pairs per call. Degenerate geometry (coincident points, a camera
   that cannot see the points) yields not-a-number entries, not an error. */
#ifndef MORVEX_POSE_H
#define MORVEX_POSE_H

#include "morvex/detect.h"

#ifdef __cplusplus
extern "C" {
#endif

#define MV_POSE_POINT_MAX 500   /* point pairs per estimate */

/* Which image coordinates the estimators compare the model with: 0 (the
   default) the ideal points as given; 1 the points first converted to
   observed coordinates with the distortion factors. Process-wide. */
extern int mvFittingMode;

/* The pose of a detected marker with the active camera (mvParam): the
   marker is a square of side `width` (mm) centred at `center` (mm, marker
   coordinates). Starts from a closed-form rotation found from the edge
   lines, then refines rotation and translation in up to five passes,
   stopping at the first pass whose error is below 1.0. Writes conv and
   returns the error of the last pass (possibly 1.0 or more); returns -1.0
   with conv untouched when the initial rotation cannot be found (e.g. a
   camera that cannot project) or a translation cannot be solved. Nothing
   is kept between calls. */
double mvGetTransMat(const MvMarkerInfo *marker, const double center[2],
                     double width, double conv[3][4]);

/* One refinement pass from a caller-supplied starting rotation, with planar
   model points (x, y in mm; z = 0) and their image points (ideal pixels).
   rot is read as the start and overwritten with the refined rotation, which
   is also the rotation part of conv; keep it for the next frame. num is 1
   to MV_POSE_POINT_MAX; anything else, or points that cannot fix a
   translation (one point, or all on one line of sight), return -1.0 with rot and conv untouched. The camera matrix is taken to be
   calibrated: upper-triangular left block, third row (0, 0, 1, 0).
   mvGetTransMat2 uses the active camera, mvGetTransMat3 the given
   distortion factors (read only in mvFittingMode 1) and camera matrix. */
double mvGetTransMat2(double rot[3][3], const double imagePoints[][2],
                      const double modelPoints[][2], int num,
                      double conv[3][4]);
double mvGetTransMat3(double rot[3][3], const double imagePoints[][2],
                      const double modelPoints[][2], int num,
                      double conv[3][4], const double distortion[4],
                      const double camera[3][4]);

/* The same with 3-D model points (mm). */
double mvGetTransMat4(double rot[3][3], const double imagePoints[][2],
                      const double modelPoints[][3], int num,
                      double conv[3][4]);
double mvGetTransMat5(double rot[3][3], const double imagePoints[][2],
                      const double modelPoints[][3], int num,
                      double conv[3][4], const double distortion[4],
                      const double camera[3][4]);

/* --- Building blocks (used by the estimators, public for tools) --- */

/* The closed-form starting rotation of a detected marker: its edge pairs'
   vanishing points back-projected through the camera's upper-triangular
   3x3 block give the x and y axes, their signs are fixed by the corners,
   then they are made exactly perpendicular. Returns 0 and fills rot, or -1
   with rot untouched (a camera that cannot project, or parallel axes). */
int mvGetInitRot(const MvMarkerInfo *marker, const double camera[3][4],
                 double rot[3][3]);

/* Rotation from three angles (radians): R = Rz(a) Ry(b) Rz(g - a); its third
   column is (cos a sin b, sin a sin b, cos b). Returns 0. */
int mvGetRot(double a, double b, double g, double rot[3][3]);
/* The inverse of mvGetRot. Clamps rot[2][2] into [-1, 1] in place (so the
   caller's matrix changes when it lies outside). Returns 0. */
int mvGetAngle(double rot[3][3], double *a, double *b, double *g);
/* out = Q [R(a, b, g) | trans], Q = camera, or camera times the transform
   trans2 when trans2 is not NULL. trans in mm. Returns 0. */
int mvGetNewMatrix(double a, double b, double g, const double trans[3],
                   const double trans2[3][4], const double camera[3][4],
                   double out[3][4]);
/* Refines rot in place by a coarse-to-fine search over its three angles
   with trans held fixed; returns the mean squared reprojection error
   (square pixels) of the rotation it leaves. num >= 1. */
double mvModifyMatrix(double rot[3][3], const double trans[3],
                      const double camera[3][4], const double points3d[][3],
                      const double points2d[][2], int num);

#ifdef __cplusplus
}
#endif

#endif
