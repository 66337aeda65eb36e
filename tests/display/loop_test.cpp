// The event loop: the first display event clears both buffers and lays down
// the HMD eye rows before the application's frame function takes over as
// display and idle callback; without a frame function the loop keeps
// running. CTest runs each test in a process of its own (one window, one
// loop each).
#include <GL/freeglut.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "morvex/display.h"
#include "render.h"
#include "test_display.h"

MORVEX_TEST_NEEDS_DISPLAY();

namespace {

int frames = 0;
int back_nonblack = -1, front_nonblack = -1, wrong_eye_pixels = -1;
MvgMainFunc seen_main = nullptr;
MvgKeyFunc seen_key = nullptr;

void onKey(unsigned char, int, int) {}

// Window: HMD main area 640 x 480 above two mini windows of 160 x 120
// (640 x 600), so the main area starts 120 rows up.
int count_nonblack(unsigned buffer)
{
    const morvex_test::Pixels px = morvex_test::readPixels(0, 0, 640, 600, buffer);
    int n = 0;
    for (size_t i = 0; i < px.rgba.size(); i += 4) n += (px.rgba[i] | px.rgba[i + 1] | px.rgba[i + 2]) != 0;
    return n;
}

// The left eye paints the whole window red, the right eye blue: even rows
// of the main area (from its bottom) must be red only, odd rows blue only,
// and below the main area neither eye draws.
int count_wrong_eye_pixels()
{
    mvgDrawMode2D();
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    mvgDraw2dLeft();
    glColor3ub(255, 0, 0);
    glRecti(-1, -1, 641, 601);
    mvgDraw2dRight();
    glColor3ub(0, 0, 255);
    glRecti(-1, -1, 641, 601);
    const morvex_test::Pixels px = morvex_test::readPixels(0, 0, 640, 600);
    int wrong = 0;
    for (int y = 0; y < 600; y++)
        for (int x = 0; x < 640; x += 3) {
            const unsigned char *p = px.at(x, y);
            const bool main = y >= 120, left = (y - 120) % 2 == 0;
            wrong += p[0] != (main && left ? 255 : 0) || p[2] != (main && !left ? 255 : 0);
        }
    return wrong;
}

// On the first frame checks what the first-display step left; leaves the
// loop after the fifth (only the idle callback can bring it that far
// without redisplay events).
void frame()
{
    if (frames == 5) return;  // GLUT may still call it in the round that leaves
    if (++frames == 1) {
        back_nonblack = count_nonblack(GL_BACK);
        front_nonblack = count_nonblack(GL_FRONT);
        int hmd, nx, ny;
        MvgMouseFunc m;
        mvgInqSetting(&hmd, &nx, &ny, &m, &seen_key, &seen_main);
        wrong_eye_pixels = count_wrong_eye_pixels();
    }
    if (frames == 5) glutLeaveMainLoop();
}

TEST(DisplayLoop, FirstDisplayClearsBuffersAndLaysEyeRowsThenFrameFunctionRunsWhenIdle)
{
    MvCameraParam cam = render::pinholeCamera(320, 240, 400.0);
    mvgInit(&cam, 1.0, 0, 2, 1, 1);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
    // Both buffers hold white before the loop starts, so only the
    // first-display step can make them black.
    morvex_test::settleWindow();
    ASSERT_EQ(glutGet(GLUT_WINDOW_HEIGHT), 600);
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
    EXPECT_EQ(wrong_eye_pixels, 0);
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
