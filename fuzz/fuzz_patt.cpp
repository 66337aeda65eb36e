// The pattern file reader on arbitrary bytes, then matching against what it
// loaded: a detection of a frame with one marker in both matching modes.
#include "fuzz_support.h"
#include "morvex/pattern.h"
#include "morvex/refine.h"

namespace {
const int kWidth = 48, kHeight = 36;
std::vector<uint8_t> frame;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    mvfuzz::quiet();
    MvCameraParam cam = mvfuzz::bundled_camera(kWidth, kHeight);
    mvInitCparam(&cam);
    frame = mvfuzz::marker_frame(kWidth, kHeight);
    MvMarkerInfo *list;
    int n = 0;
    if (mvDetectMarkerLite(frame.data(), 100, &list, &n) < 0 || n != 1) {
        std::fprintf(stderr, "fuzz: the test frame shows %d markers, not 1\n", n);
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *path = mvfuzz::scratch_path("patt");
    mvfuzz::write_file(path, data, size);
    int id = mvLoadPatt(path);
    if (id < 0) return 0;
    for (int mode = 0; mode < 2; mode++) {
        mvTemplateMatchingMode = mode;
        MvMarkerInfo *list;
        int n = 0;
        if (mvDetectMarkerLite(frame.data(), 100, &list, &n) < 0) std::abort();
        for (int k = 0; k < n; k++) mvIdentifyMarker(frame.data(), &list[k]);
    }
    mvTemplateMatchingMode = 0;
    if (mvFreePatt(id) != 1) std::abort();
    return 0;
}
