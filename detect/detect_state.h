/* detect_state.h - detection state shared inside the core (not installed).

   The driver's candidate table pointer and marker count of the most recent
   mvDetectMarker / mvDetectMarkerLite call, for pattern saving, which must
   look the marker up among the candidates that detection saw. Both are
   rewritten by every detection call; marker_info2 points into the candidate
   table owned by mvDetectMarker2 (static storage, never freed), and is null
   before the first successful detection. */
#ifndef MORVEX_DETECT_STATE_H
#define MORVEX_DETECT_STATE_H

#include "morvex/detect.h"

extern MvMarkerCandidate *marker_info2;
extern int wmarker_num;
/* Candidates of the most recent detection call (0 after a labelling
   failure). wmarker_num can exceed it once the history re-adds markers, and
   the table entries beyond it hold candidates of earlier frames. */
extern int marker_candidate_num;

#endif
