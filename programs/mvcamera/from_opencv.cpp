// mvcamera from-opencv: the one part of mvcamera that needs OpenCV (to read
// its files and evaluate its lens) and Ceres (the fit), through morvex_calib.
#include "from_opencv.h"

#include "calib.h"
#include "tool_support.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

int mvcameraFromOpenCv(int argc, char **argv)
{
    auto fail = [](const std::string &m) {
        std::fprintf(stderr, "mvcamera: %s\n", m.c_str());
        return 1;
    };
    if (argc != 4 && argc != 6)
        return fail("from-opencv takes IN OUT [--max-error PX] (mvcamera from-opencv calib.yml OUT.dat)");
    double limit = 0.5;
    if (argc == 6) {
        if (std::string(argv[4]) != "--max-error")
            return fail(std::string("unknown word '") + argv[4] + "' (expected --max-error)");
        if (!mvtool::parseDecimal(argv[5], 1e-9, 1e6, &limit))
            return fail(std::string("--max-error: '") + argv[5] + "' is not a positive number of pixels");
    }
    mvcalib::OpenCvCamera cv;
    mvcalib::ModelFit fit;
    std::string error;
    if (!mvcalib::readOpenCvCamera(argv[2], &cv, &error)) return fail(error);
    if (!mvcalib::fitOpenCvCamera(cv, &fit, &error)) return fail(std::string(argv[2]) + ": " + error);
    std::printf("%s: %d x %d, fitted over %d frame points: largest difference %.4f px, RMS %.4f px\n", argv[2],
                cv.width, cv.height, fit.points, fit.max_px, fit.rms_px);
    if (fit.max_px > limit) {
        char buf[160];
        std::snprintf(buf, sizeof buf, "largest difference %.4f px exceeds --max-error %g px: nothing written",
                      fit.max_px, limit);
        return fail(std::string(argv[2]) + ": the library's lens model cannot follow this one; " + buf);
    }
    if (mvParamSave(argv[3], 1, &fit.cam) < 0)
        return fail(std::string("cannot write '") + argv[3] + "': " + std::strerror(errno));
    mvParamDisp(&fit.cam);
    return 0;
}
