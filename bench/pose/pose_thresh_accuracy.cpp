// pose_thresh_accuracy - what the refined pose (mvRefineTransMat) and the
// automatic threshold (mvAutoThresh) achieve on rendered frames with a known
// truth, against the plain pose and a fixed threshold.
//
//     build/bin/pose_thresh_accuracy [resource dir]     (default ./resources)
//
// Tables:
//  1. Pose error against truth, median and maximum over distances 200-1500
//     mm, tilts 0-60 degrees and four rolls, at 320 x 240 and 640 x 480, in
//     all and per distance, for three sources of corners: exact (the
//     renderer's), exact plus Gaussian noise of a median 0.07 px (standing
//     in for sub-pixel corners), and detected (whole-pixel outline, about
//     0.6 px inside the true edge).
//  2. A marker turning slowly through face-on: frames whose rotation jumps
//     by more than 10 degrees from the previous frame's, and frames that
//     take the mirrored tilt.
//  3. Frames until the marker is identified per exposure gain (frame bytes
//     scaled), from a fresh start at threshold 100 and from a threshold
//     locked at either end of the gain range; fixed 100 for comparison.
//  4. Time per call.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "morvex.h"
#include "render.h"

namespace {

const double kSide = 80.0;
// Corner noise standing in for sub-pixel corners: 0.06 px per axis is a
// median corner error of 0.07 px.
const double kCornerSigma = 0.06;
const double kCenter[2] = {0, 0};
render::Image gMarker;
int gPatt = -1;

double rot_deg(const double a[3][4], const double b[3][4])
{
    double tr = 0;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) tr += a[j][i] * b[j][i];
    return std::acos(std::fmax(-1.0, std::fmin(1.0, (tr - 1) / 2))) * 180 / M_PI;
}

double trans_pct(const double est[3][4], const double truth[3][4])
{
    double gap = 0, len = 0;
    for (int i = 0; i < 3; i++) {
        gap += std::pow(est[i][3] - truth[i][3], 2);
        len += truth[i][3] * truth[i][3];
    }
    return std::sqrt(gap / len) * 100;
}

// A marker record whose vertices and edge lines are the given corners.
MvMarkerInfo marker_from(const double c[4][2])
{
    MvMarkerInfo m{};
    m.id = gPatt;
    for (int i = 0; i < 4; i++) {
        const double *p = c[i], *q = c[(i + 1) % 4];
        double a = q[1] - p[1], b = p[0] - q[0], n = std::hypot(a, b);
        m.edgeLines[i][0] = a / n;
        m.edgeLines[i][1] = b / n;
        m.edgeLines[i][2] = -(a * p[0] + b * p[1]) / n;
        m.vertices[i][0] = p[0];
        m.vertices[i][1] = p[1];
    }
    return m;
}

// The best-scoring marker of ours in the frame, or false.
bool detect(const render::Image &f, int thresh, MvMarkerInfo *out)
{
    MvMarkerInfo *list;
    int n = 0;
    if (mvDetectMarkerLite(f.pixels.data(), thresh, &list, &n) < 0) return false;
    int k = -1;
    for (int i = 0; i < n; i++)
        if (list[i].id == gPatt && (k < 0 || list[i].confidence > list[k].confidence)) k = i;
    if (k >= 0) *out = list[k];
    return k >= 0;
}

