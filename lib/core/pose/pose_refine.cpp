// pose_refine.cpp - Levenberg-Marquardt on the four corners of a marker over
// all six pose parameters, and the choice between a planar marker's two
// poses that fit (nearly) equally well.
//
// The rotation is updated by a small rotation vector w on the left,
// R <- exp([w]x) R, so it stays orthonormal and has no singular angles; the
// translation is updated additively. Residuals and Jacobian are analytic.

#include <cmath>
#include <utility>

#include "morvex/camera.h"
#include "morvex/pose.h"
#include "pose_internal.h"

namespace mvcore {

namespace {

const int kCorners = 4;
// Enough to reach the minimum from the closed-form start even in the flat
// valley of a small marker seen nearly face-on (at most about 60 on the
// test clips; 50 stopped a few such poses 1e-5 short of it).
const int kMaxIterations = 200;
// Two poses whose mean squared errors differ by less than this factor plus
// this floor (square pixels: corners located to about 0.1 px) are told
// apart by continuity rather than by fit: corner noise alone moves the
// errors of two equally plausible poses that much. (Measured on rendered
// sequences turning through face-on, a smaller floor or factor lets more
// frames flip; a larger one keeps a wrong side longer.)
const double kAmbiguousRatio = 3.0;
const double kAmbiguousFloor = 0.01;
// A mirrored pose that refines to within this rotation angle (radians) of
// the first is the same minimum.
const double kSameMinimum = 1e-3;

struct Pose {
    double r[3][3];
    double t[3];
    double err;  // sum of squared residuals, square pixels
};

struct Problem {
    double model[kCorners][3];
    double image[kCorners][2];
    const double (*camera)[4];
};

// exp([w]x) by the Rodrigues formula.
void rotation_from_vector(const double w[3], double out[3][3])
{
    const double th = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
    // Below 1e-8 rad the series keeps full precision.
    const double a = th < 1e-8 ? 1.0 : std::sin(th) / th;
    const double b = th < 1e-8 ? 0.5 : (1.0 - std::cos(th)) / (th * th);
    const double k[3][3] = {{0, -w[2], w[1]}, {w[2], 0, -w[0]}, {-w[1], w[0], 0}};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            double kk = 0;
            for (int m = 0; m < 3; m++) kk += k[i][m] * k[m][j];
            out[i][j] = (i == j ? 1.0 : 0.0) + a * k[i][j] + b * kk;
        }
}

void left_rotate(const double w[3], const double in[3][3], double out[3][3])
{
    double e[3][3];
    rotation_from_vector(w, e);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            out[i][j] = e[i][0] * in[0][j] + e[i][1] * in[1][j] + e[i][2] * in[2][j];
}

// The angle (radians) of a^T b.
double rotation_gap(const double a[3][3], const double b[3][3])
{
    double trace = 0;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) trace += a[j][i] * b[j][i];
    return std::acos(std::fmax(-1.0, std::fmin(1.0, (trace - 1.0) / 2.0)));
}

// Residuals (projection minus image, 2 per corner) and, when jac is not
// null, their derivatives with respect to (w, t). Returns the sum of squares,
// or infinity when a corner is not in front of the camera.
double residuals(const Problem &p, const Pose &x, double res[2 * kCorners],
                 double jac[2 * kCorners][6])
{
    const double(*c)[4] = p.camera;
    double sum = 0;
    for (int k = 0; k < kCorners; k++) {
        double rx[3], h[3];
        for (int i = 0; i < 3; i++)
            rx[i] = x.r[i][0] * p.model[k][0] + x.r[i][1] * p.model[k][1] +
                    x.r[i][2] * p.model[k][2];
        const double xc[3] = {rx[0] + x.t[0], rx[1] + x.t[1], rx[2] + x.t[2]};
        for (int i = 0; i < 3; i++)
            h[i] = c[i][0] * xc[0] + c[i][1] * xc[1] + c[i][2] * xc[2] + c[i][3];
        if (!(h[2] > 0)) return INFINITY;
        const double uv[2] = {h[0] / h[2], h[1] / h[2]};
        for (int a = 0; a < 2; a++) {
            res[2 * k + a] = uv[a] - p.image[k][a];
            sum += res[2 * k + a] * res[2 * k + a];
            if (jac == nullptr) continue;
            // g = d(uv)/d(xc); xc moves by w x rx, so d(uv)/dw = rx x g,
            // and d(xc)/dt = I.
            double g[3];
            for (int i = 0; i < 3; i++) g[i] = (c[a][i] - uv[a] * c[2][i]) / h[2];
            double *row = jac[2 * k + a];
            row[0] = rx[1] * g[2] - rx[2] * g[1];
            row[1] = rx[2] * g[0] - rx[0] * g[2];
            row[2] = rx[0] * g[1] - rx[1] * g[0];
            for (int i = 0; i < 3; i++) row[3 + i] = g[i];
        }
    }
    return sum;
}

