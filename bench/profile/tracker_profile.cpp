// tracker_profile - a plain loop of one tracker over a rendered benchmark
// scene (bench/scenes), for instruction profiles that repeat exactly on a
// busy machine:
//
//     cd build/bin && valgrind --tool=callgrind ./tracker_profile one 1920x1080 50
//     ./tracker_profile clutter 1920x1080 50 --plain --half
//
// Scenes: none, one, five, clutter. --plain: fixed threshold 100, no
// refinement (the detector alone); --half: half resolution; --threads N.
// Prints the markers it identified and, as a rough figure, the wall time
// per frame.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "morvex/tracker.h"
#include "render.h"
#include "scenes.h"

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: tracker_profile SCENE WxH FRAMES [--plain] [--half] [--threads N] [--family NAME]\n");
        return 2;
    }
    benchscene::Scene scene = benchscene::Scene::One;
    for (benchscene::Scene s : benchscene::kScenes)
        if (std::string(argv[1]) == benchscene::name(s)) scene = s;
    int w = 0, h = 0;
    if (std::sscanf(argv[2], "%dx%d", &w, &h) != 2 || w < 16 || h < 16) return 2;
    const int loops = std::atoi(argv[3]);
    MvTrackerSettings s;
    mvTrackerSettingsInit(&s);
    const char *family = nullptr;
    for (int i = 4; i < argc; i++) {
        if (std::strcmp(argv[i], "--family") == 0 && i + 1 < argc) family = argv[++i];
        if (std::strcmp(argv[i], "--plain") == 0) s.threshold = 100, s.refine = 0;
        if (std::strcmp(argv[i], "--half") == 0) s.halfResolution = 1;
        if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc) s.threads = std::atoi(argv[++i]);
    }
    const MvCameraParam cam = benchscene::camera(w, h);
    const render::Image marker = render::makeProjectMarker();
    render::Image frame;
    benchscene::render(scene, cam, {&marker}, 0, &frame);
    MvTracker *t = nullptr;
    char why[MV_MESSAGE_MAX];
    if (mvTrackerCreate(&cam, &s, &t, why) != MV_ERROR_NONE ||
        mvTrackerAddPatternFile(t, "resources/patt.lumo", benchscene::kSideMm, nullptr) != MV_ERROR_NONE ||
        (family && mvTrackerAddFamily(t, family, benchscene::kSideMm, -1) != MV_ERROR_NONE)) {
        std::fprintf(stderr, "tracker_profile: run from build/bin (%s)\n", why);
        return 1;
    }
    int identified = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (int n = 0; n < loops; n++) {
        const MvTrackerMarker *m;
        int count = 0;
        mvTrackerProcess(t, frame.pixels.data(), w, h, w * 4, MV_PIXEL_RGBA, &m, &count);
        for (int k = 0; k < count; k++) identified += m[k].id >= 0;
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%s %dx%d: %d identified in %d frames, %.3f ms per frame\n", benchscene::name(scene), w, h,
                identified, loops, ms / loops);
    mvTrackerDestroy(t);
    return 0;
}
