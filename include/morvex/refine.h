/* morvex/refine.h - sub-pixel corners and identification from them, for
   markers that detection has already found. Both are opt-in: detection and
   pose give the same results whether or not these are called.

   Typical use, once per frame after detection on the same frame:

       MvMarkerInfo *list; int n;
       if (mvDetectMarker(frame, 100, &list, &n) == 0)
           for (int k = 0; k < n; k++)
               if (mvRefineMarker(frame, &list[k]) == 0)    corners refined
                   mvIdentifyMarker(frame, &list[k]);       id from them
           ... mvGetTransMat(&list[k], ...) as before ...

   Re-identify only markers that mvRefineMarker refined: a marker that the
   detection history re-added (as seen in an earlier frame) is not in this
   frame, and its refinement fails and leaves it as it was.

   Frames are mvImXsize x mvImYsize pixels of 4 bytes (R, G, B, unused), the
   frame detection saw, always at full resolution (mvImageProcMode is not
   read). Corners and edge lines are ideal coordinates of the active camera
   (mvParam); the frame is read through its lens model.

   Neither operation keeps state or allocates. They read the active camera
   and (mvIdentifyMarker) the pattern store: not thread-safe against
   mvInitCparam or pattern loading, and a marker must not be shared between
   threads while either runs on it. */
#ifndef MORVEX_REFINE_H
#define MORVEX_REFINE_H

#include "morvex/detect.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Moves one detected marker's edge lines and corners onto the edges of its
   dark border in `image` (read only, not kept), to a small fraction of a
   pixel on sharp frames. Each side is sampled across at many places along
   it away from the corners, the edge found on each profile, and a line fitted
   to those edge points with outliers dropped; the corners are where the new
   lines meet. Two passes. `marker` is the caller's (typically an entry of
   detection's table) and is changed in place: edgeLines and vertices only,
   each line's normal keeping its sign. Returns 0 when refined; -1 with the
   marker untouched when a side has too few good edge points (low contrast,
   a side at the frame's edge or hidden, a marker not in this frame), when
   two new sides are parallel, when a corner would move more than a tenth of
   the shortest side (and more than 2 px), or when either pointer is NULL.
   Keeps nothing and allocates nothing; reads the active camera, so it must
   not run while another thread calls mvInitCparam. */
int mvRefineMarker(const unsigned char *image, MvMarkerInfo *marker);

/* Identifies `marker` again from its corners as they are now (typically
   after mvRefineMarker): the same 16 x 16 cells of the central half and the
   same correlation against the active patterns as detection's
   (mvTemplateMatchingMode included), but the cells are placed through the
   lens model from the sub-pixel corners and each averages several
   bilinearly interpolated samples, so small markers keep their identity.
   Writes id, direction and confidence in place with detection's rule: id
   is -1 when the confidence is below 0.5 (direction and confidence are
   still written). `image` is read only, not kept. Returns 0, or -1 with the
   marker untouched when its corners do not form a convex quadrilateral or
   either pointer is NULL. Keeps nothing and allocates nothing; reads the
   active camera and the pattern store, so it must not run while another
   thread changes either. */
int mvIdentifyMarker(const unsigned char *image, MvMarkerInfo *marker);

#ifdef __cplusplus
}
#endif

#endif