// Solves the 6 x 6 system a d = b by elimination with partial pivoting;
// false when it is singular.
bool solve6(double a[6][6], double b[6], double d[6])
{
    for (int col = 0; col < 6; col++) {
        int piv = col;
        for (int r = col + 1; r < 6; r++)
            if (std::fabs(a[r][col]) > std::fabs(a[piv][col])) piv = r;
        if (!(std::fabs(a[piv][col]) > 1e-300)) return false;
        if (piv != col) {
            for (int j = 0; j < 6; j++) std::swap(a[piv][j], a[col][j]);
            std::swap(b[piv], b[col]);
        }
        for (int r = col + 1; r < 6; r++) {
            const double f = a[r][col] / a[col][col];
            for (int j = col; j < 6; j++) a[r][j] -= f * a[col][j];
            b[r] -= f * b[col];
        }
    }
    for (int r = 5; r >= 0; r--) {
        double s = b[r];
        for (int j = r + 1; j < 6; j++) s -= a[r][j] * d[j];
        d[r] = s / a[r][r];
    }
    return true;
}

// Levenberg-Marquardt from x, in place. x.err is set on return.
void refine(const Problem &p, Pose *x)
{
    double res[2 * kCorners], jac[2 * kCorners][6];
    x->err = residuals(p, *x, res, jac);
    if (!std::isfinite(x->err)) return;
    double lambda = 1e-3;
    for (int it = 0; it < kMaxIterations && x->err > 0; it++) {
        double jtj[6][6] = {}, g[6] = {};
        for (int r = 0; r < 2 * kCorners; r++)
            for (int i = 0; i < 6; i++) {
                g[i] -= jac[r][i] * res[r];
                for (int j = 0; j < 6; j++) jtj[i][j] += jac[r][i] * jac[r][j];
            }
        bool improved = false;
        while (!improved && lambda < 1e12) {
            double a[6][6], b[6], d[6];
            for (int i = 0; i < 6; i++) {
                for (int j = 0; j < 6; j++) a[i][j] = jtj[i][j];
                a[i][i] += lambda * (jtj[i][i] + 1e-12);
                b[i] = g[i];
            }
            if (!solve6(a, b, d)) {
                lambda *= 10;
                continue;
            }
            Pose y;
            left_rotate(d, x->r, y.r);
            for (int i = 0; i < 3; i++) y.t[i] = x->t[i] + d[3 + i];
            double yres[2 * kCorners];
            y.err = residuals(p, y, yres, nullptr);
            if (y.err < x->err) {
                const double gain = x->err - y.err;
                *x = y;
                residuals(p, *x, res, jac);
                improved = true;
                lambda = std::fmax(lambda * 0.1, 1e-9);
                // Converged once a nearly undamped step gains nothing
                // measurable (a heavily damped one gains little anywhere in
                // a flat valley).
                if (gain <= 1e-14 * (1.0 + x->err) && lambda <= 1e-6) return;
            } else {
                lambda *= 10;
            }
        }
        if (!improved) return;
    }
}

