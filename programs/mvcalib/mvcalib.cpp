// mvcalib: calibrates a camera for the library's model from views of a
// chessboard, and makes the board to print.
#include "board.h"
#include "calib.h"
#ifdef MORVEX_CALIB_LIVE
#include "live.h"
#endif
#include "image_io.h"
#include "print_files.h"
#include "tool_files.h"
#include "tool_support.h"

#include <glob.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char *kHelp =
    "usage: mvcalib --out CAMERA.dat [options] IMAGE...\n"
    "       mvcalib --out CAMERA.dat [options] --live [CAPTURE WORDS...]\n"
    "       mvcalib --make-board PNG [--svg FILE] [--board CxR] [--square MM] [--dpi N]\n"
    "\n"
    "Fits the camera model of the tracker (focal lengths, principal point, the\n"
    "lens's distortion centre and factor, and each view's pose) to the corners of\n"
    "a chessboard seen in several views, and writes the camera file.\n"
    "\n"
    "  IMAGE               PNG or JPEG files, shell patterns in quotes ('shots/*.png')\n"
    "                      or numbered sequences (frames/%04d.png, from 0 or 1)\n"
    "  --live [WORDS]      take the views from a capture instead (the remaining words\n"
    "                      are capture words, as for mvviewer): a window shows the\n"
    "                      corners found; space takes a view, Enter calibrates,\n"
    "                      Escape gives up\n"
    "  --board CxR         inner corners across and down (default 9x6); a square\n"
    "                      board (7x7) calibrates as well: each view's pose takes\n"
    "                      its turn, and nothing written depends on it\n"
    "  --square MM         side of one square in millimetres (default 20)\n"
    "  --out FILE          the camera file to write\n"
    "  --residuals FILE    the residual picture with its legend and scale bar\n"
    "                      (default: OUT without its extension, plus _residuals.png)\n"
    "  --fit-scale         fit the lens's ideal/observed scale too (default: 1, fixed;\n"
    "                      any scale fits as well, with the focal lengths to match)\n"
    "  --min-views N       fewest views to calibrate from (default 5)\n"
    "  --max-view-error PX reject views whose RMS error exceeds PX (default: three\n"
    "                      times the median view's, at least 0.3)\n"
    "  --max-rms PX        refuse a fit whose RMS error exceeds PX (default 1): a wrong\n"
    "                      --board or --square, or a board that is not flat\n"
    "  --skip-unfound      leave out images in which the board is not found (default:\n"
    "                      such an image is an error)\n"
    "\n"
    "  --make-board PNG    write the board to print as PNG (with its printed size)\n"
    "  --svg FILE          and as SVG at exact millimetres\n"
    "  --dpi N             PNG resolution, 50..2400 dots per inch (default 300)\n"
    "  -h, --help          show this help\n"
    "\n"
    "The report (standard output): RMS error, each parameter with its standard\n"
    "deviation, each view's error and tilt, rejected views and why, and warnings\n"
    "when the views miss the frame's corners or lack tilt. Exit status 1 on bad\n"
    "input (an unreadable image, no board, views of different sizes, too few\n"
    "views): a message naming the file, and nothing written.\n"
    "\n"
    "example:\n"
    "  mvcalib --make-board board.png --svg board.svg --board 9x6 --square 20\n"
    "  mvcalib --board 9x6 --square 20 --out mycam.dat 'shots/*.png'\n";

std::string px_text(double px)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3g px", px);
    return text;
}

[[noreturn]] void fail(const std::string &message)
{
    std::fprintf(stderr, "mvcalib: %s\n", message.c_str());
    std::exit(1);
}

bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Files named by one argument: a numbered sequence, a pattern or a file.
std::vector<std::string> expand(const std::string &arg)
{
    std::vector<std::string> files;
    if (arg.find('%') != std::string::npos) {
        // The pattern becomes a format string: one %d or %0Nd and nothing else.
        const size_t pc = arg.find('%');
        size_t end = pc + 1;
        while (end < arg.size() && std::isdigit((unsigned char)arg[end])) end++;
        if (end >= arg.size() || arg[end] != 'd' || arg.find('%', end) != std::string::npos || end - pc > 4)
            fail(arg + ": a numbered sequence takes one %d or %0Nd (N at most 99) and no other %");
        char name[4096];
        for (int i = 0; i < 1000000; i++) {
            std::snprintf(name, sizeof name, arg.c_str(), i);
            if (exists(name))
                files.push_back(name);
            else if (i > 0 || !files.empty())
                break;
        }
        if (files.empty()) fail(arg + ": no file of this numbered sequence exists");
    } else if (arg.find_first_of("*?[") != std::string::npos) {
        glob_t g;
        if (glob(arg.c_str(), 0, nullptr, &g) == 0)
            for (size_t i = 0; i < g.gl_pathc; i++) files.push_back(g.gl_pathv[i]);
        globfree(&g);
        if (files.empty()) fail(arg + ": no file matches");
    } else {
        files.push_back(arg);
    }
    return files;
}

