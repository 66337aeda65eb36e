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

// One word -> *out: 0, or why it is refused (an MvVideoWordFault).
static int read_word(const char *word, MvVideoConfig *out)
{
    if (strncmp(word, "-width=", 7) == 0) {
        if (!read_side(word + 7, &out->width)) return MV_VIDEO_WORD_BAD_NUMBER;
        out->widthGiven = 1;
        return 0;
    }
    if (strncmp(word, "-height=", 8) == 0) {
        if (!read_side(word + 8, &out->height)) return MV_VIDEO_WORD_BAD_NUMBER;
        out->heightGiven = 1;
        return 0;
    }
    if (strncmp(word, "-dev=", 5) == 0) {
        if (!read_path(word + 5, out->dev)) return MV_VIDEO_WORD_NO_PATH;
        out->file[0] = '\0';   // the later source word wins
        return 0;
    }
    if (strncmp(word, "-file=", 6) == 0) return read_path(word + 6, out->file) ? 0 : MV_VIDEO_WORD_NO_PATH;
    if (strcmp(word, "-loop") == 0) {
        out->loop = 1;
        return 0;
    }
    if (strcmp(word, "-nopace") == 0) {
        out->nopace = 1;
        return 0;
    }
    return MV_VIDEO_WORD_UNKNOWN;
}

void mvVideoConfigInit(MvVideoConfig *config)
{
    memset(config, 0, sizeof *config);
    config->width = 320;
    config->height = 240;
    snprintf(config->dev, sizeof config->dev, "/dev/video0");
}

int mvVideoParseConfig(const char *words, MvVideoConfig *config, int *fault, const char **word,
                       int *length)
{
    if (words == nullptr) return 0;
    const char *p = words;
    for (;;) {
        while (is_blank(*p)) p++;
        if (*p == '\0') return 0;
        size_t len = 0;
        while (p[len] != '\0' && !is_blank(p[len])) len++;
        int refused = MV_VIDEO_WORD_TOO_LONG;
        if (len <= 255) {
            char one[256];
            memcpy(one, p, len);
            one[len] = '\0';
            refused = read_word(one, config);
        }
        if (refused != 0) {
            if (fault) *fault = refused;
            if (word) *word = p;
            if (length) *length = (int)len;
            return -1;
        }
        p += len;
    }
}

bool mvvideo::parse_config_for_capture(const char *config, MvVideoConfig *out)
{
    const char *word = nullptr;
    int length = 0;
    if (mvVideoParseConfig(config, out, nullptr, &word, &length) == 0) return true;
    if (mvcore::errors_printed()) mv2VideoDispOption();
    // The help alone does not say which of several words was refused.
    const int shown = length > 60 ? 60 : length;
    mvcore::report(MV_ERROR_ARGUMENT, stdout, "Capture word \"%.*s%s\" not understood.\n", shown,
                   word, length > 60 ? "..." : "");
    return false;
}
