// 3x4 transform composition, inversion and quaternion conversion.
#include "morvex/numerics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

const double kIdentity[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};

// A rigid transform from a unit quaternion with w > 0 (the conversion's own
// matrix form) and a translation.
void random_rigid(std::mt19937 &gen, double m[3][4], double q[4])
{
    std::normal_distribution<double> g(0.0, 1.0);
    double len = 0;
    for (int i = 0; i < 4; i++) {
        q[i] = g(gen);
        len += q[i] * q[i];
    }
    len = std::sqrt(len) * (q[3] < 0 ? -1 : 1);
    for (int i = 0; i < 4; i++) q[i] /= len;
    const double p[3] = {100 * g(gen), 100 * g(gen), 500 + 100 * g(gen)};
    mvUtilQuatPos2Mat(q, p, m);
}

// Exact equality by value (a zero of either sign matches).
void expect_equal(const double a[3][4], const double b[3][4])
{
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 4; c++) EXPECT_EQ(a[r][c], b[r][c]) << r << "," << c;
}

}  // namespace

TEST(Transform, IdentityIsNeutralOnBothSides)
{
    const double s[3][4] = {{0, -1, 0, 10}, {1, 0, 0, -20}, {0, 0, 1, 30.5}};
    double d[3][4];
    mvUtilMatMul(s, kIdentity, d);
    expect_equal(d, s);
    mvUtilMatMul(kIdentity, s, d);
    expect_equal(d, s);
}

TEST(Transform, InverseOfTranslationAlsoInPlace)
{
    double s[3][4] = {{1, 0, 0, 1}, {0, 1, 0, 2}, {0, 0, 1, 3}};
    const double expect[3][4] = {{1, 0, 0, -1}, {0, 1, 0, -2}, {0, 0, 1, -3}};
    double d[3][4];
    ASSERT_EQ(mvUtilMatInv(s, d), 0);
    expect_equal(d, expect);
    ASSERT_EQ(mvUtilMatInv(s, s), 0);
    expect_equal(s, expect);
}

TEST(Quaternion, KnownRotations)
{
    double q[4], p[3];
    const double ident[3][4] = {{1, 0, 0, 4}, {0, 1, 0, 5}, {0, 0, 1, 6}};
    ASSERT_EQ(mvUtilMat2QuatPos(ident, q, p), 0);
    EXPECT_EQ(q[0], 0);
    EXPECT_EQ(q[1], 0);
    EXPECT_EQ(q[2], 0);
    EXPECT_EQ(q[3], 1);
    EXPECT_EQ(p[0], 4);
    EXPECT_EQ(p[1], 5);
    EXPECT_EQ(p[2], 6);

    const double quarter[3][4] = {{0, -1, 0, 0}, {1, 0, 0, 0}, {0, 0, 1, 0}};
    ASSERT_EQ(mvUtilMat2QuatPos(quarter, q, p), 0);
    EXPECT_EQ(q[0], 0);
    EXPECT_EQ(q[1], 0);
    EXPECT_DOUBLE_EQ(q[2], -std::sqrt(0.5));
    EXPECT_DOUBLE_EQ(q[3], std::sqrt(0.5));
    double back[3][4];
    mvUtilQuatPos2Mat(q, p, back);
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 4; c++) EXPECT_NEAR(back[r][c], quarter[r][c], 1e-15);
}

TEST(Quaternion, NegativeTraceIsRefusedWithOutputsUntouched)
{
    const double m[3][4] = {{-1, 0, 0, 1}, {0, -1, 0, 2}, {0, 0, -1, 3}};
    double q[4] = {7, 7, 7, 7}, p[3] = {8, 8, 8};
    EXPECT_EQ(mvUtilMat2QuatPos(m, q, p), -1);
    for (double v : q) EXPECT_EQ(v, 7);
    for (double v : p) EXPECT_EQ(v, 8);
}

TEST(Quaternion, RandomRigidTransformsRoundTripAndInvert)
{
    std::mt19937 gen(3);
    for (int trial = 0; trial < 50; trial++) {
        double m[3][4], q[4], q2[4], p2[3], m2[3][4], inv[3][4], prod[3][4];
        random_rigid(gen, m, q);
        ASSERT_EQ(mvUtilMatInv(m, inv), 0);
        mvUtilMatMul(m, inv, prod);
        // Translations of a few hundred mm: 1e-12 is a few ulps of them.
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 4; c++) EXPECT_NEAR(prod[r][c], kIdentity[r][c], 1e-12);

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
