// The video image on screen, without lens distortion: where pixel copy and
// texture mapping put it, for the main area, the area right of it and the
// mini windows; the mesh's vertices; line overlays at their corners.
// Window: 320 x 240 camera at zoom 1 with 4 x 2 mini windows of 160 x 120
// (640 x 480): main area x 0..319, y 240..479; (1, 0) x 320..639, same
// rows; mini window (c, r) x (c - 1) * 160.., y 240 - r * 120.. .
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <tuple>

#include "display_checks.h"
#include "render.h"

MORVEX_TEST_NEEDS_DISPLAY();

using namespace display_checks;

namespace {

const Rgb kA = {250, 200, 40}, kB = {40, 220, 120};
const std::vector<Block> kFullBlocks = {{100, 60, 179, 119, kA}, {240, 180, 299, 219, kB}};
const std::vector<Block> kHalfBlocks = {{50, 30, 89, 59, kA}, {120, 90, 149, 109, kB}};

class DisplayImage : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        MvCameraParam cam = render::pinholeCamera(320, 240, 400.0);
        mvgInit(&cam, 1.0, 0, 4, 2, 0);
        morvex_test::settleWindow();
    }
    void SetUp() override
    {
        full = makeImage(320, 240, kFullBlocks);
        half = makeImage(160, 120, kHalfBlocks);
        mvgDrawMode = 1;
        mvgTexmapMode = 0;
    }
    std::vector<unsigned char> full, half;
};

// Window area of a position: left, bottom, scale.
struct Area {
    int x0, y0;
    double s;
};

Area areaOf(int xwin, int ywin)
{
    if (ywin == 0) return {xwin == 0 ? 0 : 320, 240, 1.0};
    return {(xwin - 1) * 160, 240 - ywin * 120, 0.5};
}

// Where pixel copy puts an image block: window pixels, y upwards.
Box expectedBox(const Block &b, const Area &a, double scale_to_full)
{
    const double s = a.s * scale_to_full;
    const int width = (int)std::lround(320 * a.s), height = (int)std::lround(240 * a.s);
    const int top = a.y0 + height - 1;
    (void)width;
    Box e;
    e.x0 = a.x0 + (int)std::lround(s * b.x0);
    e.x1 = a.x0 + (int)std::lround(s * (b.x1 + 1)) - 1;
    e.y1 = top - (int)std::lround(s * b.y0);
    e.y0 = top - (int)std::lround(s * (b.y1 + 1)) + 1;
    return e;
}

TEST_F(DisplayImage, PixelCopyAndTextureMappingPutTheImageInTheSamePlace)
{
    const int positions[][2] = {{0, 0}, {1, 0}, {1, 1}, {2, 1}, {4, 2}};
    struct Variant {
        const char *name;
        int draw_mode, texmap_mode;
        bool half;
    } variants[] = {
        {"pixel copy", 0, 0, false},
        {"texture", 1, 0, false},
        {"texture, every second row", 1, 1, false},
        {"half image, pixel copy", 0, 0, true},
        {"half image, texture", 1, 0, true},
    };
    for (const auto &pos : positions) {
        const Area area = areaOf(pos[0], pos[1]);
        const int aw = (int)(320 * area.s), ah = (int)(240 * area.s);
        Box copy_box[2];
        for (const Variant &v : variants) {
            SCOPED_TRACE(testing::Message() << "position (" << pos[0] << ", " << pos[1] << "), "
                                            << v.name);
            mvgDrawMode = v.draw_mode;
            mvgTexmapMode = v.texmap_mode;
            const std::vector<Block> &blocks = v.half ? kHalfBlocks : kFullBlocks;
            morvex_test::Pixels shots[2];
            // The first texture call builds the position's mesh list while
            // drawing it; the second replays the list.
            for (auto &shot : shots) {
                clearWindow();
                if (v.half)
                    mvgDispHalfImage(half.data(), pos[0], pos[1]);
                else
                    mvgDispImage(full.data(), pos[0], pos[1]);
                shot = morvex_test::readPixels(0, 0, gWinXsize, gWinYsize);
            }
            EXPECT_TRUE(shots[0].rgba == shots[1].rgba) << "the stored mesh draws differently";

            // Nothing lands outside the position's own area. Pixel copy is
            // not scissored, and the zoomed pixel rectangles' edges fall on
            // pixel centres: Mesa lights one more column on the right.
            const int spill = v.draw_mode == 0 ? 1 : 0;
            EXPECT_EQ(countOutside(shots[1], area.x0, area.y0, area.x0 + aw - 1 + spill,
                                   area.y0 + ah - 1),
                      0);
            // The texture mesh sits one window pixel left of the pixel copy
            // (its vertices carry x - 1.0), and block edges fall on pixel
            // centres where rounding may go either way: 2 pixels. Every
            // second row shifts a block's rows by at most 1 more.
            const int tol = v.draw_mode == 0 ? 1 : (v.texmap_mode == 1 ? 3 : 2);
            for (int k = 0; k < 2; k++) {
                const Box got = findColour(shots[1], blocks[k].colour);
                const Box want = expectedBox(blocks[k], area, v.half ? 2.0 : 1.0);
                ASSERT_FALSE(got.empty()) << "block " << k << " not shown";
                EXPECT_NEAR(got.x0, want.x0, tol) << "block " << k;
                EXPECT_NEAR(got.x1, want.x1, tol) << "block " << k;
                EXPECT_NEAR(got.y0, want.y0, tol) << "block " << k;
                EXPECT_NEAR(got.y1, want.y1, tol) << "block " << k;
                // Solid: the block's colour is shown unchanged.
                EXPECT_GT(got.count, 0.9 * (want.x1 - want.x0 + 1) * (want.y1 - want.y0 + 1));
                if (v.draw_mode == 0 && !v.half) copy_box[k] = got;
                if (v.draw_mode != 0 && !v.half) {
                    EXPECT_NEAR(got.x0, copy_box[k].x0, 2);
                    EXPECT_NEAR(got.x1, copy_box[k].x1, 2);
                    EXPECT_NEAR(got.y0, copy_box[k].y0, v.texmap_mode == 1 ? 2 : 1);
                    EXPECT_NEAR(got.y1, copy_box[k].y1, v.texmap_mode == 1 ? 2 : 1);
                }
            }
        }
    }
}