double median(std::vector<double> v)
{
    if (v.empty()) return NAN;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

double maximum(const std::vector<double> &v)
{
    return v.empty() ? NAN : *std::max_element(v.begin(), v.end());
}

struct Errors {
    std::vector<double> t0, r0, t1, r1;  // plain, refined
    void add(const double p0[3][4], const double p1[3][4], const double truth[3][4])
    {
        t0.push_back(trans_pct(p0, truth));
        r0.push_back(rot_deg(p0, truth));
        t1.push_back(trans_pct(p1, truth));
        r1.push_back(rot_deg(p1, truth));
    }
};

void print_errors(const char *frame, const char *corners, const char *dist, const Errors &e, int n)
{
    std::printf("%-9s %-13s %5s %3zu/%-3d %7.3f %7.3f %6.2f %6.2f | %7.3f %7.3f %6.2f %6.2f\n", frame,
                corners, dist, e.t0.size(), n, median(e.t0), maximum(e.t0), median(e.r0), maximum(e.r0),
                median(e.t1), maximum(e.t1), median(e.r1), maximum(e.r1));
}

// Distances 200-1500 mm, tilts 0-60 degrees, rolls cycling through the four
// quarters, positions spread over the frame.
void pose_table(int w, int h)
{
    MvCameraParam cam = render::bundledCamera(w, h);
    mvInitCparam(&cam);
    const double dists[] = {200, 300, 500, 750, 1000, 1500};
    const int nd = 6;
    Errors all[4], by_dist[4][nd];
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, kCornerSigma);
    render::Options opt;
    opt.supersample = 3;
    int k = 0;
    for (int di = 0; di < nd; di++)
        for (double tilt : {0.0, 15.0, 30.0, 45.0, 60.0}) {
            const double d = dists[di], roll = 15.0 + 90.0 * (k % 4);
            const double u = w * (0.4 + 0.05 * (k % 5)), v = h * (0.45 + 0.05 * (k % 3));
            k++;
            double truth[3][4];
            render::poseAt(cam, u, v, d, tilt, roll, truth);
            render::Image frame;
            const render::Truth t = render::renderFrame(gMarker, kSide, truth, cam, opt, &frame);
            double noisy[4][2];
            for (int i = 0; i < 4; i++)
                for (int j = 0; j < 2; j++) noisy[i][j] = t.ideal[i][j] + noise(rng);
            MvMarkerInfo m[4] = {marker_from(t.ideal), marker_from(noisy), {}, {}};
            const bool found = detect(frame, 100, &m[2]);
            m[3] = m[2];
            // The same detection with its corners moved onto the edges.
            const bool refined = found && mvRefineMarker(frame.pixels.data(), &m[3]) == 0;
            for (int s = 0; s < 4; s++) {
                if ((s == 2 && !found) || (s == 3 && !refined)) continue;
                double p0[3][4], p1[3][4];
                if (mvGetTransMat(&m[s], kCenter, kSide, p0) < 0) continue;
                std::copy(&p0[0][0], &p0[0][0] + 12, &p1[0][0]);
                if (mvRefineTransMat(&m[s], kCenter, kSide, nullptr, p1) < 0) continue;
                all[s].add(p0, p1, truth);
                by_dist[s][di].add(p0, p1, truth);
            }
        }
    char frame[16];
    std::snprintf(frame, sizeof frame, "%dx%d", w, h);
    const char *names[4] = {"exact", "exact+noise", "detected", "det+refined"};
    for (int s = 0; s < 4; s++) {
        print_errors(frame, names[s], "all", all[s], k);
        for (int di = 0; di < nd; di++) {
            char dist[16];
            std::snprintf(dist, sizeof dist, "%.0f", dists[di]);
            if (s > 0) print_errors("", "", dist, by_dist[s][di], k / nd);
        }
    }
}

