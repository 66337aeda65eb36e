// The event loop without a frame function: the window stays as the first
// display event left it, and the loop keeps running (here until a timer
// leaves it) instead of GLUT ending the process over a null callback.
#include <GL/freeglut.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "display_internal.h"
#include "render.h"
#include "test_display.h"

MORVEX_TEST_NEEDS_DISPLAY();

namespace {

bool left_loop = false;

void leave(int)
{
    left_loop = true;
    glutLeaveMainLoop();
}

TEST(DisplayLoopIdle, RunsWithoutFrameFunction)
{
    MvCameraParam cam = render::pinholeCamera(320, 240, 400.0);
    mvgInit(&cam, 1.0, 0, 0, 0, 0);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
    glutTimerFunc(300, leave, 0);
    alarm(30);
    mvgMainLoop(nullptr, nullptr, nullptr);
    EXPECT_TRUE(left_loop);
}

}  // namespace
