// 2-D and 3-D drawing modes, the camera projection for OpenGL, transforms as
// modelview matrices, and the HMD stencil rows.
#include "display_internal.h"
#include "message.h"

#include <GL/gl.h>
#include <cstdio>
#include <cstdlib>

using mvdisplay::state;

static int mvgConvGLcpara2(const double cparam[3][4], int width, int height,
                           double gnear, double gfar, double m[16])
{
    double source[3][4], icpara[3][4], trans[3][4], p[3][3], q[4][4];

    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 4; j++) source[i][j] = cparam[i][j];
    // The decomposition never fails today; should it ever, the process ends
    // with a failure status rather than drawing with an unusable projection.
    if (mvParamDecompMat(source, icpara, trans) < 0)
        mvcore::fatal(MV_ERROR_ARGUMENT, stdout, "gConvGLcpara: Parameter error!!\n");

    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) p[i][j] = icpara[i][j] / icpara[2][2];

    q[0][0] = 2.0 * p[0][0] / width;
    q[0][1] = 2.0 * p[0][1] / width;
    q[0][2] = 2.0 * p[0][2] / width - 1.0;
    q[0][3] = 0.0;

    q[1][0] = 0.0;
    q[1][1] = 2.0 * p[1][1] / height;
    q[1][2] = 2.0 * p[1][2] / height - 1.0;
    q[1][3] = 0.0;

    q[2][0] = 0.0;
    q[2][1] = 0.0;
    q[2][2] = (gfar + gnear) / (gfar - gnear);
    q[2][3] = gfar * -2.0 * gnear / (gfar - gnear);

    q[3][0] = 0.0;
    q[3][1] = 0.0;
    q[3][2] = 1.0;
    q[3][3] = 0.0;

    for (int i = 0; i < 4; i++) {
        for (int j = 0; j < 3; j++)
            m[4 * j + i] = q[i][0] * trans[0][j] + q[i][1] * trans[1][j] + q[i][2] * trans[2][j];
        m[12 + i] = q[i][0] * trans[0][3] + q[i][1] * trans[1][3] + q[i][2] * trans[2][3] + q[i][3];
    }
    return 0;
}

int mvgConvGLcpara(const MvCameraParam *param, double gnear, double gfar, double m[16])
{
    return mvgConvGLcpara2(param->projection, param->xsize, param->ysize, gnear, gfar, m);
}

void mvdisplay::setup_display_camera()
{
    // Row v of the camera image goes to row (ysize - 1) - v: the image's top
    // row ends up at the top of the viewport, whose y runs upwards.
    MvCameraParam &cam = state.camera;
    for (int j = 0; j < 4; j++)
        cam.projection[1][j] = (cam.ysize - 1) * cam.projection[2][j] - cam.projection[1][j];
    mvgConvGLcpara(&cam, 50.0, 5000.0, state.projection);
}

void mvgLoadHMDparam(const MvCameraParam *lparam, const MvCameraParam *rparam)
{
    mvgConvGLcpara(lparam, 50.0, 5000.0, state.left_eye);
    mvgConvGLcpara(rparam, 50.0, 5000.0, state.right_eye);
    state.eyes_loaded = 1;
}

void mvgConvGlpara(double para[3][4], double gl_para[16])
{
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 4; j++) gl_para[4 * j + i] = para[i][j];
    gl_para[3] = gl_para[7] = gl_para[11] = 0.0;
    gl_para[15] = 1.0;
}

void mvdisplay::set_stencil(int flag)
{
    if (flag == 0) {
        glDisable(GL_STENCIL_TEST);
        glStencilFunc(GL_ALWAYS, 0, 0);
    } else {
        glEnable(GL_STENCIL_TEST);
        glStencilFunc(GL_EQUAL, flag, flag);
    }
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
}

void mvgDrawMode2D(void)
{
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const mvdisplay::Layout &l = state.layout;
    glOrtho(-0.5, l.win_x - 0.5, -0.5, l.win_y - 0.5, -1.0, 1.0);
    glViewport(0, 0, l.win_x, l.win_y);
    mvdisplay::set_stencil(0);
}

void mvgDraw2dLeft(void)
{
    if (state.hmd) mvdisplay::set_stencil(1);
}

void mvgDraw2dRight(void)
{
    if (state.hmd) mvdisplay::set_stencil(2);
}

void mvgDrawMode3D(void)
{
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void mvgDraw3dCamera(int xwin, int ywin)
{
    const mvdisplay::Area a = mvdisplay::window_area(state.layout, xwin, ywin);
    glViewport(a.x, a.y, a.w, a.h);
    mvdisplay::set_stencil(0);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixd(state.projection);
}

static void draw_3d_eye(int flag, const double *para)
{
    if (state.hmd == 0 || state.eyes_loaded == 0) return;
    // With an HMD the main area is 640 x 480.
    glViewport(0, mvdisplay::main_bottom(state.layout), 640, 480);
    mvdisplay::set_stencil(flag);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixd(para);
}

void mvgDraw3dLeft(void)
{
    draw_3d_eye(1, state.left_eye);
}

void mvgDraw3dRight(void)
{
    draw_3d_eye(2, state.right_eye);
}

// Left-eye rows (even, from the main area's bottom) get stencil 1, the
// right-eye rows 2. One-pixel lines along pixel centres cover each row
// exactly once.
void mvdisplay::init_stencil()
{
    glEnable(GL_STENCIL_TEST);
    glClearStencil(0);
    glClear(GL_STENCIL_BUFFER_BIT);
    glLineWidth(1.0f);

    const mvdisplay::Layout &l = state.layout;
    const int b = mvdisplay::main_bottom(l);

    glStencilFunc(GL_ALWAYS, 1, 1);
    glStencilOp(GL_REPLACE, GL_REPLACE, GL_REPLACE);
    glBegin(GL_LINES);
    for (int r = 0; r < l.main_y; r += 2) {
        glVertex2f(0.0f, (float)(b + r));
        glVertex2f((float)l.win_x, (float)(b + r));
    }
    glEnd();

    glStencilFunc(GL_ALWAYS, 2, 2);
    glStencilOp(GL_REPLACE, GL_REPLACE, GL_REPLACE);
    glBegin(GL_LINES);
    for (int r = 1; r < l.main_y; r += 2) {
        glVertex2f(0.0f, (float)(b + r));
        glVertex2f((float)l.win_x, (float)(b + r));
    }
    glEnd();

    glStencilFunc(GL_ALWAYS, 0, 0);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    glDisable(GL_STENCIL_TEST);
}