struct Args {
    mvcalib::Board board;
    mvcalib::Options opt;
    double max_rms = 1.0;   // refuse a fit whose RMS error is larger (px)
    std::string out, residuals, make_board, svg, live_config;
    std::vector<std::string> inputs;
    bool live = false, skip_unfound = false;
    long dpi = 300;
};

Args parse(int argc, char **argv)
{
    Args a;
    for (int i = 1; i < argc; i++) {
        const std::string w = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) fail("option " + w + " needs a value (see --help)");
            return argv[++i];
        };
        if (w == "-h" || w == "--help") {
            std::fputs(kHelp, stdout);
            std::exit(0);
        } else if (w == "--board") {
            const std::string v = value();
            const size_t x = v.find('x');
            long c, r;
            if (x == std::string::npos || !mvtool::parseWhole(v.substr(0, x), 2, 100, &c) ||
                !mvtool::parseWhole(v.substr(x + 1), 2, 100, &r))
                fail("--board: '" + v + "' is not COLSxROWS inner corners, each 2..100");
            a.board.cols = (int)c;
            a.board.rows = (int)r;
        } else if (w == "--square") {
            const std::string v = value();
            if (!mvtool::parseDecimal(v, 0.1, 1000.0, &a.board.square_mm))
                fail("--square: '" + v + "' is not a size 0.1..1000 mm");
        } else if (w == "--out") {
            a.out = value();
        } else if (w == "--residuals") {
            a.residuals = value();
        } else if (w == "--fit-scale") {
            a.opt.fit_scale = true;
        } else if (w == "--skip-unfound") {
            a.skip_unfound = true;
        } else if (w == "--min-views") {
            const std::string v = value();
            long n;
            if (!mvtool::parseWhole(v, 3, 1000, &n)) fail("--min-views: '" + v + "' is not a whole number 3..1000");
            a.opt.min_views = (int)n;
        } else if (w == "--max-view-error") {
            const std::string v = value();
            if (!mvtool::parseDecimal(v, 1e-6, 1000.0, &a.opt.max_view_rms))
                fail("--max-view-error: '" + v + "' is not a positive number of pixels");
        } else if (w == "--max-rms") {
            const std::string v = value();
            if (!mvtool::parseDecimal(v, 1e-6, 1000.0, &a.max_rms))
                fail("--max-rms: '" + v + "' is not a positive number of pixels");
        } else if (w == "--make-board") {
            a.make_board = value();
        } else if (w == "--svg") {
            a.svg = value();
        } else if (w == "--dpi") {
            const std::string v = value();
            if (!mvtool::parseWhole(v, 50, 2400, &a.dpi)) fail("--dpi: '" + v + "' is not a whole number 50..2400");
        } else if (w == "--live") {
            a.live = true;
            for (i++; i < argc; i++) a.live_config += std::string(a.live_config.empty() ? "" : " ") + argv[i];
        } else if (w.size() > 1 && w[0] == '-') {
            fail("unknown option '" + w + "' (see --help)");
        } else {
            a.inputs.push_back(w);
        }
    }
    return a;
}

