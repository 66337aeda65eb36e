// The automatic threshold (MvAutoThresh) on rendered 320 x 240 frames whose
// bytes are scaled by an exposure gain.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "morvex.h"
#include "render.h"

// Gains 0.3 up to 1.3 and back, five frames each, then a jump from 1.3 to
// 0.3, starting at threshold 100 (the paper falls below 100 at gain 0.3).
// Our 80 mm marker, sharp on a plain ground and blurred on gradient and
// cluttered ones (where the frame's first split alone misses it at some
// gains), is identified within five frames of every change and then in every
// frame, never twice. Clutter alone, or with another picture in the same
// border, never gives our identity at any threshold the search tries.
TEST(AutoThresh, FollowsExposureWithoutFalseIdentification)
{
    const int patt = mvLoadPatt("resources/patt.lumo");
    ASSERT_GE(patt, 0);
    MvCameraParam cam = render::bundledCamera(320, 240);
    mvInitCparam(&cam);
    const double gains[] = {.3, .4, .5, .6, .7, .8, .9, 1, 1.1, 1.2, 1.3, 1.2,
                            1.1, 1, .9, .8, .7, .6, .5, .4, .3, 1.3, .3};
    using B = render::Background;
    const struct { B ground; double dist; unsigned seed; double blur; } scenes[] = {
        {B::Plain, 500, 1, 0}, {B::Gradient, 900, 10, 1}, {B::Clutter, 900, 11, 1}};
    for (int k = 0; k < 4 + render::alternatePictureCount(); k++) {
        const bool mine = k < 3;
        render::Options opt;
        opt.background = mine ? scenes[k].ground : B::Clutter;
        opt.seed = mine ? scenes[k].seed : k;
        opt.blur_sigma = mine ? scenes[k].blur : 0;
        opt.noise_sigma = 2;
        opt.supersample = 2;
        double trans[3][4];
        render::poseAt(cam, 150 + opt.seed, 110, mine ? scenes[k].dist : 350 + 50 * k, 10 + opt.seed,
                       25.0 * opt.seed, trans);
        render::Image frame, f;
        render::renderFrame(mine ? render::makeProjectMarker(256)
                            : k == 3 ? render::Image()
                                     : render::makeMarker(render::makeAlternatePicture(k - 4), 256),
                            80, trans, cam, opt, &frame);
        MvAutoThresh at;
        mvAutoThreshInit(&at, 100);
        for (double g : gains) {
            f = frame;
            for (size_t i = 0; i < f.pixels.size(); i++)
                if (i % 4 != 3) f.pixels[i] = (uint8_t)std::min(255.0, std::round(frame.pixels[i] * g));
            int found = 0;
            for (int i = 0; i < 5; i++) {
                MvMarkerInfo *list;
                int n = 0, ours = 0;
                EXPECT_EQ(mvDetectMarkerLite(f.pixels.data(), at.thresh, &list, &n), 0);
                for (int j = 0; j < n; j++) ours += list[j].id == patt;
                mvAutoThreshUpdate(&at, f.pixels.data(), list, n);
                // Ours: none until found, then exactly one in every frame.
                EXPECT_EQ(ours, mine && (found > 0 || ours > 0) ? 1 : 0) << k << ", gain " << g;
                found += ours;
            }
            EXPECT_TRUE(found > 0 || !mine) << k << ", gain " << g;
        }
    }
}
