// Cost of putting one 320 x 240 frame on screen at zoom 2 (640 x 480), per
// drawing mode, on whatever OpenGL the display offers (llvmpipe under
// Xvfb). Every iteration ends with glFinish, so the figures include the
// rasterisation. Run: build/bin/bench_display
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "morvex/display.h"
#include "render.h"
#include "test_display.h"

namespace {

std::vector<unsigned char> frame;

void setup()
{
    static bool done = false;
    if (done) return;
    done = true;
    std::string error;
    if (!morvex_test::ensureDisplay(&error)) {
        fprintf(stderr, "no display: %s\n", error.c_str());
        exit(1);
    }
    MvCameraParam cam = render::bundledCamera(320, 240);
    mvgInit(&cam, 2.0, 0, 0, 0, 0);
    morvex_test::settleWindow();
    frame.resize(320 * 240 * 4);
    for (size_t i = 0; i < frame.size(); i++) frame[i] = (unsigned char)(i * 7 % 251);
}

void run(benchmark::State &state, int draw_mode, int texmap_mode, int xwin)
{
    setup();
    mvgDrawMode = draw_mode;
    mvgTexmapMode = texmap_mode;
    for (auto _ : state) {
        mvgDrawMode2D();
        mvgDispImage(frame.data(), xwin, 0);
        glFinish();
    }
}

void BM_TextureEveryRow(benchmark::State &s) { run(s, 1, 0, 0); }
void BM_TextureEverySecondRow(benchmark::State &s) { run(s, 1, 1, 0); }
void BM_PixelCopy(benchmark::State &s) { run(s, 0, 0, 0); }
// The mesh alone, both placed right of the window so nothing is
// rasterised: (1, 0) replays its display list, (7, 0) is off the grid and
// has none, so its mesh is undistorted (1600 lens inversions) and sent on
// every frame.
void BM_MeshFromDisplayList(benchmark::State &s) { run(s, 1, 0, 1); }
void BM_MeshWithoutDisplayList(benchmark::State &s) { run(s, 1, 0, 7); }

BENCHMARK(BM_TextureEveryRow)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TextureEverySecondRow)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PixelCopy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MeshFromDisplayList)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MeshWithoutDisplayList)->Unit(benchmark::kMicrosecond);

}  // namespace
