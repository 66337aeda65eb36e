// Lens distortion between observed and ideal coordinates.
#include "morvex/camera.h"

#include <gtest/gtest.h>

#include <cmath>

const double kMild[4] = {320, 240, 50, 1};  // p = 5e-7

TEST(Distortion, KnownPointsBothWays)
{
    struct Case {
        double dist[4], ideal[2], observ[2];
        bool exact_inverse;  // else left to the round trip below
    } cases[] = {
        {{320, 240, 50, 1}, {320, 240}, {320, 240}, true},        // the centre stays
        {{300, 200, 0, 1}, {17.25, 401.5}, {17.25, 401.5}, true},  // no distortion
        {{300, 200, 0, 2}, {310, 190}, {320, 180}, true},          // scale only
        // d = 1 - 5e-7 * 300^2 = 0.955: 300 px out becomes 286.5 px.
        {{320, 240, 50, 1}, {620, 240}, {606.5, 240}, false},
    };
    for (const Case &c : cases) {
        double x, y;
        mvParamIdeal2Observ(c.dist, c.ideal[0], c.ideal[1], &x, &y);
        EXPECT_DOUBLE_EQ(x, c.observ[0]);
        EXPECT_DOUBLE_EQ(y, c.observ[1]);
        if (!c.exact_inverse) continue;
        mvParamObserv2Ideal(c.dist, c.observ[0], c.observ[1], &x, &y);
        EXPECT_DOUBLE_EQ(x, c.ideal[0]);
        EXPECT_DOUBLE_EQ(y, c.ideal[1]);
    }
}

// Three Newton steps from the observed radius: at p = 5e-7 every pixel of a
// 640 x 480 frame (the worst a corner, r = 400) comes back far below 1e-6 px.
// At p = 1e-6 the largest observed radius is about 385 px: a frame corner
// 400 px out has no preimage to come back from, a point 300 px out has.
TEST(Distortion, RoundTripsUpToTheFold)
{
    double worst = 0, ix, iy, ox, oy;
    for (int v = 0; v < 480; v++)
        for (int u = 0; u < 640; u++) {
            mvParamObserv2Ideal(kMild, u, v, &ix, &iy);
            mvParamIdeal2Observ(kMild, ix, iy, &ox, &oy);
            worst = std::fmax(worst, std::hypot(ox - u, oy - v));
        }
    EXPECT_LT(worst, 1e-6);
    const double strong[4] = {320, 240, 100, 1};
    const double corner[2] = {0, 0}, inside[2] = {500, 480};  // 400 and 300 px out
    for (const double *p : {corner, inside}) {
        mvParamObserv2Ideal(strong, p[0], p[1], &ix, &iy);
        mvParamIdeal2Observ(strong, ix, iy, &ox, &oy);
        EXPECT_EQ(std::hypot(ox - p[0], oy - p[1]) < 1e-3, p == inside) << p[0];
    }
}
