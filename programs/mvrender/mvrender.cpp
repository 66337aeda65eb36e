// mvrender - render one synthetic camera frame of a marker to PNG and print
// where its corners truly are; render a path of poses into a video or a PNG
// sequence with a truth file; or draw this project's marker picture.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "morvex/camera.h"
#include "camera_path.h"
#ifdef MVRENDER_WITH_CLIP
#include "clip_path.h"
#endif
#include "render.h"
#include "tool_files.h"
#include "tool_support.h"

namespace {

const char *kUsage =
    "usage: mvrender [options] OUT.png        render one frame, print the truth\n"
    "       mvrender --path wander|FILE [options] OUT\n"
    "                                         render a clip and its truth file\n"
    "       mvrender --make-marker OUT.png [--marker-px N]\n"
    "\n"
    "Frame options:\n"
    "  --marker FILE        marker picture incl. border, PNG (default resources/marker.png)\n"
    "  --side MM            marker side in mm, the outer side of the black square\n"
    "                       (default 45, as mvmarker, mvtrack and the viewer)\n"
    "  --camera FILE        calibration file (default resources/camera_para.dat)\n"
    "  --size WxH           frame size; the calibration is rescaled to it (default 320x240)\n"
    "  --distance MM        camera centre to marker centre (default 300)\n"
    "  --tilt DEG           tilt about the marker's x axis (default 0)\n"
    "  --roll DEG           turn about the viewing ray, clockwise in the image (default 0)\n"
    "  --centre U V         image point (ideal pixels) the marker centre is seen at\n"
    "                       (default: the frame centre)\n"
    "  --trans A B ... L    a full 3x4 marker-to-camera transform, row-major, 12 numbers\n"
    "                       (replaces --distance, --tilt, --roll, --centre)\n"
    "  --background KIND    plain, gradient or clutter (default plain)\n"
    "  --colour R,G,B       plain colour, light end of the gradient (default 190,190,190)\n"
    "  --blur SIGMA         Gaussian blur in pixels (default 0)\n"
    "  --noise SIGMA        Gaussian noise in grey levels (default 0)\n"
    "  --seed N             seed for clutter and noise (default 1)\n"
    "  --supersample N      sub-samples per pixel per axis, 1..16 (default 4)\n"
    "  --repeat N           render the frame N times and print the CPU time per frame\n"
    "\n"
    "Path options (a clip: OUT is a video, e.g. clip.avi (MJPEG), or a PNG sequence\n"
    "with one %d or %0Nd, e.g. frames/%04d.png, numbered from 0):\n"
    "  --path wander        the demo clip's motion: distance 155-445 mm for a 45 mm\n"
    "                       marker (scaled with --side), tilt up to 45 degrees, a\n"
    "                       full turn of roll per 10 s, the marker always in view\n"
    "  --path FILE          the poses of a truth file: a frame index and 12 numbers\n"
    "                       (the 3x4 transform, row-major) per line, '#' comments\n"
    "  --frames N           frames to render (default: 10 s of wander, or every\n"
    "                       pose of FILE)\n"
    "  --fps N              frame rate, 1..240 (default 30)\n"
    "  --truth FILE         the truth file: a comment line, then per frame its index\n"
    "                       and the marker-to-camera transform, as --path FILE reads\n"
    "                       it (default: OUT without extension or number, plus\n"
    "                       _truth.txt)\n"
    "  With --path, --noise is drawn afresh for every frame, like a camera's.\n"
    "\n"
    "Marker option:\n"
    "  --marker-px N        side of the marker image, a multiple of 4 (default 512)\n"
    "\n"
    "Resources are looked up as given, then beside this program in resources/\n"
    "or ../share/morvex.\n"
    "One frame: prints the transform and, for corners 0..3, observed and ideal\n"
    "pixels. A picture that is not square is stretched onto the square marker\n"
    "(with a warning): crop or pad it to a square first to keep its proportions.\n";

[[noreturn]] void fail(const std::string &msg) {
    std::fprintf(stderr, "mvrender: %s\n", msg.c_str());
    std::exit(1);
}

double number(const char *opt, const char *text) {
    double v;
    if (!mvtool::parseDecimal(text, &v)) fail(std::string(opt) + ": '" + text + "' is not a number");
    return v;
}

long integer(const char *opt, const char *text, long lo, long hi) {
    long v;
    if (!mvtool::parseWhole(text, lo, hi, &v))
        fail(std::string(opt) + ": '" + text + "' is not a whole number from " + std::to_string(lo) +
             " to " + std::to_string(hi));
    return v;
}

// A default resource is found in ./resources or in the bundled resource
// folder; a path the user gave is taken as it is.
std::string resource(const std::string &given, const char *name, bool user_gave) {
    if (user_gave) return given;
    if (access(given.c_str(), R_OK) == 0) return given;
    const std::string folder = mvtool::resourceFolder();
    if (folder.empty()) return given;
    const std::string bundled = folder + "/" + name;
    return access(bundled.c_str(), R_OK) == 0 ? bundled : given;
}

// OUT without its frame number and extension, plus _truth.txt:
// clip.avi -> clip_truth.txt, frames/%04d.png -> frames/truth.txt.
std::string default_truth(const std::string &out) {
    std::string stem = out;
    const size_t pc = stem.find('%');
    if (pc != std::string::npos) {
        const size_t d = stem.find('d', pc);
        stem.erase(pc, d == std::string::npos ? std::string::npos : d - pc + 1);
    }
    const size_t slash = stem.rfind('/'), dot = stem.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) stem.erase(dot);
    while (!stem.empty() && stem.back() != '/' && std::strchr("_-. ", stem.back())) stem.pop_back();
    return stem + (stem.empty() || stem.back() == '/' ? "truth.txt" : "_truth.txt");
}

}  // namespace

