/*
 * morvex/display.h - the OpenGL/freeglut window: layout, event loop, video
 * background, camera projection for 3-D content, line overlays.
 *
 * A typical viewer:
 *
 *     mvgInit(&cam, 2.0, 0, 0, 0, 0);       // 320 x 240 camera -> 640 x 480 window
 *     mvgMainLoop(NULL, keyEvent, mainLoop); // does not come back
 *
 *     void mainLoop(void) {
 *         mvgDrawMode2D();
 *         mvgDispImage(frame, 0, 0);         // undistorted video background
 *         mvgDrawMode3D();
 *         mvgDraw3dCamera(0, 0);             // camera projection, main view
 *         double m[16];
 *         mvgConvGlpara(trans, m);           // marker -> camera as modelview
 *         glMatrixMode(GL_MODELVIEW); glLoadMatrixd(m);
 *         ... draw in marker millimetres ...
 *         mvgSwapBuffers();
 *     }
 *
 * Limits:
 *   - One window per process: call mvgInit once, before any other operation
 *     here. Every call must come from the thread that called mvgInit.
 *   - The display keeps process-wide state (layout, display camera, texture
 *     names, the video mesh's display lists). The mesh of each window
 *     position is computed once, at its first use, from the zoom, layout and
 *     distortion of that moment, and never rebuilt.
 *   - Window positions (xwin, ywin): (0, 0) is the main image area at the
 *     window's top-left; (1, 0) an area of the same size right of it;
 *     (xwin >= 1, ywin >= 1) the mini windows below the main area, numbered
 *     from 1, left to right and top to bottom.
 *
 * Conventions: image buffers are xsize x ysize pixels of 4 bytes (R, G, B,
 * unused), rows from the top down, no gap between rows; they are read during
 * the call only and stay owned by the caller. 2-D mode is one unit per window
 * pixel, y upwards, (0, 0) the centre of the bottom-left pixel. OpenGL
 * matrices are 16 doubles, column-major. Camera coordinates are millimetres.
 *
 * Library: libmorvex_display (OpenGL 1.x, freeglut); it links libmorvex.
 */
#ifndef MORVEX_DISPLAY_H
#define MORVEX_DISPLAY_H

#include "morvex/camera.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Application callbacks, in GLUT's forms. */
typedef void (*MvgMouseFunc)(int button, int state, int x, int y);
typedef void (*MvgKeyFunc)(unsigned char key, int x, int y);
typedef void (*MvgMainFunc)(void);

/* How mvgDispImage draws: 0 pixel copy (the image as captured, lens
   distortion included); any other value texture mapping on the
   undistortion mesh (default 1). Read at every call. */
extern int mvgDrawMode;
/* Texture mapping of full images: 1 uploads every second row only (half the
   upload, half the vertical resolution); any other value every row
   (default 0). Read at every call. */
extern int mvgTexmapMode;

/* --- Window and event loop ------------------------------------------- */

/* Initialises GLUT (once per process), lays out the window for images of
   cparam's size at `zoom` window pixels per image pixel, with xwin x ywin
   mini windows below the main area (at most 8; a larger grid is cut down),
   builds the display camera and its projection (near 50 mm, far 5000 mm),
   creates the double-buffered RGBA window with depth and stencil, and the
   video textures. fullFlag nonzero: full screen. hmd_flag nonzero: the
   head-mounted-display layout (main area 640 x 480 whatever the camera).
   cparam is copied; the caller keeps it. */
void mvgInit(const MvCameraParam *cparam, double zoom, int fullFlag,
             int xwin, int ywin, int hmd_flag);

/* Stores the callbacks (each may be NULL) and runs GLUT's event loop. At the
   first display event the window is cleared to black (both buffers, and the
   HMD stencil pattern is laid down in HMD mode); only then are keyFunc and
   mouseFunc installed and mainFunc becomes both the display and the idle
   callback. Does not return unless a callback calls freeglut's
   glutLeaveMainLoop with GLUT_ACTION_ON_WINDOW_CLOSE set to
   GLUT_ACTION_GLUTMAINLOOP_RETURNS (the window is gone afterwards). */
