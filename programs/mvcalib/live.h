// Views from a live capture: a window shows the frames with the board's
// corners as they are found; a key takes the current view.
#ifndef MORVEX_CALIB_LIVE_H
#define MORVEX_CALIB_LIVE_H

#include "calib.h"

#include <string>
#include <vector>

namespace mvcalib {

// Opens the capture `config` (capture words), shows it and collects views
// until Enter or q (true) or Escape / a capture that runs dry with too few
// views (false, *error says why). *width, *height: the frame size.
bool captureViews(const std::string &config, const Board &board, int min_views, std::vector<View> *views,
                  int *width, int *height, std::string *error);

}  // namespace mvcalib

#endif
