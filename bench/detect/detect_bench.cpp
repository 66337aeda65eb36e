// detect_bench - the time of each detection stage and of detection plus pose
// on rendered frames, printed as one table (CPU time per frame, the median
// of five repetitions):
//
//     build/bin/detect_bench                          # everything, about 2 minutes
//     build/bin/detect_bench --benchmark_filter=640x480
//     build/bin/detect_bench --benchmark_repetitions=9
//
// Rows: frame size, scene (benchscene: none, one, five markers, one marker
// in heavy clutter), full or half resolution. Columns, microseconds per
// frame:
//   sum      a plain pass that only sums each pixel's three colour bytes
//            (every second pixel and row at half resolution): the floor
//            for labelling
//   label    mvLabeling (thresholding and labelling)
//   cand     mvDetectMarker2 (candidate extraction and outline tracing)
//   lines    mvGetLine on every candidate (edge fitting)
//   code     mvGetCode on every candidate, colour / grey matching
//   hist     the history step of mvDetectMarker on the frame's markers
//   pose     mvGetTransMat on every identified marker
//   whole    mvDetectMarker plus mvGetTransMat per identified marker,
//            colour / grey matching
// and the frame's candidates and identified markers.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "../../lib/core/classic/classic.h"
#include "morvex/camera.h"
#include "morvex/detect.h"
#include "morvex/pattern.h"
#include "morvex/pose.h"
#include "scenes.h"

