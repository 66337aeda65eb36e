// The video image on screen, without lens distortion: pixel copy and texture
// mapping put every image pixel where the layout says, for the main area,
// the area right of it and the mini windows, and overlays land on it. CTest
// runs each test in a process of its own, so each fixture has its own
// window. DisplayImage: 320 x 240 camera at zoom 1 with 4 x 2 mini windows
// of 160 x 120 (640 x 480): main area x 0..319, y 240..479; (1, 0) x
// 320..639, same rows; mini window (c, r) x (c - 1) * 160.., y 240 - r * 120.. .
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "display_checks.h"
#include "render.h"

MORVEX_TEST_NEEDS_DISPLAY();

using namespace display_checks;

namespace {

const Rgb kA = {250, 200, 40}, kB = {40, 220, 120};
const std::vector<Block> kFullBlocks = {{100, 60, 179, 119, kA}, {240, 180, 299, 219, kB}};
const std::vector<Block> kHalfBlocks = {{50, 30, 89, 59, kA}, {120, 90, 149, 109, kB}};

// Window area of a position: left column, top row, window pixels per
// camera pixel.
struct Area {
    int x0, top;
    double s;
};

Area areaOf(int xwin, int ywin)
{
    if (ywin == 0) return {xwin == 0 ? 0 : 320, 479, 1.0};
    return {(xwin - 1) * 160, 239 - (ywin - 1) * 120, 0.5};
}

// Expects block b of an image `factor` times smaller than the camera's
// shown solid in area a. Block edges fall on pixel centres: Mesa rounds the
// pixel copy's raster position up, one column right of the exact place, and
// the texture mesh's vertices carry x - 1.0, one column left. Texture
// samples then fall on texel boundaries and may take either texel: an edge
// may move by a pixel, and a block is solid to 90 %. (The mesh's exact
// vertices are checked through feedback below.)
void expectBlockShown(const morvex_test::Pixels &shot, const Block &b, const Area &a, double factor, bool copy)
{
    const double s = a.s * factor;
    const int dx = copy ? 1 : -1, tol = copy ? 0 : 1;
    const int x0 = a.x0 + (int)std::lround(s * b.x0) + dx, x1 = a.x0 + (int)std::lround(s * (b.x1 + 1)) - 1 + dx;
    const int y1 = a.top - (int)std::lround(s * b.y0), y0 = a.top - (int)std::lround(s * (b.y1 + 1)) + 1;
    const Box got = findColour(shot, b.colour);
    const int g[4] = {got.x0, got.x1, got.y0, got.y1}, w[4] = {x0, x1, y0, y1};
    for (int i = 0; i < 4; i++) EXPECT_NEAR(g[i], w[i], tol) << "block at image column " << b.x0 << ", edge " << i;
    EXPECT_GT(got.count, 0.9 * (x1 - x0 + 1) * (y1 - y0 + 1)) << "block at image column " << b.x0;
}

struct Vertex {
    double x, y, s, t;
};

// 2-D position and texture coordinates of every vertex `draw` sends to the
// 640 x 480 window, through feedback mode. The clip volume is widened to
// three times the window each way so that no vertex outside it is lost.
std::vector<Vertex> feedbackVertices(const std::function<void()> &draw)
{
    static std::vector<GLfloat> buf(1 << 16);
    mvgDrawMode2D();
    glLoadIdentity();
    glOrtho(-640.5, 1279.5, -480.5, 959.5, -1.0, 1.0);
    glViewport(-640, -480, 3 * 640, 3 * 480);
    glFeedbackBuffer((GLsizei)buf.size(), GL_4D_COLOR_TEXTURE, buf.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const int n = glRenderMode(GL_RENDER);
    mvgDrawMode2D();
    std::vector<Vertex> out;
    // Only polygons: GL_POLYGON_TOKEN, vertex count, 12 values a vertex
    // (x y z w, r g b a, s t r q).
    for (int i = 0; i + 1 < n;) {
        if ((int)buf[i++] != GL_POLYGON_TOKEN) return {};
        for (int k = (int)buf[i++]; k > 0; k--, i += 12) out.push_back({buf[i] - 0.5, buf[i + 1] - 0.5, buf[i + 8], buf[i + 9]});
    }
    return out;
}

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

TEST_F(DisplayImage, ImageAndOverlayLandInTheAreaOfTheirPosition)
{
    // Positions off the mini-window grid have no cache slot of their own:
    // (5, 2) would index past the ten slots (slot 10), (5, 1) share slot 6
    // with (1, 2). Drawn first, they lie beyond the window's right edge and
    // show nothing, and they must leave the meshes of the positions below
    // alone.
    for (bool half : {false, true})
        for (int mode : {0, 1})
            for (int ywin : {1, 2}) {
                mvgTexmapMode = mode;
                EXPECT_EQ(countOutside(show(half, 5, ywin), 0, 0, -1, -1), 0) << "(5, " << ywin << ")";
            }
    const int positions[][2] = {{0, 0}, {1, 0}, {1, 2}, {4, 2}};
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
        for (const auto &v : variants) {
            SCOPED_TRACE(testing::Message() << "position (" << pos[0] << ", " << pos[1] << "), " << v.name);
            mvgDrawMode = v.draw_mode;
            mvgTexmapMode = v.texmap_mode;
            // The first texture call builds the position's mesh list while
            // drawing it; the second replays the list.
            const morvex_test::Pixels first = show(v.half, pos[0], pos[1]), shot = show(v.half, pos[0], pos[1]);
            EXPECT_TRUE(first.rgba == shot.rgba) << "the stored mesh draws differently";
            // Nothing lands outside the position's own area; pixel copy is
            // not scissored and lights its one column more on the right.
            EXPECT_EQ(countOutside(shot, area.x0, area.top - (int)(240 * area.s) + 1,
                                   area.x0 + (int)(320 * area.s) - 1 + (v.draw_mode == 0), area.top),
                      0);
            for (const Block &b : v.half ? kHalfBlocks : kFullBlocks)
                expectBlockShown(shot, b, area, v.half ? 2.0 : 1.0, v.draw_mode == 0);
            if (v.half || v.texmap_mode) continue;

            // The outline of block A drawn over the image runs through the
            // pixel centres where its corners belong (the copy's block
            // starts a column right of them, the texture's a column left).
            // Line ends may light a pixel more or less.
            const Block &a = kFullBlocks[0];
            double corners[4][2] = {{100, 60}, {180, 60}, {180, 120}, {100, 120}};
            glColor3ub(255, 255, 255);
            glLineWidth(1.0f);
            mvgDrawSquare(corners, pos[0], pos[1]);
            const Box line = findColour(morvex_test::readPixels(0, 0, 640, 480), {255, 255, 255});
            const double s = area.s;
            const int x0 = area.x0 + (int)std::lround(s * a.x0), y1 = area.top - (int)std::lround(s * a.y0);
            const int w = (int)std::lround(s * 80), h = (int)std::lround(s * 60);
            const int got[4] = {line.x0, line.x1, line.y0, line.y1}, want[4] = {x0, x0 + w, y1 - h, y1};
            for (int i = 0; i < 4; i++) EXPECT_NEAR(got[i], want[i], 1) << "outline edge " << i;
            // All four sides, the closing one from corner 3 to 0 included.
            EXPECT_NEAR(line.count, 2 * (w + h), 4);
        }
    }
}

// The mesh exactly, finer than a read-back resolves: at (0, 0) the vertex
// of grid point (x, y) sits at (x - 1, 479 - y) and carries the texture
// coordinates (x / 512, y / 256), for the 320 x 240 image in its 512 x 256
// texture in either upload mode and for the half image in its 256 x 128 one.
TEST_F(DisplayImage, MeshTextureCoordinatesFollowTheGrid)
{
    for (int c = 0; c < 3; c++) {
        SCOPED_TRACE(c == 2 ? "half image" : c == 1 ? "every second row" : "every row");
        mvgTexmapMode = c == 1;
        const std::vector<Vertex> vs = feedbackVertices([&] {
            c == 2 ? mvgDispHalfImage(half_.data(), 0, 0) : mvgDispImage(full_.data(), 0, 0);
        });
        // 400 quads, which Mesa may hand back as 800 triangles.
        ASSERT_TRUE(vs.size() == 1600 || vs.size() == 2400) << vs.size();
        int off = 0;
        for (const Vertex &v : vs)
            off += std::fabs(v.s - (v.x + 1.0) / 512) > 1e-6 || std::fabs(v.t - (479.0 - v.y) / 256) > 1e-6;
        EXPECT_EQ(off, 0);
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
            for (const Block &b : blocks) expectBlockShown(shots[1], b, {0, 479, 1.0}, 1.0, draw_mode == 0);
        }
}

}  // namespace
