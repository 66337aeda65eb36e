/* detect_internal.h - capacities shared by the detection files. */
#ifndef MORVEX_DETECT_INTERNAL_H
#define MORVEX_DETECT_INTERNAL_H

#include "morvex/detect.h"

enum {
    MV_SQUARE_MAX = 30,            /* candidates, markers, history entries */
};

/* Steps of detection reachable from the tests; not part of the public
   interface. */
namespace mvcore {

/* Corner search on the outline between indices from and to (see contour.cpp);
   corners must have room for 6 entries. */
int get_vertex(const int *x, const int *y, int from, int to, double thresh,
               int *corners, int *cornerCount);

/* The history steps of mvDetectMarker applied to a marker table of
   capacity MV_SQUARE_MAX holding *count markers; may append re-added
   markers and raise *count. */
void apply_history(MvMarkerInfo *markers, int *count);

/* Forgets the history (it starts empty in a new process). */
void reset_history();

}  // namespace mvcore

#endif
