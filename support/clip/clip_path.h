// clip_path.h - renders a marker along a path of poses into a video or a
// numbered PNG sequence, with the truth file beside it. The demo clip and
// `mvrender --path` are made here.
//
//     clip::PathJob job;
//     job.marker = &marker; job.side_mm = 45; job.cam = cam; job.frames = 300;
//     job.pose = [&](int i, double trans[3][4]) { render::wanderPose(cam, 45, i / 30.0, trans); };
//     std::string err;
//     if (!clip::renderPath(job, "clip.avi", "clip_truth.txt", &err)) ...
#ifndef MORVEX_CLIP_PATH_H
#define MORVEX_CLIP_PATH_H

#include <functional>
#include <string>

#include "clip_writer.h"
#include "render.h"

namespace clip {

struct PathJob {
    const render::Image *marker = nullptr;
    double side_mm = 45.0;
    MvCameraParam cam{};          // the frame size is cam.xsize x cam.ysize
    render::Options opt;          // the renderer's settings, the same for every frame
    double noise_sigma = 0.0;     // sensor noise added per frame (grey levels)...
    unsigned noise_seed = 1000;   // ...frame i drawn with seed noise_seed + i
    int frames = 0;
    int fps = 30;
    int qscale = 2;               // MJPEG quantiser, 1 best .. 31
    // Frame i's marker-to-camera transform (mm).
    std::function<void(int frame, double trans[3][4])> pose;
    // Called after each frame when set (frames done, frames in all).
    std::function<void(int done, int total)> progress;
};

// True when `out` names a PNG sequence: one %d or %0Nd (%% is a percent sign).
bool isSequence(const std::string &out);

// Renders job.frames frames. `out` is a video file (MJPEG; the container
// follows the extension, e.g. .avi, .mkv) or a PNG sequence numbered from 0
// ("frames/%04d.png"); `truth` gets render::truthHeader and one
// render::truthLine per frame. The video and the truth file replace older
// files only when complete; each PNG likewise. False with *error naming the
// file at fault.
bool renderPath(const PathJob &job, const std::string &out, const std::string &truth, std::string *error);

}  // namespace clip

#endif
