// make_seeds - writes the seed corpora of the fuzz targets, made with the
// project's own code: the bundled pattern and calibration, patterns and
// calibrations written by the library, rendered frames, clips written by
// the capture tests' encoder, and frames drawn to fill each detection
// capacity (candidates, markers, labels, outline points).
//
// Coded markers' cell grids come from the support library's drawings.
//
//   make_seeds OUTDIR     -> OUTDIR/{patt,param,config,capture,detect,codes}/
#include "clip_writer.h"
#include "image_io.h"
#include "render.h"

#include "morvex/camera.h"
#include "morvex/detect.h"
#include "morvex/error.h"
#include "morvex/pattern.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

static fs::path out;

static void put(const std::string &dir, const std::string &name, const Bytes &bytes)
{
    fs::create_directories(out / dir);
    std::ofstream f(out / dir / name, std::ios::binary);
    f.write(reinterpret_cast<const char *>(bytes.data()), bytes.size());
    if (!f) {
        std::fprintf(stderr, "make_seeds: cannot write %s\n", (out / dir / name).c_str());
        std::exit(1);
    }
}

static Bytes text(const std::string &s) { return Bytes(s.begin(), s.end()); }

static Bytes slurp(const fs::path &path)
{
    std::ifstream f(path, std::ios::binary);
    Bytes b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (!f.eof() && !f) {
        std::fprintf(stderr, "make_seeds: cannot read %s\n", path.c_str());
        std::exit(1);
    }
    return b;
}

static const fs::path resources = MORVEX_SOURCE_DIR "/resources";

// ---- pattern files ----

static void pattern_seeds()
{
    Bytes bundled = slurp(resources / "patt.lumo");
    put("patt", "bundled.lumo", bundled);
    put("patt", "half.lumo", Bytes(bundled.begin(), bundled.begin() + bundled.size() / 2));

    // A pattern taught by the library from a rendered view of another picture.
    MvCameraParam cam = render::bundledCamera(160, 120);
    mvInitCparam(&cam);
    render::Image marker = render::makeMarker(render::makeAlternatePicture(1), 128), frame;
    double trans[3][4];
    render::poseAt(cam, 80, 60, 200.0, 10.0, 15.0, trans);
    render::renderFrame(marker, 80.0, trans, cam, render::Options(), &frame);
    MvMarkerInfo *list;
    int n = 0;
    const fs::path taught = out / "taught.tmp";
    if (mvDetectMarker(frame.pixels.data(), 100, &list, &n) < 0 || n < 1 ||
        mvSavePatt(frame.pixels.data(), &list[0], taught.c_str()) < 0) {
        std::fprintf(stderr, "make_seeds: cannot teach a pattern from the rendered frame\n");
        std::exit(1);
    }
    put("patt", "taught.lumo", slurp(taught));
    fs::remove(taught);

    // Values out of range, signs, and text in the numbers.
    std::string odd;
    for (int i = 0; i < 3072; i++) {
        static const char *words[] = {"0", "255", "-1", "99999999999", "+7", "-2147483648", "0x10", "1e3"};
        odd += words[i % 8];
        odd += i % 16 == 15 ? "\n" : " ";
    }
    put("patt", "odd.lumo", text(odd));
    put("patt", "words.lumo", text("255 255 255 abc 0 0\n"));
}

// ---- calibration files ----

static Bytes record(const MvCameraParam &p)
{
    const fs::path tmp = out / "record.tmp";
    if (mvParamSave(tmp.c_str(), 1, &p) < 0) {
        std::fprintf(stderr, "make_seeds: cannot write %s\n", tmp.c_str());
        std::exit(1);
    }
    Bytes b = slurp(tmp);
    fs::remove(tmp);
    return b;
}

static void param_seeds()
{
    put("param", "bundled.dat", slurp(resources / "camera_para.dat"));
    put("param", "small.dat", record(render::bundledCamera(48, 36)));
    put("param", "pinhole.dat", record(render::pinholeCamera(640, 480, 500.0)));
    MvCameraParam p = render::bundledCamera(640, 480);
    p.xsize = 0;
    put("param", "zero_width.dat", record(p));
    p = render::bundledCamera(640, 480);
    for (double &v : p.projection[2]) v = 0.0;
    put("param", "zero_row.dat", record(p));
    p = render::bundledCamera(640, 480);
    p.distortion[2] = NAN;
    p.projection[0][0] = INFINITY;
    put("param", "not_finite.dat", record(p));
    p = render::bundledCamera(640, 480);
    p.distortion[3] = 0.0;
    put("param", "zero_scale.dat", record(p));
}

// ---- capture configuration words ----

