// The capture configuration words: the parser alone, no device opened.
// Beyond not crashing, what it reports must hold together.
#include "fuzz_support.h"
#include "morvex/video.h"

#include <cstring>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    mvfuzz::quiet();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);
    const char *config = text.c_str();   // ends at the first NUL
    const size_t length = std::strlen(config);
    MvVideoConfig cfg;
    mvVideoConfigInit(&cfg);
    int fault = 0, len = 0;
    const char *word = nullptr;
    if (mvVideoParseConfig(config, &cfg, &fault, &word, &len) == 0) {
        if (cfg.width < 1 || cfg.width > 16384 || cfg.height < 1 || cfg.height > 16384 ||
            memchr(cfg.dev, 0, sizeof cfg.dev) == nullptr ||
            memchr(cfg.file, 0, sizeof cfg.file) == nullptr || cfg.dev[0] == '\0')
            std::abort();
    } else {
        if (fault < MV_VIDEO_WORD_TOO_LONG || fault > MV_VIDEO_WORD_UNKNOWN || word < config || len <= 0 ||
            word + len > config + length || (fault == MV_VIDEO_WORD_TOO_LONG) != (len > 255))
            std::abort();
    }
    return 0;
}
