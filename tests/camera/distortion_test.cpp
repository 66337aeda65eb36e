// Lens distortion between observed and ideal coordinates.
#include "morvex/camera.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(Distortion, CentreAndIdentityCases)
{
    const double mild[4] = {320, 240, 50, 1};
    double x, y;
    mvParamIdeal2Observ(mild, 320, 240, &x, &y);
    EXPECT_EQ(x, 320);
    EXPECT_EQ(y, 240);
    mvParamObserv2Ideal(mild, 320, 240, &x, &y);
    EXPECT_EQ(x, 320);
    EXPECT_EQ(y, 240);

    const double none[4] = {300, 200, 0, 1};
    mvParamIdeal2Observ(none, 17.25, 401.5, &x, &y);
    EXPECT_EQ(x, 17.25);
    EXPECT_EQ(y, 401.5);
    mvParamObserv2Ideal(none, 17.25, 401.5, &x, &y);
    EXPECT_EQ(x, 17.25);
    EXPECT_EQ(y, 401.5);

    const double scale2[4] = {300, 200, 0, 2};
    mvParamIdeal2Observ(scale2, 310, 190, &x, &y);
    EXPECT_EQ(x, 320);
    EXPECT_EQ(y, 180);
    mvParamObserv2Ideal(scale2, 320, 180, &x, &y);
    EXPECT_EQ(x, 310);
    EXPECT_EQ(y, 190);
}

TEST(Distortion, BarrelPullsPointsTowardsTheCentre)
{
    const double mild[4] = {320, 240, 50, 1};
    double x, y;
    mvParamIdeal2Observ(mild, 620, 240, &x, &y);
    // d = 1 - 5e-7 * 300^2 = 0.955, so 300 px becomes 286.5 px.
    EXPECT_DOUBLE_EQ(x, 320 + 286.5);
    EXPECT_EQ(y, 240);
}

TEST(Distortion, RoundTripOverAWholeFrame)
{
    // Three Newton steps from the observed radius: at p = 5e-7 the worst
    // point (a frame corner, r = 400) converges far below 1e-6 px.
    const double mild[4] = {320, 240, 50, 1};
    double worst = 0;
    for (int v = 0; v < 480; v++) {
        for (int u = 0; u < 640; u++) {
            double ix, iy, ox, oy;
            mvParamObserv2Ideal(mild, u, v, &ix, &iy);
            mvParamIdeal2Observ(mild, ix, iy, &ox, &oy);
            worst = std::fmax(worst, std::fmax(std::fabs(ox - u), std::fabs(oy - v)));
        }
    }
    EXPECT_LT(worst, 1e-6);
}

TEST(Distortion, PointsBeyondTheFoldHaveNoPreimage)
{
    // p = 1e-6: the forward model's largest observed radius is about 385 px,
    // so a frame corner 400 px out cannot come back, while 300 px out can.
    const double strong[4] = {320, 240, 100, 1};
    double ix, iy, ox, oy;
    mvParamObserv2Ideal(strong, 0, 0, &ix, &iy);
    mvParamIdeal2Observ(strong, ix, iy, &ox, &oy);
    EXPECT_GT(std::hypot(ox - 0, oy - 0), 1.0);

    mvParamObserv2Ideal(strong, 320 + 180, 240 + 240, &ix, &iy);
    mvParamIdeal2Observ(strong, ix, iy, &ox, &oy);
    EXPECT_NEAR(ox, 500, 1e-3);
    EXPECT_NEAR(oy, 480, 1e-3);
}
