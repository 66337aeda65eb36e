// A 640 x 480 image, wider than one 512-pixel texture: two textures and two
// meshes meet at column 512. Window: zoom 1, no mini windows (640 x 480).
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <tuple>

#include "display_checks.h"
#include "render.h"

MORVEX_TEST_NEEDS_DISPLAY();

using namespace display_checks;

namespace {

// Rows from the top; window row = 479 - image row at zoom 1.
const std::vector<Block> kBlocks = {
    {480, 100, 559, 179, {250, 200, 40}},  // across the two textures
    {600, 300, 629, 379, {40, 220, 120}},  // right texture only
    {20, 20, 99, 59, {200, 40, 200}},      // left texture only
};

class DisplayWide : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        MvCameraParam cam = render::pinholeCamera(640, 480, 800.0);
        mvgInit(&cam, 1.0, 0, 0, 0, 0);
        morvex_test::settleWindow();
    }
    void SetUp() override
    {
        image = makeImage(640, 480, kBlocks);
        mvgDrawMode = 1;
        mvgTexmapMode = 0;
    }
    std::vector<unsigned char> image;
};

TEST_F(DisplayWide, BothTexturesShowTheImageWherePixelCopyPutsIt)
{
    ASSERT_EQ(tex1Xsize1, 512);
    ASSERT_EQ(tex1Xsize2, 128);
    struct {
        const char *name;
        int draw_mode, texmap_mode;
    } variants[] = {{"pixel copy", 0, 0}, {"texture", 1, 0}, {"texture, every second row", 1, 1}};
    for (const auto &v : variants) {
        SCOPED_TRACE(v.name);
        mvgDrawMode = v.draw_mode;
        mvgTexmapMode = v.texmap_mode;
        morvex_test::Pixels shots[2];
        for (auto &shot : shots) {  // builds the two lists, then replays them
            clearWindow();
            mvgDispImage(image.data(), 0, 0);
            shot = morvex_test::readPixels(0, 0, 640, 480);
        }
        EXPECT_TRUE(shots[0].rgba == shots[1].rgba) << "the stored meshes draw differently";
        // Tolerances as for the single texture: the mesh is 1 pixel left of
        // the pixel copy, edges on pixel centres round either way, and every
        // second row shifts rows by one more.
        const int tol = v.draw_mode == 0 ? 1 : (v.texmap_mode == 1 ? 3 : 2);
        for (const Block &b : kBlocks) {
            const Box got = findColour(shots[1], b.colour);
            SCOPED_TRACE(testing::Message() << "block at column " << b.x0);
            ASSERT_FALSE(got.empty());
            EXPECT_NEAR(got.x0, b.x0, tol);
            EXPECT_NEAR(got.x1, b.x1, tol);
            EXPECT_NEAR(got.y0, 479 - b.y1, tol);
            EXPECT_NEAR(got.y1, 479 - b.y0, tol);
            EXPECT_GT(got.count, 0.9 * (b.x1 - b.x0 + 1) * (b.y1 - b.y0 + 1));
        }
    }
}

TEST_F(DisplayWide, MeshesMeetAtColumn512WithoutDistortion)
{
    const auto polys = feedbackPolygons([&] { mvgDispImage(image.data(), 0, 0); });
    // 16 x 20 quads on the left, 4 x 20 on the right (perhaps as triangles).
    ASSERT_TRUE(polys.size() == 400 || polys.size() == 800) << polys.size();
    std::set<std::tuple<int, int, bool>> points;  // column, row, right texture
    for (const auto &poly : polys) {
        for (const Vertex &v : poly) {
            const double gx = v.x + 1.0, gy = 479.0 - v.y;
            const int i = (int)std::lround(gx / 32.0), j = (int)std::lround(gy / 24.0);
            EXPECT_NEAR(gx, 32.0 * i, 1e-3);
            EXPECT_NEAR(gy, 24.0 * j, 1e-3);
            EXPECT_NEAR(v.t, (480.0 / 512.0) * j / 20.0, 1e-6);
            // Left texture: s = column / 512; right texture: s = (column -
            // 512) / 128. Column 512 belongs to both.
            const bool right = i > 16 || (i == 16 && v.s < 0.5);
            EXPECT_NEAR(v.s, right ? (i - 16) / 4.0 : i / 16.0, 1e-6);
            points.insert({i, j, right});
        }
    }
    EXPECT_EQ(points.size(), (17u + 5u) * 21u);
}

}  // namespace
