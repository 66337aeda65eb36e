// End to end: frames rendered with a known pose by the project's renderer,
// with the bundled camera rescaled to the frame size, the project's marker
// (80 mm) and pattern; detected, then estimated with mvGetTransMat.
//
// The detector's edges lie about 0.6 px inside the true ones, so the marker
// looks slightly small and comes out slightly far: the distance error is
// positive and grows with distance (as the marker shrinks in pixels),
// about 5 % at 1.5 m at 320 x 240 and half that at 640 x 480. The bounds
// below come from those measurements (bench/pose/pose_accuracy prints the
// full table) with some room; a flipped axis (180 degrees), a swapped
// corner order (90 degrees) or a translation off by the marker's width
// (5 % at 1.5 m, 40 % at 0.2 m, and pointing the wrong way) fail them.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "sweep.h"

namespace {

// Distances 0.2 to 1.5 m, tilts 0 to 60 degrees, and the roll cycling
// through the four quarters so that every pattern direction is met.
void sweep_and_check(int xsize, int ysize, double max_dist_pct, double *mean_dist_pct)
{
    sweep::Setup s;
    std::string error;
    ASSERT_TRUE(sweep::prepare(MORVEX_RESOURCE_DIR, xsize, ysize, &s, &error)) << error;
    render::Options opt;
    opt.supersample = 2;  // plenty for edges at these sizes, and 4x faster
    double sum = 0;
    int n = 0, k = 0;
    for (double dist : {200.0, 500.0, 1000.0, 1500.0})
        for (double tilt : {0.0, 30.0, 60.0}) {
            const double roll = 15.0 + 90.0 * (k++ % 4);
            const sweep::Result r = sweep::run(s, dist, tilt, roll, opt);
            // The marker's side in pixels, face-on and foreshortened.
            const double px = s.cam.projection[0][0] * sweep::kSide / dist;
            const bool big = px * std::cos(tilt * M_PI / 180) >= 30;
            SCOPED_TRACE(testing::Message() << xsize << " x " << ysize << ", " << dist << " mm, tilt "
                                            << tilt << ", roll " << roll << ", " << px << " px");
            // A marker at least 30 px across its foreshortened side is always found.
            if (big) {
                EXPECT_TRUE(r.found);
            }
            if (!r.found) continue;
            // The inward edge bias makes the distance come out long, but on a
            // marker under 30 px (foreshortened) the outline's whole-pixel
            // corners move it by up to about 3 % either way (measured -1.6 % at
            // 1.5 m, tilt 30, where the marker is now identified at 320 x 240).
            EXPECT_GT(r.dist_pct, big ? -0.5 : -3.0);
            EXPECT_LT(r.dist_pct, max_dist_pct);
            EXPECT_LT(r.trans_pct, max_dist_pct + 1.0);
            // Rotation: under 2 degrees for markers over 60 px; small far
            // markers, nearly face-on, have a poorly seen tilt (17 degrees
            // measured at 18 px).
            EXPECT_LT(r.rot_deg, px > 60 ? 2.0 : 25.0);
            EXPECT_LT(r.err, 1.0);
            sum += r.dist_pct;
            n++;
        }
    *mean_dist_pct = n ? sum / n : 0;
}

}  // namespace

TEST(PoseOnRenderedFrames, DistanceTiltSweepAtBothFrameSizes)
{
    double mean320 = 0, mean640 = 0;
    sweep_and_check(320, 240, 6.5, &mean320);
    sweep_and_check(640, 480, 4.0, &mean640);
    // The edge bias is a fixed fraction of a pixel, so doubling the
    // resolution about halves the distance error.
    EXPECT_GT(mean320, 0.5);
    EXPECT_LT(mean640, 0.7 * mean320);
    RecordProperty("mean_dist_pct_320_640", std::to_string(mean320) + " " + std::to_string(mean640));
}
