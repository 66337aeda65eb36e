// The video image on screen, without lens distortion: where pixel copy and
// texture mapping put it, for the main area, the area right of it and the
// mini windows; the mesh's vertices; line overlays at their corners.
// CTest runs each test in a process of its own, so each fixture has its own
// window. DisplayImage: 320 x 240 camera at zoom 1 with 4 x 2 mini windows of 160 x 120
// (640 x 480): main area x 0..319, y 240..479; (1, 0) x 320..639, same
// rows; mini window (c, r) x (c - 1) * 160.., y 240 - r * 120.. .
#include <gtest/gtest.h>

#include <cmath>
#include <set>

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
        mvgDrawMode = 1;
        mvgTexmapMode = 0;
    }
    // Clears the window, shows the full or half image at (xwin, ywin) and
    // reads the window back.
    morvex_test::Pixels show(bool half, int xwin, int ywin)
    {
        clearWindow();
        if (half)
            mvgDispHalfImage(half_.data(), xwin, ywin);
        else
            mvgDispImage(full_.data(), xwin, ywin);
        return morvex_test::readPixels(0, 0, 640, 480);
    }
    std::vector<unsigned char> full_ = makeImage(320, 240, kFullBlocks), half_ = makeImage(160, 120, kHalfBlocks);
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

// Where pixel copy puts an image block (of an image `scale_to_full` times
// smaller than the camera's): window pixels, y upwards.
Box expectedBox(const Block &b, const Area &a, double scale_to_full)
{
    const double s = a.s * scale_to_full;
    const int top = a.y0 + (int)std::lround(240 * a.s) - 1;
    Box e;
    e.x0 = a.x0 + (int)std::lround(s * b.x0);
    e.x1 = a.x0 + (int)std::lround(s * (b.x1 + 1)) - 1;
    e.y1 = top - (int)std::lround(s * b.y0);
    e.y0 = top - (int)std::lround(s * (b.y1 + 1)) + 1;
    return e;
}