namespace {

using benchscene::Scene;

const int kThresh = 100;
const double kCentre[2] = {0.0, 0.0};

struct Fixture {
    MvCameraParam cam;
    render::Image frame;
};

// Frames are rendered on first use and kept: rendering costs far more than
// detecting.
const Fixture &fixture(int w, int h, Scene scene)
{
    static std::map<std::string, Fixture> cache;
    static const render::Image marker = render::makeProjectMarker(512);
    const std::string key = std::to_string(w) + "x" + std::to_string(h) + benchscene::name(scene);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    Fixture &f = cache[key];
    f.cam = benchscene::camera(w, h);
    benchscene::render(scene, f.cam, {&marker}, 0, &f.frame);
    return f;
}

// Makes the frame's camera active and sets the working resolution and the
// matching mode, as a detection program would once.
const Fixture &use(int w, int h, Scene scene, bool half, bool grey)
{
    const Fixture &f = fixture(w, h, scene);
    MvCameraParam cam = f.cam;
    mvInitCparam(&cam);
    mvImageProcMode = half ? 1 : 0;
    mvTemplateMatchingMode = grey ? 1 : 0;
    return f;
}

// The driver's largest border (frame pixels): 100000, grown in proportion
// to working images beyond 320000 pixels.
int areaMax(int w, int h, bool half)
{
    const long work = half ? (long)(w / 2) * (h / 2) : (long)w * h;
    return work <= 320000 ? 100000 : (int)(100000.0 * work / 320000);
}

template <int Step>
void sumPass(const uint8_t *px, int w, int h, uint16_t *out)
{
    for (int y = 0; y < h; y += Step) {
        const uint8_t *row = px + (size_t)y * w * 4;
        for (int x = 0; x < w; x += Step, row += 4 * Step) *out++ = row[0] + row[1] + row[2];
    }
}

MvMarkerCandidate *candidates(int w, int h, bool half, const Fixture &f, int *count)
{
    int n = 0, *area, *clip, *table;
    double *pos;
    MvLabel *labels = mvLabeling(f.frame.pixels.data(), kThresh, &n, &area, &pos, &clip, &table);
    *count = 0;
    if (labels == nullptr) return nullptr;
    return mvDetectMarker2(labels, n, table, area, pos, clip, areaMax(w, h, half), 70, 1.0, count);
}

std::vector<MvMarkerInfo> detected(const Fixture &f)
{
    MvMarkerInfo *list = nullptr;
    int n = 0;
    mvDetectMarkerLite(f.frame.pixels.data(), kThresh, &list, &n);
    return std::vector<MvMarkerInfo>(list, list + n);
}

enum class Stage { Sum, Label, Cand, Lines, Code, History, Pose, Whole };

void run(benchmark::State &state, Stage stage, int w, int h, Scene scene, bool half, bool grey)
{
    const Fixture &f = use(w, h, scene, half, grey);
    const uint8_t *px = f.frame.pixels.data();
    double count = 0;
    switch (stage) {
    case Stage::Sum: {
        std::vector<uint16_t> out((size_t)w * h);
        for (auto _ : state) {
            if (half) sumPass<2>(px, w, h, out.data());
            else sumPass<1>(px, w, h, out.data());
            benchmark::DoNotOptimize(out.data());
            benchmark::ClobberMemory();
        }
        break;
    }
    case Stage::Label:
        for (auto _ : state) {
            int n, *area, *clip, *table;
            double *pos;
            benchmark::DoNotOptimize(mvLabeling(px, kThresh, &n, &area, &pos, &clip, &table));
        }
        break;
    case Stage::Cand: {
        int n = 0, *area = nullptr, *clip = nullptr, *table = nullptr, found = 0;
        double *pos = nullptr;
        const MvLabel *labels = mvLabeling(px, kThresh, &n, &area, &pos, &clip, &table);
        for (auto _ : state)
            benchmark::DoNotOptimize(mvDetectMarker2(labels, n, table, area, pos, clip,
                                                     areaMax(w, h, half), 70, 1.0, &found));
        count = found;
        break;
    }
    case Stage::Lines: {
        int n = 0;
        const MvMarkerCandidate *c = candidates(w, h, half, f, &n);
        double lines[4][3], vertices[4][2];
        for (auto _ : state)
            for (int k = 0; k < n; k++) {
                mvGetLine(c[k].contourX, c[k].contourY, c[k].contourCount, c[k].cornerIndices,
                          lines, vertices);
                benchmark::DoNotOptimize(vertices);
            }
        count = n;
        break;
    }
    case Stage::Code: {
        int n = 0, id, dir;
        double conf;
        const MvMarkerCandidate *c = candidates(w, h, half, f, &n);
        for (auto _ : state)
            for (int k = 0; k < n; k++) {
                mvGetCode(px, c[k].contourX, c[k].contourY, c[k].cornerIndices, &id, &dir, &conf);
                benchmark::DoNotOptimize(conf);
            }
        count = n;
        break;
    }
    case Stage::History: {
        const std::vector<MvMarkerInfo> found = detected(f);
        mvcore::History history(30);
        std::vector<MvMarkerInfo> table;
        table.reserve(30);
        for (auto _ : state) {
            table = found;
            history.apply(table, 30);
            benchmark::DoNotOptimize(table.data());
        }
        count = (double)found.size();
        break;
    }
    case Stage::Pose: {
        std::vector<MvMarkerInfo> ids;
        for (const MvMarkerInfo &m : detected(f))
            if (m.id >= 0) ids.push_back(m);
        double trans[3][4];
        for (auto _ : state)
            for (const MvMarkerInfo &m : ids)
                benchmark::DoNotOptimize(mvGetTransMat(&m, kCentre, benchscene::kSideMm, trans));
        count = (double)ids.size();
        break;
    }
    case Stage::Whole: {
        mvcore::classic::detector().reset_history();
        int identified = 0;
        double trans[3][4];
        for (auto _ : state) {
            MvMarkerInfo *list;
            int n = 0;
            mvDetectMarker(px, kThresh, &list, &n);
            identified = 0;
            for (int k = 0; k < n; k++)
                if (list[k].id >= 0) {
                    benchmark::DoNotOptimize(
                        mvGetTransMat(&list[k], kCentre, benchscene::kSideMm, trans));
                    identified++;
                }
        }
        mvcore::classic::detector().reset_history();
        count = identified;
        break;
    }
    }
    state.counters["n"] = count;
    mvImageProcMode = 0;
    mvTemplateMatchingMode = 0;
}

struct Column {
    const char *title;
    Stage stage;
    bool grey;
};
const Column kColumns[] = {
    {"sum", Stage::Sum, false},         {"label", Stage::Label, false},
    {"cand", Stage::Cand, false},       {"lines", Stage::Lines, false},
    {"code", Stage::Code, false},       {"code_grey", Stage::Code, true},
    {"hist", Stage::History, false},    {"pose", Stage::Pose, false},
    {"whole", Stage::Whole, false},     {"whole_grey", Stage::Whole, true},
};

std::string rowName(benchscene::Size s, Scene scene, bool half)
{
    return std::to_string(s.w) + "x" + std::to_string(s.h) + "/" + benchscene::name(scene) +
           (half ? "/half" : "/full");
}

void registerAll()
{
    for (benchscene::Size s : benchscene::kSizes)
        for (Scene scene : benchscene::kScenes)
            for (bool half : {false, true})
                for (const Column &c : kColumns) {
                    const std::string name = std::string(c.title) + "/" + rowName(s, scene, half);
                    benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State &st) {
                        run(st, c.stage, s.w, s.h, scene, half, c.grey);
                    })->Unit(benchmark::kMicrosecond);
                }
}

