// The configuration string and the option help.
#include "video_internal.h"
#include "message.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Frame sides above this would make the frame buffer's byte count overflow
// an int long before any camera or file could fill it.
static const long kMaxSide = 16384;

int mv2VideoDispOption(void)
{
    printf(" -width=N\n");
    printf("    specifies expected width of image.\n");
    printf(" -height=N\n");
    printf("    specifies expected height of image.\n");
    printf(" -dev=PATH\n");
    printf("    captures from the V4L2 camera PATH (default /dev/video0).\n");
    printf(" -file=PATH\n");
    printf("    captures from a video file or an image sequence (%%d pattern).\n");
    printf(" -loop\n");
    printf("    with -file: starts again at the end instead of running dry.\n");
    printf(" -nopace\n");
    printf("    with -file: delivers frames as fast as they are requested.\n");
    printf("\n");
    return 0;
}

static bool is_blank(char c) { return c == ' ' || c == '\t'; }

// "-width=N": true with *value set, or unchanged when nothing follows the
// equals sign; false for a value that is not a whole number (trailing
// characters included, so "-width=640x480" is refused rather than read as
// 640) or is out of range.
static bool read_side(const char *text, int *value)
{
    if (*text == '\0') return true;
    errno = 0;
    char *end = nullptr;
    long v = strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno == ERANGE) return false;
    if (v <= 0 || v > kMaxSide) return false;
    *value = static_cast<int>(v);
    return true;
}

// "-dev=PATH" / "-file=PATH": a non-empty path.
static bool read_path(const char *text, char out[256])
{
    if (*text == '\0') return false;
    snprintf(out, 256, "%s", text);
    return true;
}

// One word -> *out, or why it is refused.
static mvvideo::ConfigFault read_word(const char *word, MvVideoConfig *out)
{
    using mvvideo::ConfigFault;
    if (strncmp(word, "-width=", 7) == 0)
        return read_side(word + 7, &out->width) ? ConfigFault::none : ConfigFault::bad_number;
    if (strncmp(word, "-height=", 8) == 0)
        return read_side(word + 8, &out->height) ? ConfigFault::none : ConfigFault::bad_number;
    if (strncmp(word, "-dev=", 5) == 0) {
        if (!read_path(word + 5, out->dev)) return ConfigFault::no_path;
        out->file[0] = '\0';   // the later source word wins
        return ConfigFault::none;
    }
    if (strncmp(word, "-file=", 6) == 0)
        return read_path(word + 6, out->file) ? ConfigFault::none : ConfigFault::no_path;
    if (strcmp(word, "-loop") == 0) {
        out->loop = true;
        return ConfigFault::none;
    }
    if (strcmp(word, "-nopace") == 0) {
        out->nopace = true;
        return ConfigFault::none;
    }
    return ConfigFault::unknown;
}

bool mvvideo::parse_config(const char *config, MvVideoConfig *out, ConfigError *error)
{
    if (config == nullptr) return true;
    const char *p = config;
    for (;;) {
        while (is_blank(*p)) p++;
        if (*p == '\0') return true;
        size_t len = 0;
        while (p[len] != '\0' && !is_blank(p[len])) len++;
        ConfigFault fault = ConfigFault::too_long;
        if (len <= 255) {
            char word[256];
            memcpy(word, p, len);
            word[len] = '\0';
            fault = read_word(word, out);
        }
        if (fault != ConfigFault::none) {
            if (error != nullptr) *error = {fault, p, len};
            return false;
        }
        p += len;
    }
}

bool mvvideo::parse_config_for_capture(const char *config, MvVideoConfig *out)
{
    mvvideo::ConfigError error;
    if (mvvideo::parse_config(config, out, &error)) return true;
    if (mvcore::errors_printed()) mv2VideoDispOption();
    // The help alone does not say which of several words was refused.
    const int shown = error.length > 60 ? 60 : static_cast<int>(error.length);
    mvcore::report(MV_ERROR_ARGUMENT, stdout, "Capture word \"%.*s%s\" not understood.\n", shown,
                   error.word, error.length > 60 ? "..." : "");
    return false;
}
