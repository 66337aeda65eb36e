/* homography.cpp - the two ways the core builds a plane projective map. */
#include "homography.h"

#include "morvex/numerics.h"

#include <cmath>

namespace mvcore {

bool unit_square_map(const double c[4][2], Homography *m)
{
    // Convex and non-degenerate: every turn has the same sign.
    double turn[4];
    for (int i = 0; i < 4; i++) {
        const double *a = c[i], *b = c[(i + 1) % 4], *d = c[(i + 2) % 4];
        turn[i] = (b[0] - a[0]) * (d[1] - b[1]) - (b[1] - a[1]) * (d[0] - b[0]);
        if (!std::isfinite(turn[i])) return false;
    }
    for (int i = 1; i < 4; i++)
        if (!(turn[i] * turn[0] > 0.0)) return false;
    const double dx1 = c[1][0] - c[2][0], dx2 = c[3][0] - c[2][0];
    const double dx3 = c[0][0] - c[1][0] + c[2][0] - c[3][0];
    const double dy1 = c[1][1] - c[2][1], dy2 = c[3][1] - c[2][1];
    const double dy3 = c[0][1] - c[1][1] + c[2][1] - c[3][1];
    const double det = dx1 * dy2 - dx2 * dy1;
    if (det == 0.0) return false;
    const double g = (dx3 * dy2 - dx2 * dy3) / det;
    const double h = (dx1 * dy3 - dx3 * dy1) / det;
    m->h[2][0] = g;
    m->h[2][1] = h;
    m->h[2][2] = 1.0;
    m->h[0][0] = c[1][0] - c[0][0] + g * c[1][0];
    m->h[0][1] = c[3][0] - c[0][0] + h * c[3][0];
    m->h[0][2] = c[0][0];
    m->h[1][0] = c[1][1] - c[0][1] + g * c[1][1];
    m->h[1][1] = c[3][1] - c[0][1] + h * c[3][1];
    m->h[1][2] = c[0][1];
    return true;
}

void four_point_map(const double world[4][2], const double image[4][2], Homography *m)
{
    // The 8 x 8 system on the stack: A p = b, row 2i for x, 2i + 1 for y.
    double a_data[64], b_data[8], c_data[8];
    MvMatrix a = {a_data, 8, 8}, b = {b_data, 8, 1}, c = {c_data, 8, 1};
    for (int i = 0; i < 4; i++) {
        const double X = world[i][0], Y = world[i][1];
        const double x = image[i][0], y = image[i][1];
        double *r0 = a.data + (2 * i) * 8;
        double *r1 = a.data + (2 * i + 1) * 8;
        r0[0] = X; r0[1] = Y; r0[2] = 1.0; r0[3] = 0.0; r0[4] = 0.0; r0[5] = 0.0;
        r0[6] = -X * x; r0[7] = -Y * x;
        r1[0] = 0.0; r1[1] = 0.0; r1[2] = 0.0; r1[3] = X; r1[4] = Y; r1[5] = 1.0;
        r1[6] = -X * y; r1[7] = -Y * y;
        b.data[2 * i] = x;
        b.data[2 * i + 1] = y;
    }
    mvMatrixSelfInv(&a);
    mvMatrixMul(&c, &a, &b);
    for (int r = 0; r < 2; r++)
        for (int k = 0; k < 3; k++) m->h[r][k] = c.data[r * 3 + k];
    m->h[2][0] = c.data[6];
    m->h[2][1] = c.data[7];
    m->h[2][2] = 1.0;
}

}  // namespace mvcore
