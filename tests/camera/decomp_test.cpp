// Decomposition of a projection matrix into intrinsic and rigid parts.
#include "morvex/camera.h"
#include "morvex/numerics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

// K [R | t] with R from a unit quaternion (w > 0).
void build(const double K[3][3], const double q[4], const double t[3], double P[3][4],
           double Rt[3][4])
{
    mvUtilQuatPos2Mat(q, t, Rt);
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 4; c++) {
            P[r][c] = 0;
            for (int k = 0; k < 3; k++) P[r][c] += K[r][k] * Rt[k][c];
        }
}

const double kK[3][3] = {{700, 1.5, 318.5}, {0, 690, 241}, {0, 0, 1}};
const double kQ[4] = {0.1, -0.2, 0.3, std::sqrt(0.86)};  // unit length

}  // namespace

// Entries of K are a few hundred and t a few hundred mm: 1e-9 relative
// accuracy allows for the Gram-Schmidt rounding on such rows.
TEST(Decompose, RecoversKAndRigidTransform)
{
    const double t[3] = {-40, 25, 600};
    double P[3][4], Rt[3][4], K[3][4], T[3][4];
    build(kK, kQ, t, P, Rt);
    for (double factor : {1.0, 3.5, -1.0, -0.25}) {
        double S[3][4];
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 4; c++) S[r][c] = factor * P[r][c];
        ASSERT_EQ(mvParamDecompMat(S, K, T), 0);
        for (int r = 0; r < 3; r++) {
            for (int c = 0; c < 3; c++) EXPECT_NEAR(K[r][c], kK[r][c], 1e-9 * 700) << factor;
            EXPECT_EQ(K[r][3], 0.0);
            for (int c = 0; c < 3; c++) EXPECT_NEAR(T[r][c], Rt[r][c], 1e-12) << factor;
            EXPECT_NEAR(T[r][3], t[r], 1e-9 * 600) << factor;
        }
        EXPECT_EQ(K[2][2], 1.0);
        EXPECT_EQ(K[1][0], 0.0);
        EXPECT_EQ(K[2][0], 0.0);
        EXPECT_EQ(K[2][1], 0.0);
    }
}

TEST(Decompose, ZeroDepthIsNeverNegated)
{
    // t2 = 0: the negated source keeps its sign, so the rigid part comes
    // out negated and the intrinsic matrix stays the same.
    const double t[3] = {10, 20, 0};
    double P[3][4], Rt[3][4], K[3][4], T[3][4], N[3][4];
    build(kK, kQ, t, P, Rt);
    for (double zero : {0.0, -0.0}) {  // either sign of zero counts as not negative
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 4; c++) N[r][c] = -P[r][c];
        N[2][3] = zero;
        ASSERT_EQ(mvParamDecompMat(N, K, T), 0);
        for (int r = 0; r < 3; r++) {
            for (int c = 0; c < 3; c++) EXPECT_NEAR(K[r][c], kK[r][c], 1e-9 * 700);
            for (int c = 0; c < 4; c++) EXPECT_NEAR(T[r][c], -Rt[r][c], 1e-9 * 20);
        }
    }
}

TEST(Decompose, IdentityLikeSourceAndSharedStorage)
{
    double P[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
    const double ident[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
    double T[3][4];
    // The intrinsic output is the source itself.
    ASSERT_EQ(mvParamDecompMat(P, P, T), 0);
    EXPECT_EQ(std::memcmp(P, ident, sizeof P), 0);
    EXPECT_EQ(std::memcmp(T, ident, sizeof T), 0);
}

TEST(Decompose, RecordKeepsSizeAndDistortion)
{
    MvCameraParam c = {640, 480, {{0}}, {321, 238.5, 40, 1}};
    const double t[3] = {5, -5, 300};
    double Rt[3][4], T[3][4];
    build(kK, kQ, t, c.projection, Rt);
    for (int r = 0; r < 3; r++)
        for (int k = 0; k < 4; k++) c.projection[r][k] *= 2.0;
    MvCameraParam d;
    ASSERT_EQ(mvParamDecomp(&c, &d, T), 0);
    EXPECT_EQ(d.xsize, 640);
    EXPECT_EQ(d.ysize, 480);
    EXPECT_EQ(std::memcmp(d.distortion, c.distortion, sizeof d.distortion), 0);
    EXPECT_NEAR(d.projection[0][0], 700, 1e-9 * 700);
    EXPECT_NEAR(T[2][3], 300, 1e-9 * 300);
    // In place: dest may be the source record.
    ASSERT_EQ(mvParamDecomp(&c, &c, T), 0);
    EXPECT_NEAR(c.projection[1][2], 241, 1e-9 * 241);
    EXPECT_EQ(c.projection[2][2], 1.0);
}
