// The picture samplers read four-byte frames through a vectorised path and
// every other layout one channel at a time: both must give the same bytes
// and grey levels, for quads of every cell size, through a lens model, and
// for quads reaching off the frame.
#include "../../../lib/core/detect/sample.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

struct Frame {
    std::vector<unsigned char> bytes;
    mvcore::FrameView view;
};

// The same picture in a given layout (bpp 4 or 3, colour offsets).
Frame layout(const std::vector<unsigned char> &rgb, int w, int h, int bpp, int red, int green, int blue)
{
    Frame f;
    f.bytes.assign((size_t)w * h * bpp, 77);
    for (int i = 0; i < w * h; i++) {
        f.bytes[(size_t)i * bpp + red] = rgb[(size_t)i * 3];
        f.bytes[(size_t)i * bpp + green] = rgb[(size_t)i * 3 + 1];
        f.bytes[(size_t)i * bpp + blue] = rgb[(size_t)i * 3 + 2];
    }
    f.view.data = f.bytes.data();
    f.view.width = w, f.view.height = h;
    f.view.stride = (long)w * bpp;
    f.view.bpp = bpp, f.view.red = red, f.view.green = green, f.view.blue = blue;
    return f;
}

TEST(Samplers, FourByteFramesGiveTheBytesAndLevelsOfThreeByteOnes)
{
    const int w = 200, h = 150;
    std::mt19937 rng(11);
    std::vector<unsigned char> rgb((size_t)w * h * 3);
    for (unsigned char &b : rgb) b = (unsigned char)(rng() % 256);
    const Frame reference = layout(rgb, w, h, 3, 0, 1, 2);
    const Frame four[] = {layout(rgb, w, h, 4, 0, 1, 2), layout(rgb, w, h, 4, 2, 1, 0),
                          layout(rgb, w, h, 4, 1, 2, 3)};
    const double distortion[4] = {100.0, 75.0, 40.0, 0.98};
    std::uniform_real_distribution<double> jitter(-6.0, 6.0);
    int compared = 0, off_frame = 0;
    // Squares from 20 to 260 px (2 to 4 sub-samples per cell), some
    // reaching past the frame's edges.
    for (int trial = 0; trial < 60; trial++) {
        const double side = 20.0 + 4.0 * trial, cx = 100.0 + jitter(rng) * 4, cy = 75.0 + jitter(rng) * 3;
        double v[4][2] = {{cx - side / 2, cy - side / 2}, {cx + side / 2, cy - side / 2},
                          {cx + side / 2, cy + side / 2}, {cx - side / 2, cy + side / 2}};
        for (auto &p : v) p[0] += jitter(rng), p[1] += jitter(rng);
        unsigned char want[mvcore::kSampleBytes];
        ASSERT_TRUE(mvcore::sample_corners(reference.view, distortion, v, want));
        float want_grid[16 * 16];
        const bool on = mvcore::sample_grid(reference.view, distortion, v, 16, want_grid);
        off_frame += !on;
        for (const Frame &f : four) {
            unsigned char got[mvcore::kSampleBytes];
            ASSERT_TRUE(mvcore::sample_corners(f.view, distortion, v, got));
            for (int i = 0; i < mvcore::kSampleBytes; i++)
                ASSERT_EQ(got[i], want[i]) << "trial " << trial << " byte " << i << " red at " << f.view.red;
            float grid[16 * 16];
            ASSERT_EQ(mvcore::sample_grid(f.view, distortion, v, 16, grid), on) << "trial " << trial;
            for (int i = 0; on && i < 16 * 16; i++) ASSERT_EQ(grid[i], want_grid[i]) << "trial " << trial;
            compared++;
        }
    }
    EXPECT_EQ(compared, 180);
    EXPECT_GT(off_frame, 10);   // the large squares reach past the edges
    EXPECT_LT(off_frame, 50);
}

}  // namespace
