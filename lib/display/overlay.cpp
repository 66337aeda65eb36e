// Line overlays in 2-D mode, placed so that points given in ideal image
// coordinates lie on the video whichever way it is drawn. They use the
// caller's colour and line width.
#include "display_internal.h"

#include <GL/gl.h>

using mvdisplay::state;

void mvgLineSeg(double x1, double y1, double x2, double y2, int xwin, int ywin)
{
    // Pixel copy (mode 0) shows the image as captured, so the end points go
    // through the lens model; the texture-mapped video (any other mode, as in
    // mvgDispImage) is already undistorted.
    if (mvgDrawMode == 0) {
        mvParamIdeal2Observ(state.camera.distortion, x1, y1, &x1, &y1);
        mvParamIdeal2Observ(state.camera.distortion, x2, y2, &x2, &y2);
    }
    const mvdisplay::Area a = mvdisplay::window_area(state.layout, xwin, ywin);
    const float left = (float)a.x, top = (float)a.top_row();
    glBegin(GL_LINES);
    glVertex2f(left + (float)(x1 * a.scale), top - (float)(y1 * a.scale));
    glVertex2f(left + (float)(x2 * a.scale), top - (float)(y2 * a.scale));
    glEnd();
    glFlush();
}

void mvgDrawSquare(double vertex[4][2], int xwin, int ywin)
{
    for (int i = 0; i < 4; i++) {
        const int k = (i + 1) % 4;
        mvgLineSeg(vertex[i][0], vertex[i][1], vertex[k][0], vertex[k][1], xwin, ywin);
    }
}

void mvgLineSegHMD(double x1, double y1, double x2, double y2)
{
    const float b = (float)mvdisplay::main_bottom(state.layout);
    glBegin(GL_LINES);
    glVertex2f((float)x1, b + (float)y1);
    glVertex2f((float)x2, b + (float)y2);
    glEnd();
}
