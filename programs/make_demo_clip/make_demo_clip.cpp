// make_demo_clip - renders the bundled demo clip: the project's marker
// moving and turning in front of a cluttered scene, seen by the bundled
// camera at 320 x 240, 30 fps, MJPEG in AVI, plus the true pose per frame.
//
//   make_demo_clip MARKER.png CAMERA_PARA.dat OUT.avi OUT_TRUTH.txt
//
// Deterministic: the same inputs give the same files. Each output is
// written under a temporary name and renamed when complete.
#include "camera_path.h"
#include "clip_path.h"
#include "demo_clip.h"
#include "render.h"
#include "tool_files.h"

#include "morvex/camera.h"

#include <cstdio>
#include <cstring>
#include <string>

static const char kUsage[] =
    "usage: make_demo_clip MARKER.png CAMERA_PARA.dat OUT.avi OUT_TRUTH.txt\n"
    "\n"
    "Renders the bundled demo clip (the build runs it): the marker, 45 mm, moving\n"
    "in front of clutter, seen through the camera file rescaled to 320 x 240, 300\n"
    "frames at 30 fps, MJPEG; the truth file holds each frame's marker-to-camera\n"
    "transform. The same inputs give the same files. For clips of your own, use\n"
    "mvrender --path.\n";

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; i++)
        if (!strcmp(argv[i], "-h") || !strcmp(argv[i], "--help")) {
            fputs(kUsage, stdout);
            return 0;
        }
    if (argc != 5) {
        fputs(kUsage, stderr);
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

    // The motion, the noise and both files are mvrender --path's: only the
    // settings below make this clip the demo clip. Both files are written
    // under temporary names and renamed into place when complete.
    int pulled = 0;
    double lastReport = -1.0;
    clip::PathJob job;
    job.marker = &marker;
    job.side_mm = demo_clip::kSideMm;
    job.cam = cam;
    job.opt = demo_clip::renderOptions();
    job.noise_sigma = demo_clip::kNoiseSigma;
    job.noise_seed = 1000;
    job.frames = demo_clip::kFrames;
    job.fps = demo_clip::kFps;
    job.qscale = demo_clip::kQscale;
    job.pose = [&](int i, double trans[3][4]) {
        if (render::wanderPose(cam, demo_clip::kSideMm, static_cast<double>(i) / demo_clip::kFps, trans) > 0)
            pulled++;
    };
    // Progress about once every 30 frames (a second or so of work).
    job.progress = [&](int done, int total) {
        if (done % 30 != 0 && done != total) return;
        const double percent = 100.0 * done / total;
        if (percent - lastReport >= 10.0 || done == total) {
            printf("make_demo_clip: %d/%d frames (%.0f%%)\n", done, total, percent);
            fflush(stdout);
            lastReport = percent;
        }
    };
    if (!clip::renderPath(job, clipPath, truthPath, &err)) {
        fprintf(stderr, "make_demo_clip: %s\n", err.c_str());
        return 1;
    }
    if (pulled > 0) printf("make_demo_clip: %d frames pulled in to keep the marker in view\n", pulled);
    printf("make_demo_clip: wrote %s and %s\n", clipPath.c_str(), truthPath.c_str());
    return 0;
}
