// test_display.h - an X display for tests that open windows.
//
//     #include "test_display.h"
//     MORVEX_TEST_NEEDS_DISPLAY();   // once per test program, at file scope
//
// or call morvex_test::ensureDisplay() before the first window / child
// process. Link `morvex_test_display` (CMake target in tests/support).
//
// When DISPLAY is set it is used as it is. Otherwise a private Xvfb
// (2560 x 1600 x 24, room for an HD frame at zoom 2; no TCP) is started; it picks a free display number
// itself (-displayfd), so test programs running in parallel never share or
// collide. DISPLAY is then set for this process and inherited by every child
// it starts. The server is ended and waited for when this process exits,
// and gets SIGTERM when the thread that started it ends however it ends
// (so call this from the main thread, as a GoogleTest environment does).
#ifndef MORVEX_TEST_DISPLAY_H
#define MORVEX_TEST_DISPLAY_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace morvex_test {

// Makes sure DISPLAY names a usable X server. Idempotent. Returns false
// with the reason in *error when no display could be had.
bool ensureDisplay(std::string *error = nullptr);

// A GoogleTest environment whose SetUp calls ensureDisplay and aborts the
// program with the reason when it fails.
class DisplayEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
};

// A block of the current GL framebuffer, as glReadPixels gives it: RGBA,
// rows from the bottom up, (x, y) in window pixels with y upwards.
struct Pixels {
    int x0 = 0, y0 = 0, width = 0, height = 0;
    std::vector<unsigned char> rgba;
    const unsigned char *at(int x, int y) const
    {
        return &rgba[4 * ((size_t)(y - y0) * width + (x - x0))];
    }
};

// Reads window pixels x0..x0+w-1, y0..y0+h-1 of `buffer` (GL_BACK or
// GL_FRONT as a GLenum value) after glFinish.
Pixels readPixels(int x0, int y0, int w, int h, unsigned buffer = 0x0405 /* GL_BACK */);

// Lets freeglut handle the current window's pending events (map, expose)
// so that its framebuffer exists at its full size before drawing. Installs
// an empty display callback (mvgMainLoop replaces it with its own).
void settleWindow();

}  // namespace morvex_test

#define MORVEX_TEST_NEEDS_DISPLAY()                                               \
    static ::testing::Environment *const morvex_test_display_environment_ =      \
        ::testing::AddGlobalTestEnvironment(new ::morvex_test::DisplayEnvironment)

#endif
