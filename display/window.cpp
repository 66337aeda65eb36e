// The window: layout from the camera size, zoom and mini-window grid,
// creation with the video textures, and the event loop with its
// first-display step.
#include "display_internal.h"

#include <GL/glut.h>

#include "morvex/numerics.h"

int mvgDrawMode = 1;
int mvgTexmapMode = 0;

int gl_hmd_flag = 0;
double gZoom = 1.0;
int gImXsize = 0, gImYsize = 0;
int gXsize = 0, gYsize = 0;
int gMiniXsize = 0, gMiniYsize = 0;
int gMiniXnum = 0, gMiniYnum = 0;
int gWinXsize = 0, gWinYsize = 0;
MvCameraParam gCparam;

unsigned int glid[3];
int tex1Xsize1 = 1, tex1Xsize2 = 1, tex1Ysize = 1;
int tex2Xsize = 1, tex2Ysize = 1;

MvgMouseFunc gMouseFunc = nullptr;
MvgKeyFunc gKeyFunc = nullptr;
MvgMainFunc gMainFunc = nullptr;

static int initF = 0;  // GLUT may be initialised only once per process
static int win = 0;

// Smallest power of two >= n, 1 for n <= 1.
static int p2(int n)
{
    int p = 1;
    while (p < n) p *= 2;
    return p;
}

static void mvgInit2(int fullFlag)
{
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_ALPHA | GLUT_DEPTH | GLUT_STENCIL);
    glutInitWindowPosition(0, 0);
    glutInitWindowSize(gWinXsize, gWinYsize);
    win = glutCreateWindow("");
    if (fullFlag) {
        glutFullScreen();
        gWinXsize = glutGet(GLUT_SCREEN_WIDTH);
        gWinYsize = glutGet(GLUT_SCREEN_HEIGHT);
    }
    gMouseFunc = nullptr;
    gKeyFunc = nullptr;
    gMainFunc = nullptr;

    glGenTextures(3, glid);
    for (unsigned int name : glid) {
        glBindTexture(GL_TEXTURE_2D, name);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    }
    glBindTexture(GL_TEXTURE_2D, 0);

    // An image wider than 512 is split: 512 columns, then the rest.
    if (gImXsize > 512) {
        tex1Xsize1 = 512;
        tex1Xsize2 = p2(gImXsize - 512);
    } else {
        tex1Xsize1 = p2(gImXsize);
    }
    tex1Ysize = p2(gImYsize);
    tex2Xsize = p2(gImXsize / 2);
    tex2Ysize = p2(gImYsize / 2);
}

void mvgInit(const MvCameraParam *cparam, double zoom, int fullFlag,
             int xwin, int ywin, int hmd_flag)
{
    if (initF == 0) {
        static char name[] = "Morvex for MacOSX";
        static char *argv[] = {name, nullptr};
        int argc = 1;
        glutInit(&argc, argv);
        initF = 1;
    }

    gl_hmd_flag = hmd_flag;
    gZoom = zoom;
    gImXsize = cparam->xsize;
    gImYsize = cparam->ysize;
    if (hmd_flag == 0) {
        gXsize = (int)(cparam->xsize * zoom);
        gYsize = (int)(cparam->ysize * zoom);
    } else {
        gXsize = 640;
        gYsize = 480;
    }
    gMiniXsize = (int)(cparam->xsize * gZoom * 0.5);
    gMiniYsize = (int)(cparam->ysize * gZoom * 0.5);

    if (xwin * ywin > 8) {
        if (xwin > 8) xwin = 8;
        ywin = 8 / xwin;
    }
    gMiniXnum = xwin;
    gMiniYnum = ywin;
    gWinXsize = (gMiniXsize * gMiniXnum > gXsize) ? gMiniXsize * gMiniXnum : gXsize;
    gWinYsize = gYsize + gMiniYsize * gMiniYnum;

    gCparam = *cparam;
    mvg_setup_display_camera();

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

    if (gl_hmd_flag) {
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        mvgInitStencil();
        mvgSwapBuffers();
    }

    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    mvgSwapBuffers();
    glClear(GL_COLOR_BUFFER_BIT);
    mvgSwapBuffers();

    glutKeyboardFunc(gKeyFunc);
    glutMouseFunc(gMouseFunc);
    // GLUT refuses a null display callback (it ends the process), so a
    // window without a frame function gets one that leaves it as it is.
    glutDisplayFunc(gMainFunc ? gMainFunc : no_frame);
    glutIdleFunc(gMainFunc);
}

void mvgMainLoop(MvgMouseFunc mouseFunc, MvgKeyFunc keyFunc, MvgMainFunc mainFunc)
{
    gMouseFunc = mouseFunc;
    gKeyFunc = keyFunc;
    gMainFunc = mainFunc;
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
    *hmd = gl_hmd_flag;
    *xnum = gMiniXnum;
    *ynum = gMiniYnum;
    *mouseFunc = gMouseFunc;
    *keyFunc = gKeyFunc;
    *mainFunc = gMainFunc;
}
