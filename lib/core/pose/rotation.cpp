// rotation.cpp - the three-angle rotation, the projection of a pose and the
// coarse-to-fine angle search.
//
// R(a, b, g) = Rz(a) Ry(b) Rz(g - a): b is the angle between the marker's z
// axis and the camera's, a its azimuth. The search walks the 27 neighbours
// of the current angles and halves its step only when the centre wins.

#include <cmath>

#include "morvex/pose.h"
#include "pose_internal.h"

namespace {

// Sine and cosine of one angle.
struct Trig {
    double s, c;
};

Trig trig(double x)
{
    return {std::sin(x), std::cos(x)};
}

// Rz(a) Ry(b) Rz(g - a), written out, into r[0..8] (row-major) at stride
// `stride` (the search lays many rotations side by side).
inline void rot_from(double sa, double ca, double sb, double cb, double sg, double cg,
                     double *r, int stride)
{
    r[0 * stride] = ca * ca * cb * cg + sa * sa * cg + sa * ca * cb * sg - sa * ca * sg;
    r[1 * stride] = -ca * ca * cb * sg - sa * sa * sg + sa * ca * cb * cg - sa * ca * cg;
    r[2 * stride] = ca * sb;
    r[3 * stride] = sa * ca * cb * cg - sa * ca * cg + sa * sa * cb * sg + ca * ca * sg;
    r[4 * stride] = ca * ca * cg + sa * sa * cb * cg - sa * ca * cb * sg + sa * ca * sg;
    r[5 * stride] = sa * sb;
    r[6 * stride] = -ca * sb * cg - sa * sb * sg;
    r[7 * stride] = ca * sb * sg - sa * sb * cg;
    r[8 * stride] = cb;
}

}  // namespace

extern "C" int mvGetRot(double a, double b, double g, double rot[3][3])
{
    const Trig ta = trig(a), tb = trig(b), tg = trig(g);
    rot_from(ta.s, ta.c, tb.s, tb.c, tg.s, tg.c, &rot[0][0], 1);
    return 0;
}

extern "C" int mvGetAngle(double rot[3][3], double *a, double *b, double *g)
{
    if (rot[2][2] > 1.0)
        rot[2][2] = 1.0;
    else if (rot[2][2] < -1.0)
        rot[2][2] = -1.0;
    double bb = std::acos(rot[2][2]);
    double sb = std::sin(bb);
    double aa, sg, cg;
    if (bb >= 1e-6 || bb <= -1e-6) {
        double ca = rot[0][2] / sb, sa = rot[1][2] / sb;
        if (ca > 1.0) { ca = 1.0; sa = 0.0; }
        if (ca < -1.0) { ca = -1.0; sa = 0.0; }
        if (sa > 1.0) { sa = 1.0; ca = 0.0; }
        if (sa < -1.0) { sa = -1.0; ca = 0.0; }
        aa = std::acos(ca);
        if (sa < 0.0) aa = -aa;
        double den = rot[0][2] * rot[0][2] + rot[1][2] * rot[1][2];
        if (den == 0.0) {
            // z axis exactly opposite the camera's (a marker seen face-on):
            // the azimuth came out +-90 degrees, and there R(a, pi, g) has
            // first column (cos g, -sin g, 0). Without this g would be 0/0.
            cg = rot[0][0];
            sg = -rot[1][0];
        } else {
            sg = (rot[2][1] * rot[0][2] - rot[2][0] * rot[1][2]) / den;
            cg = -(rot[0][2] * rot[2][0] + rot[1][2] * rot[2][1]) / den;
        }
        if (cg > 1.0) { cg = 1.0; sg = 0.0; }
    } else {
        aa = 0.0;
        bb = 0.0;
        cg = rot[0][0];
        sg = rot[1][0];
        if (cg > 1.0) { cg = 1.0; sg = 0.0; }
    }
    if (cg < -1.0) { cg = -1.0; sg = 0.0; }
    if (sg > 1.0) { sg = 1.0; cg = 0.0; }
    if (sg < -1.0) { sg = -1.0; cg = 0.0; }
    double gg = std::acos(cg);
    if (sg < 0.0) gg = -gg;
    *a = aa;
    *b = bb;
    *g = gg;
    return 0;
}

extern "C" int mvGetNewMatrix(double a, double b, double g, const double trans[3],
                              const double trans2[3][4], const double camera[3][4],
                              double out[3][4])
{
    double rot[3][3];
    mvGetRot(a, b, g, rot);

    double q[3][4];
    if (trans2 == nullptr) {
        for (int j = 0; j < 3; j++)
            for (int i = 0; i < 4; i++) q[j][i] = camera[j][i];
    } else {
        for (int j = 0; j < 3; j++)
            for (int i = 0; i < 4; i++)
                q[j][i] = camera[j][0] * trans2[0][i] + camera[j][1] * trans2[1][i] +
                          camera[j][2] * trans2[2][i];
    }
    for (int j = 0; j < 3; j++) {
        for (int i = 0; i < 3; i++)
            out[j][i] = q[j][0] * rot[0][i] + q[j][1] * rot[1][i] + q[j][2] * rot[2][i];
        out[j][3] = q[j][0] * trans[0] + q[j][1] * trans[1] + q[j][2] * trans[2] + q[j][3];
    }
    return 0;
}

