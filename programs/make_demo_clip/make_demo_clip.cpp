// make_demo_clip - renders the bundled demo clip: the project's marker
// moving and turning in front of a cluttered scene, seen by the bundled
// camera at 320 x 240, 30 fps, MJPEG in AVI, plus the true pose per frame.
//
//   make_demo_clip MARKER.png CAMERA_PARA.dat OUT.avi OUT_TRUTH.txt
//
// Deterministic: the same inputs give the same files. Each output is
// written under a temporary name and renamed when complete.
#include "clip_writer.h"
#include "demo_clip.h"
#include "render.h"
#include "tool_files.h"

#include "morvex/camera.h"

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

static const double kPi = 3.14159265358979323846;
// Corners stay this far inside the frame (pixels), so the whole marker,
// border included, is in view even after lens distortion.
static const double kMargin = 12.0;

static double wave(double t, double period, double phase = 0.0)
{
    return std::sin(2.0 * kPi * t / period + phase);
}

static bool in_view(const MvCameraParam &cam, const double trans[3][4])
{
    const render::Truth t = render::projectCorners(demo_clip::kSideMm, trans, cam);
    for (const auto &p : t.ideal) {
        if (!(p[0] >= kMargin && p[0] <= cam.xsize - 1 - kMargin && p[1] >= kMargin &&
              p[1] <= cam.ysize - 1 - kMargin))
            return false;
    }
    return true;
}

// The path: distance 155-445 mm, tilt up to 45 degrees, one full turn of
// roll over the clip (every quadrant), the centre wandering less when close.
// Returns how often the wander had to be pulled in to keep the marker in
// view (0 for the path as designed).
static int pose_at(const MvCameraParam &cam, int frame, double trans[3][4])
{
    double t = static_cast<double>(frame) / demo_clip::kFps;
    double dist = 300.0 + 120.0 * wave(t, 6.5, 0.5) + 25.0 * wave(t, 2.3);
    double tilt = 38.0 * wave(t, 4.1) + 7.0 * wave(t, 1.7, 1.0);
    double roll = 20.0 + 36.0 * t + 25.0 * wave(t, 3.3);
    double reach = std::fmin(1.0, (dist - 120.0) / 200.0);
    double du = 55.0 * reach * wave(t, 5.3), dv = 35.0 * reach * wave(t, 3.7, 1.0);
    double cu = (cam.xsize - 1) / 2.0, cv = (cam.ysize - 1) / 2.0;
    int pulls = 0;
    for (;;) {
        render::poseAt(cam, cu + du, cv + dv, dist, tilt, roll, trans);
        if (in_view(cam, trans) || pulls > 40) return pulls;
        du *= 0.8;
        dv *= 0.8;
        dist += 5.0;
        pulls++;
    }
}

// Gaussian sensor noise on R, G and B, a fresh draw per frame. mt19937 and
// the Box-Muller step below are fully specified, so the bytes are the same
// on every platform.
static void add_noise(render::Image *img, unsigned seed)
{
    std::mt19937 gen(seed);
    auto uniform = [&gen]() { return (gen() + 0.5) / 4294967296.0; };
    for (size_t i = 0; i < img->pixels.size(); i++) {
        if (img->channels == 4 && i % 4 == 3) continue;
        double n = std::sqrt(-2.0 * std::log(uniform())) * std::cos(2.0 * kPi * uniform());
        double v = img->pixels[i] + demo_clip::kNoiseSigma * n;
        img->pixels[i] = static_cast<uint8_t>(std::lround(std::fmin(255.0, std::fmax(0.0, v))));
    }
}

int main(int argc, char **argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: %s MARKER.png CAMERA_PARA.dat OUT.avi OUT_TRUTH.txt\n", argv[0]);
        return 2;
    }
    const std::string markerPath = argv[1], camPath = argv[2], clipPath = argv[3],
                      truthPath = argv[4];
    std::string err;
    render::Image marker;
    if (!mvtool::readImage(markerPath, &marker, &err)) {
        fprintf(stderr, "make_demo_clip: %s\n", err.c_str());
        return 1;
    }
    MvCameraParam fileCam, cam;
    if (!mvtool::loadCamera(camPath, &fileCam, &err)) {
        fprintf(stderr, "make_demo_clip: %s\n", err.c_str());
        return 1;
    }
    mvParamChangeSize(&fileCam, demo_clip::kWidth, demo_clip::kHeight, &cam);

    // Both files are written under temporary names and renamed into place
    // when complete: a failed run leaves no half-written file behind.
    mvtool::OutputFile clipFile, truthFile;
    clip::Writer *w = nullptr;
    if (!clipFile.reserve(clipPath, &err) || !truthFile.open(truthPath, &err) ||
        (w = clip::open(clipFile.tempPath(), demo_clip::kWidth, demo_clip::kHeight,
                        demo_clip::kFps, clip::Codec::Mjpeg, demo_clip::kQscale, &err)) == nullptr) {
        fprintf(stderr, "make_demo_clip: %s\n", err.c_str());
        return 1;
    }
    FILE *truth = truthFile.stream();
    fprintf(truth,
            "# demo_clip.avi: %d frames of %d x %d at %d fps, marker side %.0f mm. Each line: "
            "frame index (from 0), then the marker-to-camera 3x4 transform (mm), row-major: "
            "r11 r12 r13 tx r21 r22 r23 ty r31 r32 r33 tz\n",
            demo_clip::kFrames, demo_clip::kWidth, demo_clip::kHeight, demo_clip::kFps,
            demo_clip::kSideMm);

    const render::Options opt = demo_clip::renderOptions();
    int pulled = 0;
    double lastReport = -1.0;
    for (int i = 0; i < demo_clip::kFrames; i++) {
        double trans[3][4];
        if (pose_at(cam, i, trans) > 0) pulled++;
        render::Image frame;
        render::Truth t = render::renderFrame(marker, demo_clip::kSideMm, trans, cam, opt, &frame);
        add_noise(&frame, 1000u + static_cast<unsigned>(i));
        if (!clip::write(w, frame.pixels.data(), frame.channels, &err)) {
            fprintf(stderr, "make_demo_clip: %s: %s\n", clipPath.c_str(), err.c_str());
            clip::close(w, nullptr);
            return 1;
        }
        fprintf(truth, "%d", i);
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 4; c++) fprintf(truth, " %.9g", t.trans[r][c]);
        fprintf(truth, "\n");
        // Progress about once every 30 frames (a second or so of work).
        if (i % 30 == 29 || i == demo_clip::kFrames - 1) {
            double done = 100.0 * (i + 1) / demo_clip::kFrames;
            if (done - lastReport >= 10.0 || i == demo_clip::kFrames - 1) {
                printf("make_demo_clip: %d/%d frames (%.0f%%)\n", i + 1, demo_clip::kFrames, done);
                fflush(stdout);
                lastReport = done;
            }
        }
    }
    if (!clip::close(w, &err)) {
        fprintf(stderr, "make_demo_clip: %s: %s\n", clipPath.c_str(), err.c_str());
        return 1;
    }
    if (!clipFile.commit(&err) || !truthFile.commit(&err)) {
        fprintf(stderr, "make_demo_clip: %s\n", err.c_str());
        return 1;
    }
    if (pulled > 0) printf("make_demo_clip: %d frames pulled in to keep the marker in view\n", pulled);
    printf("make_demo_clip: wrote %s and %s\n", clipPath.c_str(), truthPath.c_str());
    return 0;
}
