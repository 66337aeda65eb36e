/* morvex/detect.h - thresholding, labelling, square candidates, edge fitting
   and the detection driver with its frame-to-frame history. */
#ifndef MORVEX_DETECT_H
#define MORVEX_DETECT_H

#ifdef __cplusplus
extern "C" {
#endif

#define MV_CONTOUR_MAX 10000   /* outline points per candidate */

/* One square candidate: a dark component whose outline splits into four
   straight sides. Frame (observed) pixel coordinates. */
typedef struct {
    int area;
    double center[2];
    int contourCount;                 /* outline points, closing point included */
    int contourX[MV_CONTOUR_MAX];
    int contourY[MV_CONTOUR_MAX];
    int cornerIndices[5];             /* [0] = 0, [4] = contourCount - 1 */
} MvMarkerCandidate;

/* One detected marker. Edge lines and vertices are in ideal coordinates. */
typedef struct {
    int area;               /* border component's pixel count (frame pixels) */
    int id;                 /* pattern slot, or -1 */
    int direction;          /* 0..3: which rotation of the pattern matched, or -1 */
    double confidence;      /* normalised correlation, at most 1.0 */
    double center[2];       /* centroid, observed frame pixels */
    double edgeLines[4][3]; /* a x + b y + c = 0 with (a, b) a unit normal */
    double vertices[4][2];  /* corner i is where side i begins */
} MvMarkerInfo;

#ifdef __cplusplus
}
#endif

#endif
