// pose_internal.h - helpers shared by the files of pose/ (and its tests).
#ifndef MORVEX_POSE_INTERNAL_H
#define MORVEX_POSE_INTERNAL_H

#include "morvex/numerics.h"

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

// The matrices of the least-squares translation for num point pairs, set up
// once per refinement pass and reused by both solves. They view static
// storage (nothing to free), so one TransSolve is in use at a time.
struct TransSolve {
    MvMatrix a, at, b, cm, dm, em;
    int num;
};

// 0, or -1 when num is outside 1..MV_POSE_POINT_MAX.
int trans_solve_init(TransSolve *s, int num);
// The translation (mm) that best explains the image points for rotation rot,
// in the least-squares sense, with a calibrated camera matrix (third row
// (0, 0, 1, 0), [1][0] = [0][3] = [1][3] = 0). 0, or -1 (trans untouched)
// when the points cannot fix a translation (singular normal equations).
int trans_solve(TransSolve *s, const double rot[3][3],
                 const double camera[3][4], const double points3d[][3],
                 const double points2d[][2], double trans[3]);

}  // namespace mvcore

#endif
