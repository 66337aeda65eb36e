// refine_accuracy - detection's corners and identities against those of
// mvRefineMarker and mvIdentifyMarker, on rendered frames with known truth.
//
//     build/bin/refine_accuracy [--quick]      (run in build/bin; reads
//                                               resources/patt.lumo)
//
// The project's marker, 80 mm, with the bundled camera rescaled to 320 x 240,
// 640 x 480 and 1920 x 1080 (a size detection refuses is skipped). --quick
// takes fewer views and skips the identification table.
//   corners   corner error (px, ideal coordinates; median and 95th
//             percentile) over 5 distances x 3 tilts x 3 rolls, detection's
//             ("plain") and after mvRefineMarker ("refined"; where it
//             refuses, the plain corners count), the share of markers it
//             refined and the views where its worst corner is worse than
//             detection's. Conditions: sharp; Gaussian blur 1 and 2 px;
//             noise 6 grey levels; blur 0.7 px with noise 12; dim (gain
//             0.35, threshold 35); four times the bundled radial distortion,
//             marker off centre; cluttered background (blur 0.5, noise 2);
//             detection at half resolution. At 1920 x 1080 the distances
//             are three times longer.
//   identity  per distance, over 3 tilts x 5 rolls x 2 places: views whose
//             square was found, identified (our id) and identified with
//             the right direction, by detection alone and by mvRefineMarker
//             + mvIdentifyMarker (detection's identity where refining
//             fails), and the median corner error of both.
//   others    the alternate pictures in the same border: their best
//             confidence against our pattern over distances and poses.
//   time      processor microseconds per call: detection of a frame with
//             one marker, mvGetTransMat, mvRefineMarker, mvIdentifyMarker.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <time.h>
#include <vector>

#include "morvex.h"
#include "render.h"

namespace {

const double kSide = 80.0;
int gPatt = -1;
render::Image gFrame;

struct Scene {
    double dist = 400, tilt = 0, roll = 0, u = -1, v = -1;  // u, v < 0: centre
    render::Options opt;
    double gain = 1.0;
    int thresh = 100;
};

struct Shot {
    bool found = false, refined = false;
    double plain[4], fine[4];  // corner errors
    int true_dir = -1;
    int id = -1, dir = -1, id2 = -1, dir2 = -1;  // detection's, refined
    double conf = 0, conf2 = 0;
};

double worst(const double e[4]) { return *std::max_element(e, e + 4); }

// Corner errors of m against the truth with the marker's corner k at
// vertices[(4 + k - d) % 4]; returns the d that fits best.
int match(const MvMarkerInfo &m, const render::Truth &t, double err[4])
{
    double best = 1e300;
    int best_d = -1;
    for (int d = 0; d < 4; d++) {
        double e[4], sum = 0;
        for (int k = 0; k < 4; k++) {
            const double *p = m.vertices[(4 + k - d) % 4];
            sum += e[k] = std::hypot(p[0] - t.ideal[k][0], p[1] - t.ideal[k][1]);
        }
        if (sum < best) {
            best = sum;
            best_d = d;
            std::memcpy(err, e, sizeof e);
        }
    }
    return best_d;
}

render::Truth draw(const render::Image &marker, const MvCameraParam &cam, const Scene &s)
{
    double trans[3][4];
    const double u = s.u >= 0 ? s.u : cam.xsize / 2.0, v = s.v >= 0 ? s.v : cam.ysize / 2.0;
    render::poseAt(cam, u, v, s.dist, s.tilt, s.roll, trans);
    render::Truth t = render::renderFrame(marker, kSide, trans, cam, s.opt, &gFrame);
    if (s.gain != 1.0)
        for (uint8_t &b : gFrame.pixels) b = (uint8_t)std::lround(b * s.gain);
    return t;
}

// Detects, takes the square lying on the truth, refines and re-identifies
// a copy of it.
Shot shoot(const render::Image &marker, const MvCameraParam &cam, const Scene &s)
{
    const render::Truth t = draw(marker, cam, s);
    Shot out;
    MvMarkerInfo *list = nullptr;
    int n = 0;
    if (mvDetectMarkerLite(gFrame.pixels.data(), s.thresh, &list, &n) != 0) return out;
    const double len = std::hypot(t.ideal[1][0] - t.ideal[0][0], t.ideal[1][1] - t.ideal[0][1]);
    for (int k = 0; k < n && !out.found; k++) {
        out.true_dir = match(list[k], t, out.plain);
        if (worst(out.plain) > std::max(3.0, 0.1 * len)) continue;
        out.found = true;
        out.id = list[k].id;
        out.dir = list[k].direction;
        out.conf = list[k].confidence;
        MvMarkerInfo m = list[k];
        out.refined = mvRefineMarker(gFrame.pixels.data(), &m) == 0;
        if (out.refined) mvIdentifyMarker(gFrame.pixels.data(), &m);
        match(m, t, out.fine);
        out.id2 = m.id;
        out.dir2 = m.direction;
        out.conf2 = m.confidence;
    }
    return out;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty()) return NAN;
    const size_t k = std::min(v.size() - 1, (size_t)(p * v.size()));
    std::nth_element(v.begin(), v.begin() + k, v.end());
    return v[k];
}

