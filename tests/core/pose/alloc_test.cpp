// Pose estimation works on static storage: a whole estimate, five passes
// included, requests no memory, so it cannot fail for want of it.

#include <gtest/gtest.h>

#include "failing_malloc.h"
#include "morvex/pose.h"
#include "synthetic.h"

TEST(PoseAlloc, AnEstimateRequestsNoMemory)
{
    if (!kMallocCanFail) GTEST_SKIP() << "the sanitizer owns malloc";
    synth::use_camera();

    double truth[3][4];
    synth::pose(0.6, 2.6, -0.4, 15, -10, 500, truth);
    const double center[2] = {0, 0};
    double conv[3][4];
    // Exact corners (one pass) and noisy ones (more passes).
    for (double noise : {0.0, 0.8}) {
        MvMarkerInfo m = synth::marker(synth::kCamera, truth, 80, noise, 2);
        failing_malloc::arm(0);
        const double err = mvGetTransMat(&m, center, 80, conv);
        failing_malloc::armed = false;
        EXPECT_GE(err, 0.0) << "noise " << noise;
        EXPECT_EQ(failing_malloc::requests, 0) << "noise " << noise;
    }
}
