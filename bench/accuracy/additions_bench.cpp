// What the opt-in accuracy additions cost on top of plain detection plus
// pose: the same rendered frame tracked both ways in one loop, alternating,
// so that machine drift falls on both alike. Counters: microseconds per
// frame plain and with every addition (sub-pixel corners, identification
// from them, the refined pose, the automatic threshold), and the overhead.
// Run from build/bin: ./additions_bench
#include <benchmark/benchmark.h>

#include <chrono>

#include "morvex.h"
#include "render.h"

namespace {

double now_us()
{
    using namespace std::chrono;
    return duration<double, std::micro>(steady_clock::now().time_since_epoch()).count();
}

void BM_Additions(benchmark::State &state)
{
    const int w = (int)state.range(0), h = (int)state.range(1);
    static int patt = mvLoadPatt("resources/patt.lumo");
    MvCameraParam cam = render::bundledCamera(w, h);
    if (patt < 0) {
        state.SkipWithError("run from build/bin: resources/patt.lumo is needed");
        return;
    }
    mvInitCparam(&cam);
    double trans[3][4];
    render::poseAt(cam, w * 0.45, h * 0.55, 500.0 * w / 640, 25.0, 30.0, trans);
    render::Image frame;
    render::Options opt;
    opt.background = render::Background::Clutter;
    render::renderFrame(render::makeProjectMarker(256), 80.0, trans, cam, opt, &frame);
    const unsigned char *img = frame.pixels.data();
    const double centre[2] = {0.0, 0.0};
    MvAutoThresh at;
    mvAutoThreshInit(&at, 100);
    double prev[3][4];
    bool have_prev = false;
    double plain_us = 0, full_us = 0;
    for (auto _ : state) {
        MvMarkerInfo *list;
        int n = 0;
        double t0 = now_us();
        mvDetectMarkerLite(img, 100, &list, &n);
        for (int k = 0; k < n; k++)
            if (list[k].id == patt) mvGetTransMat(&list[k], centre, 80.0, trans);
        double t1 = now_us();
        mvDetectMarkerLite(img, at.thresh, &list, &n);
        for (int k = 0; k < n; k++)
            if (mvRefineMarker(img, &list[k]) == 0) mvIdentifyMarker(img, &list[k]);
        for (int k = 0; k < n; k++)
            if (list[k].id == patt && mvGetTransMat(&list[k], centre, 80.0, trans) >= 0 &&
                mvRefineTransMat(&list[k], centre, 80.0, have_prev ? prev : nullptr, trans) >= 0) {
                for (int i = 0; i < 12; i++) prev[i / 4][i % 4] = trans[i / 4][i % 4];
                have_prev = true;
            }
        mvAutoThreshUpdate(&at, img, list, n);
        double t2 = now_us();
        plain_us += t1 - t0;
        full_us += t2 - t1;
    }
    const double it = (double)state.iterations();
    state.counters["plain_us"] = plain_us / it;
    state.counters["full_us"] = full_us / it;
    state.counters["overhead_pct"] = 100.0 * (full_us - plain_us) / plain_us;
}

}  // namespace

BENCHMARK(BM_Additions)
    ->ArgNames({"width", "height"})
    ->Args({320, 240})
    ->Args({640, 480})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMicrosecond);
