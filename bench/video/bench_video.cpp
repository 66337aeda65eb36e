// The cost of one frame request (read, MJPEG decode, conversion to ARGB and
// scaling) delivered as fast as asked (-nopace -loop):
//   FrameRequest/W/H       the 320 x 240 demo clip captured at W x H
//   NativeRequest/640/480  a 640 x 480 MJPEG clip captured at its own size
//   build/bin/video_bench
#include "clip_writer.h"
#include "morvex/video.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

static void run(benchmark::State &state, const std::string &file)
{
    std::string config = "-nopace -loop -file=" + file + " -width=" +
                         std::to_string(state.range(0)) + " -height=" +
                         std::to_string(state.range(1));
    MvVideoHandle *h = mv2VideoOpen(config.c_str());
    if (h == nullptr) {
        state.SkipWithError("cannot open the clip");
        return;
    }
    mv2VideoCapStart(h);
    for (auto _ : state) {
        unsigned char *frame = mv2VideoGetImage(h);
        if (frame == nullptr) {
            state.SkipWithError("no frame");
            break;
        }
        benchmark::DoNotOptimize(frame[0]);
    }
    state.SetItemsProcessed(state.iterations());
    mv2VideoClose(h);
}

static void FrameRequest(benchmark::State &state)
{
    run(state, MORVEX_RESOURCE_DIR "/demo_clip.avi");
}
BENCHMARK(FrameRequest)->Args({320, 240})->Args({640, 480})->Unit(benchmark::kMicrosecond);

// 30 textured 640 x 480 frames (smooth waves plus fine detail, so the JPEG
// data is as large as a camera's), written once per run.
static std::string native_clip()
{
    static struct Temp {
        std::string path;
        ~Temp() { if (!path.empty()) std::remove(path.c_str()); }
    } temp;
    std::string &path = temp.path;
    if (!path.empty()) return path;
    path = "/tmp/morvex_video_bench_" + std::to_string(getpid()) + ".avi";
    std::string err;
    clip::Writer *w = clip::open(path, 640, 480, 30, clip::Codec::Mjpeg, 2, &err);
    if (w == nullptr) return path;
    std::vector<uint8_t> px(640 * 480 * 3);
    for (int k = 0; k < 30; k++) {
        for (int y = 0; y < 480; y++)
            for (int x = 0; x < 640; x++)
                for (int c = 0; c < 3; c++)
                    px[(y * 640 + x) * 3 + c] = static_cast<uint8_t>(
                        128 + 80 * std::sin((x + 3 * k) * 0.05 + c) * std::cos(y * 0.07) +
                        20 * (((x * 7 + y * 13 + k) % 5) - 2));
        clip::write(w, px.data(), 3, &err);
    }
    clip::close(w, &err);
    return path;
}

static void NativeRequest(benchmark::State &state)
{
    run(state, native_clip());
}
BENCHMARK(NativeRequest)->Args({640, 480})->Unit(benchmark::kMicrosecond);
