// threads_bench - a tracker's frame time with worker threads against the
// same tracker on one thread, measured side by side in one run (wall time,
// the full pipeline: refinement, automatic threshold, pose):
//
//     build/bin/threads_bench                  # every size and scene
//     build/bin/threads_bench --benchmark_filter=1920x1080/clutter
//
// Each row is a frame size and scene at 1, 2 and 4 threads; the table at
// the end gives each count's speed-up over one thread. Eight rendered frames
// per scene (markers moving a little) are tracked in turn, as in a clip;
// each is first copied (untimed) into the buffer the tracker reads, as a
// decoder would have just written it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "morvex/tracker.h"
#include "scenes.h"

namespace {

using benchscene::Scene;

constexpr int kVariants = 8;
constexpr int kThreadCounts[] = {1, 2, 4};

const std::vector<render::Image> &frames(benchscene::Size size, Scene scene)
{
    static std::map<std::string, std::vector<render::Image>> cache;
    static const render::Image marker = render::makeProjectMarker(512);
    const std::string key = std::to_string(size.w) + "x" + std::to_string(size.h) + benchscene::name(scene);
    std::vector<render::Image> &f = cache[key];
    if (f.empty()) {
        const MvCameraParam cam = benchscene::camera(size.w, size.h);
        f.resize(kVariants);
        for (int v = 0; v < kVariants; v++) benchscene::render(scene, cam, {&marker}, v, &f[v]);
    }
    return f;
}

void track(benchmark::State &state, benchscene::Size size, Scene scene, int threads)
{
    const std::vector<render::Image> &f = frames(size, scene);
    const MvCameraParam cam = benchscene::camera(size.w, size.h);
    MvTrackerSettings s;
    mvTrackerSettingsInit(&s);
    s.threads = threads;
    MvTracker *t = nullptr;
    char why[MV_MESSAGE_MAX];
    if (mvTrackerCreate(&cam, &s, &t, why) != MV_ERROR_NONE ||
        mvTrackerAddPatternFile(t, "resources/patt.lumo", benchscene::kSideMm, nullptr) != MV_ERROR_NONE) {
        state.SkipWithError("run from build/bin");
        mvTrackerDestroy(t);
        return;
    }
    int v = 0;
    long identified = 0;
    std::vector<unsigned char> buffer(f[0].pixels.size());
    for (auto _ : state) {
        state.PauseTiming();
        const render::Image &frame = f[v++ % kVariants];
        std::memcpy(buffer.data(), frame.pixels.data(), buffer.size());
        state.ResumeTiming();
        const MvTrackerMarker *m;
        int n = 0;
        mvTrackerProcess(t, buffer.data(), frame.width, frame.height, frame.width * 4, MV_PIXEL_RGBA, &m, &n);
        for (int k = 0; k < n; k++) identified += m[k].id >= 0;
    }
    state.counters["identified"] = benchmark::Counter((double)identified, benchmark::Counter::kAvgIterations);
    mvTrackerDestroy(t);
}

// Keeps each row's real time per iteration, for the speed-up table.
class Collector : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> ms;   // "size/scene" + "/threads:N" -> ms per frame
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                ms[r.run_name.function_name] = r.real_accumulated_time * 1e3 / (double)r.iterations;
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> rows;
    for (benchscene::Size size : benchscene::kSizes)
        for (Scene scene : {Scene::One, Scene::Five, Scene::Clutter}) {
            const std::string row = std::to_string(size.w) + "x" + std::to_string(size.h) + "/" + benchscene::name(scene);
            rows.push_back(row);
            for (int n : kThreadCounts)
                benchmark::RegisterBenchmark((row + "/threads:" + std::to_string(n)).c_str(), track, size, scene, n)
                    ->UseRealTime()
                    ->Unit(benchmark::kMillisecond);
        }
    benchmark::Initialize(&argc, argv);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    std::printf("\n%-20s %10s %10s %10s %8s %8s\n", "frames", "1 thread", "2 threads", "4 threads", "x2", "x4");
    for (const std::string &row : rows) {
        const auto one = collector.ms.find(row + "/threads:1");
        if (one == collector.ms.end()) continue;
        std::printf("%-20s %8.3f ms", row.c_str(), one->second);
        std::vector<double> others;
        for (int n : {2, 4}) {
            const auto it = collector.ms.find(row + "/threads:" + std::to_string(n));
            others.push_back(it == collector.ms.end() ? 0.0 : it->second);
            if (it == collector.ms.end()) std::printf(" %10s", "-");
            else std::printf(" %7.3f ms", it->second);
        }
        for (double o : others) {
            if (o > 0.0) std::printf(" %7.2fx", one->second / o);
            else std::printf(" %8s", "-");
        }
        std::printf("\n");
    }
    benchmark::Shutdown();
    return 0;
}