int main(int argc, char **argv) {
    std::string marker_path = "resources/marker.png", camera_path = "resources/camera_para.dat";
    bool marker_given = false, camera_given = false;
    std::string out, make_marker;
    int marker_px = 512;
    int repeat = 1;
    int width = 320, height = 240;
    double side = 45.0, distance = 300.0, tilt = 0.0, roll = 0.0, u = NAN, v = NAN;
    bool have_trans = false, pose_given = false;
    double trans[3][4] = {};
    std::string path, truth;
    long frames = 0, fps = 30;
    render::Options opt;

    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        auto need = [&](int count) {
            if (i + count >= argc)
                fail(std::string(a) + ": needs " + std::to_string(count) + (count > 1 ? " values" : " value"));
        };
        if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!std::strcmp(a, "--make-marker")) {
            need(1);
            make_marker = argv[++i];
        } else if (!std::strcmp(a, "--marker-px")) {
            need(1);
            marker_px = static_cast<int>(integer(a, argv[++i], 8, 8192));
            if (marker_px % 4) fail(std::string(a) + ": '" + argv[i] + "' is not a multiple of 4");
        } else if (!std::strcmp(a, "--marker")) {
            need(1);
            marker_path = argv[++i];
            marker_given = true;
        } else if (!std::strcmp(a, "--camera")) {
            need(1);
            camera_path = argv[++i];
            camera_given = true;
        } else if (!std::strcmp(a, "--size")) {
            need(1);
            const char *s = argv[++i];
            int w = 0, h = 0;
            char extra;
            if (std::sscanf(s, "%dx%d%c", &w, &h, &extra) != 2 || w < 1 || h < 1 || w > 8192 || h > 8192)
                fail(std::string(a) + ": '" + s + "' is not WIDTHxHEIGHT (for example 320x240)");
            width = w;
            height = h;
        } else if (!std::strcmp(a, "--side")) {
            need(1);
            side = number(a, argv[++i]);
            if (side <= 0) fail(std::string(a) + ": '" + argv[i] + "' must be positive");
        } else if (!std::strcmp(a, "--distance")) {
            need(1);
            distance = number(a, argv[++i]);
            pose_given = true;
            if (distance <= 0) fail(std::string(a) + ": '" + argv[i] + "' must be positive");
        } else if (!std::strcmp(a, "--tilt")) {
            need(1);
            tilt = number(a, argv[++i]);
            pose_given = true;
        } else if (!std::strcmp(a, "--roll")) {
            need(1);
            roll = number(a, argv[++i]);
            pose_given = true;
        } else if (!std::strcmp(a, "--centre") || !std::strcmp(a, "--center")) {
            need(2);
            u = number(a, argv[++i]);
            v = number(a, argv[++i]);
            pose_given = true;
        } else if (!std::strcmp(a, "--trans")) {
            need(12);
            for (int k = 0; k < 12; k++) trans[k / 4][k % 4] = number(a, argv[++i]);
            have_trans = true;
            pose_given = true;
        } else if (!std::strcmp(a, "--background")) {
            need(1);
            const char *b = argv[++i];
            if (!std::strcmp(b, "plain")) opt.background = render::Background::Plain;
            else if (!std::strcmp(b, "gradient")) opt.background = render::Background::Gradient;
            else if (!std::strcmp(b, "clutter")) opt.background = render::Background::Clutter;
            else fail(std::string(a) + ": '" + b + "' is not plain, gradient or clutter");
        } else if (!std::strcmp(a, "--colour") || !std::strcmp(a, "--color")) {
            need(1);
            const char *s = argv[++i];
            int r, g, b;
            char extra;
            if (std::sscanf(s, "%d,%d,%d%c", &r, &g, &b, &extra) != 3 || r < 0 || r > 255 || g < 0 || g > 255 ||
                b < 0 || b > 255)
                fail(std::string(a) + ": '" + s + "' is not R,G,B with values 0..255");
            opt.plain[0] = static_cast<uint8_t>(r);
            opt.plain[1] = static_cast<uint8_t>(g);
            opt.plain[2] = static_cast<uint8_t>(b);
        } else if (!std::strcmp(a, "--blur")) {
            need(1);
            opt.blur_sigma = number(a, argv[++i]);
            if (opt.blur_sigma < 0 || opt.blur_sigma > 50) fail(std::string(a) + ": '" + argv[i] + "' is not 0..50");
        } else if (!std::strcmp(a, "--noise")) {
            need(1);
            opt.noise_sigma = number(a, argv[++i]);
            if (opt.noise_sigma < 0 || opt.noise_sigma > 255) fail(std::string(a) + ": '" + argv[i] + "' is not 0..255");
        } else if (!std::strcmp(a, "--seed")) {
            need(1);
            opt.seed = static_cast<unsigned>(integer(a, argv[++i], 0, 4294967295L));
        } else if (!std::strcmp(a, "--supersample")) {
            need(1);
            opt.supersample = static_cast<int>(integer(a, argv[++i], 1, 16));
        } else if (!std::strcmp(a, "--path")) {
            need(1);
            path = argv[++i];
        } else if (!std::strcmp(a, "--frames")) {
            need(1);
            frames = integer(a, argv[++i], 1, 1000000);
        } else if (!std::strcmp(a, "--fps")) {
            need(1);
            fps = integer(a, argv[++i], 1, 240);
        } else if (!std::strcmp(a, "--truth")) {
            need(1);
            truth = argv[++i];
        } else if (!std::strcmp(a, "--repeat")) {
            need(1);
            repeat = static_cast<int>(integer(a, argv[++i], 1, 10000));
        } else if (a[0] == '-' && a[1] != '\0') {
            fail(std::string("unknown option '") + a + "' (see mvrender --help)");
        } else if (out.empty()) {
            out = a;
        } else {
            fail(std::string("unexpected word '") + a + "': only one output file (see mvrender --help)");
        }
    }

    std::string err;
    if (!make_marker.empty()) {
        if (!out.empty()) fail("unexpected word '" + out + "' after --make-marker");
        if (!mvtool::writePng(make_marker, render::makeProjectMarker(marker_px), &err)) fail(err);
        std::printf("wrote %s (%d x %d)\n", make_marker.c_str(), marker_px, marker_px);
        return 0;
    }
    if (out.empty()) fail("no output file given (see mvrender --help)");
    if (path.empty() && (frames || fps != 30 || !truth.empty()))
        fail("--frames, --fps and --truth belong with --path (see mvrender --help)");
    if (!path.empty() && (pose_given || repeat > 1))
        fail("--path sets every frame's pose: it takes no --distance, --tilt, --roll, --centre, --trans or "
             "--repeat");

    render::Image marker;
    std::string mpath = resource(marker_path, "marker.png", marker_given);
    if (!mvtool::readImage(mpath, &marker, &err)) fail(err);
    if (marker.width != marker.height)
        std::fprintf(stderr,
                     "mvrender: warning: %s is %d x %d pixels, not square: it is stretched onto the square "
                     "marker (crop or pad it to a square to keep its proportions)\n",
                     mpath.c_str(), marker.width, marker.height);

    std::string cpath = resource(camera_path, "camera_para.dat", camera_given);
    MvCameraParam file_cam, cam;
    if (!mvtool::loadCamera(cpath, &file_cam, &err)) fail(err);
    mvParamChangeSize(&file_cam, width, height, &cam);

    if (!path.empty()) {
#ifdef MVRENDER_WITH_CLIP
        std::vector<render::PathPose> poses;
        if (path != "wander") {
            if (!render::readTruth(path, &poses, &err)) fail(err);
            if (frames > static_cast<long>(poses.size()))
                fail("--frames " + std::to_string(frames) + ": \"" + path + "\" holds only " +
                     std::to_string(poses.size()) + " poses");
            if (!frames) frames = static_cast<long>(poses.size());
        } else if (!frames) {
            frames = 10 * fps;
        }
        if (truth.empty()) truth = default_truth(out);
        clip::PathJob job;
        job.marker = &marker;
        job.side_mm = side;
        job.cam = cam;
        job.opt = opt;
        // A camera's noise differs from frame to frame; the renderer's would
        // repeat the same grain on every frame.
        job.noise_sigma = opt.noise_sigma;
        job.opt.noise_sigma = 0.0;
        job.noise_seed = 1000u * opt.seed;
        job.frames = static_cast<int>(frames);
        job.fps = static_cast<int>(fps);
        job.pose = [&](int f, double t[3][4]) {
            if (poses.empty()) render::wanderPose(cam, side, static_cast<double>(f) / fps, t);
            else std::memcpy(t, poses[f].trans, sizeof poses[f].trans);
        };
        if (!clip::renderPath(job, out, truth, &err)) fail(err);
        std::printf("%s: %ld frames of %dx%d at %ld fps, side %.3f mm\n%s: the pose of each frame\n",
                    out.c_str(), frames, width, height, fps, side, truth.c_str());
        return 0;
#else
        fail("--path is not built in: it needs FFmpeg (libavformat-dev, libavcodec-dev, libswscale-dev)");
#endif
    }

    if (!have_trans) {
        if (std::isnan(u)) {
            u = (width - 1) / 2.0;
            v = (height - 1) / 2.0;
        }
        render::poseAt(cam, u, v, distance, tilt, roll, trans);
    }
    render::Image frame;
    std::clock_t start = std::clock();
    render::Truth t = render::renderFrame(marker, side, trans, cam, opt, &frame);
    for (int r = 1; r < repeat; r++) render::renderFrame(marker, side, trans, cam, opt, &frame);
    double cpu_ms = 1000.0 * (std::clock() - start) / CLOCKS_PER_SEC / repeat;
    // The PNG keeps R, G, B; the fourth byte carries no colour.
    render::Image rgb;
    rgb.width = frame.width;
    rgb.height = frame.height;
    rgb.channels = 3;
    rgb.pixels.resize(static_cast<size_t>(frame.width) * frame.height * 3);
    for (size_t i = 0; i < static_cast<size_t>(frame.width) * frame.height; i++)
        std::memcpy(&rgb.pixels[i * 3], &frame.pixels[i * 4], 3);
    if (!mvtool::writePng(out, rgb, &err)) fail(err);

    std::printf("frame %s %dx%d side %.3f mm\n", out.c_str(), width, height, side);
    for (int r = 0; r < 3; r++)
        std::printf("trans %d % .6f % .6f % .6f % .4f\n", r, trans[r][0], trans[r][1], trans[r][2], trans[r][3]);
    for (int k = 0; k < 4; k++)
        std::printf("corner %d observed %.4f %.4f ideal %.4f %.4f\n", k, t.observed[k][0], t.observed[k][1],
                    t.ideal[k][0], t.ideal[k][1]);
    if (repeat > 1) std::printf("render %.2f ms CPU per frame (mean of %d)\n", cpu_ms, repeat);
    return 0;
}
