// The capture of an arbitrary file: FFmpeg's probing, demuxing and decoding
// through the video library, a few frames, then the close.
#include "fuzz_support.h"
#include "morvex/video.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {
const int kWidth = 32, kHeight = 24;
const int kRequests = 6;
volatile unsigned sink;   // keeps the reads of every frame byte
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    mvfuzz::quiet();
    av_log_set_level(AV_LOG_QUIET);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *path = mvfuzz::scratch_path("capture");
    mvfuzz::write_file(path, data, size);
    std::string config = std::string("-nopace -width=") + std::to_string(kWidth) +
                         " -height=" + std::to_string(kHeight) + " -file=" + path;
    if (mvVideoOpen(config.c_str()) < 0) return 0;
    int x = 0, y = 0;
    if (mvVideoInqSize(&x, &y) < 0 || x != kWidth || y != kHeight) std::abort();
    mvVideoCapStart();
    for (int k = 0; k < kRequests && !mvVideoInqEnded(); k++) {
        const unsigned char *frame = mvVideoGetImage();
        if (frame == nullptr) continue;
        // Every byte handed out must be readable (AddressSanitizer checks).
        for (int i = 0; i < kWidth * kHeight * 4; i++) sink += frame[i];
        mvVideoCapNext();
    }
    mvVideoCapStop();
    if (mvVideoClose() < 0) std::abort();
    return 0;
}
