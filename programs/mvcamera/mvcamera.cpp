// mvcamera: show, make and rescale camera calibration files (136-byte
// big-endian records).
#include "morvex/camera.h"
#ifdef MORVEX_MVCAMERA_OPENCV
#include "from_opencv.h"
#endif
#include "tool_files.h"
#include "tool_support.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char *kUsage =
    "usage:\n"
    "  mvcamera show FILE\n"
    "      print the first camera record of FILE (refused when it cannot be right)\n"
    "  mvcamera make OUT --size W H --focal FX FY --principal CX CY\n"
    "                    [--skew S] [--dist-centre DX DY] [--dist-factor F] [--scale S]\n"
    "      write one camera record to OUT. The projection is\n"
    "        [FX S CX 0]  [0 FY CY 0]  [0 0 1 0]\n"
    "      --size W H          image size in pixels (positive integers)\n"
    "      --focal FX FY       focal lengths in pixels (positive)\n"
    "      --principal CX CY   principal point in pixels\n"
    "      --skew S            skew term (default 0)\n"
    "      --dist-centre DX DY distortion centre, observed pixels (default: the principal point)\n"
    "      --dist-factor F     radial factor as stored, i.e. p x 1e8 (default 0 = no distortion;\n"
    "                          positive = barrel)\n"
    "      --scale S           ideal/observed scale (positive, default 1)\n"
    "  mvcamera scale IN W H OUT\n"
    "      rescale the first record of IN to a W x H image and write it to OUT\n"
    "  mvcamera from-opencv IN OUT [--max-error PX]\n"
    "      fit the lens model to an OpenCV calibration (YAML or XML: camera_matrix,\n"
    "      distortion_coefficients, image_width, image_height) over the whole frame,\n"
    "      print the largest and RMS difference in pixels, and write OUT unless the\n"
    "      largest exceeds PX (default 0.5)\n"
    "  mvcamera -h, --help\n"
    "      this help (also after a command word)\n"
    "example:\n"
    "  mvcamera make camera_para.dat --size 640 480 --focal 700 700 --principal 318.5 241 \\\n"
    "           --dist-centre 321 238.5 --dist-factor 40 --scale 1\n";

int fail(const std::string &message)
{
    std::fprintf(stderr, "mvcamera: %s\n", message.c_str());
    return 1;
}

// Image sides: positive, and small enough for any int arithmetic on them.
bool parse_size(const char *text, int *out)
{
    long v;
    if (!mvtool::parseWhole(text, 1, 1000000, &v)) return false;
    *out = (int)v;
    return true;
}

int cmd_show(int argc, char **argv)
{
    if (argc != 3) return fail("show takes one file name (mvcamera show FILE)");
    MvCameraParam param;
    std::string error;
    if (!mvtool::loadCamera(argv[2], &param, &error)) return fail(error);
    mvParamDisp(&param);
    return 0;
}