// The mirror of a pose from render::poseAt is the same pose with the tilt
// negated. Counts, over a turn about the marker's x axis from -24 to +24
// degrees in 1 degree steps with 20 degrees of roll at distance d, the
// frames whose rotation jumps by more than 10 degrees from the previous
// frame's and the frames beyond 6 degrees of tilt that are nearer the
// mirrored pose than the true one, for the plain pose, the refined one
// without and with the previous pose. Corners detected, or exact plus noise.
void faceon_row(int w, int h, double d, bool detected)
{
    MvCameraParam cam = render::bundledCamera(w, h);
    mvInitCparam(&cam);
    render::Options opt;
    opt.supersample = 3;
    std::mt19937 rng(5);
    std::normal_distribution<double> noise(0.0, kCornerSigma);
    double prev[3][3][4];
    int frames = 0, found = 0, jumps[3] = {0, 0, 0}, flips[3] = {0, 0, 0};
    double worst[3] = {0, 0, 0};
    bool have = false;
    for (int tilt = -24; tilt <= 24; tilt++, frames++) {
        double truth[3][4], mirror[3][4];
        render::poseAt(cam, w * 0.45, h * 0.55, d, tilt, 20.0, truth);
        render::poseAt(cam, w * 0.45, h * 0.55, d, -tilt, 20.0, mirror);
        MvMarkerInfo m;
        if (detected) {
            render::Image frame;
            render::renderFrame(gMarker, kSide, truth, cam, opt, &frame);
            if (!detect(frame, 100, &m)) {
                have = false;
                continue;
            }
        } else {
            const render::Truth t = render::projectCorners(kSide, truth, cam);
            double c[4][2];
            for (int i = 0; i < 4; i++)
                for (int j = 0; j < 2; j++) c[i][j] = t.ideal[i][j] + noise(rng);
            m = marker_from(c);
        }
        double p[3][3][4];
        if (mvGetTransMat(&m, kCenter, kSide, p[0]) < 0) {
            have = false;
            continue;
        }
        found++;
        std::copy(&p[0][0][0], &p[0][0][0] + 12, &p[1][0][0]);
        std::copy(&p[0][0][0], &p[0][0][0] + 12, &p[2][0][0]);
        mvRefineTransMat(&m, kCenter, kSide, nullptr, p[1]);
        mvRefineTransMat(&m, kCenter, kSide, have ? prev[2] : nullptr, p[2]);
        for (int s = 0; s < 3; s++) {
            if (std::abs(tilt) >= 6 && rot_deg(p[s], mirror) < rot_deg(p[s], truth)) flips[s]++;
            if (have) {
                const double jump = rot_deg(p[s], prev[s]);
                worst[s] = std::max(worst[s], jump);
                if (jump > 10) jumps[s]++;
            }
            std::copy(&p[s][0][0], &p[s][0][0] + 12, &prev[s][0][0]);
        }
        have = true;
    }
    std::printf("%4dx%-4d %-11s %5.0f %2d/%-2d", w, h, detected ? "detected" : "exact+noise", d, found,
                frames);
    for (int s = 0; s < 3; s++) std::printf(" | %5d %5d %6.1f", jumps[s], flips[s], worst[s]);
    std::printf("\n");
}

render::Image scaled(const render::Image &f, double gain)
{
    render::Image g = f;
    for (size_t i = 0; i < g.pixels.size(); i++)
        if (i % 4 != 3) g.pixels[i] = (uint8_t)std::min(255.0, std::round(f.pixels[i] * gain));
    return g;
}

// Detects f at at->thresh and updates at: whether our marker was identified.
bool follow(const render::Image &f, MvAutoThresh *at)
{
    MvMarkerInfo *list;
    int n = 0;
    if (mvDetectMarkerLite(f.pixels.data(), at->thresh, &list, &n) < 0) n = 0;
    bool ours = false;
    for (int j = 0; j < n; j++) ours = ours || list[j].id == gPatt;
    mvAutoThreshUpdate(at, f.pixels.data(), list, n);
    return ours;
}

// Frames (1 = the first) until the marker is identified, following `at`
// from its current state; 0 when not within `limit`.
int frames_to_lock(const render::Image &f, MvAutoThresh *at, int limit)
{
    for (int i = 1; i <= limit; i++)
        if (follow(f, at)) return i;
    return 0;
}

struct Scene {
    const char *name;
    render::Background bg;
    double u, v, dist, tilt, roll, blur, noise;
    unsigned seed;
};

