// Decomposition of a projection matrix into intrinsic and rigid parts.
#include "morvex/camera.h"
#include "morvex/numerics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

const double kK[3][3] = {{700, 1.5, 318.5}, {0, 690, 241}, {0, 0, 1}};
const double kQ[4] = {0.1, -0.2, 0.3, std::sqrt(0.86)};  // unit length

// P = factor * K [R | t]; Rt receives [R | t].
void build(const double t[3], double factor, double P[3][4], double Rt[3][4])
{
    mvUtilQuatPos2Mat(kQ, t, Rt);
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 4; c++) {
            P[r][c] = 0;
            for (int k = 0; k < 3; k++) P[r][c] += factor * kK[r][k] * Rt[k][c];
        }
}

}  // namespace

// Entries of K and t are a few hundred: 1e-9 relative accuracy allows for
// the Gram-Schmidt rounding on such rows.
TEST(Decompose, RecoversKAndRigidTransformForAnyScale)
{
    const double t[3] = {-40, 25, 600};
    for (double factor : {1.0, 3.5, -1.0, -0.25}) {
        double P[3][4], Rt[3][4], K[3][4], T[3][4];
        build(t, factor, P, Rt);
        ASSERT_EQ(mvParamDecompMat(P, K, T), 0);
        for (int r = 0; r < 3; r++) {
            for (int c = 0; c < 3; c++) EXPECT_NEAR(K[r][c], kK[r][c], 1e-9 * 700) << factor;
            EXPECT_EQ(K[r][3], 0.0);
            for (int c = 0; c < 4; c++) EXPECT_NEAR(T[r][c], Rt[r][c], 1e-9 * 600) << factor;
        }
    }
}

TEST(Decompose, ZeroDepthIsNeverNegated)
{
    // t2 = 0 (either sign): a negated source keeps its sign, so the rigid
    // part comes out negated and K stays the same.
    const double t[3] = {10, 20, 0};
    for (double zero : {0.0, -0.0}) {
        double N[3][4], Rt[3][4], K[3][4], T[3][4];
        build(t, -1.0, N, Rt);
        N[2][3] = zero;
        ASSERT_EQ(mvParamDecompMat(N, K, T), 0);
        for (int r = 0; r < 3; r++) {
            for (int c = 0; c < 3; c++) EXPECT_NEAR(K[r][c], kK[r][c], 1e-9 * 700);
            for (int c = 0; c < 4; c++) EXPECT_NEAR(T[r][c], -Rt[r][c], 1e-9 * 20);
        }
    }
}

TEST(Decompose, RecordKeepsSizeAndDistortionAlsoInPlace)
{
    MvCameraParam c = {640, 480, {{0}}, {321, 238.5, 40, 1}};
    const double t[3] = {5, -5, 300};
    double Rt[3][4], T[3][4];
    build(t, 2.0, c.projection, Rt);
    const MvCameraParam src = c;
    ASSERT_EQ(mvParamDecomp(&c, &c, T), 0);  // dest is the source record
    EXPECT_EQ(c.xsize, 640);
    EXPECT_EQ(c.ysize, 480);
    EXPECT_EQ(std::memcmp(c.distortion, src.distortion, sizeof c.distortion), 0);
    for (int r = 0; r < 3; r++)
        for (int k = 0; k < 3; k++) EXPECT_NEAR(c.projection[r][k], kK[r][k], 1e-9 * 700);
    EXPECT_NEAR(T[2][3], 300, 1e-9 * 300);
}