TEST_F(DisplayImage, PixelCopyAndTextureMappingPutTheImageInTheSamePlace)
{
    const int positions[][2] = {{0, 0}, {1, 0}, {2, 1}, {4, 2}};
    struct {
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
        Box copy_box[2];
        for (const auto &v : variants) {
            SCOPED_TRACE(testing::Message() << "position (" << pos[0] << ", " << pos[1] << "), " << v.name);
            mvgDrawMode = v.draw_mode;
            mvgTexmapMode = v.texmap_mode;
            // The first texture call builds the position's mesh list while
            // drawing it; the second replays the list.
            const morvex_test::Pixels first = show(v.half, pos[0], pos[1]), shot = show(v.half, pos[0], pos[1]);
            EXPECT_TRUE(first.rgba == shot.rgba) << "the stored mesh draws differently";
            // Nothing lands outside the position's own area. Pixel copy is
            // not scissored, and the zoomed pixel rectangles' edges fall on
            // pixel centres: Mesa lights one more column on the right.
            EXPECT_EQ(countOutside(shot, area.x0, area.y0, area.x0 + (int)(320 * area.s) - 1 + (v.draw_mode == 0),
                                   area.y0 + (int)(240 * area.s) - 1),
                      0);
            // The texture mesh sits one window pixel left of the pixel copy
            // (its vertices carry x - 1.0), and block edges fall on pixel
            // centres where rounding may go either way: 2 pixels. Every
            // second row shifts a block's rows by at most 1 more.
            const int tol = v.draw_mode == 0 ? 1 : (v.texmap_mode == 1 ? 3 : 2);
            for (int k = 0; k < 2; k++) {
                const Box got = findColour(shot, (v.half ? kHalfBlocks : kFullBlocks)[k].colour);
                const Box want = expectedBox((v.half ? kHalfBlocks : kFullBlocks)[k], area, v.half ? 2.0 : 1.0);
                ASSERT_GT(got.count, 0) << "block " << k << " not shown";
                const int g[4] = {got.x0, got.x1, got.y0, got.y1}, w[4] = {want.x0, want.x1, want.y0, want.y1};
                for (int i = 0; i < 4; i++) EXPECT_NEAR(g[i], w[i], tol) << "block " << k << " edge " << i;
                // Solid: the block's colour is shown unchanged.
                EXPECT_GT(got.count, 0.9 * (want.x1 - want.x0 + 1) * (want.y1 - want.y0 + 1));
                if (v.half) continue;
                if (v.draw_mode == 0) copy_box[k] = got;
                const int c[4] = {copy_box[k].x0, copy_box[k].x1, copy_box[k].y0, copy_box[k].y1};
                for (int i = 0; i < 4; i++) EXPECT_NEAR(g[i], c[i], i < 2 ? 2 : v.texmap_mode + 1) << "vs copy";
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
        int texmap_mode;
        bool half;
    } cases[] = {{0, false}, {1, false}, {0, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "upload mode " << c.texmap_mode << (c.half ? ", half image" : ""));
        mvgTexmapMode = c.texmap_mode;
        std::vector<std::vector<Vertex>> runs[2];
        for (auto &polys : runs)
            polys = feedbackPolygons([&] {
                if (c.half)
                    mvgDispHalfImage(half_.data(), 0, 0);
                else
                    mvgDispImage(full_.data(), 0, 0);
            });
        // Mesa may hand quads back as two triangles each.
        ASSERT_TRUE(runs[0].size() == 400 || runs[0].size() == 800) << runs[0].size();
        ASSERT_EQ(runs[0].size(), runs[1].size());
        std::set<std::pair<int, int>> grid_points;
        for (const auto &poly : runs[0])
            for (const Vertex &v : poly) {
                const double gx = v.x + 1.0, gy = 479.0 - v.y;
                const int i = (int)std::lround(gx / 16.0), j = (int)std::lround(gy / 12.0);
                EXPECT_NEAR(gx, 16.0 * i, 1e-3);
                EXPECT_NEAR(gy, 12.0 * j, 1e-3);
                EXPECT_NEAR(v.s, 0.625 * i / 20.0, 1e-6);
                EXPECT_NEAR(v.t, 0.9375 * j / 20.0, 1e-6);
                grid_points.insert({i, j});
            }
        EXPECT_EQ(grid_points.size(), 21u * 21u);
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
    } cases[] = {{{5, 2}, {0, 0}, 1, false}, {{5, 1}, {1, 2}, 0, false}, {{5, 1}, {1, 2}, 0, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "(" << c.off[0] << ", " << c.off[1] << ") then (" << c.victim[0]
                                        << ", " << c.victim[1] << ")" << (c.half ? ", half image" : ""));
        for (int mode : {1 - c.texmap_mode, c.texmap_mode}) {
            mvgTexmapMode = mode;
            // Placed beyond the window's right edge: nothing shows.
            EXPECT_EQ(countOutside(show(c.half, c.off[0], c.off[1]), 0, 0, -1, -1), 0);
        }
        for (int round = 0; round < 2; round++) {
            const Box got = findColour(show(c.half, c.victim[0], c.victim[1]), kA);
            const Box want = expectedBox((c.half ? kHalfBlocks : kFullBlocks)[0], areaOf(c.victim[0], c.victim[1]),
                                         c.half ? 2.0 : 1.0);
            ASSERT_GT(got.count, 0) << "round " << round;
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
    for (int draw_mode : {1, 0})
        for (const auto &p : places) {
            SCOPED_TRACE(testing::Message() << "mode " << draw_mode << " at (" << p.xwin << ", " << p.ywin << ")");
            mvgDrawMode = draw_mode;
            clearWindow();
            glColor3ub(255, 255, 255);
            glLineWidth(1.0f);
            mvgDrawSquare(square, p.xwin, p.ywin);
            const morvex_test::Pixels px = morvex_test::readPixels(0, 0, 640, 480);
            auto lit_near = [&](double ix, double iy) {
                const int wx = (int)std::lround(p.x0 + p.s * ix), wy = (int)std::lround(p.top - p.s * iy);
                for (int y = std::max(wy - 1, 0); y <= std::min(wy + 1, 479); y++)
                    for (int x = std::max(wx - 1, 0); x <= std::min(wx + 1, 639); x++)
                        if (px.at(x, y)[0] > 128) return true;
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
            EXPECT_NEAR(lit.count, 2 * p.s * ((250 - 60) + (200 - 40)), 8);
            EXPECT_NEAR(lit.x1 - lit.x0, p.s * 190, 1.5);
            EXPECT_NEAR(lit.y1 - lit.y0, p.s * 160, 1.5);
        }
}

// A 640 x 480 image, wider than one 512-pixel texture: two textures and two
// meshes meet at column 512. Window: zoom 1, no mini windows (640 x 480).
TEST(DisplayWide, BothTexturesShowTheImageWherePixelCopyPutsIt)
{
    MvCameraParam cam = render::pinholeCamera(640, 480, 800.0);
    mvgInit(&cam, 1.0, 0, 0, 0, 0);
    morvex_test::settleWindow();
    ASSERT_EQ(mvdisplay::state.tex.full_x1, 512);
    ASSERT_EQ(mvdisplay::state.tex.full_x2, 128);
    const std::vector<Block> blocks = {
        {480, 100, 559, 179, {250, 200, 40}},  // across the two textures
        {600, 300, 629, 379, {40, 220, 120}},  // right texture only
        {20, 20, 99, 59, {200, 40, 200}},      // left texture only
    };
    const std::vector<unsigned char> image = makeImage(640, 480, blocks);
    for (int draw_mode : {0, 1})
        for (int texmap_mode : {0, draw_mode}) {  // pixel copy ignores the upload mode
            SCOPED_TRACE(testing::Message() << "draw mode " << draw_mode << ", upload mode " << texmap_mode);
            mvgDrawMode = draw_mode;
            mvgTexmapMode = texmap_mode;
            morvex_test::Pixels shots[2];
            for (auto &shot : shots) {  // builds the two lists, then replays them
                clearWindow();
                mvgDispImage(image.data(), 0, 0);
                shot = morvex_test::readPixels(0, 0, 640, 480);
            }
            EXPECT_TRUE(shots[0].rgba == shots[1].rgba) << "the stored meshes draw differently";
            // Tolerances as for the single texture above.
            const int tol = draw_mode == 0 ? 1 : (texmap_mode == 1 ? 3 : 2);
            for (const Block &b : blocks) {
                SCOPED_TRACE(testing::Message() << "block at column " << b.x0);
                const Box got = findColour(shots[1], b.colour);
                ASSERT_GT(got.count, 0);
                const int g[4] = {got.x0, got.x1, got.y0, got.y1}, w[4] = {b.x0, b.x1, 479 - b.y1, 479 - b.y0};
                for (int i = 0; i < 4; i++) EXPECT_NEAR(g[i], w[i], tol) << "edge " << i;
                EXPECT_GT(got.count, 0.9 * (b.x1 - b.x0 + 1) * (b.y1 - b.y0 + 1));
            }
        }
}

}  // namespace
