// mvmarker - makes a printable marker from a picture (PNG and SVG) and the
// pattern file that recognises it, teaches a pattern from a frame, or makes
// a printable coded marker (AprilTag, ArUco) of one of the core's families.
#include "morvex/camera.h"
#include "morvex/detect.h"
#include "morvex/pattern.h"
#include "coded_marker.h"
#include "image_io.h"
#include "pattern_cells.h"
#include "print_files.h"
#include "render.h"
#include "tool_files.h"
#include "tool_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char *kHelp =
    "usage: mvmarker PICTURE [--png FILE] [--px N] [--svg FILE] [--mm MM]\n"
    "                        [--patt FILE] [--patt-method direct|render] [--bordered]\n"
    "       mvmarker --from-frame IMAGE --patt FILE [--camera FILE] [--thresh N]\n"
    "       mvmarker --family NAME --id N [--png FILE] [--px N] [--svg FILE] [--mm MM]\n"
    "                        [--quiet CELLS]\n"
    "\n"
    "Makes a square marker from PICTURE (PNG or JPEG): the picture inside a black\n"
    "border a quarter of the side wide on each edge. A picture that is not square\n"
    "is stretched to fill the square (with a warning).\n"
    "\n"
    "  --png FILE        write the marker as a PNG image\n"
    "  --px N            side of the PNG in pixels, 16..8192 (default 512)\n"
    "  --svg FILE        write the marker as SVG with an exact printed size\n"
    "  --mm MM           printed side in millimetres: the outer side of the black\n"
    "                    square, border included (default 45, the size mvviewer,\n"
    "                    mvtrack, mvrender and Python assume)\n"
    "  --patt FILE       write the pattern file that recognises the marker\n"
    "  --bordered        PICTURE is already a whole marker, border included;\n"
    "                    its central half is taken as the picture\n"
    "  --patt-method M   direct (default): cells computed from the picture\n"
    "                    as the sampler sees a sharp face-on marker;\n"
    "                    render: render the marker face-on with the bundled\n"
    "                    camera, detect it and save it with the library\n"
    "\n"
    "  --from-frame IMAGE  teach a pattern from a photographed or rendered\n"
    "                    frame (PNG or JPEG): the largest square marker in it is\n"
    "                    sampled and written to --patt FILE\n"
    "  --camera FILE     camera calibration for --from-frame (default: the\n"
    "                    bundled resources/camera_para.dat)\n"
    "  --thresh N        darkness threshold 0..255 for --from-frame (default 100)\n"
    "\n"
    "  --family NAME     make a coded marker of this family: tag36h11, tag25h9,\n"
    "                    tag16h5, aruco4x4_50 .. aruco4x4_1000 (likewise 5x5, 6x6,\n"
    "                    7x7 with 50, 100, 250, 1000), aruco_original\n"
    "  --id N            the marker's id within the family\n"
    "  --quiet CELLS     white margin around the black square, in cells, 0..8\n"
    "                    (default 1); --mm is then the black square's side\n"
    "                    and --px the PNG's largest side, whole pixels per cell\n"
    "  -h, --help        show this help\n"
    "\n"
    "The pattern matches the marker the right way up as direction 2.\n"
    "\n"
    "examples:\n"
    "  mvmarker logo.png --png marker.png --px 1024 --svg marker.svg --mm 45 \\\n"
    "           --patt logo.lumo\n"
    "  mvmarker resources/marker.png --bordered --patt patt.lumo\n"
    "  mvmarker --from-frame snapshot.png --patt taught.lumo\n"
    "  mvmarker --family tag36h11 --id 7 --png tag7.png --svg tag7.svg --mm 80\n";

[[noreturn]] void fail(const std::string &message) {
    std::fprintf(stderr, "mvmarker: %s\n", message.c_str());
    std::exit(1);
}

// The bundled calibration: in the resource folder beside the program, else
// resources/ of the working folder.
std::string bundled_camera() {
    const std::string dir = mvtool::resourceFolder();
    return (dir.empty() ? std::string("resources") : dir) + "/camera_para.dat";
}

render::Image read_picture(const std::string &path) {
    render::Image img;
    std::string error;
    if (!mvtool::readImage(path, &img, &error))
        fail(error);
    if (img.width < 1 || img.height < 1) fail(path + ": empty image");
    return img;
}

// The picture as PNG bytes, for embedding in the SVG.
std::vector<unsigned char> png_bytes(const render::Image &img) {
    std::vector<unsigned char> bytes;
    std::string error;
    if (!mvtool::encodePng(img, &bytes, &error)) fail(error);
    return bytes;
}

