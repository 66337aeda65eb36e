// Window layout and texture sizes computed by mvgInit. Every mvgInit here
// opens a window of its own; a second mvgInit in one process must not
// initialise GLUT again (freeglut ends the process if it is).
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <vector>

#include "display_internal.h"
#include "render.h"
#include "test_display.h"

MORVEX_TEST_NEEDS_DISPLAY();

namespace {

TEST(DisplayLayout, SizesFollowCameraZoomAndMiniWindowGrid)
{
    struct {
        int xsize, ysize;
        double zoom;
        int xwin, ywin, hmd;
        int gx, gy, minix, miniy, nx, ny, winx, winy;
    } cases[] = {
        // The viewer's call: 640 x 480, no mini windows.
        {320, 240, 2.0, 0, 0, 0, 640, 480, 320, 240, 0, 0, 640, 480},
        // Two mini windows of 320 x 240 below the main area.
        {320, 240, 2.0, 2, 1, 0, 640, 480, 320, 240, 2, 1, 640, 720},
        // Three mini windows of 160 x 120 are wider than the main area.
        {320, 240, 1.0, 3, 1, 0, 320, 240, 160, 120, 3, 1, 480, 360},
        // More than 8 windows: 3 x 3 -> 3 x 2, 10 x 1 -> 8 x 1.
        {320, 240, 1.0, 3, 3, 0, 320, 240, 160, 120, 3, 2, 480, 480},
        {320, 240, 1.0, 10, 1, 0, 320, 240, 160, 120, 8, 1, 1280, 360},
        // HMD: the main area is 640 x 480 whatever the camera and zoom.
        {160, 120, 3.0, 1, 1, 1, 640, 480, 240, 180, 1, 1, 640, 660},
        // Fractions truncate: 321 x 1.5 = 481.5, half of 240 x 1.5 = 180.
        {321, 240, 1.5, 1, 1, 0, 481, 360, 240, 180, 1, 1, 481, 540},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.xsize << "x" << c.ysize << " zoom " << c.zoom << " grid "
                                        << c.xwin << "x" << c.ywin << " hmd " << c.hmd);
        MvCameraParam cam = render::pinholeCamera(c.xsize, c.ysize, 400.0);
        mvgInit(&cam, c.zoom, 0, c.xwin, c.ywin, c.hmd);
        EXPECT_EQ((std::vector<int>{gXsize, gYsize, gMiniXsize, gMiniYsize, gMiniXnum, gMiniYnum, gWinXsize, gWinYsize}),
                  (std::vector<int>{c.gx, c.gy, c.minix, c.miniy, c.nx, c.ny, c.winx, c.winy}));
        // The window really has that size.
        EXPECT_EQ(glutGet(GLUT_WINDOW_WIDTH), c.winx);
        EXPECT_EQ(glutGet(GLUT_WINDOW_HEIGHT), c.winy);
    }
}

TEST(DisplayLayout, TextureSizesArePowersOfTwoCoveringTheImage)
{
    struct {
        int xsize, ysize, t1x1, t1x2, t1y, t2x, t2y;
    } cases[] = {
        {320, 240, 512, 1, 256, 256, 128},
        {640, 480, 512, 128, 512, 512, 256},
        {513, 200, 512, 1, 256, 256, 128},  // one column beyond the first texture
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.xsize << "x" << c.ysize);
        MvCameraParam cam = render::pinholeCamera(c.xsize, c.ysize, 400.0);
        mvgInit(&cam, 1.0, 0, 0, 0, 0);
        EXPECT_EQ((std::vector<int>{tex1Xsize1, tex1Xsize2, tex1Ysize, tex2Xsize, tex2Ysize}),
                  (std::vector<int>{c.t1x1, c.t1x2, c.t1y, c.t2x, c.t2y}));
    }
}

}  // namespace
