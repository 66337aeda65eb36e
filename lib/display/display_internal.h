// State shared by the display's files: the window layout, the display
// camera and its projections, the video textures, the callbacks. One
// process-wide record, written by mvgInit, mvgMainLoop and mvgLoadHMDparam,
// read by drawing.
#ifndef MORVEX_DISPLAY_INTERNAL_H
#define MORVEX_DISPLAY_INTERNAL_H

#include "morvex/camera.h"
#include "morvex/display.h"

namespace mvdisplay {

// The window, top-down: the main image area at the top-left, the grid of
// mini windows in rows below it. All sizes in window pixels.
struct Layout {
    int im_x = 0, im_y = 0;      // camera image size
    double zoom = 1.0;           // window pixels per image pixel, main area
    int main_x = 0, main_y = 0;  // main image area: the zoomed image, 640 x 480 with an HMD
    int mini_x = 0, mini_y = 0;  // one mini window: the image at half the zoom
    int cols = 0, rows = 0;      // mini-window grid
    int win_x = 0, win_y = 0;    // the window (the screen when full screen)
};

// The layout of a window for im_x x im_y images at `zoom` with a cols x
// rows grid of mini windows (a grid of more than 8 is cut down to 8 columns
// at most and as many rows as fit); hmd nonzero fixes the main area at
// 640 x 480. Sizes are truncated towards zero.
Layout make_layout(int im_x, int im_y, double zoom, int cols, int rows, int hmd);

// Where window position (xwin, ywin) draws, in 2-D coordinates (y up):
// pixels x .. x + w - 1 and y .. y + h - 1, at `scale` window pixels per
// image pixel. (0, 0) is the zoomed image at the window's top-left (in HMD
// mode that need not fill the 640 x 480 main area); (1, 0) the same right
// of the main area; any other position the mini window (xwin, ywin),
// columns from 1 at the left, rows from 1 at the top, not checked against
// the grid. The image's top-left pixel centre lands on the centre of pixel
// (x, top_row()): so do the pixel copy's raster position and the overlays;
// the texture mesh's vertices carry x - 1.0 and sit one pixel further left.
// The scissor and the 3-D viewport are the rectangle itself.
struct Area {
    int x, y, w, h;
    double scale;
    int top_row() const { return y + h - 1; }
};
Area window_area(const Layout &layout, int xwin, int ywin);

// Bottom row of the main area: the HMD eye rows count from here.
inline int main_bottom(const Layout &layout)
{
    return layout.win_y - layout.main_y;
}

// Video texture sizes, powers of two: the full image (its first 512
// columns and the rest when wider than 512) and the half image.
struct TextureSizes {
    int full_x1 = 1, full_x2 = 1, full_y = 1;
    int half_x = 1, half_y = 1;
};
// Sizes the textures for im_x x im_y images; full_x2 keeps its value for
// images of at most 512 columns, which do not use it.
void size_textures(int im_x, int im_y, TextureSizes *sizes);

struct State {
    int glut_ready = 0;          // GLUT may be initialised only once per process
    int hmd = 0;                 // nonzero: the window drives an HMD
    Layout layout;
    MvCameraParam camera = {};   // display camera: the given one, y flipped
    unsigned int textures[3] = {0, 0, 0};  // video: full/left, right, half
    TextureSizes tex;
    MvgMouseFunc mouse = nullptr;
    MvgKeyFunc key = nullptr;
    MvgMainFunc main = nullptr;
    double projection[16] = {};  // main view, column-major
    double left_eye[16] = {}, right_eye[16] = {};
    int eyes_loaded = 0;         // 1 once mvgLoadHMDparam built the eye projections
};
extern State state;

// Flips the display camera's y axis and builds the main projection (called
// by mvgInit right after it copies the camera into state.camera).
void setup_display_camera();
// 0: stencil test off; 1 or 2: draw only where the stencil has that bit.
void set_stencil(int flag);
// Lays down the HMD rows in the stencil buffer (even rows 1, odd rows 2).
void init_stencil();

}  // namespace mvdisplay

#endif
