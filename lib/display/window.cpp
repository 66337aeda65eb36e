// The window: layout from the camera size, zoom and mini-window grid,
// creation with the video textures, and the event loop with its
// first-display step.
#include "display_internal.h"

#include <GL/glut.h>

#include "morvex/numerics.h"

int mvgDrawMode = 1;
int mvgTexmapMode = 0;

namespace mvdisplay {
State state;
}

using mvdisplay::state;

static void mvgInit2(int fullFlag)
{
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_ALPHA | GLUT_DEPTH | GLUT_STENCIL);
    glutInitWindowPosition(0, 0);
    glutInitWindowSize(state.layout.win_x, state.layout.win_y);
    glutCreateWindow("");
    if (fullFlag) {
        glutFullScreen();
        state.layout.win_x = glutGet(GLUT_SCREEN_WIDTH);
        state.layout.win_y = glutGet(GLUT_SCREEN_HEIGHT);
    }
    state.mouse = nullptr;
    state.key = nullptr;
    state.main = nullptr;

    glGenTextures(3, state.textures);
    for (unsigned int name : state.textures) {
        glBindTexture(GL_TEXTURE_2D, name);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    mvdisplay::size_textures(state.layout.im_x, state.layout.im_y, &state.tex);
}

void mvgInit(const MvCameraParam *cparam, double zoom, int fullFlag,
             int xwin, int ywin, int hmd_flag)
{
    if (state.glut_ready == 0) {
        static char name[] = "Morvex for MacOSX";
        static char *argv[] = {name, nullptr};
        int argc = 1;
        glutInit(&argc, argv);
        state.glut_ready = 1;
    }

    state.hmd = hmd_flag;
    state.layout = mvdisplay::make_layout(cparam->xsize, cparam->ysize, zoom, xwin, ywin, hmd_flag);

    state.camera = *cparam;
    mvdisplay::setup_display_camera();

    mvgInit2(fullFlag);
}

static void no_frame(void)
{
}

// The window's first display event: start from black buffers (and the HMD
// rows in the stencil), then hand the window over to the application.
static void mvgInitLoop(void)
{
    mvUtilSleep(500);
    mvgDrawMode2D();

    if (state.hmd) {
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        mvdisplay::init_stencil();
        mvgSwapBuffers();
    }

    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    mvgSwapBuffers();
    glClear(GL_COLOR_BUFFER_BIT);
    mvgSwapBuffers();

    glutKeyboardFunc(state.key);
    glutMouseFunc(state.mouse);
    // GLUT refuses a null display callback (it ends the process), so a
    // window without a frame function gets one that leaves it as it is.
    glutDisplayFunc(state.main ? state.main : no_frame);
    glutIdleFunc(state.main);
}

void mvgMainLoop(MvgMouseFunc mouseFunc, MvgKeyFunc keyFunc, MvgMainFunc mainFunc)
{
    state.mouse = mouseFunc;
    state.key = keyFunc;
    state.main = mainFunc;
    glutDisplayFunc(mvgInitLoop);
    glutMainLoop();
}

void mvgSwapBuffers(void)
{
    glutSwapBuffers();
}

void mvgCleanup(void)
{
}

void mvgInqSetting(int *hmd, int *xnum, int *ynum, MvgMouseFunc *mouseFunc,
                   MvgKeyFunc *keyFunc, MvgMainFunc *mainFunc)
{
    *hmd = state.hmd;
    *xnum = state.layout.cols;
    *ynum = state.layout.rows;
    *mouseFunc = state.mouse;
    *keyFunc = state.key;
    *mainFunc = state.main;
}
