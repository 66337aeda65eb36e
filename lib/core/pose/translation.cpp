// translation.cpp - the translation that best explains the image points for
// a fixed rotation, by linear least squares.
//
// With a calibrated camera matrix (upper-triangular left block, third row
// (0, 0, 1, 0)) each point gives two equations linear in the translation:
//   P00 tx + P01 ty + (P02 - u) tz = u wz - P00 wx - P01 wy - P02 wz
//            P11 ty + (P12 - v) tz = v wz - P11 wy - P12 wz
// where (wx, wy, wz) is the rotated model point. The normal equations are
// solved with the matrix routines of numerics.

#include "morvex/pose.h"
#include "pose_internal.h"

namespace mvcore {

TransSolve::TransSolve(int num) : num_(num), storage_((size_t)num * 14) {}

int TransSolve::solve(const double rot[3][3], const double camera[3][4],
                      const double points3d[][3], const double points2d[][2], double trans[3])
{
    const int n2 = num_ * 2;
    double *a = storage_.data(), *at = a + n2 * 3, *b = at + n2 * 3;
    MvMatrix am = {a, n2, 3}, atm = {at, 3, n2}, bm = {b, n2, 1};
    MvMatrix cm = {cm_, 3, 3}, dm = {dm_, 3, 1}, em = {em_, 3, 1};
    for (int p = 0; p < num_; p++) {
        const double u = points2d[p][0], v = points2d[p][1];
        const int r0 = p * 2, r1 = p * 2 + 1;
        // At is filled alongside A rather than by transposing.
        a[r0 * 3 + 0] = at[0 * n2 + r0] = camera[0][0];
        a[r0 * 3 + 1] = at[1 * n2 + r0] = camera[0][1];
        a[r0 * 3 + 2] = at[2 * n2 + r0] = camera[0][2] - u;
        a[r1 * 3 + 0] = at[0 * n2 + r1] = 0.0;
        a[r1 * 3 + 1] = at[1 * n2 + r1] = camera[1][1];
        a[r1 * 3 + 2] = at[2 * n2 + r1] = camera[1][2] - v;

        const double *x = points3d[p];
        double wx = rot[0][0] * x[0] + rot[0][1] * x[1] + rot[0][2] * x[2];
        double wy = rot[1][0] * x[0] + rot[1][1] * x[1] + rot[1][2] * x[2];
        double wz = rot[2][0] * x[0] + rot[2][1] * x[1] + rot[2][2] * x[2];
        b[r0] = u * wz - camera[0][0] * wx - camera[0][1] * wy - camera[0][2] * wz;
        b[r1] = v * wz - camera[1][1] * wy - camera[1][2] * wz;
    }
    // Dimensions always agree. A singular normal matrix (a single point, or
    // all points on one line of sight) has no answer to give.
    mvMatrixMul(&cm, &atm, &am);
    mvMatrixMul(&dm, &atm, &bm);
    if (mvMatrixSelfInv(&cm) < 0) return -1;
    mvMatrixMul(&em, &cm, &dm);
    trans[0] = em.data[0];
    trans[1] = em.data[1];
    trans[2] = em.data[2];
    return 0;
}

}  // namespace mvcore
