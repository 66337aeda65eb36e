// init_rot.cpp - the closed-form starting rotation of a detected marker.
//
// Opposite edges of the square are parallel in space, so each pair meets in
// the image at a vanishing point whose back-projection is the pair's 3-D
// direction. Those two directions become the marker's x and y axes.

#include <cmath>
#include <utility>

#include "morvex/numerics.h"
#include "morvex/pose.h"
#include "pose_internal.h"

namespace mvcore {

int check_dir(double dir[3], const double start[2], const double end[2],
              const double camera[3][4])
{
    double inv[3 * 3];
    MvMatrix block = {inv, 3, 3};
    MvMatrix *m = &block;
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++) m->data[r * 3 + c] = camera[r][c];
    // A singular block leaves garbage in m; the zero denominator below is
    // what reports a camera that cannot project.
    mvMatrixSelfInv(m);

    // Back-project start to depth 10 (when the third row is (0, 0, 1, 0)),
    // then step along dir and see where the image moves.
    double world[2][3];
    for (int r = 0; r < 3; r++)
        world[0][r] = m->data[r * 3 + 0] * start[0] * 10.0 +
                      m->data[r * 3 + 1] * start[1] * 10.0 +
                      m->data[r * 3 + 2] * 10.0;
    for (int r = 0; r < 3; r++) world[1][r] = world[0][r] + dir[r];

    double img[2][2];
    for (int k = 0; k < 2; k++) {
        const double *w = world[k];
        double h = camera[2][0] * w[0] + camera[2][1] * w[1] + camera[2][2] * w[2];
        if (h == 0.0) return -1;
        img[k][0] = (camera[0][0] * w[0] + camera[0][1] * w[1] + camera[0][2] * w[2]) / h;
        img[k][1] = (camera[1][0] * w[0] + camera[1][1] * w[1] + camera[1][2] * w[2]) / h;
    }
    double u0 = end[0] - start[0], u1 = end[1] - start[1];
    double v0 = img[1][0] - img[0][0], v1 = img[1][1] - img[0][1];
    if (u0 * v0 + u1 * v1 < 0.0) {
        dir[0] = -dir[0];
        dir[1] = -dir[1];
        dir[2] = -dir[2];
    }
    return 0;
}

// The two unit vectors c with c . u = ca and c . nv = 0 (nv a unit normal
// of u). 0, or -1 when the linear part is singular.
static int turned_pair(const double uin[3], const double nvin[3], double ca,
                       double c1[3], double c2[3])
{
    double u[3] = {uin[0], uin[1], uin[2]};
    double nv[3] = {nvin[0], nvin[1], nvin[2]};
    // Pick two components that can be solved for in terms of the third.
    int mode = 0;
    if (nv[1] * u[0] - u[1] * nv[0] == 0.0) {
        if (nv[2] * u[0] - u[2] * nv[0] != 0.0) {
            mode = 1;
            std::swap(u[1], u[2]);
            std::swap(nv[1], nv[2]);
        } else {
            mode = 2;
            std::swap(u[0], u[2]);
            std::swap(nv[0], nv[2]);
        }
    }
    double d = nv[1] * u[0] - u[1] * nv[0];
    if (d == 0.0) return -1;
    double k1 = (u[1] * nv[2] - nv[1] * u[2]) / d;
    double k2 = ca * nv[1] / d;
    double k3 = (u[0] * nv[2] - nv[0] * u[2]) / (u[1] * nv[0] - nv[1] * u[0]);
    double k4 = ca * nv[0] / (u[1] * nv[0] - nv[1] * u[0]);

    double qa = k1 * k1 + k3 * k3 + 1.0;
    double qb = k1 * k2 + k3 * k4;
    double qc = k2 * k2 + k4 * k4 - 1.0;
    double disc = qb * qb - qa * qc;
    if (disc < 0.0) {
        // ca never exceeds 1, so a real solution always exists: a negative
        // discriminant is rounding, met when the directions are already
        // perpendicular (a double root at u itself). Refuse only what
        // rounding cannot explain.
        if (disc < -1e-10 * (qb * qb + std::fabs(qa * qc))) return -1;
        disc = 0.0;
    }
    double r1 = (std::sqrt(disc) - qb) / qa;
    double r2 = (-qb - std::sqrt(disc)) / qa;
    c1[0] = k1 * r1 + k2; c1[1] = k3 * r1 + k4; c1[2] = r1;
    c2[0] = k1 * r2 + k2; c2[1] = k3 * r2 + k4; c2[2] = r2;
    if (mode == 1) {
        std::swap(c1[1], c1[2]);
        std::swap(c2[1], c2[2]);
    } else if (mode == 2) {
        std::swap(c1[0], c1[2]);
        std::swap(c2[0], c2[2]);
    }
    return 0;
}

