// State shared by the display's files: the window layout, the display
// camera and its projections, the video textures. Process-wide; written by
// mvgInit and mvgLoadHMDparam, read by drawing.
#ifndef MORVEX_DISPLAY_INTERNAL_H
#define MORVEX_DISPLAY_INTERNAL_H

#include "morvex/camera.h"
#include "morvex/display.h"

extern int gl_hmd_flag;            // nonzero: the window drives an HMD
extern double gZoom;               // window pixels per image pixel, main area
extern int gImXsize, gImYsize;     // camera image size
extern int gXsize, gYsize;         // main image area, window pixels
extern int gMiniXsize, gMiniYsize; // one mini window
extern int gMiniXnum, gMiniYnum;   // mini-window grid below the main area
extern int gWinXsize, gWinYsize;   // the window (the screen when full screen)
extern MvCameraParam gCparam;      // display camera: the given one, y flipped

extern unsigned int glid[3];       // video textures: full/left, right, half
extern int tex1Xsize1, tex1Xsize2, tex1Ysize; // full image texture sizes
extern int tex2Xsize, tex2Ysize;              // half image texture size

extern MvgMouseFunc gMouseFunc;
extern MvgKeyFunc gKeyFunc;
extern MvgMainFunc gMainFunc;

extern double gl_cpara[16];        // main view projection, column-major
extern double gl_lpara[16], gl_rpara[16]; // eye projections
extern int gl_hmd_para_flag;       // 1 once the eye projections exist

// Flips the display camera's y axis and builds gl_cpara (called by mvgInit
// right after it copies the camera into gCparam).
void mvg_setup_display_camera(void);
// 0: stencil test off; 1 or 2: draw only where the stencil has that bit.
void mvgSetStencil(int flag);
// Lays down the HMD rows in the stencil buffer (even rows 1, odd rows 2).
void mvgInitStencil(void);

#endif
