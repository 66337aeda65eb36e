// 3x4 transform composition, inversion and quaternion conversion.
#include "morvex/numerics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

TEST(Transform, InverseOfTranslationAlsoInPlace)
{
    double s[3][4] = {{1, 0, 0, 1}, {0, 1, 0, 2}, {0, 0, 1, 3}}, d[3][4];
    const double expect[3][4] = {{1, 0, 0, -1}, {0, 1, 0, -2}, {0, 0, 1, -3}};
    ASSERT_EQ(mvUtilMatInv(s, d), 0);
    ASSERT_EQ(mvUtilMatInv(s, s), 0);  // source and result shared
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 4; c++) {
            EXPECT_EQ(d[r][c], expect[r][c]);
            EXPECT_EQ(s[r][c], expect[r][c]);
        }
}

TEST(Quaternion, KnownRotationsAndNegativeTraceRefused)
{
    struct Case {
        double m[3][4];
        int result;
        double q[4], p[3];  // expected, or the untouched sentinels
    } cases[] = {
        {{{1, 0, 0, 4}, {0, 1, 0, 5}, {0, 0, 1, 6}}, 0, {0, 0, 0, 1}, {4, 5, 6}},
        {{{0, -1, 0, 0}, {1, 0, 0, 0}, {0, 0, 1, 0}}, 0, {0, 0, -std::sqrt(0.5), std::sqrt(0.5)}, {0, 0, 0}},
        // A half turn has w = 0: refused, outputs untouched.
        {{{-1, 0, 0, 1}, {0, -1, 0, 2}, {0, 0, -1, 3}}, -1, {7, 7, 7, 7}, {7, 7, 7}},
    };
    for (const Case &c : cases) {
        double q[4] = {7, 7, 7, 7}, p[3] = {7, 7, 7};
        ASSERT_EQ(mvUtilMat2QuatPos(c.m, q, p), c.result);
        for (int i = 0; i < 4; i++) EXPECT_DOUBLE_EQ(q[i], c.q[i]) << i;
        for (int i = 0; i < 3; i++) EXPECT_EQ(p[i], c.p[i]) << i;
    }
}

TEST(Quaternion, RandomRigidTransformsRoundTripAndInvert)
{
    std::mt19937 gen(3);
    std::normal_distribution<double> g(0.0, 1.0);
    for (int trial = 0; trial < 50; trial++) {
        // A unit quaternion with w > 0 and a translation of a few hundred mm.
        double q[4], len = 0;
        for (double &v : q) len += (v = g(gen)) * v;
        len = std::sqrt(len) * (q[3] < 0 ? -1 : 1);
        for (double &v : q) v /= len;
        const double p[3] = {100 * g(gen), 100 * g(gen), 500 + 100 * g(gen)};
        double m[3][4], q2[4], p2[3], m2[3][4], inv[3][4], prod[3][4];
        mvUtilQuatPos2Mat(q, p, m);

        ASSERT_EQ(mvUtilMatInv(m, inv), 0);
        mvUtilMatMul(m, inv, prod);
        // Translations of a few hundred mm: 1e-12 is a few ulps of them.
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 4; c++) EXPECT_NEAR(prod[r][c], r == c, 1e-12);

        ASSERT_EQ(mvUtilMat2QuatPos(m, q2, p2), 0);
        // w comes from sqrt(1 + trace) = 2w, which carries an absolute
        // rounding of about 1e-16 of 1: relative to w^2 it grows as w shrinks.
        const double tol = 1e-15 / (q[3] * q[3]);
        for (int i = 0; i < 4; i++) EXPECT_NEAR(q2[i], q[i], tol);
        mvUtilQuatPos2Mat(q2, p2, m2);
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 4; c++) EXPECT_NEAR(m2[r][c], m[r][c], 4 * tol);
    }
}