void mvgMainLoop(MvgMouseFunc mouseFunc, MvgKeyFunc keyFunc, MvgMainFunc mainFunc);

/* Shows the frame drawn since the last swap. */
void mvgSwapBuffers(void);

/* The display's shut-down step; nothing to release (the window and its
   resources go with the process). */
void mvgCleanup(void);

/* Writes the HMD flag, the mini-window columns and rows and the three
   callbacks given to mvgMainLoop (NULL before it) through the pointers,
   none of which may be NULL. */
void mvgInqSetting(int *hmd, int *xnum, int *ynum, MvgMouseFunc *mouseFunc,
                   MvgKeyFunc *keyFunc, MvgMainFunc *mainFunc);

/* --- Drawing modes and projection ------------------------------------ */

/* 2-D mode over the whole window: one unit per pixel, y upwards, stencil
   test off. Leaves GL_PROJECTION as the current matrix mode. */
void mvgDrawMode2D(void);
/* HMD mode only (otherwise nothing): restrict following drawing to the
   left-eye rows (even rows of the main area from its bottom) or the
   right-eye rows (odd rows). */
void mvgDraw2dLeft(void);
void mvgDraw2dRight(void);
/* 3-D mode: GL_MODELVIEW current and set to the identity. */
void mvgDrawMode3D(void);
/* Viewport of position (xwin, ywin) and the display camera's projection;
   GL_PROJECTION stays current. */
void mvgDraw3dCamera(int xwin, int ywin);
/* HMD with eye calibrations loaded (otherwise nothing): the 640 x 480 main
   viewport, the eye's rows and the eye's projection. */
void mvgDraw3dLeft(void);
void mvgDraw3dRight(void);

/* A 3x4 marker -> camera transform (only read) as an OpenGL modelview
   matrix (written to gl_para, 16 doubles). No axis is flipped. */
void mvgConvGlpara(double para[3][4], double gl_para[16]);
/* The OpenGL projection matrix m (16 doubles) of camera `param` with the
   clipping distances gnear and gfar (millimetres): a point the camera
   matrix puts at image position (u, v) gets normalised device coordinates
   (2u / xsize - 1, 2v / ysize - 1). Returns 0. A camera that cannot be
   decomposed prints "gConvGLcpara: Parameter error!!" and ends the process. */
int mvgConvGLcpara(const MvCameraParam *param, double gnear, double gfar, double m[16]);
/* Eye projections for the HMD (near 50, far 5000, no y flip). Both records
   are read during the call only. */
void mvgLoadHMDparam(const MvCameraParam *lparam, const MvCameraParam *rparam);

/* --- Video image ----------------------------------------------------- */

/* Draws a full image (the camera size given to mvgInit) at a window
   position, in 2-D mode, by pixel copy or texture mapping (mvgDrawMode). */
void mvgDispImage(const unsigned char *image, int xwin, int ywin);
/* The same for a half-size image ((xsize / 2) x (ysize / 2) pixels), shown
   over the same area as a full one. */
void mvgDispHalfImage(const unsigned char *image, int xwin, int ywin);

/* --- Line overlays (2-D mode; current colour and line width) ----------- */

/* The outline of a marker: vertex[4][2] in ideal image pixels, corner 0 to
   1, 1 to 2, 2 to 3, 3 to 0; only read. Drawn as four mvgLineSeg. */
void mvgDrawSquare(double vertex[4][2], int xwin, int ywin);
/* One straight segment between two points in ideal image pixels. With
   mvgDrawMode 0 (pixel copy of the distorted image) the two end points are
   taken through the lens distortion of the mvgInit camera, so the segment
   lands on the video either way; it is not bent between them. */
void mvgLineSeg(double x1, double y1, double x2, double y2, int xwin, int ywin);
/* One segment in HMD screen pixels: from the bottom-left of the main area,
   y upwards; no zoom, no distortion. */
void mvgLineSegHMD(double x1, double y1, double x2, double y2);

#ifdef __cplusplus
}
#endif

#endif
