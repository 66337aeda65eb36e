/* morvex/detect.h - thresholding, labelling, square candidates, edge fitting
   and the detection driver with its frame-to-frame history.

   Typical use, once per frame (after mvInitCparam made a camera active and
   mvLoadPatt loaded a pattern):

       MvMarkerInfo *list; int n;
       if (mvDetectMarker(frame, 100, &list, &n) == 0)
           for (int k = 0; k < n; k++)
               if (list[k].id == my_id) ... list[k].vertices ...

   Frames are mvImXsize x mvImYsize pixels of 4 bytes (R, G, B, unused),
   rows top to bottom with no padding. Pixel (x, y) is centred at (x, y).
   Observed coordinates are where the camera saw a point; ideal coordinates
   have the lens distortion of the active camera removed.

   Limits: not thread-safe, not re-entrant; every result lives in static
   storage and stays valid only until the next call of the same stage.
   Capacities: a working image of at most MV_WORK_PIXELS_MAX pixels (any
   number of dark components), 30 candidates, 30 markers, 30 history
   entries, MV_CONTOUR_MAX outline points per candidate. Storage for the
   working image grows with the largest frame seen and is then reused. */
#ifndef MORVEX_DETECT_H
#define MORVEX_DETECT_H

#ifdef __cplusplus
extern "C" {
#endif

#define MV_CONTOUR_MAX 10000   /* outline points per candidate */
/* Working-image pixels (frame pixels, or a quarter of them at half
   resolution): 4096 x 4096. */
#define MV_WORK_PIXELS_MAX 16777216L

/* One label image entry: 0 for bright pixels and the frame border, else a
   provisional label. 32 bits wide, so that a large frame's labels fit (it was
   16 bits when frames were limited to 320000 working pixels; C callers that
   held the label image as unsigned short must use MvLabel). */
typedef unsigned int MvLabel;

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

/* Working resolution: 1 = half (every second frame pixel in x and y),
   anything else = full. Initially 0. Read by labelling, candidate
   extraction and pattern sampling. */
extern int mvImageProcMode;
/* Non-zero: labelling also paints the threshold result into mvImage.
   Initially 0. */
extern int mvDebug;
/* Debug picture of the last labelling with mvDebug set: working-image size,
   4 bytes per pixel, 255 in bytes 0..2 for dark pixels, 0 elsewhere.
   Allocated by labelling on first need (and enlarged when a larger working
   image needs it), never freed; initially NULL. */
extern unsigned char *mvImage;

/* Thresholds the frame (dark: R + G + B <= 3 * thresh) and labels the
   8-connected dark components of the working image. Returns the label
   image (working width x height entries, row-major, 0 = bright or frame
   border, > 0 = provisional label), or NULL when the working image is
   empty or larger than MV_WORK_PIXELS_MAX pixels (MV_ERROR_ARGUMENT), or,
   only on a machine out of memory, when its storage cannot grow
   (MV_ERROR_MEMORY); nothing is printed. On success *labelCount receives the component count;
   when it is > 0, *area (pixel count per component), *pos (centroid x, y
   pairs), *clip (inclusive box: min x, max x, min y, max y per component)
   and *labelTable (component number, 1-based, of provisional label p at
   index p - 1) are set. Working-image units throughout. Every pointer
   handed out points into static storage, valid until the next mvLabeling
   (or detection) call; never free them. */
MvLabel *mvLabeling(const unsigned char *image, int thresh,
                           int *labelCount, int **area, double **pos,
                           int **clip, int **labelTable);

/* The results of the most recent mvLabeling again, without labelling
   (note the order: area, clip, pos). Pointers into the same static storage
   as mvLabeling's. Returns 0. */
int mvGetImgFeature(int *num, int **area, int **clip, double **pos);

/* Keeps the components whose area (frame pixels) lies in areaMin..areaMax,
   whose box stays off the scanned border and whose outline splits into
   four straight sides (corner threshold scaled by factor); drops those
   lying on a larger one. Inputs are mvLabeling's results. *count receives
   the number of candidates (0..30). Returns the candidate table (frame
   coordinates), static storage valid until the next call; never NULL. */
MvMarkerCandidate *mvDetectMarker2(const MvLabel *labelImage,
                                   int labelCount, const int *labelTable,
                                   const int *area, const double *pos,
                                   const int *clip, int areaMax, int areaMin,
                                   double factor, int *count);

/* Traces the outer outline of component `label` (1-based), whose box is
   clip (min x, max x, min y, max y), clockwise from its farthest point and
   closed by a copy of the first point, into candidate->contourCount,
   contourX, contourY (working-image coordinates). Returns 0, or -1 (with a
   message on standard output: "??? 1" or "??? 2", MV_ERROR_ARGUMENT, when
   the inputs do not describe a component of two or more pixels; "??? 3",
   MV_ERROR_CAPACITY, when the outline exceeds MV_CONTOUR_MAX points). */
int mvGetContour(const MvLabel *labelImage, const int *labelTable,
                 int label, const int clip[4], MvMarkerCandidate *candidate);

/* Fits the four sides of each of the *count candidates (in ideal
   coordinates) and identifies its picture with mvGetCode. Candidates whose
   fit fails are dropped; *count receives the number of markers. Returns
   the marker table: static storage, valid until the next call; never
   NULL. */
MvMarkerInfo *mvGetMarkerInfo(const unsigned char *image,
                              const MvMarkerCandidate *candidates,
                              int *count);

/* Fits lines (a x + b y + c = 0, (a, b) a unit normal, ideal coordinates)
   to the four sides between the outline's corner indices and intersects
   neighbouring sides into the corners (vertices[i] = start of side i).
   mvGetLine uses the active camera's distortion, mvGetLine2 the four given
   factors. contourCount is not used. Returns 0, or -1 when a side keeps
   fewer than 2 points or two neighbouring sides are parallel (outputs then
   partly written). */
int mvGetLine(const int *contourX, const int *contourY, int contourCount,
              const int cornerIndices[5], double edgeLines[4][3],
              double vertices[4][2]);
int mvGetLine2(const int *contourX, const int *contourY, int contourCount,
               const int cornerIndices[5], double edgeLines[4][3],
               double vertices[4][2], const double distortion[4]);

/* Detects the markers of one frame, thresh as for mvLabeling (100 is a good
   start). Identities are steadied with the history of the last frames: a
   marker matching a recent one in size and place inherits its identity when
   its own match is weaker, and an identified marker that went missing is
   reported again (as last seen) for up to two frames. *markerInfo receives
   the marker table (static storage, valid until the next detection call;
   never free it) and *markerNum its length. Returns 0, or -1 when
   labelling fails (then *markerNum = 0, *markerInfo untouched, history
   unchanged). */
int mvDetectMarker(const unsigned char *image, int thresh,
                   MvMarkerInfo **markerInfo, int *markerNum);
/* The same without the history: neither reads nor changes it. */
int mvDetectMarkerLite(const unsigned char *image, int thresh,
                       MvMarkerInfo **markerInfo, int *markerNum);

#ifdef __cplusplus
}
#endif

#endif