// One row per scene: per gain, frames to lock from a fresh start at 100,
// after locking at gain 0.3, after locking at gain 1.3; then how many of
// the 20 frames after the fresh lock were identified (the fewest over the
// gains) and at how many gains a fixed threshold of 100 finds the marker.
void thresh_row(const Scene &sc)
{
    MvCameraParam cam = render::bundledCamera(320, 240);
    mvInitCparam(&cam);
    render::Options opt;
    opt.background = sc.bg;
    opt.supersample = 2;
    opt.noise_sigma = sc.noise;
    opt.blur_sigma = sc.blur;
    opt.seed = sc.seed;
    double truth[3][4];
    render::poseAt(cam, sc.u, sc.v, sc.dist, sc.tilt, sc.roll, truth);
    render::Image frame;
    render::renderFrame(gMarker, kSide, truth, cam, opt, &frame);
    const render::Image lo = scaled(frame, 0.3), hi = scaled(frame, 1.3);
    std::printf("%-26s", sc.name);
    int kept = 20, fixed = 0, gains = 0;
    for (int gi = 3; gi <= 13; gi++, gains++) {
        const render::Image f = scaled(frame, gi / 10.0);
        MvAutoThresh fresh, from_lo, from_hi;
        mvAutoThreshInit(&fresh, 100);
        mvAutoThreshInit(&from_lo, 100);
        mvAutoThreshInit(&from_hi, 100);
        // Locked, then tracked for a few frames, as in a steady stream.
        frames_to_lock(lo, &from_lo, 20);
        frames_to_lock(hi, &from_hi, 20);
        for (int i = 0; i < 5; i++) follow(lo, &from_lo), follow(hi, &from_hi);
        char cell[32];
        const int a = frames_to_lock(f, &fresh, 20);
        std::snprintf(cell, sizeof cell, "%d/%d/%d", a, frames_to_lock(f, &from_lo, 20),
                      frames_to_lock(f, &from_hi, 20));
        std::printf(" %6s", cell);
        int k = 0;
        for (int i = 0; i < 20 && a > 0; i++) k += follow(f, &fresh);
        kept = std::min(kept, k);
        MvMarkerInfo m;
        fixed += detect(f, 100, &m);
    }
    std::printf(" %4d/20 %3d/%d\n", kept, fixed, gains);
}

template <class F> double usec_per_call(int n, F f)
{
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < n; i++) f();
    std::chrono::duration<double, std::micro> dt = std::chrono::steady_clock::now() - t0;
    return dt.count() / n;
}

void timing()
{
    MvCameraParam cam = render::bundledCamera(640, 480);
    mvInitCparam(&cam);
    double truth[3][4];
    render::poseAt(cam, 300, 250, 500, 30, 20, truth);
    render::Options opt;
    opt.supersample = 2;
    render::Image frame;
    render::renderFrame(gMarker, kSide, truth, cam, opt, &frame);
    MvMarkerInfo m;
    if (!detect(frame, 100, &m)) return;
    double p0[3][4], p1[3][4];
    mvGetTransMat(&m, kCenter, kSide, p0);
    MvAutoThresh at;
    mvAutoThreshInit(&at, 100);
    const MvMarkerInfo none{};
    MvMarkerInfo *list;
    int n;
    std::printf("%-44s %8.2f us\n", "mvDetectMarkerLite (for scale)", usec_per_call(500, [&] {
                    mvDetectMarkerLite(frame.pixels.data(), 100, &list, &n);
                }));
    std::printf("%-44s %8.2f us\n", "mvGetTransMat",
                usec_per_call(20000, [&] { mvGetTransMat(&m, kCenter, kSide, p1); }));
    std::printf("%-44s %8.2f us\n", "mvRefineTransMat (both tilts, previous pose)",
                usec_per_call(20000, [&] {
                    std::copy(&p0[0][0], &p0[0][0] + 12, &p1[0][0]);
                    mvRefineTransMat(&m, kCenter, kSide, p0, p1);
                }));
    std::printf("%-44s %8.2f us\n", "mvAutoThreshUpdate, marker identified",
                usec_per_call(20000, [&] { mvAutoThreshUpdate(&at, frame.pixels.data(), &m, 1); }));
    std::printf("%-44s %8.2f us\n", "mvAutoThreshUpdate, none (frame histogram)",
                usec_per_call(20000, [&] { mvAutoThreshUpdate(&at, frame.pixels.data(), &none, 0); }));
}

}  // namespace

