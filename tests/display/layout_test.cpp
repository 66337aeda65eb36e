// The window layout and the area each window position draws into, as mvgInit
// lays them out; pure arithmetic, checked without a window. The read-back
// tests show that drawing follows these areas.
#include <gtest/gtest.h>

#include <vector>

#include "display_internal.h"

namespace {

std::vector<int> rect(const mvdisplay::Layout &l, int xwin, int ywin)
{
    const mvdisplay::Area a = mvdisplay::window_area(l, xwin, ywin);
    return {a.x, a.y, a.w, a.h};
}

TEST(DisplayLayout, SizesAndAreasFollowCameraZoomGridAndHmd)
{
    struct {
        int xsize, ysize;
        double zoom;
        int cols, rows, hmd;
        std::vector<int> sizes;  // main area, mini window, grid, window (x, y each)
        std::vector<int> main, right, mini32;  // x, y, w, h of (0, 0), (1, 0), (3, 2)
    } cases[] = {
        // The viewer's call; (3, 2) lies off the grid and below the window.
        {320, 240, 2.0, 0, 0, 0, {640, 480, 320, 240, 0, 0, 640, 480},
         {0, 0, 640, 480}, {640, 0, 640, 480}, {640, -480, 320, 240}},
        {320, 240, 2.0, 2, 1, 0, {640, 480, 320, 240, 2, 1, 640, 720},
         {0, 240, 640, 480}, {640, 240, 640, 480}, {640, -240, 320, 240}},
        // Three mini windows are wider than the main area.
        {320, 240, 1.0, 3, 1, 0, {320, 240, 160, 120, 3, 1, 480, 360},
         {0, 120, 320, 240}, {320, 120, 320, 240}, {320, -120, 160, 120}},
        // At most 8 mini windows: 3 x 3 -> 3 x 2, 10 x 1 -> 8 x 1; 2 x 4 stays.
        {320, 240, 1.0, 3, 3, 0, {320, 240, 160, 120, 3, 2, 480, 480},
         {0, 240, 320, 240}, {320, 240, 320, 240}, {320, 0, 160, 120}},
        {320, 240, 1.0, 10, 1, 0, {320, 240, 160, 120, 8, 1, 1280, 360},
         {0, 120, 320, 240}, {320, 120, 320, 240}, {320, -120, 160, 120}},
        {320, 240, 1.0, 2, 4, 0, {320, 240, 160, 120, 2, 4, 320, 720},
         {0, 480, 320, 240}, {320, 480, 320, 240}, {320, 240, 160, 120}},
        // HMD: the main area is 640 x 480 whatever the camera and zoom; the
        // image at (0, 0) keeps its own size, and the mini windows follow it.
        {160, 120, 3.0, 1, 1, 1, {640, 480, 240, 180, 1, 1, 640, 660},
         {0, 300, 480, 360}, {640, 300, 480, 360}, {480, -180, 240, 180}},
        // Fractions truncate: 321 x 1.5 = 481.5, half of 240 x 1.5 = 180.
        {321, 240, 1.5, 1, 1, 0, {481, 360, 240, 180, 1, 1, 481, 540},
         {0, 180, 481, 360}, {481, 180, 481, 360}, {480, -180, 240, 180}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.xsize << "x" << c.ysize << " zoom " << c.zoom << " grid "
                                        << c.cols << "x" << c.rows << " hmd " << c.hmd);
        const mvdisplay::Layout l = mvdisplay::make_layout(c.xsize, c.ysize, c.zoom, c.cols, c.rows, c.hmd);
        EXPECT_EQ((std::vector<int>{l.main_x, l.main_y, l.mini_x, l.mini_y, l.cols, l.rows, l.win_x, l.win_y}),
                  c.sizes);
        EXPECT_EQ(rect(l, 0, 0), c.main);
        EXPECT_EQ(rect(l, 1, 0), c.right);
        EXPECT_EQ(rect(l, 3, 2), c.mini32);
        EXPECT_EQ(mvdisplay::window_area(l, 1, 0).scale, c.zoom);
        EXPECT_EQ(mvdisplay::window_area(l, 3, 2).scale, c.zoom / 2);
    }
}

}  // namespace
