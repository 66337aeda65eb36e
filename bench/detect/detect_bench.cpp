// Time of one mvDetectMarker call on rendered frames: 320 x 240 and
// 640 x 480, plain and cluttered backgrounds, the project's marker at
// 400 mm, tilted 25 degrees, with its pattern loaded.
// Run from build/bin: ./detect_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "morvex/camera.h"
#include "morvex/detect.h"
#include "morvex/pattern.h"
#include "morvex/pose.h"
#include "render.h"

namespace {

bool gReady = false;
render::Image gMarker;

bool prepare()
{
    if (gReady) return true;
    std::string err;
    if (!mvtool::readImage("resources/marker.png", &gMarker, &err)) {
        std::fprintf(stderr, "%s\n", err.c_str());
        return false;
    }
    if (mvLoadPatt("resources/patt.lumo") < 0) return false;
    gReady = true;
    return true;
}

void BM_DetectMarker(benchmark::State &state)
{
    const int w = (int)state.range(0), h = w * 3 / 4;
    const bool clutter = state.range(1) != 0;
    if (!prepare()) {
        state.SkipWithError("run from build/bin: resources/marker.png and patt.lumo needed");
        return;
    }
    MvCameraParam full, cam;
    if (mvParamLoad("resources/camera_para.dat", 1, &full) < 0) {
        state.SkipWithError("resources/camera_para.dat not found");
        return;
    }
    mvParamChangeSize(&full, w, h, &cam);
    mvInitCparam(&cam);
    render::Options opt;
    if (clutter) opt.background = render::Background::Clutter;
    double trans[3][4];
    render::poseAt(cam, w * 0.5, h * 0.5, 400.0, 25.0, 30.0, trans);
    render::Image frame;
    render::renderFrame(gMarker, 80.0, trans, cam, opt, &frame);

    int found = 0;
    for (auto _ : state) {
        MvMarkerInfo *list;
        int n;
        mvDetectMarker(frame.pixels.data(), 100, &list, &n);
        benchmark::DoNotOptimize(list);
        found = n;
    }
    state.counters["markers"] = found;
    state.SetItemsProcessed(state.iterations());
}

// Detection plus the pose of the marker found, on HD frames at full and half
// resolution: the camera is the bundled one rescaled to the frame size.
void BM_DetectAndPoseHD(benchmark::State &state)
{
    const int w = (int)state.range(0), h = (int)state.range(1);
    mvImageProcMode = (int)state.range(2);
    MvCameraParam full, cam;
    if (!prepare() || mvParamLoad("resources/camera_para.dat", 1, &full) < 0) {
        state.SkipWithError("run from build/bin: the resources are needed");
        return;
    }
    mvParamChangeSize(&full, w, h, &cam);
    mvInitCparam(&cam);
    double trans[3][4];
    render::poseAt(cam, w * 0.45, h * 0.55, 500.0, 25.0, 30.0, trans);
    render::Image frame;
    render::Options opt;
    opt.supersample = 2;
    render::renderFrame(gMarker, 80.0, trans, cam, opt, &frame);

    int found = 0;
    const double centre[2] = {0.0, 0.0};
    for (auto _ : state) {
        MvMarkerInfo *list;
        int n = 0;
        mvDetectMarker(frame.pixels.data(), 100, &list, &n);
        found = 0;
        for (int k = 0; k < n; k++)
            if (list[k].id >= 0) {
                benchmark::DoNotOptimize(mvGetTransMat(&list[k], centre, 80.0, trans));
                found++;
            }
    }
    mvImageProcMode = 0;
    state.counters["identified"] = found;
}

}  // namespace

BENCHMARK(BM_DetectAndPoseHD)
    ->ArgNames({"width", "height", "half"})
    ->Args({1280, 720, 0})
    ->Args({1280, 720, 1})
    ->Args({1920, 1080, 0})
    ->Args({1920, 1080, 1})
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_DetectMarker)
    ->ArgNames({"width", "clutter"})
    ->Args({320, 0})
    ->Args({320, 1})
    ->Args({640, 0})
    ->Args({640, 1})
    ->Unit(benchmark::kMicrosecond);