namespace {

// The 27 candidates of one search stage side by side, padded to an even
// count so that the compiler can run the loops over them on vector units;
// each candidate's arithmetic is the scalar one, in the same order.
constexpr int kCandidates = 27;
constexpr int kLanes = 28;

struct Stage {
    double sa[kLanes], ca[kLanes], sb[kLanes], cb[kLanes], sg[kLanes], cg[kLanes];
    double rot[9][kLanes];
    double m[9][kLanes];   // camera times rotation, rows 0-2 of the projection
    double err[kLanes];
};

// For each candidate, the sum over the points of the squared distance
// between each image point and the projection of its model point (square
// pixels); the projection's last column `t` is the same for all.
inline __attribute__((always_inline)) void stage_errors_in(Stage *st, const double camera[3][4], const double t[3],
                                                           const double points3d[][3], const double points2d[][2],
                                                           int num)
{
    for (int n = 0; n < kLanes; n++)
        rot_from(st->sa[n], st->ca[n], st->sb[n], st->cb[n], st->sg[n], st->cg[n],
                 &st->rot[0][n], kLanes);
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++)
            for (int n = 0; n < kLanes; n++)
                st->m[r * 3 + c][n] = camera[r][0] * st->rot[c][n] +
                                      camera[r][1] * st->rot[3 + c][n] +
                                      camera[r][2] * st->rot[6 + c][n];
    for (int n = 0; n < kLanes; n++) st->err[n] = 0.0;
    for (int p = 0; p < num; p++) {
        const double *h = points3d[p];
        const double u = points2d[p][0], v = points2d[p][1];
        for (int n = 0; n < kLanes; n++) {
            double hx = st->m[0][n] * h[0] + st->m[1][n] * h[1] + st->m[2][n] * h[2] + t[0];
            double hy = st->m[3][n] * h[0] + st->m[4][n] * h[1] + st->m[5][n] * h[2] + t[1];
            double hz = st->m[6][n] * h[0] + st->m[7][n] * h[1] + st->m[8][n] * h[2] + t[2];
            double dx = u - hx / hz;
            double dy = v - hy / hz;
            st->err[n] += dx * dx + dy * dy;
        }
    }
}

// The same loops compiled twice: on x86-64 the AVX2 copy (four candidates
// per instruction instead of two, no fused multiply-add, so the same sums)
// is taken where the processor has it.
void stage_errors_plain(Stage *st, const double camera[3][4], const double t[3], const double points3d[][3],
                        const double points2d[][2], int num)
{
    stage_errors_in(st, camera, t, points3d, points2d, num);
}

#if defined(__GNUC__) && defined(__x86_64__)
__attribute__((target("avx2"))) void stage_errors_avx2(Stage *st, const double camera[3][4], const double t[3],
                                                       const double points3d[][3], const double points2d[][2],
                                                       int num)
{
    stage_errors_in(st, camera, t, points3d, points2d, num);
}
#endif

void stage_errors(Stage *st, const double camera[3][4], const double t[3], const double points3d[][3],
                  const double points2d[][2], int num)
{
#if defined(__GNUC__) && defined(__x86_64__)
    if (__builtin_cpu_supports("avx2")) return stage_errors_avx2(st, camera, t, points3d, points2d, num);
#endif
    stage_errors_plain(st, camera, t, points3d, points2d, num);
}

}  // namespace

extern "C" double mvModifyMatrix(double rot[3][3], const double trans[3],
                                 const double camera[3][4], const double points3d[][3],
                                 const double points2d[][2], int num)
{
    double a, b, g;
    mvGetAngle(rot, &a, &b, &g);

    double step = 0.17453292519943295;  // 10 degrees
    // Until some stage finds a usable error, the starting angles stand and
    // count as the centre.
    double best_a = a, best_b = b, best_g = g;
    bool best_centre = true;
    double minerr = 1e9;
    // The translation column of every candidate is the same.
    double t[3];
    for (int j = 0; j < 3; j++)
        t[j] = camera[j][0] * trans[0] + camera[j][1] * trans[1] + camera[j][2] * trans[2] +
               camera[j][3];
    Stage st;
    for (int stage = 0; stage < 10; stage++) {
        minerr = 1e9;
        // Each angle takes three values, so 9 sines and cosines serve all
        // 27 candidates.
        double va[3], vb[3], vg[3];
        Trig ta[3], tb[3], tg[3];
        for (int n = 0; n < 3; n++) {
            va[n] = a + (n - 1) * step;
            vb[n] = b + (n - 1) * step;
            vg[n] = g + (n - 1) * step;
            ta[n] = trig(va[n]);
            tb[n] = trig(vb[n]);
            tg[n] = trig(vg[n]);
        }
        // Candidate n takes offsets (i, j, k) = (n / 9, n / 3 % 3, n % 3) - 1;
        // the padding lane repeats the centre.
        for (int n = 0; n < kLanes; n++) {
            const int c = n < kCandidates ? n : 13;
            st.sa[n] = ta[c / 9].s;
            st.ca[n] = ta[c / 9].c;
            st.sb[n] = tb[c / 3 % 3].s;
            st.cb[n] = tb[c / 3 % 3].c;
            st.sg[n] = tg[c % 3].s;
            st.cg[n] = tg[c % 3].c;
        }
        stage_errors(&st, camera, t, points3d, points2d, num);
        for (int n = 0; n < kCandidates; n++) {
            // Strictly below: of equal errors the first visited wins, and
            // not-a-number never does.
            if (st.err[n] < minerr) {
                minerr = st.err[n];
                best_a = va[n / 9];
                best_b = vb[n / 3 % 3];
                best_g = vg[n % 3];
                best_centre = n == 13;
            }
        }
        if (best_centre) step *= 0.5;
        a = best_a;
        b = best_b;
        g = best_g;
    }
    mvGetRot(a, b, g, rot);
    return minerr / num;
}