static void config_seeds()
{
    const char *lines[] = {
        "",
        "-width=640 -height=480",
        "-dev=/dev/video1",
        "-file=clip.avi -loop -nopace",
        "-file=seq_%d.png -width=16384",
        "\t-width=1\t-height=1 -dev=x -file=y",
        "-width=0",
        "-height=640x480",
        "-file=",
        "-colour",
    };
    int k = 0;
    for (const char *line : lines) put("config", "words" + std::to_string(k++), text(line));
    put("config", "long_word", text("-file=" + std::string(300, 'a')));
}

// ---- capture files ----

static std::vector<render::Image> clip_frames(int width, int height, int count)
{
    MvCameraParam cam = render::bundledCamera(width, height);
    render::Image marker = render::makeProjectMarker(64);
    std::vector<render::Image> frames(count);
    for (int i = 0; i < count; i++) {
        double trans[3][4];
        render::poseAt(cam, width / 2.0, height / 2.0, 250.0, 10.0 * i, 20.0 * i, trans);
        render::renderFrame(marker, 80.0, trans, cam, render::Options(), &frames[i]);
    }
    return frames;
}

static void clip_seed(const std::string &name, clip::Codec codec, int frames, bool broken)
{
    const fs::path tmp = out / name;
    std::string err;
    clip::Writer *w = clip::open(tmp.string(), 32, 24, 10, codec, 5, &err);
    bool ok = w != nullptr;
    int k = 0;
    for (const render::Image &f : clip_frames(32, 24, frames)) {
        if (ok && broken && k++ == 1) {
            static const uint8_t junk[] = {0xff, 0xd8, 1, 2, 3, 4};
            ok = clip::writeRaw(w, junk, sizeof junk, &err);
        }
        if (ok) ok = clip::write(w, f.pixels.data(), f.channels, &err);
    }
    if (w != nullptr && !clip::close(w, &err)) ok = false;
    if (!ok) {
        std::fprintf(stderr, "make_seeds: %s\n", err.c_str());
        std::exit(1);
    }
    put("capture", name, slurp(tmp));
    fs::remove(tmp);
}

static void capture_seeds()
{
    clip_seed("mjpeg.avi", clip::Codec::Mjpeg, 3, false);
    clip_seed("broken.avi", clip::Codec::Mjpeg, 3, true);
    clip_seed("mpeg4.mkv", clip::Codec::Mpeg4, 4, false);
    Bytes png;
    std::string err;
    if (!mvtool::encodePng(clip_frames(24, 16, 1)[0], &png, &err)) {
        std::fprintf(stderr, "make_seeds: %s\n", err.c_str());
        std::exit(1);
    }
    put("capture", "frame.png", png);
}

// ---- detection frames (fuzz_detect.cpp's input layout) ----

// Mode byte: bit 0 half resolution, bit 1 grey matching, bit 2 grey pixels,
// bits 3-4 frames - 1, bit 5 refinements, bit 6 automatic threshold.
static Bytes frame_input(int width, int height, int mode, int thresh,
                         const std::vector<render::Image> &frames)
{
    Bytes b = {uint8_t(width - 8), uint8_t(height - 8), uint8_t(mode), uint8_t(thresh)};
    for (const render::Image &f : frames)
        for (size_t p = 0; p < (size_t)f.width * f.height; p++) {
            const uint8_t *px = &f.pixels[p * f.channels];
            const uint8_t rgb[3] = {px[0], px[f.channels > 1 ? 1 : 0], px[f.channels > 1 ? 2 : 0]};
            if (mode & 4) {
                b.push_back(uint8_t((rgb[0] + rgb[1] + rgb[2]) / 3));
            } else {
                b.insert(b.end(), rgb, rgb + 3);
                b.push_back(255);
            }
        }
    return b;
}

// A grey picture drawn by a predicate: dark where it holds.
template <typename Dark>
static render::Image drawn(int width, int height, Dark dark)
{
    render::Image img;
    img.width = width;
    img.height = height;
    img.channels = 1;
    img.pixels.resize((size_t)width * height);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) img.pixels[(size_t)y * width + x] = dark(x, y) ? 20 : 220;
    return img;
}

