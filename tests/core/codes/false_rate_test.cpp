// How often grids that are no code decode: random cells, random data
// behind a dark frame (the rate the correction bound is set by), and
// picture markers and picture-like interiors sampled as a detector would.
// Each test prints its measured rates.
#include "code_family.h"
#include "code_grids.h"
#include "decode.h"
#include "render.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numeric>
#include <random>

namespace {

using namespace code_test;
using mvcore::CodeFamily;
using mvcore::CodeMatch;
using mvcore::DecodeOptions;

// At most `expected` plus five standard deviations of a binomial count,
// and a few events of slack for expectations near zero.
double upperCount(double n, double p) { return n * p + 5 * std::sqrt(n * p * (1 - p)) + 3; }

// Every cell a uniformly random level: the frame is almost never dark
// against the rest. Counted over 50,000 grids per family, and held to
// the chance that at most max_light_frame of the frame's cells fall light
// (a fair coin each) times the chance the data decodes.
TEST(FalseDecodes, RandomCells) {
    const int kGrids = 50000;
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> level(0, 255);
    std::printf("random cells, %d grids per family:\n", kGrids);
    for (int k = 0; k < mvcore::kCodeFamilyCount; k++) {
        const CodeFamily &f = mvcore::codeFamilyAt(k);
        const int frame = 4 * (f.grid - 1), allowed = frame / 8;
        const double frame_chance = ball(frame, allowed) / std::ldexp(1.0, frame);
        const double p = frame_chance * randomDecodeChance(f, f.max_correction);
        std::vector<float> v(f.grid * f.grid);
        int decoded = 0;
        for (int n = 0; n < kGrids; n++) {
            for (float &x : v) x = level(rng);
            CodeMatch m;
            decoded += mvcore::decodeCells(f, v.data(), DecodeOptions(), &m);
        }
        std::printf("  %-15s %d decoded (bound %.2g)\n", f.name, decoded, p);
        EXPECT_LE(decoded, upperCount(kGrids, p)) << f.name;
    }
}

// A dark frame around data cells that are fair coins (light or dark at
// random levels): the case the correction bound is chosen for. Each view
// of each code claims the words within the bound, so the rate is
// 4 x ids x sum_{i<=e} C(bits, i) / 2^bits. Measured over 100,000 grids
// per family without sharpening it lies within five standard deviations
// of that (the decoder corrects all it may and no more); with the default
// options (sharpening moves some random cells into the unsure band) it is
// no higher. Every family that corrects bits stays at or under 5e-5.
TEST(FalseDecodes, RandomDataBehindADarkFrame) {
    const int kGrids = 100000;
    std::mt19937 rng(12);
    std::uniform_real_distribution<float> dark(0, 90), light(150, 255);
    DecodeOptions plain;
    plain.sharpen = 0;
    std::printf("random data behind a dark frame, %d grids per family:\n", kGrids);
    for (int k = 0; k < mvcore::kCodeFamilyCount; k++) {
        const CodeFamily &f = mvcore::codeFamilyAt(k);
        std::vector<float> v(f.grid * f.grid);
        int decoded = 0, decoded_plain = 0;
        for (int n = 0; n < kGrids; n++) {
            for (int i = 0; i < f.grid * f.grid; i++) v[i] = onFrame(f, i) || (rng() & 1) ? dark(rng) : light(rng);
            CodeMatch m;
            decoded_plain += mvcore::decodeCells(f, v.data(), plain, &m);
            decoded += mvcore::decodeCells(f, v.data(), DecodeOptions(), &m);
        }
        const double p = randomDecodeChance(f, f.max_correction);
        const double sd = std::sqrt(kGrids * p * (1 - p));
        std::printf("  %-15s %.3g measured, %.3g with defaults, %.3g expected (bound %d)\n", f.name,
                    (double)decoded_plain / kGrids, (double)decoded / kGrids, p, f.max_correction);
        EXPECT_LE(decoded_plain, upperCount(kGrids, p)) << f.name;
        EXPECT_GE(decoded_plain, kGrids * p - 5 * sd - 3) << f.name;
        EXPECT_LE(decoded, upperCount(kGrids, p)) << f.name;
        if (f.max_correction > 0) {
            EXPECT_LE(p, 5e-5) << f.name;
        }
    }
}

// Grey level of a picture at (x, y) in its pixels (bilinear; pixel
// centres at integer coordinates).
float grey(const render::Image &img, double x, double y) {
    x = std::min(std::max(x, 0.0), img.width - 1.0);
    y = std::min(std::max(y, 0.0), img.height - 1.0);
    const int x0 = std::min((int)x, img.width - 2), y0 = std::min((int)y, img.height - 2);
    const double fx = x - x0, fy = y - y0;
    auto at = [&](int xx, int yy) {
        const uint8_t *p = &img.pixels[((size_t)yy * img.width + xx) * img.channels];
        return img.channels >= 3 ? (p[0] + p[1] + p[2]) / 3.0 : (double)p[0];
    };
    return (float)((1 - fy) * ((1 - fx) * at(x0, y0) + fx * at(x0 + 1, y0)) +
                   fy * ((1 - fx) * at(x0, y0 + 1) + fx * at(x0 + 1, y0 + 1)));
}

// Samples over a whole marker picture (its black square is the picture)
// on the family's grid, k per cell along each axis, the grid shifted by
// (dx, dy) cells and scaled by `scale` about the centre, as detected
// corners a little off would place it.
std::vector<float> sampleMarker(const render::Image &img, int grid, int k, double dx, double dy,
                                double scale) {
    const int n = grid * k;
    std::vector<float> v(n * n);
    const double step = img.width / (double)n * scale, c0 = img.width / 2.0;
    for (int r = 0; r < n; r++)
        for (int c = 0; c < n; c++)
            v[r * n + c] = grey(img, c0 + (c + 0.5 + dx * k - n / 2.0) * step - 0.5,
                                c0 + (r + 0.5 + dy * k - n / 2.0) * step - 0.5);
    return v;
}

// Decodes of `markers` in each family, each sampled with k samples per
// cell at nine grid placements: exact, and shifted or scaled as by corners
// up to a fifth of a cell off. Prints the families that decoded any.
std::vector<int> countDecodes(const std::vector<render::Image> &markers, int k, const char *what) {
    const double shifts[3] = {-0.2, 0.0, 0.2}, scales[3] = {0.97, 1.0, 1.03};
    std::vector<int> decoded(mvcore::kCodeFamilyCount, 0);
    std::printf("%s, %zu markers, 9 placements, %d sample(s) per cell:", what, markers.size(), k * k);
    DecodeOptions opt;
    opt.samples_per_cell = k;
    int total = 0;
    for (int f = 0; f < mvcore::kCodeFamilyCount; f++) {
        const CodeFamily &fam = mvcore::codeFamilyAt(f);
        for (const render::Image &img : markers)
            for (int s = 0; s < 3; s++)
                for (int z = 0; z < 3; z++) {
                    const std::vector<float> v = sampleMarker(img, fam.grid, k, shifts[s], shifts[2 - s], scales[z]);
                    CodeMatch m;
                    decoded[f] += mvcore::decodeCells(fam, v.data(), opt, &m);
                }
        if (decoded[f]) std::printf(" %s %d", fam.name, decoded[f]);
        total += decoded[f];
    }
    std::printf("%s\n", total ? "" : " none decoded");
    return decoded;
}

// The project's marker and the other test pictures inside the picture
// markers' border. On one sample per cell, the 16-bit families (6 cells
// across) see their second ring of cell centres on the border's inner edge
// and, with the grid a fifth of a cell off, some decode (their codes cover
// 0.2 to 6% of all words); every family with 25 bits or more decodes none.
// Nine samples per cell refuse the border's edge and the picture's, and no
// family decodes any.
TEST(FalseDecodes, PictureMarkers) {
    std::vector<render::Image> markers = {render::makeProjectMarker(256)};
    for (int i = 0; i < render::alternatePictureCount(); i++)
        markers.push_back(render::makeMarker(render::makeAlternatePicture(i), 256));
    const std::vector<int> centres = countDecodes(markers, 1, "picture markers");
    for (int f = 0; f < mvcore::kCodeFamilyCount; f++)
        if (mvcore::codeFamilyAt(f).bits >= 25) {
            EXPECT_EQ(centres[f], 0) << mvcore::codeFamilyAt(f).name;
        }
    const std::vector<int> nine = countDecodes(markers, 3, "picture markers");
    EXPECT_EQ(std::accumulate(nine.begin(), nine.end(), 0), 0);
}

// Picture-like interiors: a few random discs and bars of random greys on a
// random ground inside the picture markers' border, 1,000 of them.
TEST(FalseDecodes, PictureLikeInteriors) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<render::Image> markers;
    for (int n = 0; n < 1000; n++) {
        render::Image pic{64, 64, 1, std::vector<uint8_t>(64 * 64, (uint8_t)(255 * u(rng)))};
        const int shapes = 1 + (int)(u(rng) * 5);
        for (int s = 0; s < shapes; s++) {
            const double cx = 64 * u(rng), cy = 64 * u(rng), rad = 6 + 20 * u(rng);
            const bool disc = u(rng) < 0.5;
            const uint8_t g = (uint8_t)(255 * u(rng));
            for (int y = 0; y < 64; y++)
                for (int x = 0; x < 64; x++) {
                    const bool in = disc ? std::hypot(x - cx, y - cy) < rad
                                         : std::abs(x - cx) < rad && std::abs(y - cy) < rad / 3;
                    if (in) pic.pixels[y * 64 + x] = g;
                }
        }
        markers.push_back(render::makeMarker(pic, 128));
    }
    // One sample per cell: families of 25 bits and more stay within what
    // random data would give (their rates are 1e-4 or less: 9,000 grids
    // show none); the 16-bit ones decode about twice as often as on random
    // data, picture edges favouring their smoother codes.
    const std::vector<int> centres = countDecodes(markers, 1, "picture-like interiors");
    for (int f = 0; f < mvcore::kCodeFamilyCount; f++) {
        const CodeFamily &fam = mvcore::codeFamilyAt(f);
        if (fam.bits >= 25) {
            EXPECT_LE(centres[f], upperCount(9000, randomDecodeChance(fam, fam.max_correction))) << fam.name;
        }
    }
    // Nine per cell: none in any family, a rate under 1 in 9,000.
    const std::vector<int> nine = countDecodes(markers, 3, "picture-like interiors");
    EXPECT_EQ(std::accumulate(nine.begin(), nine.end(), 0), 0);
}

}  // namespace
