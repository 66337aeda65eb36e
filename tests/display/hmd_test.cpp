// Head-mounted-display mode: the first display event lays down the stencil
// rows, and the eye variants then reach only their own rows of the main
// area. Window: HMD main area 640 x 480 above two mini windows of 160 x 120
// (640 x 600), so the main area starts 120 rows up.
#include <GL/freeglut.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "display_internal.h"
#include "render.h"
#include "test_display.h"

MORVEX_TEST_NEEDS_DISPLAY();

namespace {

bool ran = false;

void fill_window(unsigned char r, unsigned char g, unsigned char b)
{
    glColor3ub(r, g, b);
    glRecti(-1, -1, gWinXsize + 1, gWinYsize + 1);
}

void frame()
{
    // GLUT may still call the frame function in the round that leaves.
    if (ran) return;
    ran = true;
    const int base = gWinYsize - gYsize;  // bottom row of the main area
    mvgDrawMode2D();
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);

    mvgDraw2dLeft();
    GLint ref = 0, mask = 0;
    glGetIntegerv(GL_STENCIL_REF, &ref);
    glGetIntegerv(GL_STENCIL_VALUE_MASK, &mask);
    EXPECT_TRUE(glIsEnabled(GL_STENCIL_TEST));
    EXPECT_EQ(ref, 1);
    EXPECT_EQ(mask, 1);
    fill_window(255, 0, 0);
    mvgDraw2dRight();
    glGetIntegerv(GL_STENCIL_REF, &ref);
    glGetIntegerv(GL_STENCIL_VALUE_MASK, &mask);
    EXPECT_EQ(ref, 2);
    EXPECT_EQ(mask, 2);
    fill_window(0, 0, 255);

    // Even rows of the main area (from its bottom) are the left eye's,
    // odd rows the right eye's; below the main area neither eye draws.
    morvex_test::Pixels px = morvex_test::readPixels(0, 0, gWinXsize, gWinYsize);
    int wrong = 0;
    for (int y = 0; y < gWinYsize; y++) {
        for (int x = 0; x < gWinXsize; x += 3) {
            const unsigned char *p = px.at(x, y);
            int expect_r = 0, expect_b = 0;
            if (y >= base) ((y - base) % 2 == 0 ? expect_r : expect_b) = 255;
            if (p[0] != expect_r || p[2] != expect_b) wrong++;
        }
    }
    EXPECT_EQ(wrong, 0);

    // Back in plain 2-D mode the whole window is drawn again; an HMD line
    // runs along the main area's bottom row, unzoomed.
    mvgDrawMode2D();
    EXPECT_FALSE(glIsEnabled(GL_STENCIL_TEST));
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3ub(255, 255, 255);
    mvgLineSegHMD(0.0, 0.0, 100.0, 0.0);
    px = morvex_test::readPixels(0, 0, gWinXsize, gWinYsize);
    int lit_row = 0, lit_elsewhere = 0;
    for (int y = 0; y < gWinYsize; y++)
        for (int x = 0; x < gWinXsize; x++)
            if (px.at(x, y)[0] > 128) (y == base ? lit_row : lit_elsewhere)++;
    EXPECT_GE(lit_row, 99);
    EXPECT_LE(lit_row, 101);
    EXPECT_EQ(lit_elsewhere, 0);

    // The 3-D eye views wait for the eye calibrations, which are taken
    // without the main camera's flip.
    GLint vp[4];
    glViewport(1, 2, 3, 4);
    mvgDraw3dRight();
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[2], 3);
    MvCameraParam left = render::pinholeCamera(640, 480, 800.0);
    MvCameraParam right = left;
    right.projection[0][3] = -800.0 * 60.0;  // 60 mm to the side
    mvgLoadHMDparam(&left, &right);
    double expect[16], m[16];
    mvgConvGLcpara(&right, 50.0, 5000.0, expect);
    mvgDraw3dRight();
    glGetIntegerv(GL_VIEWPORT, vp);
    glGetDoublev(GL_PROJECTION_MATRIX, m);
    glGetIntegerv(GL_STENCIL_REF, &ref);
    EXPECT_EQ(vp[0], 0);
    EXPECT_EQ(vp[1], gWinYsize - 480);
    EXPECT_EQ(vp[2], 640);
    EXPECT_EQ(vp[3], 480);
    EXPECT_EQ(ref, 2);
    for (int k = 0; k < 16; k++)
        EXPECT_NEAR(m[k], expect[k], 1e-6 * std::max(1.0, std::fabs(expect[k])));

    glutLeaveMainLoop();
}

TEST(DisplayHmd, StencilRowsSeparateTheEyes)
{
    MvCameraParam cam = render::pinholeCamera(320, 240, 400.0);
    mvgInit(&cam, 1.0, 0, 2, 1, 1);
    ASSERT_EQ(gWinYsize, 600);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
    alarm(30);  // a loop that never calls the frame function fails, not hangs
    mvgMainLoop(nullptr, nullptr, frame);
    EXPECT_TRUE(ran);
}

}  // namespace
