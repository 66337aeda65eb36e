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

// Rz(a) Ry(b) Rz(g - a), written out.
void rot_from(const Trig &ta, const Trig &tb, const Trig &tg, double rot[3][3])
{
    const double sa = ta.s, ca = ta.c;
    const double sb = tb.s, cb = tb.c;
    const double sg = tg.s, cg = tg.c;
    rot[0][0] = ca * ca * cb * cg + sa * sa * cg + sa * ca * cb * sg - sa * ca * sg;
    rot[0][1] = -ca * ca * cb * sg - sa * sa * sg + sa * ca * cb * cg - sa * ca * cg;
    rot[0][2] = ca * sb;
    rot[1][0] = sa * ca * cb * cg - sa * ca * cg + sa * sa * cb * sg + ca * ca * sg;
    rot[1][1] = ca * ca * cg + sa * sa * cb * cg - sa * ca * cb * sg + sa * ca * sg;
    rot[1][2] = sa * sb;
    rot[2][0] = -ca * sb * cg - sa * sb * sg;
    rot[2][1] = ca * sb * sg - sa * sb * cg;
    rot[2][2] = cb;
}

}  // namespace

extern "C" int mvGetRot(double a, double b, double g, double rot[3][3])
{
    rot_from(trig(a), trig(b), trig(g), rot);
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

// Sum over the points of the squared distance between each image point and
// the projection of its model point through m (square pixels).
static double reprojection_error(const double m[3][4], const double points3d[][3],
                                 const double points2d[][2], int num)
{
    double err = 0.0;
    for (int p = 0; p < num; p++) {
        const double *h = points3d[p];
        double hx = m[0][0] * h[0] + m[0][1] * h[1] + m[0][2] * h[2] + m[0][3];
        double hy = m[1][0] * h[0] + m[1][1] * h[1] + m[1][2] * h[2] + m[1][3];
        double hz = m[2][0] * h[0] + m[2][1] * h[1] + m[2][2] * h[2] + m[2][3];
        double dx = points2d[p][0] - hx / hz;
        double dy = points2d[p][1] - hy / hz;
        err += dx * dx + dy * dy;
    }
    return err;
}

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
    double m[3][4];
    for (int j = 0; j < 3; j++)
        m[j][3] = camera[j][0] * trans[0] + camera[j][1] * trans[1] + camera[j][2] * trans[2] +
                  camera[j][3];
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
        for (int i = -1; i <= 1; i++)
            for (int j = -1; j <= 1; j++)
                for (int k = -1; k <= 1; k++) {
                    // As mvGetNewMatrix(va, vb, vg, trans, NULL, camera).
                    double rot_c[3][3];
                    rot_from(ta[i + 1], tb[j + 1], tg[k + 1], rot_c);
                    for (int r = 0; r < 3; r++)
                        for (int c = 0; c < 3; c++)
                            m[r][c] = camera[r][0] * rot_c[0][c] + camera[r][1] * rot_c[1][c] +
                                      camera[r][2] * rot_c[2][c];
                    double err = reprojection_error(m, points3d, points2d, num);
                    // Strictly below: of equal errors the first visited wins,
                    // and not-a-number never does.
                    if (err < minerr) {
                        minerr = err;
                        best_a = va[i + 1];
                        best_b = vb[j + 1];
                        best_g = vg[k + 1];
                        best_centre = (i == 0 && j == 0 && k == 0);
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
