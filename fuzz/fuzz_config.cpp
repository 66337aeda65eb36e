// The capture configuration words: the parser alone, no device opened.
// Beyond not crashing, what it reports must hold together.
#include "fuzz_support.h"
#include "video_config.h"

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
    mvvideo::ConfigError error;
    if (mvvideo::parse_config(config, &cfg, &error)) {
        if (cfg.width < 1 || cfg.width > 16384 || cfg.height < 1 || cfg.height > 16384 ||
            memchr(cfg.dev, 0, sizeof cfg.dev) == nullptr ||
            memchr(cfg.file, 0, sizeof cfg.file) == nullptr || cfg.dev[0] == '\0')
            std::abort();
    } else {
        if (error.fault == mvvideo::ConfigFault::none || error.word < config ||
            error.length == 0 || error.word + error.length > config + length ||
            (error.fault == mvvideo::ConfigFault::too_long) != (error.length > 255))
            std::abort();
    }
    MvVideoConfig again;
    if (mvvideo::parse_config_for_capture(config, &again) != (error.fault == mvvideo::ConfigFault::none))
        std::abort();
    return 0;
}
