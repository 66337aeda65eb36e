// 3x4 transform composition, inversion and quaternion conversion.
#include "morvex/numerics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

TEST(Quaternion, KnownRotationsHalfTurnsAndNonRotationsRefused)
{
    struct Case {
        double m[3][4];
        int result;
        double q[4], p[3];  // expected, or the untouched sentinels
    } cases[] = {
        {{{1, 0, 0, 4}, {0, 1, 0, 5}, {0, 0, 1, 6}}, 0, {0, 0, 0, 1}, {4, 5, 6}},
        {{{0, -1, 0, 0}, {1, 0, 0, 0}, {0, 0, 1, 0}}, 0, {0, 0, -std::sqrt(0.5), std::sqrt(0.5)}, {0, 0, 0}},
        // Half turns (w = 0), such as a marker facing the camera: the
        // trace no longer enters as a divisor.
        {{{1, 0, 0, 1}, {0, -1, 0, 2}, {0, 0, -1, 3}}, 0, {1, 0, 0, 0}, {1, 2, 3}},
        {{{-1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, -1, 0}}, 0, {0, 1, 0, 0}, {0, 0, 0}},
        {{{-1, 0, 0, 0}, {0, -1, 0, 0}, {0, 0, 1, 0}}, 0, {0, 0, 1, 0}, {0, 0, 0}},
        // A point reflection is no rotation: refused, outputs untouched.
        {{{-1, 0, 0, 1}, {0, -1, 0, 2}, {0, 0, -1, 3}}, -1, {7, 7, 7, 7}, {7, 7, 7}},
    };
    for (const Case &c : cases) {
        double q[4] = {7, 7, 7, 7}, p[3] = {7, 7, 7};
        ASSERT_EQ(mvUtilMat2QuatPos(c.m, q, p), c.result);
        for (int i = 0; i < 4; i++) EXPECT_DOUBLE_EQ(q[i], c.q[i]) << i;
        for (int i = 0; i < 3; i++) EXPECT_EQ(p[i], c.p[i]) << i;
    }
}

TEST(Quaternion, RandomRigidTransformsRoundTripAndInvertAlsoInPlace)
{
    std::mt19937 gen(3);
    std::normal_distribution<double> g(0.0, 1.0);
    for (int trial = 0; trial < 60; trial++) {
        // A unit quaternion with w > 0 and a translation of a few hundred mm;
        // every third one within 1e-9 of a half turn (w almost 0).
        double q[4], len = 0;
        for (double &v : q) v = g(gen);
        if (trial % 3 == 0) q[3] = 1e-9;
        for (double v : q) len += v * v;
        len = std::sqrt(len) * (q[3] < 0 ? -1 : 1);
        for (double &v : q) v /= len;
        const double p[3] = {100 * g(gen), 100 * g(gen), 500 + 100 * g(gen)};
        double m[3][4], q2[4], p2[3], m2[3][4], inv[3][4], prod[3][4];
        mvUtilQuatPos2Mat(q, p, m);

        ASSERT_EQ(mvUtilMatInv(m, inv), 0);
        mvUtilMatMul(m, inv, prod);
        std::memcpy(m2, m, sizeof m2);
        ASSERT_EQ(mvUtilMatInv(m2, m2), 0);  // source and result shared
        EXPECT_EQ(std::memcmp(m2, inv, sizeof m2), 0);
        // Translations of a few hundred mm: 1e-12 is a few ulps of them.
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 4; c++) EXPECT_NEAR(prod[r][c], r == c, 1e-12);

        ASSERT_EQ(mvUtilMat2QuatPos(m, q2, p2), 0);
        // Each component comes from the largest of the four squared terms
        // (at least 1/4), so rounding stays near 1e-16 whatever the angle.
        const double tol = 1e-14;
        for (int i = 0; i < 4; i++) EXPECT_NEAR(q2[i], q[i], tol);
        mvUtilQuatPos2Mat(q2, p2, m2);
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 4; c++) EXPECT_NEAR(m2[r][c], m[r][c], 4 * tol);
    }
}