MvCameraParam useSize(int w, int h, double lens = 1.0)
{
    MvCameraParam cam = render::bundledCamera(w, h);
    cam.distortion[2] *= lens;
    mvInitCparam(&cam);
    return cam;
}

void corners(const render::Image &marker, int w, int h, bool quick)
{
    struct Cond { const char *name; double blur, noise, gain; int thresh; double lens; bool off, clutter, half; };
    const Cond conds[] = {{"sharp", 0, 0, 1, 100, 1, false, false, false},
                          {"blur 1 px", 1.0, 0, 1, 100, 1, false, false, false},
                          {"blur 2 px", 2.0, 0, 1, 100, 1, false, false, false},
                          {"noise 6", 0, 6, 1, 100, 1, false, false, false},
                          {"blur .7 noise 12", 0.7, 12, 1, 100, 1, false, false, false},
                          {"dim 0.35", 0, 0, 0.35, 35, 1, false, false, false},
                          {"lens x4", 0, 0, 1, 100, 4, true, false, false},
                          {"clutter", 0.5, 2, 1, 100, 1, false, true, false},
                          {"half-res detect", 0, 0, 1, 100, 1, false, false, true}};
    const std::vector<double> dists = quick ? std::vector<double>{300, 700}
                                            : std::vector<double>{250, 400, 600, 800, 1000};
    const double scale = w >= 1280 ? w / 640.0 : 1.0;
    std::printf("\ncorners %d x %d        views | plain median  p95 | refined median  p95 | refined worse\n", w, h);
    for (const Cond &c : conds) {
        const MvCameraParam cam = useSize(w, h, c.lens);
        mvImageProcMode = c.half ? 1 : 0;
        std::vector<double> plain, fine;
        int views = 0, found = 0, refined = 0, worse = 0;
        for (double d : dists)
            for (double tilt : {0.0, 30.0, 50.0})
                for (double roll : {10.0, 100.0, 215.0}) {
                    Scene s;
                    s.dist = d * scale, s.tilt = tilt, s.roll = roll;
                    s.opt.blur_sigma = c.blur, s.opt.noise_sigma = c.noise, s.opt.seed = ++views;
                    if (c.clutter) s.opt.background = render::Background::Clutter;
                    if (c.off) s.u = 0.25 * w, s.v = 0.3 * h;
                    s.gain = c.gain, s.thresh = c.thresh;
                    const Shot r = shoot(marker, cam, s);
                    if (!r.found) continue;
                    found++;
                    refined += r.refined;
                    worse += worst(r.fine) > worst(r.plain);
                    plain.insert(plain.end(), r.plain, r.plain + 4);
                    fine.insert(fine.end(), r.fine, r.fine + 4);
                }
        std::printf("  %-18s %3d/%-3d | %12.3f %6.3f | %14.3f %6.3f | %5.0f%% %4d\n", c.name, found, views,
                    percentile(plain, 0.5), percentile(plain, 0.95), percentile(fine, 0.5),
                    percentile(fine, 0.95), found ? 100.0 * refined / found : 0.0, worse);
    }
    mvImageProcMode = 0;
}

void identity(const render::Image &marker, int w, int h, double step, int rows)
{
    const MvCameraParam cam = useSize(w, h);
    std::printf("\nidentity %d x %d   dist mm  views found | plain id  dir | refined id  dir | corners plain refined\n",
                w, h);
    int run = 0;
    for (int row = 1; row <= rows; row++) {
        const double d = row * step;
        int views = 0, found = 0, id = 0, dir = 0, id2 = 0, dir2 = 0;
        std::vector<double> plain, fine;
        for (double tilt : {0.0, 25.0, 50.0})
            for (double roll : {0.0, 37.0, 90.0, 180.0, 250.0})
                for (int place = 0; place < 2; place++) {
                    Scene s;
                    s.dist = d, s.tilt = tilt, s.roll = roll, s.opt.seed = ++run;
                    s.u = w / 2.0 + (place ? 0.13 : -0.07) * w;
                    s.v = h / 2.0 + (place ? 0.05 : -0.11) * h;
                    views++;
                    const Shot r = shoot(marker, cam, s);
                    if (!r.found) continue;
                    found++;
                    plain.insert(plain.end(), r.plain, r.plain + 4);
                    fine.insert(fine.end(), r.fine, r.fine + 4);
                    id += r.id == gPatt;
                    dir += r.id == gPatt && r.dir == r.true_dir;
                    id2 += r.id2 == gPatt;
                    dir2 += r.id2 == gPatt && r.dir2 == r.true_dir;
                }
        std::printf("                   %6.0f  %5d %5d | %7d %4d | %10d %4d | %13.3f %7.3f\n", d, views, found,
                    id, dir, id2, dir2, percentile(plain, 0.5), percentile(fine, 0.5));
    }
}