TEST_F(DisplayImage, MeshWithoutDistortionIsTheRegularGrid)
{
    // Vertex of grid point (x, y) at (0, 0), zoom 1: (x - 1.0, 479 - y);
    // texture coordinates (x / 512, y / 256) for a 320 x 240 image in its
    // 512 x 256 texture, the same for every upload mode; the half image's
    // texture is 256 x 128 and holds half the pixels.
    struct {
        const char *name;
        int texmap_mode;
        bool half;
    } cases[] = {{"every row", 0, false}, {"every second row", 1, false}, {"half image", 0, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        mvgTexmapMode = c.texmap_mode;
        std::vector<std::vector<Vertex>> runs[2];
        for (auto &polys : runs)
            polys = feedbackPolygons([&] {
                if (c.half)
                    mvgDispHalfImage(half.data(), 0, 0);
                else
                    mvgDispImage(full.data(), 0, 0);
            });
        // Mesa may hand quads back as two triangles each.
        ASSERT_TRUE(runs[0].size() == 400 || runs[0].size() == 800) << runs[0].size();
        ASSERT_EQ(runs[0].size(), runs[1].size());

        std::set<std::pair<int, int>> grid_points;
        double max_tx = 0, max_ty = 0;
        for (const auto &poly : runs[0]) {
            for (const Vertex &v : poly) {
                const double gx = v.x + 1.0, gy = 479.0 - v.y;
                const int i = (int)std::lround(gx / 16.0), j = (int)std::lround(gy / 12.0);
                EXPECT_NEAR(gx, 16.0 * i, 1e-3);
                EXPECT_NEAR(gy, 12.0 * j, 1e-3);
                EXPECT_NEAR(v.s, 0.625 * i / 20.0, 1e-6);
                EXPECT_NEAR(v.t, 0.9375 * j / 20.0, 1e-6);
                grid_points.insert({i, j});
                max_tx = std::max(max_tx, (double)v.s);
                max_ty = std::max(max_ty, (double)v.t);
            }
        }
        EXPECT_EQ(grid_points.size(), 21u * 21u);
        EXPECT_NEAR(max_tx, 0.625, 1e-6);
        EXPECT_NEAR(max_ty, 0.9375, 1e-6);
    }
}

// A position off the mini-window grid has no cache slot of its own: it
// would index past the ten slots (slot 10 for (5, 2)) or share the slot of
// a grid position ((5, 1) and (1, 2) both count 6). Drawing there first must
// leave the other positions' meshes alone.
TEST_F(DisplayImage, OffGridPositionsLeaveOtherMeshesAlone)
{
    struct {
        int off[2], victim[2], texmap_mode;
        bool half;
    } cases[] = {
        {{5, 2}, {0, 0}, 1, false},
        {{5, 2}, {1, 0}, 0, false},
        {{5, 1}, {1, 2}, 0, false},
        {{5, 2}, {0, 0}, 0, true},
        {{5, 1}, {1, 2}, 0, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "(" << c.off[0] << ", " << c.off[1] << ") then ("
                                        << c.victim[0] << ", " << c.victim[1] << ")"
                                        << (c.half ? ", half image" : ""));
        const int other_mode = c.texmap_mode == 1 ? 0 : 1;
        for (int mode : {other_mode, c.texmap_mode}) {
            mvgTexmapMode = mode;
            clearWindow();
            if (c.half)
                mvgDispHalfImage(half.data(), c.off[0], c.off[1]);
            else
                mvgDispImage(full.data(), c.off[0], c.off[1]);
            // Placed beyond the window's right edge: nothing shows.
            EXPECT_EQ(countOutside(morvex_test::readPixels(0, 0, gWinXsize, gWinYsize), 0, 0, -1, -1), 0);
        }
        for (int round = 0; round < 2; round++) {
            clearWindow();
            if (c.half)
                mvgDispHalfImage(half.data(), c.victim[0], c.victim[1]);
            else
                mvgDispImage(full.data(), c.victim[0], c.victim[1]);
            const morvex_test::Pixels px = morvex_test::readPixels(0, 0, gWinXsize, gWinYsize);
            const Area area = areaOf(c.victim[0], c.victim[1]);
            const Box got = findColour(px, kA);
            const Box want = expectedBox(c.half ? kHalfBlocks[0] : kFullBlocks[0], area, c.half ? 2.0 : 1.0);
            ASSERT_FALSE(got.empty()) << "round " << round;
            EXPECT_NEAR(got.x0, want.x0, 2);
            EXPECT_NEAR(got.y1, want.y1, 2);
        }
    }
}

// Position (1, 0) included: its overlay lands on the image shown there.
TEST_F(DisplayImage, OverlaysLandOnTheGivenCorners)
{
    double square[4][2] = {{60, 40}, {250, 40}, {250, 200}, {60, 200}};
    // Window pixel of an ideal image point at a position (no distortion).
    struct {
        int xwin, ywin;
        double x0, top, s;
    } places[] = {{0, 0, 0, 479, 1.0}, {1, 0, 320, 479, 1.0}, {2, 1, 160, 239, 0.5}, {3, 2, 320, 119, 0.5}};
    for (int draw_mode : {1, 0}) {
        for (const auto &p : places) {
            SCOPED_TRACE(testing::Message() << "mode " << draw_mode << " at (" << p.xwin << ", "
                                            << p.ywin << ")");
            mvgDrawMode = draw_mode;
            clearWindow();
            glColor3ub(255, 255, 255);
            glLineWidth(1.0f);
            mvgDrawSquare(square, p.xwin, p.ywin);
            const morvex_test::Pixels px = morvex_test::readPixels(0, 0, gWinXsize, gWinYsize);
            auto lit_near = [&](double ix, double iy) {
                const double wx = p.x0 + p.s * ix, wy = p.top - p.s * iy;
                for (int dy = -1; dy <= 1; dy++)
                    for (int dx = -1; dx <= 1; dx++) {
                        const int x = (int)std::lround(wx) + dx, y = (int)std::lround(wy) + dy;
                        if (x >= 0 && y >= 0 && x < gWinXsize && y < gWinYsize && px.at(x, y)[0] > 128)
                            return true;
                    }
                return false;
            };
            for (int k = 0; k < 4; k++) {
                const int n = (k + 1) % 4;
                EXPECT_TRUE(lit_near(square[k][0], square[k][1])) << "corner " << k;
                // The midpoint of each side, the closing side 3 -> 0 included.
                EXPECT_TRUE(lit_near((square[k][0] + square[n][0]) / 2, (square[k][1] + square[n][1]) / 2))
                    << "side " << k;
            }
            // Only the outline: about its perimeter in pixels.
            const Box lit = findColour(px, {255, 255, 255});
            const double perimeter = 2 * p.s * ((250 - 60) + (200 - 40));
            EXPECT_NEAR(lit.count, perimeter, 8);
            EXPECT_NEAR(lit.x1 - lit.x0, p.s * 190, 1.5);
            EXPECT_NEAR(lit.y1 - lit.y0, p.s * 160, 1.5);
        }
    }
}

}  // namespace
