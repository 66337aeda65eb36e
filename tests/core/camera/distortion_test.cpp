// Lens distortion between observed and ideal coordinates.
#include "morvex/camera.h"

#include <gtest/gtest.h>

#include <cmath>

// Observed from ideal exactly; ideal from observed by three Newton steps,
// which come back far below 1e-6 px.
TEST(Distortion, KnownPointsBothWays)
{
    struct Case {
        double dist[4], ideal[2], observ[2];
    } cases[] = {
        {{320, 240, 50, 1}, {320, 240}, {320, 240}},        // the centre stays
        {{300, 200, 0, 1}, {17.25, 401.5}, {17.25, 401.5}},  // no distortion
        {{300, 200, 0, 2}, {310, 190}, {320, 180}},          // scale only
        // d = 1 - 5e-7 * 300^2 = 0.955: 300 px out becomes 286.5 px.
        {{320, 240, 50, 1}, {620, 240}, {606.5, 240}},
    };
    for (const Case &c : cases) {
        double x, y;
        mvParamIdeal2Observ(c.dist, c.ideal[0], c.ideal[1], &x, &y);
        EXPECT_DOUBLE_EQ(x, c.observ[0]);
        EXPECT_DOUBLE_EQ(y, c.observ[1]);
        mvParamObserv2Ideal(c.dist, c.observ[0], c.observ[1], &x, &y);
        EXPECT_NEAR(x, c.ideal[0], 1e-6);
        EXPECT_NEAR(y, c.ideal[1], 1e-6);
    }
}