// SVG of the marker with an exact printed size: a black square `mm` wide
// with the picture over its central half.
void write_svg(const std::string &path, const render::Image &picture, double mm) {
    std::ostringstream s;
    s.precision(10);
    const double q = mm / 4.0;
    s << mvtool::svgOpen(mm, mm)
      << "  <rect x=\"0\" y=\"0\" width=\"" << mm << "\" height=\"" << mm
      << "\" fill=\"#000000\"/>\n"
      << "  <image x=\"" << q << "\" y=\"" << q << "\" width=\"" << 2 * q
      << "\" height=\"" << 2 * q << "\" preserveAspectRatio=\"none\"\n"
      << "         xlink:href=\"data:image/png;base64," << mvtool::base64(png_bytes(picture))
      << "\"/>\n</svg>\n";
    const std::string text = s.str();
    std::string error;
    if (!mvtool::writeFile(path, text.data(), text.size(), &error)) fail(error);
}

void load_camera(const std::string &path, int width, int height) {
    MvCameraParam file_cam, cam;
    std::string error;
    if (!mvtool::loadCamera(path, &file_cam, &error)) fail(error);
    mvParamChangeSize(&file_cam, width, height, &cam);
    mvInitCparam(&cam);
}

// Detects the markers in a 4-byte frame and saves the one with the largest
// border as a pattern. The returned string is empty on success.
std::string save_largest(const unsigned char *frame, int thresh,
                         const std::string &patt_path) {
    MvMarkerInfo *markers = nullptr;
    int n = 0;
    if (mvDetectMarkerLite(frame, thresh, &markers, &n) < 0)
        return "detection failed (too many dark regions)";
    int best = -1;
    for (int k = 0; k < n; k++)
        if (best < 0 || markers[k].area > markers[best].area) best = k;
    if (best < 0) return "no square marker found";
    if (mvSavePatt(frame, &markers[best], patt_path.c_str()) < 0)
        return patt_path + ": cannot write pattern file";
    return "";
}

// Pattern by rendering: the marker face-on, upright, about 300 pixels wide
// in a 640 x 480 frame of the bundled camera, sampled by the library.
void pattern_by_render(const render::Image &marker, const std::string &patt_path) {
    const std::string cam_path = bundled_camera();
    MvCameraParam cam;
    std::string error;
    if (!mvtool::loadCamera(cam_path, &cam, &error)) fail(error);
    mvInitCparam(&cam);
    const double side = 80.0;
    const double dist = cam.projection[0][0] * side / 300.0;
    double trans[3][4];
    render::poseAt(cam, cam.xsize / 2.0, cam.ysize / 2.0, dist, 0.0, 0.0, trans);
    render::Options opt;
    render::Image frame;
    render::renderFrame(marker, side, trans, cam, opt, &frame);
    std::string err = save_largest(frame.pixels.data(), 100, patt_path);
    if (!err.empty()) fail("rendered marker: " + err);
}

// 4-byte R G B x frame from any image, halved (2 x 2 box) until the
// detector's working image limit (MV_WORK_PIXELS_MAX) is met.
render::Image as_frame(const render::Image &in) {
    render::Image f;
    f.width = in.width;
    f.height = in.height;
    f.channels = 4;
    // Sizes in size_t: a large picture's pixel count times 4 exceeds int.
    const size_t count = (size_t)f.width * f.height;
    f.pixels.resize(count * 4);
    for (size_t i = 0; i < count; i++) {
        const uint8_t *p = &in.pixels[i * in.channels];
        for (int c = 0; c < 3; c++) f.pixels[i * 4 + c] = in.channels == 1 ? p[0] : p[c];
        f.pixels[i * 4 + 3] = 255;
    }
    while ((long)f.width * f.height > MV_WORK_PIXELS_MAX) {
        render::Image h;
        h.width = f.width / 2;
        h.height = f.height / 2;
        h.channels = 4;
        h.pixels.resize((size_t)h.width * h.height * 4);
        for (int y = 0; y < h.height; y++)
            for (int x = 0; x < h.width; x++)
                for (int c = 0; c < 4; c++) {
                    int s = 0;
                    for (int dy = 0; dy < 2; dy++)
                        for (int dx = 0; dx < 2; dx++)
                            s += f.pixels[((size_t)(2 * y + dy) * f.width + 2 * x + dx) * 4 + c];
                    h.pixels[((size_t)y * h.width + x) * 4 + c] = (uint8_t)((s + 2) / 4);
                }
        f = std::move(h);
    }
    return f;
}

