// The calibration file reader on arbitrary bytes, then what start-up does
// with the record: rescale it to the frame, make it active, detect and
// estimate each marker's pose.
#include "fuzz_support.h"
#include "morvex/pattern.h"
#include "morvex/pose.h"
#include "morvex/pose_refine.h"

namespace {
const int kWidth = 48, kHeight = 36;
std::vector<uint8_t> frame;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    mvfuzz::quiet();
    frame = mvfuzz::marker_frame(kWidth, kHeight);
    if (mvLoadPatt(MORVEX_SOURCE_DIR "/resources/patt.lumo") < 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *path = mvfuzz::scratch_path("param");
    mvfuzz::write_file(path, data, size);
    MvCameraParam record, cam;
    if (mvParamLoad(path, 1, &record) < 0) return 0;
    mvParamChangeSize(&record, kWidth, kHeight, &cam);
    mvInitCparam(&cam);
    MvMarkerInfo *list;
    int n = 0;
    if (mvDetectMarkerLite(frame.data(), 100, &list, &n) < 0) std::abort();
    const double center[2] = {0.0, 0.0};
    for (int k = 0; k < n; k++) {
        double trans[3][4];
        if (mvGetTransMat(&list[k], center, 80.0, trans) >= 0.0)
            mvRefineTransMat(&list[k], center, 80.0, nullptr, trans);
    }
    return 0;
}
