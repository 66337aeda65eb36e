/* morvex/autothresh.h - an optional threshold that follows the scene's
   exposure from frame to frame.

       MvAutoThresh at;
       mvAutoThreshInit(&at, 100);
       per frame:
           MvMarkerInfo *list; int n;
           if (mvDetectMarker(frame, at.thresh, &list, &n) < 0) n = 0;
           ... use list ...
           mvAutoThreshUpdate(&at, frame, list, n);   // the next frame's

   While a marker is identified, the next threshold lies halfway between the
   levels the frame shows on the identified markers' borders and just
   outside them; should that lose the markers, the threshold that found
   them comes back and stays for 15 frames (small, blurred or steeply tilted
   markers come out at some levels and not at others). When no marker is
   identified, the threshold comes from the frame itself (the split that
   best separates dark from bright on a sparse grid of pixels, then that of
   its dark side, then that of its bright side), then from a sweep of other
   levels on further frames, until a marker turns up.
   mvDetectMarker itself is untouched: for a given threshold its results
   are the same with or without this. Levels are (R + G + B) / 3, matching
   the detector's test R + G + B <= 3 * thresh.

   No storage is allocated and nothing is kept outside the caller's record.
   Calls on different records may run concurrently, as long as nothing
   changes the active camera (mvInitCparam) meanwhile. */
#ifndef MORVEX_AUTOTHRESH_H
#define MORVEX_AUTOTHRESH_H

#include "morvex/detect.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The caller's state, one per video stream: a plain record the caller owns
   (automatic or static storage; nothing to free). Read `thresh`; change the
   record only through these functions. Separate records are independent. */
typedef struct {
    int thresh;  /* threshold for the next frame, 1..254 */
    int lost;    /* frames in a row without an identified marker */
    int good;    /* the last threshold that identified a marker, or -1 */
    int hold;    /* frames left to stay at `good` (see above) */
    int sweep;   /* how far the search for a lost marker has got */
} MvAutoThresh;

/* Starts a stream at `thresh` (clamped to 1..254): fills the caller's
   record *at. Returns 0. */
int mvAutoThreshInit(MvAutoThresh *at, int thresh);

/* Chooses the threshold for the frame after `image`, from `image` (a frame
   of the active camera's size, mvImXsize x mvImYsize x 4 bytes, as given to
   mvDetectMarker) and the markers detected in it (markerNum >= 0 records,
   ideal coordinates; markers with id < 0 are ignored; NULL when markerNum is
   0). The image `thresh` was detected with must be at->thresh, as chosen
   by the previous call. The vertices are mapped to the frame through the
   active camera's distortion (mvParam). The image and markers are read
   only and not kept; only *at changes. Returns the new at->thresh. */
int mvAutoThreshUpdate(MvAutoThresh *at, const unsigned char *image,
                       const MvMarkerInfo *markers, int markerNum);

#ifdef __cplusplus
}
#endif

#endif
