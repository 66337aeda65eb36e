// The decoder on cell grids with known truth: every id in every turn, the
// correction bound at its edge, the frame and contrast refusals, levels of
// any brightness, gradients and noise, and concurrent first use.
#include "code_family.h"
#include "code_grids.h"
#include "decode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

namespace {

using namespace code_test;
using mvcore::CodeFamily;
using mvcore::CodeMatch;
using mvcore::DecodeOptions;

bool isSymmetric(const CodeFamily &f, int id) {  // reads the same after a half turn
    return std::string(f.name) == "aruco_original" && id == 1023;
}

TEST(Decode, EveryIdOfEveryFamilyInAllFourTurns) {
    for (int k = 0; k < mvcore::kCodeFamilyCount; k++) {
        const CodeFamily &f = mvcore::codeFamilyAt(k);
        int wrong = 0, missed = 0, refused = 0;
        for (int id = 0; id < f.code_count; id++)
            for (int t = 0; t < 4; t++) {
                const std::vector<float> cells = levels(seen(f, upright(f, id), t));
                CodeMatch m;
                const bool ok = mvcore::decodeCells(f, cells.data(), DecodeOptions(), &m);
                if (isSymmetric(f, id)) {
                    refused += !ok;
                    continue;
                }
                if (!ok)
                    missed++;
                else if (m.id != id || m.turn != t || m.corrected != 0)
                    wrong++;
            }
        EXPECT_EQ(wrong, 0) << f.name;
        EXPECT_EQ(missed, 0) << f.name;
        if (std::string(f.name) == "aruco_original") {
            EXPECT_EQ(refused, 4);
        }
    }
}

// Flips `n` data cells of `g` (0/1), chosen at random among those not in
// `keep`; the cells flipped are added to `keep`.
void flip(std::vector<int> *g, const std::vector<int> &data, int n, std::vector<int> *keep,
          std::mt19937 *rng) {
    for (int done = 0; done < n;) {
        const int cell = data[(*rng)() % data.size()];
        if (std::find(keep->begin(), keep->end(), cell) != keep->end()) continue;
        (*g)[cell] ^= 1;
        keep->push_back(cell);
        done++;
    }
}

// For a family and a correction e (the bound or lower): e flipped bits
// decode to the right id and turn with e corrected; one more flip that
// leaves the grid more than e bits from every code does not decode.
void expectEdge(const CodeFamily &f, int e, const DecodeOptions &opt, std::mt19937 *rng) {
    const std::vector<int> data = dataCells(f);
    for (int trial = 0; trial < 12; trial++) {
        const int id = (int)((*rng)() % f.code_count), t = (int)((*rng)() % 4);
        if (isSymmetric(f, id)) continue;
        std::vector<int> g = seen(f, upright(f, id), t), flipped;
        flip(&g, data, e, &flipped, rng);
        CodeMatch m;
        ASSERT_TRUE(mvcore::decodeCells(f, levels(g).data(), opt, &m)) << f.name << " id " << id << " e " << e;
        EXPECT_EQ(m.id, id);
        EXPECT_EQ(m.turn, t);
        EXPECT_EQ(m.corrected, e);
        // One more flip, among those that move away from every code.
        std::vector<int> beyond;
        for (int cell : data) {
            if (std::find(flipped.begin(), flipped.end(), cell) != flipped.end()) continue;
            g[cell] ^= 1;
            if (nearestCodeDistance(f, g) > e) beyond.push_back(cell);
            g[cell] ^= 1;
            if (beyond.size() >= 3) break;
        }
        ASSERT_FALSE(beyond.empty()) << f.name;
        for (int cell : beyond) {
            g[cell] ^= 1;
            EXPECT_FALSE(mvcore::decodeCells(f, levels(g).data(), opt, &m)) << f.name << " id " << id;
            g[cell] ^= 1;
        }
    }
}

TEST(Decode, CorrectionBoundIsExactAtItsEdge) {
    std::mt19937 rng(20);
    for (int k = 0; k < mvcore::kCodeFamilyCount; k++) {
        const CodeFamily &f = mvcore::codeFamilyAt(k);
        SCOPED_TRACE(f.name);
        expectEdge(f, f.max_correction, DecodeOptions(), &rng);
        // Asking for more than the bound gets the bound.
        DecodeOptions more;
        more.max_correction = f.max_correction + 3;
        expectEdge(f, f.max_correction, more, &rng);
    }
}

TEST(Decode, CallersLowerTheBound) {
    std::mt19937 rng(7);
    struct Case { const char *family; int lowered; } cases[] = {
        {"tag36h11", 1}, {"tag36h11", 0}, {"aruco6x6_50", 2}, {"aruco7x7_50", 4}, {"aruco7x7_1000", 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.family);
        DecodeOptions opt;
        opt.max_correction = c.lowered;
        expectEdge(*mvcore::findCodeFamily(c.family), c.lowered, opt, &rng);
    }
}

// Grids that are not a dark frame around light and dark cells.
TEST(Decode, RefusesGridsWithoutADarkFrameOrContrast) {
    const CodeFamily &f = *mvcore::findCodeFamily("tag36h11");
    const int id = 42, frame_cells = 4 * (f.grid - 1), allowed = frame_cells / 8;
    const std::vector<int> good = upright(f, id);
    auto with = [&](auto change) {
        std::vector<float> v = levels(good);
        change(&v);
        return v;
    };
    // Frame cells lit along the top edge, from its second cell.
    auto lightFrame = [&](int n) {
        return with([&](std::vector<float> *v) {
            for (int i = 0; i < n; i++) (*v)[1 + i] = 200;
        });
    };
    struct Case { const char *what; std::vector<float> cells; DecodeOptions opt; bool decodes; } cases[] = {
        {"as drawn", levels(good), {}, true},
        {"an eighth of the frame light", lightFrame(allowed), {}, true},
        {"one frame cell more", lightFrame(allowed + 1), {}, false},
        {"a stricter caller, one light frame cell", lightFrame(1), {-1, 0, 20}, false},
        {"a laxer caller", lightFrame(allowed + 2), {-1, allowed + 2, 20}, true},
        {"inverted", levels(good, 200, 40), {}, false},
        {"all dark", std::vector<float>(f.grid * f.grid, 30), {}, false},
        {"all light", std::vector<float>(f.grid * f.grid, 220), {}, false},
        {"contrast 15 of 20", levels(good, 100, 115), {}, false},
        {"contrast 15, caller asks 10", levels(good, 100, 115), {-1, -1, 10}, true},
        {"a cell not a number", with([](std::vector<float> *v) { (*v)[20] = NAN; }), {}, false},
        {"a cell infinite", with([](std::vector<float> *v) { (*v)[20] = INFINITY; }), {}, false},
    };
    for (const Case &c : cases) {
        CodeMatch m;
        const bool ok = mvcore::decodeCells(f, c.cells.data(), c.opt, &m);
        EXPECT_EQ(ok, c.decodes) << c.what;
        if (ok) {
            EXPECT_EQ(m.id, id) << c.what;
        }
    }
}

// The threshold comes from the marker's own cells: any brightness and
// contrast, a shading gradient across the marker, and noise.
TEST(Decode, ThresholdFollowsTheMarkersOwnLevels) {
    struct Case { const char *what; float dark, light, ramp, noise; } cases[] = {
        {"dim", 5, 45, 0, 0},
        {"bright", 170, 252, 0, 0},
        {"shaded: 30% of the contrast across", 40, 200, 0.3f, 0},
        {"noise of 6% of the contrast", 40, 200, 0, 0.06f},
        {"shaded and noisy", 60, 160, 0.2f, 0.05f},
    };
    std::mt19937 rng(3);
    std::normal_distribution<float> gauss(0, 1);
    for (const char *name : {"tag36h11", "aruco4x4_50", "aruco7x7_250"}) {
        const CodeFamily &f = *mvcore::findCodeFamily(name);
        for (const Case &c : cases) {
            int right = 0, total = 0;
            for (int id = 0; id < f.code_count; id += 7)
                for (int t = 0; t < 4; t++) {
                    std::vector<float> v = levels(seen(f, upright(f, id), t), c.dark, c.light);
                    for (int i = 0; i < f.grid * f.grid; i++) {
                        const float x = (float)(i % f.grid) / (f.grid - 1), y = (float)(i / f.grid) / (f.grid - 1);
                        v[i] += c.ramp * (c.light - c.dark) * (0.5f * x + 0.5f * y - 0.5f) +
                                c.noise * (c.light - c.dark) * gauss(rng);
                    }
                    CodeMatch m;
                    right += mvcore::decodeCells(f, v.data(), DecodeOptions(), &m) && m.id == id && m.turn == t;
                    total++;
                }
            EXPECT_EQ(right, total) << name << ", " << c.what;
        }
    }
}

// First use from several threads at once: each family's index is built
// once and every thread decodes the same.
TEST(Decode, ThreadsShareTheFamiliesOnFirstUse) {
    const int kThreads = 4;
    std::vector<std::vector<int>> results(kThreads);
    std::vector<std::thread> threads;
    for (int th = 0; th < kThreads; th++)
        threads.emplace_back([th, &results] {
            for (int k = 0; k < mvcore::kCodeFamilyCount; k++) {
                const CodeFamily &f = mvcore::codeFamilyAt((k + th * 5) % mvcore::kCodeFamilyCount);
                for (int id = 0; id < f.code_count; id += 13) {
                    CodeMatch m;
                    const std::vector<float> v = levels(seen(f, upright(f, id), id % 4));
                    results[th].push_back(mvcore::decodeCells(f, v.data(), DecodeOptions(), &m) ? m.id * 4 + m.turn : -1);
                }
            }
        });
    for (std::thread &t : threads) t.join();
    // Each thread started at another family: put the results in one order.
    for (int th = 0; th < kThreads; th++) {
        std::vector<int> expected;
        for (int k = 0; k < mvcore::kCodeFamilyCount; k++) {
            const CodeFamily &f = mvcore::codeFamilyAt((k + th * 5) % mvcore::kCodeFamilyCount);
            for (int id = 0; id < f.code_count; id += 13) expected.push_back(isSymmetric(f, id) ? -1 : id * 4 + id % 4);
        }
        EXPECT_EQ(results[th], expected) << "thread " << th;
    }
}

}  // namespace