static void detect_seeds()
{
    // Rendered views of the project's marker moving over a few frames.
    const int w = 96, h = 72;
    MvCameraParam cam = render::bundledCamera(w, h);
    render::Image marker = render::makeProjectMarker(128);
    std::vector<render::Image> moving;
    for (int i = 0; i < 3; i++) {
        double trans[3][4];
        render::Options opt;
        opt.background = i == 2 ? render::Background::Clutter : render::Background::Gradient;
        opt.noise_sigma = 2.0;
        opt.seed = 1 + i;
        render::poseAt(cam, 44 + 4 * i, 36, 170.0 + 20 * i, 15.0 * i, 30.0 * i, trans);
        moving.emplace_back();
        render::renderFrame(marker, 80.0, trans, cam, opt, &moving.back());
    }
    for (int mode = 0; mode < 8; mode++) {
        // Frame count 1 or 3; refinement and automatic threshold on in turn.
        int bits = (mode & 3) | (mode & 4) | (mode & 4 ? 2 << 3 : 0) | (mode & 1 ? 32 : 64);
        std::vector<render::Image> frames(moving.begin(), moving.begin() + (bits >> 3 & 3) + 1);
        put("detect", "rendered" + std::to_string(mode), frame_input(w, h, bits, 100, frames));
    }

    // Capacities: more squares than candidates and markers, many labels,
    // an outline longer than MV_CONTOUR_MAX points.
    const int s = 96, big = 128;
    put("detect", "squares",
        frame_input(s, s, 4 | 32, 100, {drawn(s, s, [](int x, int y) {
            return x % 12 >= 2 && x % 12 < 11 && y % 12 >= 2 && y % 12 < 11;
        })}));
    put("detect", "squares_rgb",
        frame_input(s, s, 1 | 2 | 8, 100, {drawn(s, s, [](int x, int y) {
            return x % 12 >= 2 && x % 12 < 11 && y % 12 >= 2 && y % 12 < 11;
        })}));
    put("detect", "dots",
        frame_input(s, s, 4, 100, {drawn(s, s, [](int x, int y) { return x % 2 == 1 && y % 2 == 1; })}));
    put("detect", "comb",
        frame_input(big, big, 4, 100, {drawn(big, big, [](int x, int y) {
            return x >= 2 && x < big - 2 && y >= 2 && y < big - 2 && (x % 2 == 0 || y >= big - 5);
        })}));
    put("detect", "small", frame_input(8, 8, 4, 100, {drawn(8, 8, [](int, int) { return true; })}));
}

// ---- coded-marker samples ----

// One input of fuzz_codes: family index, flags, correction, frame
// allowance, then the samples of marker `id` (k per cell, grey bytes).
static Bytes coded_input(int family_index, const char *family, int id, int k, uint8_t flags, int flips)
{
    const std::vector<uint8_t> cells = render::codedMarkerCells(family, id);
    const int grid = render::codedMarkerGrid(family), n = grid * k;
    Bytes b = {(uint8_t)family_index, (uint8_t)(flags | (k - 1)), 0, 0};
    for (int r = 0; r < n; r++)
        for (int c = 0; c < n; c++) b.push_back(cells[(r / k) * grid + c / k] ? 220 : 30);
    for (int i = 0; i < flips; i++) {  // data cells flipped along the diagonal
        const int cell = (1 + i) * n + 1 + i;
        b[4 + cell] = b[4 + cell] > 128 ? 30 : 220;
    }
    return b;
}

static void codes_seeds()
{
    // The order of the core's family list.
    const char *families[] = {"tag36h11", "tag25h9", "tag16h5", "aruco4x4_50", "aruco4x4_100",
                              "aruco4x4_250", "aruco4x4_1000", "aruco5x5_50", "aruco5x5_100",
                              "aruco5x5_250", "aruco5x5_1000", "aruco6x6_50", "aruco6x6_100",
                              "aruco6x6_250", "aruco6x6_1000", "aruco7x7_50", "aruco7x7_100",
                              "aruco7x7_250", "aruco7x7_1000", "aruco_original"};
    for (int i = 0; i < 20; i++) {
        put("codes", std::string(families[i]) + "-id", coded_input(i, families[i], i, 1, 4, 0));
        put("codes", std::string(families[i]) + "-3x3", coded_input(i, families[i], 2 * i, 3, 0, 0));
    }
    put("codes", "tag36h11-2-flips", coded_input(0, "tag36h11", 100, 1, 4, 2));
    put("codes", "aruco7x7_50-7-flips", coded_input(15, "aruco7x7_50", 49, 1, 4, 7));
    put("codes", "aruco_original-symmetric", coded_input(19, "aruco_original", 1023, 1, 4, 0));
    Bytes raw = {0, 16 | 4, 0, 0};  // raw floats: NaN, infinity, a huge level
    for (uint32_t bits : {0x7fc00000u, 0x7f800000u, 0x7f7fffffu, 0x00000000u})
        for (int k = 0; k < 4; k++) raw.push_back((uint8_t)(bits >> (8 * k)));
    put("codes", "raw-floats", raw);
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds OUTDIR\n");
        return 2;
    }
    out = argv[1];
    mvSetErrorPrinting(0);
    pattern_seeds();
    param_seeds();
    config_seeds();
    capture_seeds();
    detect_seeds();
    codes_seeds();
    return 0;
}
