// Pose estimation when memory runs out: every allocation of a call is made
// to fail in turn; the call must report -1.0 (or -1), leave its outputs as
// they were and free what it had made.

#include <gtest/gtest.h>

#include "../support/failing_malloc.h"
#include "morvex/pose.h"
#include "synthetic.h"

using failing_malloc::arm;
using failing_malloc::armed;
using failing_malloc::live_blocks;
using failing_malloc::requests;

TEST(PoseAlloc, EveryRefusedAllocationIsReportedAndCleanedUp)
{
    if (!kMallocCanFail) GTEST_SKIP() << "the sanitizer owns malloc";
    synth::use_camera();

    double truth[3][4];
    synth::pose(0.6, 2.6, -0.4, 15, -10, 500, truth);
    MvMarkerInfo m = synth::marker(synth::kCamera, truth, 80, 0.8, 2);
    const double center[2] = {0, 0};

    // How many requests a whole estimate makes.
    double conv[3][4];
    arm(-1);
    double good = mvGetTransMat(&m, center, 80, conv);
    armed = false;
    const int total = requests;
    ASSERT_GE(good, 0.0);
    ASSERT_GE(total, 4 + 12);  // two sign checks, at least one pass
    EXPECT_EQ(live_blocks, 0);

    for (int k = 0; k < total; k++) {
        double out[3][4];
        for (auto &row : out)
            for (double &x : row) x = 42.0;
        arm(k);
        double err = mvGetTransMat(&m, center, 80, out);
        armed = false;
        EXPECT_EQ(err, -1.0) << "refused request " << k;
        EXPECT_EQ(live_blocks, 0) << "refused request " << k;
        for (auto &row : out)
            for (double x : row) ASSERT_EQ(x, 42.0) << "refused request " << k;
    }
}