void others(int w, int h)
{
    const MvCameraParam cam = useSize(w, h);
    std::printf("\nother pictures %d x %d: best confidence against ours\n", w, h);
    std::printf("  variant  found  plain  refined\n");
    int run = 0;
    for (int a = 0; a < render::alternatePictureCount(); a++) {
        const render::Image other = render::makeMarker(render::makeAlternatePicture(a), 512);
        int found = 0;
        double best = 0, best2 = 0;
        for (double d : {300.0, 600.0, 1000.0, 1500.0, 2000.0})
            for (double tilt : {0.0, 40.0})
                for (double roll : {5.0, 95.0, 185.0, 275.0}) {
                    Scene s;
                    s.dist = d, s.tilt = tilt, s.roll = roll, s.opt.seed = ++run;
                    const Shot r = shoot(other, cam, s);
                    if (!r.found) continue;
                    found++;
                    best = std::max(best, r.conf);
                    best2 = std::max(best2, r.conf2);
                }
        std::printf("  %7d  %5d  %5.3f  %7.3f\n", a, found, best, best2);
    }
}

// Processor time of this thread per call: other programs on the machine
// count only through the caches they share.
template <class F>
double microseconds(int reps, F f)
{
    timespec t0, t1;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t0);
    for (int i = 0; i < reps; i++) f();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t1);
    return ((t1.tv_sec - t0.tv_sec) * 1e6 + (t1.tv_nsec - t0.tv_nsec) * 1e-3) / reps;
}

void timing(const render::Image &marker, int w, int h)
{
    const MvCameraParam cam = useSize(w, h);
    Scene s;
    s.dist = 400.0 * w / 320, s.tilt = 30, s.roll = 20;
    draw(marker, cam, s);
    MvMarkerInfo *list = nullptr;
    int n = 0;
    if (mvDetectMarkerLite(gFrame.pixels.data(), 100, &list, &n) != 0 || n < 1) {
        std::printf("  %4d x %-4d  detection refuses or misses the frame\n", w, h);
        return;
    }
    const MvMarkerInfo m0 = list[0];
    const int reps = 300;
    const unsigned char *px = gFrame.pixels.data();
    const double detect = microseconds(reps, [&] { mvDetectMarkerLite(px, 100, &list, &n); });
    double centre[2] = {0, 0}, trans[3][4];
    const double pose = microseconds(reps, [&] { mvGetTransMat(&m0, centre, kSide, trans); });
    MvMarkerInfo m = m0;
    const double refine = microseconds(reps, [&] { m = m0; mvRefineMarker(px, &m); });
    const double ident = microseconds(reps, [&] { mvIdentifyMarker(px, &m); });
    std::printf("  %4d x %-4d  %5.0f  %9.1f %6.1f | %7.1f %8.1f\n", w, h,
                std::hypot(m0.vertices[1][0] - m0.vertices[0][0], m0.vertices[1][1] - m0.vertices[0][1]),
                detect, pose, refine, ident);
}

}  // namespace

int main(int argc, char **argv)
{
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    gPatt = mvLoadPatt("resources/patt.lumo");
    if (gPatt < 0) {
        std::fprintf(stderr, "refine_accuracy: cannot load resources/patt.lumo (run in build/bin)\n");
        return 1;
    }
    const render::Image marker = render::makeProjectMarker(512);
    const int sizes[3][2] = {{320, 240}, {640, 480}, {1920, 1080}};
    std::vector<std::pair<int, int>> usable;
    for (const auto &sz : sizes) {
        useSize(sz[0], sz[1]);
        std::vector<unsigned char> grey((size_t)sz[0] * sz[1] * 4, 190);
        MvMarkerInfo *list;
        int n;
        if (mvDetectMarkerLite(grey.data(), 100, &list, &n) == 0)
            usable.push_back({sz[0], sz[1]});
        else
            std::printf("%d x %d: detection refuses frames of this size; skipped\n", sz[0], sz[1]);
    }
    for (auto sz : usable) corners(marker, sz.first, sz.second, quick);
    if (!quick)
        for (auto sz : usable)
            identity(marker, sz.first, sz.second, sz.first <= 640 ? 200.0 : 600.0, sz.first == 320 ? 12 : 20);
    others(320, 240);
    std::printf("\ntime per call, microseconds\n  frame        marker px  detection  pose | refine  identify\n");
    for (auto sz : usable) timing(marker, sz.first, sz.second);
    return 0;
}
