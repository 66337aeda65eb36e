// Lens distortion between observed and ideal coordinates.
#include "morvex/camera.h"
#include "../../../lib/core/camera/lens.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

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

// The many-point form gives the single-point call's bits, pairs and an odd
// last point alike, also where a point sits on the centre (its own exit).
TEST(Distortion, ManyPointsAtOnceGiveTheSinglePointBits)
{
    const double dists[][4] = {{320, 240, 50, 0.98}, {160.5, 119.25, 300, 1.0}, {300, 200, 0, 1}};
    std::mt19937 rng(3);
    for (const auto &d : dists)
        for (int n = 0; n <= 41; n++) {
            std::vector<int> x(n), y(n);
            for (int k = 0; k < n; k++) x[k] = (int)(rng() % 1920), y[k] = (int)(rng() % 1080);
            if (n > 6) x[5] = (int)d[0], y[5] = (int)d[1];   // on an integer centre: radius zero
            std::vector<double> out(2 * n + 1, -7.0);
            mvcore::observed_to_ideal(d, x.data(), y.data(), n, out.data());
            for (int k = 0; k < n; k++) {
                double ix, iy;
                mvParamObserv2Ideal(d, x[k], y[k], &ix, &iy);
                ASSERT_EQ(out[2 * k], ix) << "point " << k << " of " << n;
                ASSERT_EQ(out[2 * k + 1], iy) << "point " << k << " of " << n;
            }
            ASSERT_EQ(out[2 * n], -7.0) << "wrote past the points";
        }
}
