// The window layout and where each window position draws: pure arithmetic,
// shared by the image display, the overlays and the 3-D views.
#include "display_internal.h"

namespace mvdisplay {

Layout make_layout(int im_x, int im_y, double zoom, int cols, int rows, int hmd)
{
    Layout l;
    l.im_x = im_x;
    l.im_y = im_y;
    l.zoom = zoom;
    if (hmd == 0) {
        l.main_x = (int)(im_x * zoom);
        l.main_y = (int)(im_y * zoom);
    } else {
        l.main_x = 640;
        l.main_y = 480;
    }
    l.mini_x = (int)(im_x * zoom * 0.5);
    l.mini_y = (int)(im_y * zoom * 0.5);

    if (cols * rows > 8) {
        if (cols > 8) cols = 8;
        rows = 8 / cols;
    }
    l.cols = cols;
    l.rows = rows;
    l.win_x = (l.mini_x * l.cols > l.main_x) ? l.mini_x * l.cols : l.main_x;
    l.win_y = l.main_y + l.mini_y * l.rows;
    return l;
}

Area window_area(const Layout &l, int xwin, int ywin)
{
    if (ywin == 0 && (xwin == 0 || xwin == 1)) {
        const int w = (int)(l.im_x * l.zoom);
        const int h = (int)(l.im_y * l.zoom);
        return {xwin == 0 ? 0 : l.main_x, l.win_y - h, w, h, l.zoom};
    }
    return {(xwin - 1) * l.mini_x, main_bottom(l) - ywin * l.mini_y, l.mini_x, l.mini_y,
            l.zoom * 0.5};
}

// Smallest power of two >= n, 1 for n <= 1.
static int p2(int n)
{
    int p = 1;
    while (p < n) p *= 2;
    return p;
}

void size_textures(int im_x, int im_y, TextureSizes *t)
{
    // An image wider than 512 is split: 512 columns, then the rest.
    if (im_x > 512) {
        t->full_x1 = 512;
        t->full_x2 = p2(im_x - 512);
    } else {
        t->full_x1 = p2(im_x);
    }
    t->full_y = p2(im_y);
    t->half_x = p2(im_x / 2);
    t->half_y = p2(im_y / 2);
}

}  // namespace mvdisplay