int main(int argc, char **argv)
{
    const std::string dir = argc > 1 ? argv[1] : "resources";
    gPatt = mvLoadPatt((dir + "/patt.lumo").c_str());
    if (gPatt < 0) {
        std::fprintf(stderr, "pose_thresh_accuracy: cannot load %s/patt.lumo\n", dir.c_str());
        return 1;
    }
    gMarker = render::makeProjectMarker(512);

    std::printf("1. Pose error against truth: translation in %% of the distance, rotation in "
                "degrees; corners exact,\n   exact plus %.2f px Gaussian noise per axis, or detected "
                "(threshold 100)\n", kCornerSigma);
    std::printf("%-9s %-13s %5s %7s %7s %7s %6s %6s | %7s %7s %6s %6s\n", "frame", "corners", "dist",
                "poses", "t% med", "t% max", "r med", "r max", "t% med", "t% max", "r med", "r max");
    std::printf("%43s %-28s | %s\n", "", "plain (mvGetTransMat)", "refined (mvRefineTransMat)");
    pose_table(320, 240);
    pose_table(640, 480);

    std::printf("\n2. Turning through face-on, tilt -24..24 deg in 1 deg steps: frames whose "
                "rotation jumps by more than\n   10 deg from the previous one, frames (|tilt| >= 6) "
                "nearer the mirrored tilt, the largest jump (deg)\n");
    std::printf("%-9s %-11s %5s %5s | %5s %5s %6s | %5s %5s %6s | %5s %5s %6s\n", "frame", "corners",
                "dist", "found", "jumps", "flips", "max", "jumps", "flips", "max", "jumps", "flips",
                "max");
    std::printf("%34s | %-18s | %-18s | %s\n", "", "plain", "refined", "refined, prev");
    for (bool detected : {true, false}) {
        for (double d : {600.0, 900.0, 1200.0, 1500.0}) faceon_row(320, 240, d, detected);
        for (double d : {1000.0, 1300.0, 1500.0, 2000.0}) faceon_row(640, 480, d, detected);
    }

    std::printf("\n3. Automatic threshold, 320x240, gains 0.3..1.3 (frame bytes scaled): "
                "frames until identified\n   from a fresh start at 100 / after locking at gain 0.3 / "
                "after locking at gain 1.3 (0 = not within 20);\n   kept: identified frames of 20 "
                "after the fresh lock (fewest over the gains); fixed 100: gains where it finds the "
                "marker\n");
    std::printf("%-26s", "scene");
    for (int gi = 3; gi <= 13; gi++) std::printf(" %6.1f", gi / 10.0);
    std::printf(" %7s %6s\n", "kept", "fixed");
    // Noise 2 grey levels but in the last scene, blur 1 px in the last four;
    // the last scene's marker (14 px across its tilt) comes out only in a few
    // narrow bands of thresholds.
    using B = render::Background;
    const Scene scenes[] = {
        {"plain 600 mm tilt 30", B::Plain, 160, 110, 600, 30, 20, 0, 2, 1},
        {"gradient 600 mm tilt 30", B::Gradient, 160, 110, 600, 30, 20, 0, 2, 2},
        {"clutter 600 mm tilt 30", B::Clutter, 160, 110, 600, 30, 20, 0, 2, 3},
        {"plain 1000 tilt 45 blur", B::Plain, 200, 140, 1000, 45, 100, 1, 2, 4},
        {"gradient 900 tilt 20 blur", B::Gradient, 160, 110, 900, 20, 250, 1, 2, 10},
        {"clutter 900 tilt 21 blur", B::Clutter, 161, 110, 900, 21, 275, 1, 2, 11},
        {"gradient 800 tilt 60 blur", B::Gradient, 240, 170, 800, 60, 300, 1, 0, 6},
    };
    for (const Scene &sc : scenes) thresh_row(sc);

    std::printf("\n4. Time per call, 640x480, one marker 500 mm away\n");
    timing();
    return 0;
}
