// demo_clip.h - how the bundled demo clip is made, shared by make_demo_clip
// and the tests that compare the clip with fresh renders of its poses.
#ifndef MORVEX_DEMO_CLIP_H
#define MORVEX_DEMO_CLIP_H

#include "render.h"

namespace demo_clip {

const int kFrames = 300;        // 10 s
const int kFps = 30;
const int kWidth = 320, kHeight = 240;
const double kSideMm = 45.0;    // the viewer's marker width
const int kQscale = 2;          // MJPEG quantiser: 1 best .. 31 worst
const double kNoiseSigma = 2.0; // grey levels, added per frame after rendering

// The renderer's settings for every frame: a fixed cluttered scene (same
// seed for all frames, so the background stays put) and a slight blur.
// The sensor noise is added separately, with a new seed per frame.
inline render::Options renderOptions()
{
    render::Options opt;
    opt.background = render::Background::Clutter;
    opt.supersample = 3;
    opt.blur_sigma = 0.6;
    opt.noise_sigma = 0.0;
    opt.seed = 7;
    return opt;
}

}  // namespace demo_clip

#endif