// The mirrored-tilt twin of x: its normal (rotation column 2) reflected
// about the line of sight to the marker's centre, by the smallest rotation
// about that centre that does it. false when the two coincide (seen exactly
// face-on).
bool mirrored(const Problem &p, const Pose &x, Pose *y)
{
    double mc[3] = {0, 0, 0}, cc[3];
    for (int k = 0; k < kCorners; k++)
        for (int i = 0; i < 3; i++) mc[i] += p.model[k][i] / kCorners;
    for (int i = 0; i < 3; i++)
        cc[i] = x.r[i][0] * mc[0] + x.r[i][1] * mc[1] + x.r[i][2] * mc[2] + x.t[i];
    const double len = std::sqrt(cc[0] * cc[0] + cc[1] * cc[1] + cc[2] * cc[2]);
    if (!(len > 0)) return false;
    const double v[3] = {cc[0] / len, cc[1] / len, cc[2] / len};
    const double n[3] = {x.r[0][2], x.r[1][2], x.r[2][2]};
    const double nv = n[0] * v[0] + n[1] * v[1] + n[2] * v[2];
    double m[3];
    for (int i = 0; i < 3; i++) m[i] = 2 * nv * v[i] - n[i];
    double axis[3] = {n[1] * m[2] - n[2] * m[1], n[2] * m[0] - n[0] * m[2],
                      n[0] * m[1] - n[1] * m[0]};
    const double s = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    if (s < 1e-12) return false;
    const double angle = std::atan2(s, n[0] * m[0] + n[1] * m[1] + n[2] * m[2]);
    for (double &a : axis) a *= angle / s;
    left_rotate(axis, x.r, y->r);
    // Keep the centre where it was: t' = cc - R' mc.
    for (int i = 0; i < 3; i++)
        y->t[i] = cc[i] - (y->r[i][0] * mc[0] + y->r[i][1] * mc[1] + y->r[i][2] * mc[2]);
    return true;
}

}  // namespace

double refine_pose(const double corners[4][2], const double center[2], double width,
                   const double prev[3][4], const double camera[3][4], double conv[3][4])
{
    Problem p;
    p.camera = camera;
    const double half = width * 0.5;
    const double sx[4] = {-1, 1, 1, -1}, sy[4] = {1, 1, -1, -1};
    for (int k = 0; k < kCorners; k++) {
        p.model[k][0] = center[0] + sx[k] * half;
        p.model[k][1] = center[1] + sy[k] * half;
        p.model[k][2] = 0.0;
        p.image[k][0] = corners[k][0];
        p.image[k][1] = corners[k][1];
    }

    Pose a;
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 3; j++) a.r[i][j] = conv[i][j];
        a.t[i] = conv[i][3];
    }
    refine(p, &a);
    if (!std::isfinite(a.err)) return -1.0;

    const Pose *keep = &a;
    Pose b;
    if (mirrored(p, a, &b)) {
        refine(p, &b);
        // Near face-on the two refine into one shallow minimum: the better
        // of the two points found in it.
        if (std::isfinite(b.err) && rotation_gap(a.r, b.r) <= kSameMinimum && b.err < a.err) keep = &b;
        if (std::isfinite(b.err) && rotation_gap(a.r, b.r) > kSameMinimum) {
            const Pose *best = b.err < a.err ? &b : &a;
            const Pose *other = best == &a ? &b : &a;
            keep = best;
            if (prev != nullptr &&
                other->err <= kAmbiguousRatio * best->err + kAmbiguousFloor * kCorners) {
                double pr[3][3];
                for (int i = 0; i < 3; i++)
                    for (int j = 0; j < 3; j++) pr[i][j] = prev[i][j];
                if (rotation_gap(other->r, pr) < rotation_gap(best->r, pr)) keep = other;
            }
        }
    }
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 3; j++) conv[i][j] = keep->r[i][j];
        conv[i][3] = keep->t[i];
    }
    return keep->err / kCorners;
}

double refine_marker_pose(const MvMarkerInfo &marker, const double center[2], double width,
                          const double prev[3][4], const double camera[3][4], double conv[3][4])
{
    double corners[4][2];
    for (int k = 0; k < 4; k++) {
        const double *v = marker.vertices[own_index(k, marker.direction)];
        corners[k][0] = v[0];
        corners[k][1] = v[1];
    }
    return refine_pose(corners, center, width, prev, camera, conv);
}

}  // namespace mvcore
