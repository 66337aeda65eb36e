// Line overlays in 2-D mode, placed so that points given in ideal image
// coordinates lie on the video whichever way it is drawn. They use the
// caller's colour and line width.
#include "display_internal.h"

#include <GL/gl.h>

void mvgLineSeg(double x1, double y1, double x2, double y2, int xwin, int ywin)
{
    // Pixel copy (mode 0) shows the image as captured, so the end points go
    // through the lens model; the texture-mapped video (any other mode, as in
    // mvgDispImage) is already undistorted.
    if (mvgDrawMode == 0) {
        mvParamIdeal2Observ(gCparam.distortion, x1, y1, &x1, &y1);
        mvParamIdeal2Observ(gCparam.distortion, x2, y2, &x2, &y2);
    }
    x1 *= gZoom;
    y1 *= gZoom;
    x2 *= gZoom;
    y2 *= gZoom;

    glBegin(GL_LINES);
    if (ywin == 0 && (xwin == 0 || xwin == 1)) {
        // The main area, or the same-size area right of it where the image
        // display puts position (1, 0).
        const float left = xwin == 0 ? 0.0f : (float)gXsize;
        const float top = (float)(gWinYsize - 1);
        glVertex2f(left + (float)x1, top - (float)y1);
        glVertex2f(left + (float)x2, top - (float)y2);
    } else {
        const float x0 = (float)((xwin - 1) * gMiniXsize);
        const float y0 = (float)(gWinYsize - gYsize - (ywin - 1) * gMiniYsize - 1);
        glVertex2f(x0 + 0.5f * (float)x1, y0 - 0.5f * (float)y1);
        glVertex2f(x0 + 0.5f * (float)x2, y0 - 0.5f * (float)y2);
    }
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
    const float b = (float)(gWinYsize - gYsize);
    glBegin(GL_LINES);
    glVertex2f((float)x1, b + (float)y1);
    glVertex2f((float)x2, b + (float)y2);
    glEnd();
}
