// pose_internal.h - helpers shared by the files of pose/ (and its tests).
#ifndef MORVEX_POSE_INTERNAL_H
#define MORVEX_POSE_INTERNAL_H

#include "morvex/camera.h"
#include "morvex/detect.h"
#include "morvex/numerics.h"

#include <cstddef>
#include <vector>

namespace mvcore {

// Index among the detector's four corners (or edges) of the marker's own
// corner (edge) k, for a marker matched in direction d. Any d maps into
// 0..3, so a stray direction cannot index out of range.
inline int own_index(int k, int d)
{
    return ((k - d % 4) % 4 + 4) % 4;
}

// Makes the image of direction dir (camera coordinates) run from start
// towards end (ideal pixels), reversing dir otherwise. 0, or -1 when a point
// cannot be projected (dir then untouched).
int check_dir(double dir[3], const double start[2], const double end[2],
              const double camera[3][4]);

// Replaces the two unit directions rows[0], rows[1] by perpendicular unit
// directions in their plane, each turned by the same angle away from the
// other. 0, or -1 (rows untouched) when they are parallel.
int check_rotation(double rows[2][3]);

// Room for `count` doubles: inline for the few points of a marker, on the
// heap (std::bad_alloc when it cannot be had) for longer point lists.
template <int kInline>
class PointBuffer {
public:
    explicit PointBuffer(size_t count) : heap_(count > kInline ? count : 0) {}
    double *data() { return heap_.empty() ? inline_ : heap_.data(); }

private:
    double inline_[kInline];
    std::vector<double> heap_;
};

// The matrices of the least-squares translation for num point pairs, set up
// once per refinement pass and reused by both solves.
class TransSolve {
public:
    // Throws std::bad_alloc when a long point list's storage cannot be had.
    explicit TransSolve(int num);
    // The translation (mm) that best explains the image points for rotation
    // rot, in the least-squares sense, with a calibrated camera matrix (third
    // row (0, 0, 1, 0), [1][0] = [0][3] = [1][3] = 0). 0, or -1 (trans
    // untouched) when the points cannot fix a translation (singular normal
    // equations).
    int solve(const double rot[3][3], const double camera[3][4], const double points3d[][3],
              const double points2d[][2], double trans[3]);

private:
    int num_;
    PointBuffer<8 * 14> storage_;   // A, A^T, b: 14 doubles per point
    double cm_[9], dm_[3], em_[3];
};

// One refinement pass of the pose estimators from a starting rotation `rot`
// (read and refined in place): model points (`dims` coordinates each,
// `stride` doubles apart, the rest 0) against image points (ideal pixels;
// compared as observed pixels through `distortion` when `observed`). The
// model is centred on its bounding box for the pass and the transform moved
// back to the caller's origin. Writes conv and returns the mean squared
// reprojection error, or -1.0 (rot and conv untouched) when num < 1 or the
// points cannot fix a translation. Throws std::bad_alloc for a long point
// list whose storage cannot be had.
double trans_mat_pass(double rot[3][3], const double image[][2], const double *model, int stride,
                      int dims, int num, double conv[3][4], const double distortion[4],
                      const double camera[3][4], bool observed);

// The pose of a detected marker (mvGetTransMat's algorithm) with the given
// camera: a closed-form start from the edge lines, then up to five passes,
// stopping at the first whose error is below 1.0. -1.0 with conv untouched
// when no pose can be made.
double marker_pose(const MvMarkerInfo &marker, const double center[2], double width,
                   const MvCameraParam &camera, bool observed, double conv[3][4]);

// A start for refine_marker_pose: the closed-form rotation from the edge
// lines and the least-squares translation for it, without marker_pose's
// angle search (which the refinement makes up for). 0, or -1 (conv
// untouched) when no start can be made.
int marker_pose_start(const MvMarkerInfo &marker, const double center[2], double width,
                      const double camera[3][4], double conv[3][4]);

// mvRefinePose with the given camera matrix.
double refine_pose(const double corners[4][2], const double center[2], double width,
                   const double prev[3][4], const double camera[3][4], double conv[3][4]);

// The marker's vertices in its own corner order (as mvGetTransMat takes
// them), refined by refine_pose.
double refine_marker_pose(const MvMarkerInfo &marker, const double center[2], double width,
                          const double prev[3][4], const double camera[3][4], double conv[3][4]);

}  // namespace mvcore

#endif
