// The event loop: the first display event clears both buffers before the
// application's frame function takes over as display and idle callback;
// without a frame function the loop keeps running. CTest runs each test
// in a process of its own (one window, one loop each).
#include <GL/freeglut.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "morvex/display.h"
#include "render.h"
#include "test_display.h"

MORVEX_TEST_NEEDS_DISPLAY();

namespace {

int frames = 0;
int back_nonblack = -1, front_nonblack = -1;
MvgMainFunc seen_main = nullptr;
MvgKeyFunc seen_key = nullptr;

void onKey(unsigned char, int, int) {}

int count_nonblack(unsigned buffer)
{
    const morvex_test::Pixels px = morvex_test::readPixels(0, 0, 640, 480, buffer);
    int n = 0;
    for (size_t i = 0; i < px.rgba.size(); i += 4) n += (px.rgba[i] | px.rgba[i + 1] | px.rgba[i + 2]) != 0;
    return n;
}

// Draws a white square each frame; on the first one checks the buffers the
// first-display step left, and leaves the loop after the fifth frame (only
// the idle callback can bring it that far without redisplay events).
void frame()
{
    if (frames == 5) return;  // GLUT may still call it in the round that leaves
    if (++frames == 1) {
        back_nonblack = count_nonblack(GL_BACK);
        front_nonblack = count_nonblack(GL_FRONT);
        int hmd, nx, ny;
        MvgMouseFunc m;
        mvgInqSetting(&hmd, &nx, &ny, &m, &seen_key, &seen_main);
    }
    mvgDrawMode2D();
    glColor3ub(255, 255, 255);
    glRecti(10, 10, 20, 20);
    mvgSwapBuffers();
    if (frames == 5) glutLeaveMainLoop();
}

TEST(DisplayLoop, FirstDisplayClearsBothBuffersThenFrameFunctionRunsWhenIdle)
{
    MvCameraParam cam = render::pinholeCamera(320, 240, 400.0);
    mvgInit(&cam, 2.0, 0, 0, 0, 0);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
    // Both buffers hold white before the loop starts, so only the
    // first-display step can make them black.
    morvex_test::settleWindow();
    mvgDrawMode2D();
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    mvgSwapBuffers();
    glClear(GL_COLOR_BUFFER_BIT);
    ASSERT_GT(count_nonblack(GL_BACK), 0);
    // settleWindow consumed the window's first expose; ask for the display
    // event that the loop's first round would otherwise get from mapping.
    glutPostRedisplay();

    alarm(30);  // a loop that never calls the frame function fails, not hangs
    mvgMainLoop(nullptr, onKey, frame);
    EXPECT_EQ(frames, 5);
    EXPECT_EQ(back_nonblack, 0);
    EXPECT_EQ(front_nonblack, 0);
    EXPECT_EQ(seen_main, &frame);
    EXPECT_EQ(seen_key, &onKey);
}

// Without a frame function the window stays as the first display event left
// it, and the loop runs on (here until a timer leaves it) instead of GLUT
// ending the process over a null callback.
TEST(DisplayLoop, RunsWithoutFrameFunction)
{
    MvCameraParam cam = render::pinholeCamera(320, 240, 400.0);
    mvgInit(&cam, 1.0, 0, 0, 0, 0);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
    static bool left_loop = false;
    glutTimerFunc(300, [](int) { left_loop = true, glutLeaveMainLoop(); }, 0);
    alarm(30);
    mvgMainLoop(nullptr, nullptr, nullptr);
    EXPECT_TRUE(left_loop);
}

}  // namespace
