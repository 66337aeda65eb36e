// The capture configuration words as the capture itself reads them.
// Internal to video/; programs use mvVideoParseConfig (morvex/video.h).
#ifndef MORVEX_VIDEO_CONFIG_H
#define MORVEX_VIDEO_CONFIG_H

#include "morvex/video.h"

namespace mvvideo {

// mvVideoParseConfig for the capture: a refused word prints the option
// help and a line naming the word (MV_ERROR_ARGUMENT).
bool parse_config_for_capture(const char *config, MvVideoConfig *out);

}  // namespace mvvideo

#endif
