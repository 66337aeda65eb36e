// Window layout and texture sizes computed by mvgInit. Every mvgInit here
// opens a window of its own; a second mvgInit in one process must not
// initialise GLUT again (freeglut ends the process if it is).
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include "display_internal.h"
#include "render.h"
#include "test_display.h"

MORVEX_TEST_NEEDS_DISPLAY();

namespace {

struct LayoutCase {
    int xsize, ysize;
    double zoom;
    int xwin, ywin, hmd;
    int gx, gy, minix, miniy, nx, ny, winx, winy;
};

TEST(DisplayLayout, SizesFollowCameraZoomAndMiniWindowGrid)
{
    const LayoutCase cases[] = {
        // The viewer's call: 640 x 480, no mini windows.
        {320, 240, 2.0, 0, 0, 0, 640, 480, 320, 240, 0, 0, 640, 480},
        // Two mini windows of 320 x 240 below the main area.
        {320, 240, 2.0, 2, 1, 0, 640, 480, 320, 240, 2, 1, 640, 720},
        // Three mini windows of 160 x 120 are wider than the main area.
        {320, 240, 1.0, 3, 1, 0, 320, 240, 160, 120, 3, 1, 480, 360},
        // More than 8 windows: 3 x 3 -> 3 x 2, 10 x 1 -> 8 x 1; 2 x 4 stays.
        {320, 240, 1.0, 3, 3, 0, 320, 240, 160, 120, 3, 2, 480, 480},
        {320, 240, 1.0, 10, 1, 0, 320, 240, 160, 120, 8, 1, 1280, 360},
        {320, 240, 1.0, 2, 4, 0, 320, 240, 160, 120, 2, 4, 320, 720},
        // HMD: the main area is 640 x 480 whatever the camera and zoom.
        {320, 240, 1.0, 0, 0, 1, 640, 480, 160, 120, 0, 0, 640, 480},
        {160, 120, 3.0, 1, 1, 1, 640, 480, 240, 180, 1, 1, 640, 660},
        // Fractions truncate: 321 x 1.5 = 481.5, 240 x 1.5 = 360, half 240.75.
        {321, 240, 1.5, 1, 1, 0, 481, 360, 240, 180, 1, 1, 481, 540},
    };
    for (const LayoutCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.xsize << "x" << c.ysize << " zoom " << c.zoom
                                        << " grid " << c.xwin << "x" << c.ywin << " hmd "
                                        << c.hmd);
        MvCameraParam cam = render::pinholeCamera(c.xsize, c.ysize, 400.0);
        mvgInit(&cam, c.zoom, 0, c.xwin, c.ywin, c.hmd);
        EXPECT_EQ(gXsize, c.gx);
        EXPECT_EQ(gYsize, c.gy);
        EXPECT_EQ(gMiniXsize, c.minix);
        EXPECT_EQ(gMiniYsize, c.miniy);
        EXPECT_EQ(gMiniXnum, c.nx);
        EXPECT_EQ(gMiniYnum, c.ny);
        EXPECT_EQ(gWinXsize, c.winx);
        EXPECT_EQ(gWinYsize, c.winy);
        // The window really has that size.
        EXPECT_EQ(glutGet(GLUT_WINDOW_WIDTH), c.winx);
        EXPECT_EQ(glutGet(GLUT_WINDOW_HEIGHT), c.winy);

        int hmd, nx, ny;
        MvgMouseFunc m;
        MvgKeyFunc k;
        MvgMainFunc f;
        mvgInqSetting(&hmd, &nx, &ny, &m, &k, &f);
        EXPECT_EQ(hmd, c.hmd);
        EXPECT_EQ(nx, c.nx);
        EXPECT_EQ(ny, c.ny);
        EXPECT_EQ(m, nullptr);
        EXPECT_EQ(k, nullptr);
        EXPECT_EQ(f, nullptr);
    }
}

TEST(DisplayLayout, WindowIsDoubleBufferedWithAlphaDepthAndStencil)
{
    MvCameraParam cam = render::pinholeCamera(320, 240, 400.0);
    mvgInit(&cam, 2.0, 0, 0, 0, 0);
    EXPECT_EQ(glutGet(GLUT_WINDOW_DOUBLEBUFFER), 1);
    EXPECT_GT(glutGet(GLUT_WINDOW_STENCIL_SIZE), 1);
    EXPECT_GT(glutGet(GLUT_WINDOW_DEPTH_SIZE), 0);
    EXPECT_GT(glutGet(GLUT_WINDOW_ALPHA_SIZE), 0);
}

TEST(DisplayLayout, TextureSizesArePowersOfTwoCoveringTheImage)
{
    struct {
        int xsize, ysize, t1x1, t1x2, t1y, t2x, t2y;
    } cases[] = {
        {320, 240, 512, 1, 256, 256, 128},
        {640, 480, 512, 128, 512, 512, 256},
        // 513 columns: one beyond the first texture's 512.
        {513, 200, 512, 1, 256, 256, 128},
        // Not wider than 512: the second width stays P(700 - 512) = 256 from
        // the camera set up just before.
        {64, 64, 64, 256, 64, 32, 32},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.xsize << "x" << c.ysize);
        MvCameraParam cam = render::pinholeCamera(c.xsize, c.ysize, 400.0);
        if (c.xsize == 64) {
            MvCameraParam wide = render::pinholeCamera(700, 64, 400.0);
            mvgInit(&wide, 0.5, 0, 0, 0, 0);
        }
        mvgInit(&cam, 1.0, 0, 0, 0, 0);
        EXPECT_EQ(tex1Xsize1, c.t1x1);
        EXPECT_EQ(tex1Xsize2, c.t1x2);
        EXPECT_EQ(tex1Ysize, c.t1y);
        EXPECT_EQ(tex2Xsize, c.t2x);
        EXPECT_EQ(tex2Ysize, c.t2y);
    }
}

TEST(DisplayLayout, FullScreenTakesTheScreenSizeAndKeepsTheImageArea)
{
    MvCameraParam cam = render::pinholeCamera(320, 240, 400.0);
    mvgInit(&cam, 2.0, 1, 0, 0, 0);
    EXPECT_EQ(gWinXsize, glutGet(GLUT_SCREEN_WIDTH));
    EXPECT_EQ(gWinYsize, glutGet(GLUT_SCREEN_HEIGHT));
    EXPECT_GT(gWinXsize, 640);  // the test display is larger than the window asked for
    EXPECT_EQ(gXsize, 640);
    EXPECT_EQ(gYsize, 480);
}

}  // namespace