static double dot3(const double a[3], const double b[3])
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

int check_rotation(double rows[2][3])
{
    const double *u1 = rows[0], *u2 = rows[1];
    double nv[3] = {u1[1] * u2[2] - u1[2] * u2[1],
                    u1[2] * u2[0] - u1[0] * u2[2],
                    u1[0] * u2[1] - u1[1] * u2[0]};
    double len = std::sqrt(dot3(nv, nv));
    if (len == 0.0) return -1;
    for (double &x : nv) x /= len;

    // Each vector turns within the plane by 45 degrees minus half the acute
    // angle between them; ca is the cosine of that turn.
    double cb = std::fabs(dot3(u1, u2));
    double ca = (std::sqrt(cb + 1.0) + std::sqrt(1.0 - cb)) * 0.5;

    double c[4][3];
    if (turned_pair(u1, nv, ca, c[0], c[1]) < 0) return -1;
    if (turned_pair(u2, nv, ca, c[2], c[3]) < 0) return -1;

    double e1 = std::fabs(dot3(c[0], c[2])), e2 = std::fabs(dot3(c[0], c[3]));
    double e3 = std::fabs(dot3(c[1], c[2])), e4 = std::fabs(dot3(c[1], c[3]));
    // Most nearly perpendicular pair; strict comparisons, so ties go to the
    // later candidates.
    int first, second;
    if (e1 < e2) {
        if (e1 < e3) {
            if (e1 < e4) { first = 0; second = 2; } else { first = 1; second = 3; }
        } else {
            if (e3 < e4) { first = 1; second = 2; } else { first = 1; second = 3; }
        }
    } else {
        if (e2 < e3) {
            if (e2 < e4) { first = 0; second = 3; } else { first = 1; second = 3; }
        } else {
            if (e3 < e4) { first = 1; second = 2; } else { first = 1; second = 3; }
        }
    }
    for (int k = 0; k < 3; k++) {
        rows[0][k] = c[first][k];
        rows[1][k] = c[second][k];
    }
    return 0;
}

}  // namespace mvcore

using namespace mvcore;

extern "C" int mvGetInitRot(const MvMarkerInfo *marker, const double camera[3][4],
                            double rot[3][3])
{
    const int d = marker->direction;
    const double (*p)[4] = camera;
    double dirs[3][3];
    for (int i = 0; i < 2; i++) {
        const double *l1 = marker->edgeLines[own_index(i, d)];
        const double *l2 = marker->edgeLines[own_index(i + 2, d)];
        // Intersection of the opposite edges, homogeneous (w = 0 when the
        // image lines are parallel).
        double w = l1[0] * l2[1] - l2[0] * l1[1];
        double x = l1[1] * l2[2] - l2[1] * l1[2];
        double y = l1[2] * l2[0] - l2[2] * l1[0];
        double *v = dirs[i];
        v[0] = x * p[1][1] + w * (p[0][1] * p[1][2] - p[0][2] * p[1][1]) - y * p[0][1];
        v[1] = y * p[0][0] - w * p[0][0] * p[1][2];
        v[2] = w * p[0][0] * p[1][1];
        double len = std::sqrt(dot3(v, v));
        for (int k = 0; k < 3; k++) v[k] /= len;
    }
    const double *corner[4] = {marker->vertices[own_index(0, d)],
                                marker->vertices[own_index(1, d)],
                                marker->vertices[own_index(2, d)],
                                marker->vertices[own_index(3, d)]};
    if (check_dir(dirs[0], corner[0], corner[1], camera) < 0) return -1;
    if (check_dir(dirs[1], corner[3], corner[0], camera) < 0) return -1;
    if (check_rotation(dirs) < 0) return -1;

    double *z = dirs[2];
    z[0] = dirs[0][1] * dirs[1][2] - dirs[0][2] * dirs[1][1];
    z[1] = dirs[0][2] * dirs[1][0] - dirs[0][0] * dirs[1][2];
    z[2] = dirs[0][0] * dirs[1][1] - dirs[0][1] * dirs[1][0];
    double len = std::sqrt(dot3(z, z));
    for (int k = 0; k < 3; k++) z[k] /= len;

    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++) rot[r][c] = dirs[c][r];
    return 0;
}
