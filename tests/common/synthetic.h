// synthetic.h - a marker seen by a pinhole camera with a known pose, for
// the pose tests and benchmarks.
#ifndef MORVEX_TESTS_POSE_SYNTHETIC_H
#define MORVEX_TESTS_POSE_SYNTHETIC_H

#include <cmath>
#include <cstring>
#include <random>

#include "morvex/camera.h"
#include "morvex/detect.h"
#include "morvex/pose.h"
#include "projection.h"

namespace synth {

// 500 px focal length, principal point at the centre of a 320 x 240 frame.
inline const double kCamera[3][4] = {
    {500, 0, 160, 0}, {0, 500, 120, 0}, {0, 0, 1, 0}};

// Makes kCamera, without lens distortion, the active camera.
inline void use_camera(const double camera[3][4] = kCamera)
{
    MvCameraParam p{320, 240, {}, {160, 120, 0, 1}};
    std::memcpy(p.projection, camera, sizeof p.projection);
    mvInitCparam(&p);
}

inline void project(const double camera[3][4], const double trans[3][4],
                    const double x[3], double out[2])
{
    MvCameraParam p{};
    std::memcpy(p.projection, camera, sizeof p.projection);
    mvtool::projectPoint(trans, p, x, out, nullptr);
}

// Line k from vertex k to vertex k + 1, (a, b) a unit normal.
inline void edge_lines(MvMarkerInfo *m)
{
    for (int k = 0; k < 4; k++) {
        const double *p = m->vertices[k], *q = m->vertices[(k + 1) % 4];
        double a = q[1] - p[1], b = -(q[0] - p[0]);
        double len = std::sqrt(a * a + b * b);
        m->edgeLines[k][0] = a / len;
        m->edgeLines[k][1] = b / len;
        m->edgeLines[k][2] = -(a * p[0] + b * p[1]) / len;
    }
}

// A marker of side `width` (mm) centred at the model origin under transform
// `trans`, detected with direction 0; corners moved by up to `noise` pixels
// in each coordinate.
inline MvMarkerInfo marker(const double camera[3][4], const double trans[3][4],
                           double width, double noise = 0.0, unsigned seed = 1)
{
    MvMarkerInfo m{};
    m.confidence = 1.0;  // id 0, direction 0
    const double h = width / 2;
    const double corners[4][3] = {{-h, h, 0}, {h, h, 0}, {h, -h, 0}, {-h, -h, 0}};
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> jitter(-noise, noise);
    for (int k = 0; k < 4; k++) {
        project(camera, trans, corners[k], m.vertices[k]);
        m.vertices[k][0] += jitter(rng);
        m.vertices[k][1] += jitter(rng);
    }
    edge_lines(&m);
    return m;
}

// Marker -> camera: rotation R(a, b, g), origin at t (mm).
inline void pose(double a, double b, double g, double tx, double ty, double tz,
                 double trans[3][4])
{
    double r[3][3];
    mvGetRot(a, b, g, r);
    const double t[3] = {tx, ty, tz};
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 3; j++) trans[i][j] = r[i][j];
        trans[i][3] = t[i];
    }
}

// Angle (degrees) of the rotation taking one rotation to the other: that of
// R1^T R2, from its trace.
template <int C1, int C2>
double rotation_gap_deg(const double (&r1)[3][C1], const double (&r2)[3][C2])
{
    double tr = 0;
    for (int k = 0; k < 3; k++)
        for (int i = 0; i < 3; i++) tr += r1[i][k] * r2[i][k];
    double c = std::fmax(-1.0, std::fmin(1.0, (tr - 1) / 2));
    return std::acos(c) * 180.0 / M_PI;
}

}  // namespace synth

#endif