// The central half of an image (the picture inside a marker's border).
render::Image central_half(const render::Image &in) {
    render::Image out;
    const int x0 = in.width / 4, y0 = in.height / 4;
    out.width = in.width - 2 * x0;
    out.height = in.height - 2 * y0;
    out.channels = in.channels;
    out.pixels.resize((size_t)out.width * out.height * out.channels);
    for (int y = 0; y < out.height; y++)
        std::memcpy(&out.pixels[(size_t)y * out.width * out.channels],
                    &in.pixels[((size_t)(y + y0) * in.width + x0) * in.channels],
                    (size_t)out.width * out.channels);
    return out;
}

// True when the outer quarter on every edge is (almost) all black.
bool looks_bordered(const render::Image &img) {
    if (img.width < 8 || img.height < 8) return false;
    long bright = 0, total = 0;
    for (int y = 0; y < img.height; y++)
        for (int x = 0; x < img.width; x++) {
            bool ring = x < img.width / 4 || x >= img.width - img.width / 4 ||
                        y < img.height / 4 || y >= img.height - img.height / 4;
            if (!ring) continue;
            const uint8_t *p = &img.pixels[((size_t)y * img.width + x) * img.channels];
            int v = img.channels == 1 ? p[0] : (p[0] + p[1] + p[2]) / 3;
            if (img.channels == 4 && p[3] < 128) v = 255;
            bright += v > 64;
            total++;
        }
    return bright * 100 < total;
}

struct Args {
    std::string picture, png, svg, patt, from_frame, camera, method = "direct", family;
    bool bordered = false, method_given = false, quiet_given = false;
    long px = 512, thresh = 100, id = -1, quiet = 1;
    double mm = 45.0;   // the one default marker size of every program
};

Args parse(int argc, char **argv) {
    Args a;
    for (int i = 1; i < argc; i++) {
        std::string w = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) fail("option " + w + " needs a value (see --help)");
            return argv[++i];
        };
        if (w == "-h" || w == "--help") {
            std::fputs(kHelp, stdout);
            std::exit(0);
        } else if (w == "--bordered") {
            a.bordered = true;
        } else if (w == "--png") {
            a.png = value();
        } else if (w == "--svg") {
            a.svg = value();
        } else if (w == "--patt") {
            a.patt = value();
        } else if (w == "--from-frame") {
            a.from_frame = value();
        } else if (w == "--camera") {
            a.camera = value();
        } else if (w == "--family") {
            a.family = value();
        } else if (w == "--id") {
            std::string v = value();
            if (!mvtool::parseWhole(v, 0, 1000000, &a.id)) fail("--id: '" + v + "' is not a whole number 0 or more");
        } else if (w == "--quiet") {
            a.quiet_given = true;
            std::string v = value();
            if (!mvtool::parseWhole(v, 0, 8, &a.quiet)) fail("--quiet: '" + v + "' is not a whole number 0..8");
        } else if (w == "--patt-method") {
            a.method_given = true;
            a.method = value();
            if (a.method != "direct" && a.method != "render")
                fail("--patt-method: '" + a.method + "' is not direct or render");
        } else if (w == "--px") {
            std::string v = value();
            if (!mvtool::parseWhole(v, 16, 8192, &a.px)) fail("--px: '" + v + "' is not a whole number 16..8192");
        } else if (w == "--thresh") {
            std::string v = value();
            // A pixel is dark when R + G + B <= 3 N: from 255 on, every pixel is.
            if (!mvtool::parseWhole(v, 0, 255, &a.thresh)) fail("--thresh: '" + v + "' is not a whole number 0..255");
        } else if (w == "--mm") {
            std::string v = value();
            if (!mvtool::parseDecimal(v, 1.0, 10000.0, &a.mm)) fail("--mm: '" + v + "' is not a size 1..10000");
        } else if (w.size() > 1 && w[0] == '-') {
            fail("unknown option '" + w + "' (see --help)");
        } else if (a.picture.empty()) {
            a.picture = w;
        } else {
            fail("unexpected word '" + w + "': one PICTURE only (see --help)");
        }
    }
    return a;
}

