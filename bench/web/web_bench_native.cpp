// web_bench_native - the native side of the web benchmark (web_bench.py):
// tracks PNG frames in order with one tracker, several passes, and prints
// the time per frame as one JSON line, measured as the browser and Node
// runs measure theirs.
//
//   web_bench_native CAMERA PATTERN PASSES FRAME.png...
#include "image_io.h"

#include "morvex/tracker.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s CAMERA PATTERN PASSES FRAME.png...\n", argv[0]);
        return 2;
    }
    const int passes = std::atoi(argv[3]);
    std::vector<mvtool::Image> frames;
    for (int i = 4; i < argc; i++) {
        mvtool::Image img, rgba;
        std::string err;
        if (!mvtool::readImage(argv[i], &img, &err)) {
            std::fprintf(stderr, "web_bench_native: %s\n", err.c_str());
            return 1;
        }
        // RGBA, as a page's ImageData holds it.
        rgba.width = img.width;
        rgba.height = img.height;
        rgba.channels = 4;
        rgba.pixels.resize(static_cast<size_t>(img.width) * img.height * 4, 255);
        for (size_t p = 0; p < static_cast<size_t>(img.width) * img.height; p++)
            for (int c = 0; c < 3; c++)
                rgba.pixels[4 * p + c] = img.pixels[img.channels * p + (img.channels >= 3 ? c : 0)];
        frames.push_back(std::move(rgba));
    }
    MvCameraParam cam;
    char why[MV_MESSAGE_MAX];
    MvTracker *t = nullptr;
    int id = -1;
    if (mvParamLoad(argv[1], 1, &cam) < 0 || mvTrackerCreate(&cam, nullptr, &t, why) != MV_ERROR_NONE ||
        mvTrackerAddPatternFile(t, argv[2], 45.0, &id) != MV_ERROR_NONE) {
        std::fprintf(stderr, "web_bench_native: cannot set up the tracker\n");
        return 1;
    }
    using Clock = std::chrono::steady_clock;
    long tracked = 0, found = 0;
    double seconds = 0.0;
    // The first pass warms caches and grows the tracker's storage; it is
    // not counted, as in the JavaScript runs.
    for (int pass = -1; pass < passes; pass++) {
        mvTrackerReset(t);
        for (const mvtool::Image &f : frames) {
            const MvTrackerMarker *m;
            int n;
            const Clock::time_point a = Clock::now();
            const int code = mvTrackerProcess(t, f.pixels.data(), f.width, f.height, f.width * 4, MV_PIXEL_RGBA, &m, &n);
            const Clock::time_point b = Clock::now();
            if (code != MV_ERROR_NONE) return 1;
            if (pass < 0) continue;
            seconds += std::chrono::duration<double>(b - a).count();
            tracked++;
            for (int k = 0; k < n; k++)
                if (m[k].id == id && m[k].hasPose) {
                    found++;
                    break;
                }
        }
    }
    std::printf("{\"frames\": %ld, \"found\": %ld, \"ms_per_frame\": %.4f, \"width\": %d, \"height\": %d}\n",
                tracked, found, 1000.0 * seconds / tracked, frames[0].width, frames[0].height);
    mvTrackerDestroy(t);
    return 0;
}
