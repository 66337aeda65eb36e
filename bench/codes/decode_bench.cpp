// Time of one decodeCells call, per family and kind of grid: a code as
// drawn, a code with as many bits wrong as the bound corrects (the
// nearest-code scan), random data behind a dark frame (no code: the scan
// finds nothing), random cells (refused at the frame), and nine samples
// per cell. The tracker calls it once per detected square.
#include "code_family.h"
#include "code_index.h"
#include "decode.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

enum Kind { kDrawn, kAtBound, kNoCode, kRandomCells, kDrawnNine };

// 64 grids of the kind, samples_per_cell k, for the benchmark to cycle over.
std::vector<std::vector<float>> grids(const mvcore::CodeFamily &f, Kind kind, int k) {
    std::mt19937 rng(9);
    std::vector<std::vector<float>> out;
    for (int g = 0; g < 64; g++) {
        uint8_t cells[16 * 16];
        mvcore::drawCells(f, (int)(rng() % f.code_count), (int)(rng() % 4), cells);
        int flips = kind == kAtBound ? f.max_correction : 0;
        for (int i = f.grid + 1; flips > 0; i += 3)
            if (i % f.grid != 0 && i % f.grid != f.grid - 1 && i / f.grid < f.grid - 1) {
                cells[i] ^= 1;
                flips--;
            }
        std::vector<float> v;
        for (int r = 0; r < f.grid * k; r++)
            for (int c = 0; c < f.grid * k; c++) {
                const int cell = (r / k) * f.grid + c / k;
                const bool frame = cell / f.grid == 0 || cell % f.grid == 0 || cell / f.grid == f.grid - 1 ||
                                   cell % f.grid == f.grid - 1;
                float level = cells[cell] ? 200.0f : 40.0f;
                if (kind == kNoCode && !frame) level = rng() & 1 ? 200.0f : 40.0f;
                if (kind == kRandomCells) level = (float)(rng() % 256);
                v.push_back(level);
            }
        out.push_back(v);
    }
    return out;
}

void decode(benchmark::State &state, const char *family, Kind kind) {
    const mvcore::CodeFamily &f = *mvcore::findCodeFamily(family);
    const int k = kind == kDrawnNine ? 3 : 1;
    const std::vector<std::vector<float>> g = grids(f, kind, k);
    mvcore::DecodeOptions opt;
    opt.samples_per_cell = k;
    mvcore::CodeMatch m;
    mvcore::decodeCells(f, g[0].data(), opt, &m);  // builds the family's index
    size_t i = 0, decoded = 0;
    for (auto _ : state) {
        decoded += mvcore::decodeCells(f, g[i++ & 63].data(), opt, &m);
        benchmark::DoNotOptimize(m);
    }
    state.counters["decoded"] = benchmark::Counter((double)decoded / state.iterations());
}

}  // namespace

#define FAMILY(name)                                                             \
    BENCHMARK_CAPTURE(decode, name##_drawn, #name, kDrawn);                      \
    BENCHMARK_CAPTURE(decode, name##_at_bound, #name, kAtBound);                 \
    BENCHMARK_CAPTURE(decode, name##_no_code, #name, kNoCode);                   \
    BENCHMARK_CAPTURE(decode, name##_random_cells, #name, kRandomCells);         \
    BENCHMARK_CAPTURE(decode, name##_drawn_nine_per_cell, #name, kDrawnNine)

FAMILY(tag36h11);
FAMILY(tag16h5);
FAMILY(aruco4x4_1000);
FAMILY(aruco6x6_1000);
FAMILY(aruco7x7_50);
FAMILY(aruco7x7_1000);
