// The capture configuration words, parsed. Not installed; the tools that
// take capture words include it (with video/ on their private include
// path) so that they accept exactly what the capture accepts.
#ifndef MORVEX_VIDEO_CONFIG_H
#define MORVEX_VIDEO_CONFIG_H

#include <cstddef>

// What a handle needs from a source (the configuration, parsed).
struct MvVideoConfig {
    int width = 320, height = 240;
    char dev[256] = "/dev/video0";
    char file[256] = {0};         // non-empty: a file source instead of dev
    bool loop = false;
    bool nopace = false;
};

namespace mvvideo {

// Why a configuration word was refused.
enum class ConfigFault {
    none,
    too_long,    // longer than 255 characters
    bad_number,  // -width= / -height= not a whole number 1..16384
    no_path,     // -dev= / -file= with nothing after the equals sign
    unknown,     // not a configuration word
};

struct ConfigError {
    ConfigFault fault = ConfigFault::none;
    const char *word = nullptr;  // the refused word inside the parsed text
    size_t length = 0;           // its length (it ends at a blank or the end)
};

// Configuration words (blank-separated; null or blank: the defaults) ->
// *out, later words overriding earlier ones. False at the first refused
// word, described in *error (when not null). Prints nothing.
bool parse_config(const char *config, MvVideoConfig *out, ConfigError *error);

// parse_config for the capture: a refused word prints the option help and
// a line naming the word (MV_ERROR_ARGUMENT).
bool parse_config_for_capture(const char *config, MvVideoConfig *out);

}  // namespace mvvideo

#endif
