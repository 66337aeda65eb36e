// Head-mounted-display mode: the first display event lays down the stencil
// rows, and the eye variants then reach only their own rows of the main
// area. Window: HMD main area 640 x 480 above two mini windows of 160 x 120
// (640 x 600), so the main area starts 120 rows up.
#include <GL/freeglut.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "morvex/display.h"
#include "render.h"
#include "test_display.h"

MORVEX_TEST_NEEDS_DISPLAY();

namespace {

bool ran = false;

void frame()
{
    if (ran) return;  // GLUT may still call it in the round that leaves
    ran = true;
    const int base = 120;  // bottom row of the main area
    mvgDrawMode2D();
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    mvgDraw2dLeft();
    glColor3ub(255, 0, 0);
    glRecti(-1, -1, 641, 601);
    mvgDraw2dRight();
    glColor3ub(0, 0, 255);
    glRecti(-1, -1, 641, 601);

    // Even rows of the main area (from its bottom) are the left eye's, odd
    // rows the right eye's; below the main area neither eye draws.
    const morvex_test::Pixels px = morvex_test::readPixels(0, 0, 640, 600);
    int wrong = 0;
    for (int y = 0; y < 600; y++)
        for (int x = 0; x < 640; x += 3) {
            const unsigned char *p = px.at(x, y);
            const bool main = y >= base, left = (y - base) % 2 == 0;
            wrong += p[0] != (main && left ? 255 : 0) || p[2] != (main && !left ? 255 : 0);
        }
    EXPECT_EQ(wrong, 0);

    glutLeaveMainLoop();
}

TEST(DisplayHmd, StencilRowsSeparateTheEyes)
{
    MvCameraParam cam = render::pinholeCamera(320, 240, 400.0);
    mvgInit(&cam, 1.0, 0, 2, 1, 1);
    ASSERT_EQ(glutGet(GLUT_WINDOW_HEIGHT), 600);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
    alarm(30);  // a loop that never calls the frame function fails, not hangs
    mvgMainLoop(nullptr, nullptr, frame);
    EXPECT_TRUE(ran);
}

}  // namespace
