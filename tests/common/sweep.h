// sweep.h - pose estimates on rendered frames against the renderer's truth:
// the bundled camera rescaled to the frame size, the project's marker and
// pattern, detection, then mvGetTransMat. Shared by the end-to-end test and
// bench/pose/pose_accuracy.
#ifndef MORVEX_TESTS_POSE_SWEEP_H
#define MORVEX_TESTS_POSE_SWEEP_H

#include <cmath>
#include <string>

#include "morvex.h"
#include "render.h"

namespace sweep {

const double kSide = 80.0;  // mm, the printed marker's side

struct Setup {
    MvCameraParam cam{};
    render::Image marker;
    int patt = -1;
};

// Makes xsize x ysize the active camera; the marker picture and pattern are
// loaded once per process. dir holds camera_para.dat, marker.png, patt.lumo.
inline bool prepare(const std::string &dir, int xsize, int ysize, Setup *s,
                    std::string *error)
{
    MvCameraParam file{};
    if (mvParamLoad((dir + "/camera_para.dat").c_str(), 1, &file) < 0) {
        *error = "cannot read " + dir + "/camera_para.dat";
        return false;
    }
    mvParamChangeSize(&file, xsize, ysize, &s->cam);
    mvInitCparam(&s->cam);
    if (!mvtool::readImage(dir + "/marker.png", &s->marker, error)) return false;
    static int patt = -2;
    if (patt == -2) patt = mvLoadPatt((dir + "/patt.lumo").c_str());
    s->patt = patt;
    if (patt < 0) {
        *error = "cannot load " + dir + "/patt.lumo";
        return false;
    }
    return true;
}

struct Result {
    bool found = false;   // the marker was detected with its pattern
    double err = -1.0;    // mvGetTransMat's fit error, square pixels
    double dist_pct = 0;  // (|t_est| - |t_true|) / |t_true|, per cent
    double trans_pct = 0; // |t_est - t_true| / |t_true|, per cent
    double rot_deg = 0;   // angle of R_est^T R_true
    double corner_px = 0; // worst detected corner's distance from the truth
    double confidence = 0;
    double trans[3][4]{};  // the estimate
};

// Renders the marker distance_mm away through the frame centre, tilted and
// rolled (degrees, as render::poseAt), detects it and estimates its pose.
inline Result run(const Setup &s, double distance_mm, double tilt_deg, double roll_deg,
                  const render::Options &opt = render::Options())
{
    Result r;
    double trans[3][4];
    render::poseAt(s.cam, s.cam.xsize / 2.0, s.cam.ysize / 2.0, distance_mm, tilt_deg,
                   roll_deg, trans);
    render::Image frame;
    render::Truth t = render::renderFrame(s.marker, kSide, trans, s.cam, opt, &frame);
    MvMarkerInfo *list = nullptr;
    int n = 0;
    if (mvDetectMarkerLite(frame.pixels.data(), 100, &list, &n) < 0) return r;
    int k = -1;
    for (int i = 0; i < n; i++)
        if (list[i].id == s.patt && (k < 0 || list[i].confidence > list[k].confidence)) k = i;
    if (k < 0) return r;
    // The marker's own corner c is vertices[(4 + c - direction) mod 4].
    for (int c = 0; c < 4; c++) {
        const double *v = list[k].vertices[(4 + c - list[k].direction) % 4];
        r.corner_px = std::fmax(r.corner_px, std::hypot(v[0] - t.ideal[c][0], v[1] - t.ideal[c][1]));
    }
    r.confidence = list[k].confidence;
    const double center[2] = {0, 0};
    r.err = mvGetTransMat(&list[k], center, kSide, r.trans);
    if (r.err < 0) return r;
    r.found = true;

    double len_t = 0, len_e = 0, gap = 0, trace = 0;
    for (int i = 0; i < 3; i++) {
        len_t += t.trans[i][3] * t.trans[i][3];
        len_e += r.trans[i][3] * r.trans[i][3];
        gap += std::pow(r.trans[i][3] - t.trans[i][3], 2);
        for (int j = 0; j < 3; j++) trace += r.trans[j][i] * t.trans[j][i];
    }
    r.dist_pct = (std::sqrt(len_e) - std::sqrt(len_t)) / std::sqrt(len_t) * 100;
    r.trans_pct = std::sqrt(gap / len_t) * 100;
    r.rot_deg = std::acos(std::fmax(-1.0, std::fmin(1.0, (trace - 1) / 2))) * 180 / M_PI;
    return r;
}

}  // namespace sweep

#endif