int cmd_make(int argc, char **argv)
{
    if (argc < 3) return fail("make needs an output file name (mvcamera make OUT ...)");
    const char *out = argv[2];
    if (out[0] == '-') return fail(std::string("make needs an output file name before the options, got '") + out + "'");

    int xsize = 0, ysize = 0;
    double fx = 0, fy = 0, cx = 0, cy = 0, skew = 0, dx = 0, dy = 0, factor = 0, scale = 1.0;
    bool have_size = false, have_focal = false, have_principal = false, have_dcentre = false;

    for (int i = 3; i < argc;) {
        const std::string opt = argv[i];
        int want;
        if (opt == "--size" || opt == "--focal" || opt == "--principal" || opt == "--dist-centre")
            want = 2;
        else if (opt == "--skew" || opt == "--dist-factor" || opt == "--scale")
            want = 1;
        else
            return fail("unknown word '" + opt + "' (see mvcamera --help)");
        if (i + want >= argc) return fail(opt + " needs " + std::to_string(want) + " value(s)");

        const char *v1 = argv[i + 1];
        const char *v2 = want == 2 ? argv[i + 2] : nullptr;
        if (opt == "--size") {
            if (!parse_size(v1, &xsize)) return fail(std::string("--size: width '") + v1 + "' is not a positive integer");
            if (!parse_size(v2, &ysize)) return fail(std::string("--size: height '") + v2 + "' is not a positive integer");
            have_size = true;
        } else if (opt == "--focal") {
            if (!mvtool::parseDecimal(v1, &fx) || fx <= 0) return fail(std::string("--focal: '") + v1 + "' is not a positive finite number");
            if (!mvtool::parseDecimal(v2, &fy) || fy <= 0) return fail(std::string("--focal: '") + v2 + "' is not a positive finite number");
            have_focal = true;
        } else if (opt == "--principal") {
            if (!mvtool::parseDecimal(v1, &cx)) return fail(std::string("--principal: '") + v1 + "' is not a finite number");
            if (!mvtool::parseDecimal(v2, &cy)) return fail(std::string("--principal: '") + v2 + "' is not a finite number");
            have_principal = true;
        } else if (opt == "--dist-centre") {
            if (!mvtool::parseDecimal(v1, &dx)) return fail(std::string("--dist-centre: '") + v1 + "' is not a finite number");
            if (!mvtool::parseDecimal(v2, &dy)) return fail(std::string("--dist-centre: '") + v2 + "' is not a finite number");
            have_dcentre = true;
        } else if (opt == "--skew") {
            if (!mvtool::parseDecimal(v1, &skew)) return fail(std::string("--skew: '") + v1 + "' is not a finite number");
        } else if (opt == "--dist-factor") {
            if (!mvtool::parseDecimal(v1, &factor)) return fail(std::string("--dist-factor: '") + v1 + "' is not a finite number");
        } else {
            if (!mvtool::parseDecimal(v1, &scale) || scale <= 0) return fail(std::string("--scale: '") + v1 + "' is not a positive finite number");
        }
        i += want + 1;
    }
    if (!have_size) return fail("make needs --size W H");
    if (!have_focal) return fail("make needs --focal FX FY");
    if (!have_principal) return fail("make needs --principal CX CY");
    if (!have_dcentre) {
        dx = cx;
        dy = cy;
    }

    MvCameraParam param;
    std::memset(&param, 0, sizeof param);
    param.xsize = xsize;
    param.ysize = ysize;
    param.projection[0][0] = fx;
    param.projection[0][1] = skew;
    param.projection[0][2] = cx;
    param.projection[1][1] = fy;
    param.projection[1][2] = cy;
    param.projection[2][2] = 1.0;
    param.distortion[0] = dx;
    param.distortion[1] = dy;
    param.distortion[2] = factor;
    param.distortion[3] = scale;
    if (mvParamSave(out, 1, &param) < 0) return fail(std::string("cannot write '") + out + "': " + std::strerror(errno));
    return 0;
}

int cmd_scale(int argc, char **argv)
{
    if (argc != 6) return fail("scale takes IN W H OUT (mvcamera scale IN W H OUT)");
    int xsize, ysize;
    if (!parse_size(argv[3], &xsize)) return fail(std::string("scale: width '") + argv[3] + "' is not a positive integer");
    if (!parse_size(argv[4], &ysize)) return fail(std::string("scale: height '") + argv[4] + "' is not a positive integer");
    MvCameraParam in, out;
    std::string error;
    if (!mvtool::loadCamera(argv[2], &in, &error)) return fail(error);
    mvParamChangeSize(&in, xsize, ysize, &out);
    if (mvParamSave(argv[5], 1, &out) < 0) return fail(std::string("cannot write '") + argv[5] + "': " + std::strerror(errno));
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    // Help wherever it is asked for ("mvcamera make --help" too), before
    // any word is taken for a file name.
    for (int i = 1; i < argc; i++)
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h") || (i == 1 && !std::strcmp(argv[i], "help"))) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    const std::string cmd = argv[1];
    if (cmd == "show") return cmd_show(argc, argv);
    if (cmd == "make") return cmd_make(argc, argv);
    if (cmd == "scale") return cmd_scale(argc, argv);
#ifdef MORVEX_MVCAMERA_OPENCV
    if (cmd == "from-opencv") return mvcameraFromOpenCv(argc, argv);
#else
    if (cmd == "from-opencv") return fail("from-opencv is not built in: it needs libopencv-dev and libceres-dev");
#endif
    return fail("unknown word '" + cmd + "' (expected show, make, scale, from-opencv or --help)");
}