// Collects each benchmark's median (or its only run) and prints the table
// at the end; progress goes to standard error.
class TableReporter : public benchmark::BenchmarkReporter {
public:
    bool ReportContext(const Context &) override { return true; }
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs) {
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            const bool only = r.run_type == Run::RT_Iteration && r.repetitions <= 1;
            if (r.error_occurred || !(median || only)) continue;
            const std::string &name = r.run_name.function_name;
            const size_t cut = name.find('/');
            Cell &cell = rows_[name.substr(cut + 1)][name.substr(0, cut)];
            cell.us = r.GetAdjustedCPUTime();
            auto n = r.counters.find("n");
            cell.n = n == r.counters.end() ? 0 : (double)n->second;
            std::fprintf(stderr, "\r%-50s", name.c_str());
        }
    }
    void Finalize() override
    {
        std::fprintf(stderr, "\r%-50s\r", "");
        std::printf("%-26s", "us per frame (median CPU)");
        for (const Column &c : kColumns) std::printf(" %9s", c.title);
        std::printf(" %5s %4s\n", "cands", "ids");
        for (benchscene::Size s : benchscene::kSizes)
            for (Scene scene : benchscene::kScenes)
                for (bool half : {false, true}) {
                    auto row = rows_.find(rowName(s, scene, half));
                    if (row == rows_.end()) continue;
                    std::printf("%-26s", row->first.c_str());
                    for (const Column &c : kColumns) {
                        auto cell = row->second.find(c.title);
                        if (cell == row->second.end()) std::printf(" %9s", "-");
                        else std::printf(" %9.2f", cell->second.us);
                    }
                    auto cand = row->second.find("cand"), whole = row->second.find("whole");
                    std::printf(" %5.0f %4.0f\n", cand == row->second.end() ? -1 : cand->second.n,
                                whole == row->second.end() ? -1 : whole->second.n);
                }
    }

private:
    struct Cell {
        double us = 0, n = 0;
    };
    std::map<std::string, std::map<std::string, Cell>> rows_;
};

}  // namespace

int main(int argc, char **argv)
{
    if (mvLoadPatt(MORVEX_RESOURCE_DIR "/patt.lumo") < 0) return 1;
    // Defaults first, so that the caller's flags override them.
    std::vector<char *> args{argv[0], const_cast<char *>("--benchmark_min_time=0.05"),
                             const_cast<char *>("--benchmark_repetitions=5")};
    for (int i = 1; i < argc; i++) args.push_back(argv[i]);
    int n = (int)args.size();
    benchmark::Initialize(&n, args.data());
    if (benchmark::ReportUnrecognizedArguments(n, args.data())) return 1;
    registerAll();
    TableReporter table;
    benchmark::RunSpecifiedBenchmarks(&table);
    benchmark::Shutdown();
    return 0;
}
