// Detection and pose against the truth: frames rendered with a known pose
// (the bundled camera rescaled to the frame size, the project's 80 mm
// marker and pattern), detected, then estimated with mvGetTransMat. The
// golden test freezes these outputs; this one shows they are right.
//
// The detector's edges lie about 0.6 px inside the true ones (the outline
// runs through the border's outermost dark pixels, and an anti-aliased edge
// pixel is dark only when mostly covered), so a corner sits about half a
// pixel from the truth (measured at most 0.65 px, 1.3 px at half
// resolution) and the marker comes out slightly far: about 5 % at 1.5 m at
// 320 x 240 and half that at 640 x 480 (bench/pose/pose_accuracy prints the
// table). The bounds below are those measurements with some room; a
// corner paired with the wrong truth corner (a wrong direction) is a whole
// side off, a flipped axis is 180 degrees, a swapped corner order 90.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "sweep.h"

namespace {

struct View {
    int w;
    const render::Image *picture;   // nullptr: ours
    render::Background bg;
    bool half;
    double dist, tilt, roll;
};

}  // namespace

TEST(Truth, CornersIdentityAndPoseOfRenderedViews)
{
    const render::Image none, other0 = render::makeMarker(render::makeAlternatePicture(0), 512),
                              other1 = render::makeMarker(render::makeAlternatePicture(1), 512);
    using B = render::Background;
    // Distances 0.2 to 1.5 m (the marker 280 to 37 px wide at 640 x 480),
    // tilts up to 60 degrees, the roll cycling through the four quarters so
    // that every direction is met; then clutter, half resolution, and views
    // without our marker.
    std::vector<View> views;
    int q = 0;
    for (int w : {320, 640})
        for (double dist : {200.0, 500.0, 1000.0, 1500.0})
            for (double tilt : {0.0, 30.0, 60.0})
                views.push_back({w, nullptr, B::Plain, false, dist, tilt, 15.0 + 90.0 * (q++ % 4)});
    views.push_back({320, nullptr, B::Clutter, false, 400, 25, 30});
    views.push_back({640, nullptr, B::Clutter, false, 700, 40, 160});
    views.push_back({320, nullptr, B::Plain, true, 300, 20, 95});
    views.push_back({640, nullptr, B::Gradient, true, 600, 35, 200});
    views.push_back({320, &none, B::Clutter, false, 400, 0, 0});
    views.push_back({320, &other0, B::Plain, false, 350, 20, 0});
    views.push_back({320, &other1, B::Plain, false, 350, 20, 90});

    double sum[2] = {0, 0};
    int count[2] = {0, 0};
    for (const View &v : views) {
        sweep::Setup s;
        std::string error;
        ASSERT_TRUE(sweep::prepare(MORVEX_RESOURCE_DIR, v.w, v.w * 3 / 4, &s, &error)) << error;
        if (v.picture != nullptr) s.marker = *v.picture;
        render::Options opt;
        opt.supersample = 2;  // plenty for edges at these sizes, and 4x faster
        opt.background = v.bg;
        mvImageProcMode = v.half;
        const sweep::Result r = sweep::run(s, v.dist, v.tilt, v.roll, opt);
        mvImageProcMode = 0;
        // The marker's side in pixels, face-on and foreshortened.
        const double px = s.cam.projection[0][0] * sweep::kSide / v.dist;
        const bool big = px * std::cos(v.tilt * M_PI / 180) >= 30;
        SCOPED_TRACE(testing::Message() << v.w << " px wide, " << v.dist << " mm, tilt " << v.tilt
                                        << ", roll " << v.roll << (v.half ? ", half" : ""));
        if (v.picture != nullptr) {
            EXPECT_FALSE(r.found) << "another picture taken for ours";
            continue;
        }
        EXPECT_TRUE(r.found || !big);
        if (!r.found) continue;
        EXPECT_LT(r.corner_px, v.half ? 2.0 : 1.0);
        EXPECT_TRUE(r.confidence >= 0.8 || v.dist > 500) << r.confidence;
        // Under 30 px (foreshortened) the outline's whole-pixel corners move
        // the distance by up to about 3 % either way.
        EXPECT_GT(r.dist_pct, big ? -0.5 : -3.0);
        EXPECT_LT(r.dist_pct, v.w == 320 ? 6.5 : 4.0);
        EXPECT_LT(r.trans_pct, v.w == 320 ? 7.5 : 5.0);
        // Small far markers nearly face-on have a poorly seen tilt.
        EXPECT_LT(r.rot_deg, px > 60 ? 2.0 : 25.0);
        EXPECT_LT(r.err, 1.0);
        if (v.bg == B::Plain && !v.half) {
            sum[v.w == 640] += r.dist_pct;
            count[v.w == 640]++;
        }
    }
    // The edge bias is a fixed fraction of a pixel: doubling the resolution
    // about halves the distance error.
    ASSERT_TRUE(count[0] > 0 && count[1] > 0);
    const double mean320 = sum[0] / count[0], mean640 = sum[1] / count[1];
    EXPECT_GT(mean320, 0.5);
    EXPECT_LT(mean640, 0.7 * mean320);
}
