// frame_util.h - small synthetic frames for the detection tests.
#ifndef MORVEX_TESTS_DETECT_FRAME_UTIL_H
#define MORVEX_TESTS_DETECT_FRAME_UTIL_H

#include <cstdint>
#include <vector>

#include "morvex/camera.h"

// A frame of 4-byte pixels, bright (200, 200, 200) everywhere at first.
struct TestFrame {
    int w, h;
    std::vector<uint8_t> px;
    TestFrame(int width, int height) : w(width), h(height), px((size_t)width * height * 4, 200) {}
    void set(int x, int y, uint8_t r, uint8_t g, uint8_t b)
    {
        uint8_t *p = &px[((size_t)y * w + x) * 4];
        p[0] = r; p[1] = g; p[2] = b;
    }
    void dark(int x, int y) { set(x, y, 0, 0, 0); }
    // Rectangle x0..x1, y0..y1 inclusive, dark or back to bright.
    void rect(int x0, int x1, int y0, int y1, uint8_t v = 0)
    {
        for (int y = y0; y <= y1; y++)
            for (int x = x0; x <= x1; x++) set(x, y, v, v, v);
    }
    const unsigned char *data() const { return px.data(); }
};

// Makes a distortion-free camera of the given size active.
inline void useCamera(int w, int h)
{
    MvCameraParam c{};
    c.xsize = w;
    c.ysize = h;
    c.projection[0][0] = c.projection[1][1] = 500.0;
    c.projection[0][2] = c.distortion[0] = w / 2.0;
    c.projection[1][2] = c.distortion[1] = h / 2.0;
    c.projection[2][2] = c.distortion[3] = 1.0;
    mvInitCparam(&c);
}

#endif
