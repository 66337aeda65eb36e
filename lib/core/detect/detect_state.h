/* detect_state.h - what pattern saving may see of the most recent detection
   (inside the core, not installed). */
#ifndef MORVEX_DETECT_STATE_H
#define MORVEX_DETECT_STATE_H

#include "morvex/detect.h"

namespace mvcore {

/* The candidate table of the most recent mvDetectMarker / mvDetectMarkerLite
   call, with the number of its entries that call found in *count (0 after a
   labelling failure; never above the table's capacity). Only those entries
   belong to that frame: the ones beyond hold candidates of earlier frames,
   and markers the history re-added have none. The table is owned by
   detection (static storage, never freed) and rewritten by the next call;
   null, with *count 0, before the first successful detection. */
const MvMarkerCandidate *last_candidates(int *count);

}  // namespace mvcore

#endif
