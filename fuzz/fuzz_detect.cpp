// The detection pipeline on frames of the input's size and content: both
// entry points, the pose of every marker found (the history's included),
// and the opt-in refinements, in
// the processing and matching modes the input chooses, over a few frames
// that share the detection history and the automatic threshold.
//
// Input: width byte, height byte, mode byte, threshold byte, then pixels:
// grey (1 byte) or R, G, B, unused (4 bytes). Mode bits: 0 half resolution,
// 1 grey matching, 2 grey pixels, 3-4 frames - 1, 5 refinements, 6 the
// automatic threshold. The frames take consecutive pixels, starting again
// at the first when the input runs out (none: a white frame).
#include "fuzz_support.h"
#include "classic/classic.h"
#include "morvex/autothresh.h"
#include "morvex/pattern.h"
#include "morvex/pose.h"
#include "morvex/pose_refine.h"
#include "morvex/refine.h"

#include <cstring>

namespace {
// Sides 8..128: small enough for fast executions, large enough for an
// outline longer than MV_CONTOUR_MAX points.
const int kSideMin = 8, kSideSpan = 121;
const double kCenter[2] = {0.0, 0.0};
const double kWidthMm = 80.0;
// Every marker takes the same path through the pose search, which is the
// costliest step here: a few per frame keep executions fast.
const int kPosedMax = 3;

void pose_all(MvMarkerInfo *list, int n)
{
    for (int k = 0; k < n && k < kPosedMax; k++) {
        double trans[3][4];
        mvGetTransMat(&list[k], kCenter, kWidthMm, trans);
    }
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    mvfuzz::quiet();
    if (mvLoadPatt(MORVEX_SOURCE_DIR "/resources/patt.lumo") < 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4) return 0;
    const int width = kSideMin + data[0] % kSideSpan;
    const int height = kSideMin + data[1] % kSideSpan;
    const int mode = data[2];
    const int frames = 1 + (mode >> 3 & 3);
    const bool grey = mode & 4, refine = mode & 32, autothresh = mode & 64;
    const uint8_t *pixels = data + 4;
    const size_t count = size - 4;

    mvImageProcMode = mode & 1;
    mvTemplateMatchingMode = mode >> 1 & 1;
    MvCameraParam cam = mvfuzz::bundled_camera(width, height);
    mvInitCparam(&cam);
    mvcore::classic::detector().reset_history();
    MvAutoThresh at;
    mvAutoThreshInit(&at, data[3]);

    const size_t bpp = grey ? 1 : 4;
    std::vector<uint8_t> frame((size_t)width * height * 4);
    size_t next = 0;
    double prev[3][4];
    bool have_prev = false;
    for (int f = 0; f < frames; f++) {
        for (size_t p = 0; p < (size_t)width * height; p++) {
            uint8_t *px = &frame[p * 4];
            for (size_t c = 0; c < bpp; c++) {
                px[c] = count == 0 ? 255 : pixels[next];
                next = count == 0 ? 0 : (next + 1) % count;
            }
            if (grey) px[1] = px[2] = px[3] = px[0];
        }
        const int thresh = autothresh ? at.thresh : data[3];
        MvMarkerInfo *list;
        int n = 0;
        if (mvDetectMarker(frame.data(), thresh, &list, &n) == 0) {
            pose_all(list, n);
            if (refine) {
                for (int k = 0; k < n; k++)
                    if (mvRefineMarker(frame.data(), &list[k]) == 0)
                        mvIdentifyMarker(frame.data(), &list[k]);
                if (n > 0) {
                    double trans[3][4];
                    if (mvGetTransMat(&list[0], kCenter, kWidthMm, trans) >= 0.0 &&
                        mvRefineTransMat(&list[0], kCenter, kWidthMm, have_prev ? prev : nullptr,
                                         trans) >= 0.0) {
                        std::memcpy(prev, trans, sizeof prev);
                        have_prev = true;
                    } else {
                        have_prev = false;
                    }
                }
            }
            if (autothresh) mvAutoThreshUpdate(&at, frame.data(), list, n);
        }
        // The same candidates as the full detection, without history: once
        // per input is enough, and matching them again is the other big cost.
        if (f == 0) mvDetectMarkerLite(frame.data(), thresh, &list, &n);
    }
    mvImageProcMode = 0;
    mvTemplateMatchingMode = 0;
    return 0;
}