// --family: the coded marker as PNG (its print size recorded) and SVG.
int make_coded(const Args &a) {
    if (!a.picture.empty()) fail("unexpected word '" + a.picture + "' with --family");
    if (!a.patt.empty() || a.bordered || a.method_given || !a.from_frame.empty() || !a.camera.empty())
        fail("--family makes a coded marker: no --patt, --bordered, --patt-method, --from-frame or --camera");
    const int ids = render::codedMarkerIds(a.family);
    if (ids == 0)
        fail("--family: '" + a.family + "' is not a marker family (tag36h11, tag25h9, tag16h5, "
             "aruco4x4_50 .. aruco7x7_1000, aruco_original)");
    if (a.id < 0) fail("--family needs --id N");
    if (a.id >= ids) fail("--id: " + std::to_string(a.id) + " is not an id of " + a.family +
                          " (0.." + std::to_string(ids - 1) + ")");
    if (a.png.empty() && a.svg.empty()) fail("nothing to write: give --png or --svg (see --help)");
    const int grid = render::codedMarkerGrid(a.family), q = (int)a.quiet;
    const double page_mm = render::codedPictureSide(a.family, a.mm, q);
    std::string error;
    if (!a.png.empty()) {
        const render::Image img = mvmarker::codedPicture(a.family, (int)a.id, (int)a.px, q);
        if (img.pixels.empty())
            fail("--px: " + std::to_string(a.px) + " is less than one pixel per cell (" +
                 std::to_string(grid + 2 * q) + " cells across)");
        if (!mvtool::writePngAtSize(a.png, img, page_mm, &error)) fail(error);
        std::printf("%s: %s id %ld, %d x %d pixels, %d per cell, prints %g mm wide (black square %g mm)\n",
                    a.png.c_str(), a.family.c_str(), a.id, img.width, img.height, img.width / (grid + 2 * q),
                    page_mm, a.mm);
    }
    if (!a.svg.empty()) {
        const std::string text = mvmarker::codedSvg(a.family, (int)a.id, a.mm, q);
        if (!mvtool::writeFile(a.svg, text.data(), text.size(), &error)) fail(error);
        std::printf("%s: %s id %ld, %g mm wide (black square %g mm)\n", a.svg.c_str(), a.family.c_str(), a.id,
                    page_mm, a.mm);
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    Args a = parse(argc, argv);
    if (!a.family.empty()) return make_coded(a);
    if (a.id >= 0 || a.quiet_given) fail("--id and --quiet belong with --family");

    if (!a.from_frame.empty()) {
        if (!a.picture.empty()) fail("unexpected word '" + a.picture + "' with --from-frame");
        if (a.patt.empty()) fail("--from-frame needs --patt FILE");
        if (!a.png.empty() || !a.svg.empty()) fail("--png and --svg need a PICTURE, not --from-frame");
        render::Image frame = as_frame(read_picture(a.from_frame));
        load_camera(a.camera.empty() ? bundled_camera() : a.camera,
                    frame.width, frame.height);
        std::string err = save_largest(frame.pixels.data(), (int)a.thresh, a.patt);
        if (!err.empty()) fail(a.from_frame + ": " + err);
        std::printf("%s: pattern taught from %s\n", a.patt.c_str(), a.from_frame.c_str());
        return 0;
    }

    if (a.picture.empty()) fail("no PICTURE given (see --help)");
    if (a.png.empty() && a.svg.empty() && a.patt.empty())
        fail("nothing to write: give --png, --svg or --patt (see --help)");
    if (!a.camera.empty()) fail("--camera belongs with --from-frame");
    render::Image picture = read_picture(a.picture);
    if (a.bordered) {
        if (picture.width < 8 || picture.height < 8)
            fail(a.picture + ": too small for a bordered marker (at least 8 x 8 pixels)");
        picture = central_half(picture);
    } else if (looks_bordered(picture)) {
        std::printf("note: %s already has a black border a quarter wide; "
                    "give --bordered if it is a whole marker\n", a.picture.c_str());
    }
    // The marker is square: anything else would come out squashed.
    if (picture.width != picture.height)
        std::fprintf(stderr,
                     "mvmarker: warning: %s%s is %d x %d pixels, not square: it is stretched to fill the "
                     "square inside the border (crop or pad it to a square to keep its proportions)\n",
                     a.bordered ? "the picture inside " : "", a.picture.c_str(), picture.width, picture.height);

    if (!a.png.empty()) {
        render::Image marker = render::makeMarker(picture, (int)a.px);
        std::string error;
        if (!mvtool::writePng(a.png, marker, &error)) fail(error);
        std::printf("%s: marker %d x %d pixels\n", a.png.c_str(), marker.width, marker.height);
    }
    if (!a.svg.empty()) {
        write_svg(a.svg, picture, a.mm);
        std::printf("%s: marker %g mm wide\n", a.svg.c_str(), a.mm);
    }
    if (!a.patt.empty()) {
        if (a.method == "render") {
            pattern_by_render(render::makeMarker(picture, 512), a.patt);
        } else {
            mvtool::PatternBlock blocks[4];
            mvtool::rotationBlocks(mvtool::pictureCells(picture), blocks);
            std::string error;
            if (!mvtool::writePatternFile(a.patt, blocks, &error)) fail(error);
        }
        std::printf("%s: pattern (%s)\n", a.patt.c_str(), a.method.c_str());
    }
    return 0;
}
