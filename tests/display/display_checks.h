// Helpers shared by the display's image tests: test pictures with coloured
// blocks, finding a colour in a read-back window.
#ifndef MORVEX_TESTS_DISPLAY_CHECKS_H
#define MORVEX_TESTS_DISPLAY_CHECKS_H

#include <GL/gl.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

#include "display_internal.h"
#include "test_display.h"

namespace display_checks {

struct Rgb {
    unsigned char r, g, b;
};

// A block of one colour in image pixels, columns x0..x1, rows y0..y1
// (inclusive, rows from the top).
struct Block {
    int x0, y0, x1, y1;
    Rgb colour;
};

// w x h RGBA image (fourth byte 0, never shown): a dark background with
// the blocks painted over it.
inline std::vector<unsigned char> makeImage(int w, int h, const std::vector<Block> &blocks)
{
    std::vector<unsigned char> img((size_t)w * h * 4);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            Rgb c = {30, 60, 90};
            for (const Block &b : blocks)
                if (x >= b.x0 && x <= b.x1 && y >= b.y0 && y <= b.y1) c = b.colour;
            unsigned char *p = &img[4 * ((size_t)y * w + x)];
            p[0] = c.r, p[1] = c.g, p[2] = c.b, p[3] = 0;
        }
    return img;
}

inline bool same(const unsigned char *p, Rgb c)
{
    return std::abs(p[0] - c.r) <= 8 && std::abs(p[1] - c.g) <= 8 && std::abs(p[2] - c.b) <= 8;
}

// Bounding box (window pixels, y upwards) and count of the pixels of colour c.
struct Box {
    int x0 = INT_MAX, y0 = INT_MAX, x1 = INT_MIN, y1 = INT_MIN, count = 0;
};

inline Box findColour(const morvex_test::Pixels &px, Rgb c)
{
    Box b;
    for (int y = px.y0; y < px.y0 + px.height; y++)
        for (int x = px.x0; x < px.x0 + px.width; x++)
            if (same(px.at(x, y), c)) {
                b.count++;
                b.x0 = std::min(b.x0, x), b.x1 = std::max(b.x1, x);
                b.y0 = std::min(b.y0, y), b.y1 = std::max(b.y1, y);
            }
    return b;
}

// Pixels that are not black outside the rectangle x0..x1, y0..y1.
inline int countOutside(const morvex_test::Pixels &px, int x0, int y0, int x1, int y1)
{
    int n = 0;
    for (int y = px.y0; y < px.y0 + px.height; y++)
        for (int x = px.x0; x < px.x0 + px.width; x++) {
            const unsigned char *p = px.at(x, y);
            n += !(x >= x0 && x <= x1 && y >= y0 && y <= y1) && (p[0] | p[1] | p[2]);
        }
    return n;
}

inline void clearWindow()
{
    glDisable(GL_SCISSOR_TEST);
    mvgDrawMode2D();
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
}

}  // namespace display_checks

#endif
