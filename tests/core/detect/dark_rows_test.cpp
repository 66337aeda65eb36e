// The row classifier against the darkness test written out, on random
// rows of every length up to a few vector widths (the tails included), in
// every pixel layout the tracker reads and at full and half resolution.
#include "../../../lib/core/detect/dark_rows.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

TEST(DarkRows, MarksMatchTheDarknessTestInEveryLayoutAndLength)
{
    std::mt19937 rng(7);
    struct Layout { int bpp, red, green, blue; };
    const Layout layouts[] = {{4, 0, 1, 2}, {4, 2, 1, 0}, {3, 0, 1, 2}, {3, 2, 1, 0}, {1, 0, 0, 0}, {4, 1, 2, 3}};
    for (const Layout &l : layouts)
        for (int step = 1; step <= 2; step++)
            for (int n = 0; n <= 140; n++) {
                std::vector<unsigned char> row((size_t)(n * step + 1) * l.bpp);
                for (unsigned char &b : row) b = (unsigned char)(rng() % 256);
                mvcore::FrameView f;
                f.bpp = l.bpp, f.red = l.red, f.green = l.green, f.blue = l.blue;
                const int limit = (int)(rng() % 766);
                std::vector<unsigned char> out((size_t)n + 1, 9);
                mvcore::mark_dark(f, row.data(), n, step, limit, out.data());
                for (int i = 0; i < n; i++) {
                    const unsigned char *p = &row[(size_t)i * step * l.bpp];
                    const int sum = l.bpp == 1 ? 3 * p[0] : p[l.red] + p[l.green] + p[l.blue];
                    ASSERT_EQ(out[i], sum <= limit ? 1 : 0) << "bpp " << l.bpp << " step " << step << " n " << n
                                                           << " pixel " << i << " limit " << limit;
                }
                ASSERT_EQ(out[n], 9) << "wrote past the row";
            }
}

}  // namespace