int make_board(const Args &a)
{
    if (!a.inputs.empty() || !a.out.empty() || a.live) fail("--make-board takes no images, --out or --live");
    const double px_per_mm = a.dpi / 25.4;
    const int px = std::max(4, (int)std::lround(a.board.square_mm * px_per_mm));
    const mvtool::Image img = mvcalib::boardImage(a.board, px);
    // Whole pixels a square: the PNG's recorded size is what it holds.
    const double width_mm = a.board.square_mm * (a.board.cols + 3);
    std::string error;
    if (!mvtool::writePngAtSize(a.make_board, img, width_mm, &error)) fail(error);
    std::printf("%s: %d x %d inner corners, %d x %d pixels, %g x %g mm\n", a.make_board.c_str(), a.board.cols,
                a.board.rows, img.width, img.height, width_mm, a.board.square_mm * (a.board.rows + 3));
    if (!a.svg.empty()) {
        const std::string svg = mvcalib::boardSvg(a.board);
        if (!mvtool::writeFile(a.svg, svg.data(), svg.size(), &error)) fail(error);
        std::printf("%s: squares of exactly %g mm\n", a.svg.c_str(), a.board.square_mm);
    }
    std::printf("print at 100 %% (no fitting to the page) and measure a square before calibrating\n");
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    Args a = parse(argc, argv);
    if (!a.make_board.empty()) return make_board(a);
    if (!a.svg.empty()) fail("--svg belongs with --make-board");
    if (a.out.empty()) fail("no --out FILE given (see --help)");
    if (a.residuals.empty()) {
        const size_t slash = a.out.rfind('/'), dot = a.out.rfind('.');
        const bool ext = dot != std::string::npos && (slash == std::string::npos || dot > slash);
        a.residuals = (ext ? a.out.substr(0, dot) : a.out) + "_residuals.png";
    }

    std::vector<mvcalib::View> views;
    std::vector<std::string> unfound;
    int width = 0, height = 0;
    if (a.live) {
        if (!a.inputs.empty()) fail("unexpected word '" + a.inputs[0] + "': --live takes no image files");
#ifdef MORVEX_CALIB_LIVE
        std::string error;
        if (!mvcalib::captureViews(a.live_config, a.board, a.opt.min_views, &views, &width, &height, &error))
            fail(error);
#else
        fail("--live is not built in: it needs the capture and display libraries");
#endif
    } else {
        if (a.inputs.empty()) fail("no images given (see --help)");
        std::string first;
        for (const std::string &arg : a.inputs)
            for (const std::string &file : expand(arg)) {
                mvtool::Image img;
                std::string error;
                if (!mvtool::readImage(file, &img, &error)) fail(error);
                if (first.empty()) {
                    first = file;
                    width = img.width;
                    height = img.height;
                } else if (img.width != width || img.height != height) {
                    fail(file + ": " + std::to_string(img.width) + " x " + std::to_string(img.height) +
                         " pixels, but " + first + " is " + std::to_string(width) + " x " +
                         std::to_string(height) + ": all views must come from one camera at one size");
                }
                mvcalib::View v{file, {}};
                if (mvcalib::findCorners(img, a.board, &v.corners)) {
                    views.push_back(std::move(v));
                } else if (a.skip_unfound) {
                    unfound.push_back(file);
                } else {
                    fail(file + ": no chessboard of " + std::to_string(a.board.cols) + " x " +
                         std::to_string(a.board.rows) +
                         " inner corners found (check --board, or leave such images out with --skip-unfound)");
                }
            }
    }

    mvcalib::Estimate est;
    std::string error;
    if (!mvcalib::calibrate(views, width, height, a.board, a.opt, &est, &error)) {
        if (!unfound.empty())
            error += " (" + std::to_string(unfound.size()) + " image(s) without the board, e.g. " +
                     unfound[0] + ")";
        fail(error);
    }
    for (const std::string &f : unfound) {
        mvcalib::ViewResult vr;
        vr.name = f;
        vr.rejected = true;
        vr.why = "board not found";
        est.views.push_back(vr);
    }

    // A fit far off, or one that leaves the camera undetermined, would make
    // every pose wrong without a sign: the report shows why, nothing is written.
    std::string undetermined;
    for (int i = 0; i < mvcalib::PARAM_COUNT; i++)
        if (std::isnan(est.sd[i])) undetermined += std::string(undetermined.empty() ? "" : ", ") + mvcalib::kParamNames[i];
    if (est.rms > a.max_rms || !undetermined.empty()) {
        std::fputs(mvcalib::reportText(est).c_str(), stdout);
        std::fflush(stdout);
        if (est.rms > a.max_rms)
            fail("the fit's RMS error " + px_text(est.rms) + " is over the limit of " + px_text(a.max_rms) +
                 " (--max-rms): check --board and --square against the printed board, and that it lies "
                 "flat; nothing written");
        fail("the views do not determine the camera (" + undetermined +
             "): take views tilted several ways, with the board near every corner of the frame; nothing written");
    }

    double magnification = 1.0;
    const mvtool::Image residuals = mvcalib::residualPicture(est, views, width, height, &magnification);
    if (mvParamSave(a.out.c_str(), 1, &est.cam) < 0)
        fail("cannot write '" + a.out + "': " + std::strerror(errno));
    if (!mvtool::writePng(a.residuals, residuals, &error)) fail(error);
    std::fputs(mvcalib::reportText(est).c_str(), stdout);
    std::printf("%s: camera %d x %d written\n%s: residuals magnified %g times\n", a.out.c_str(), width, height,
                a.residuals.c_str(), magnification);
    return 0;
}
