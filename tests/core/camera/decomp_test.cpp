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

// K and [R | t] come back for any scale of P. With t2 = 0 (either sign) a
// negated P is never negated back: K stays and the rigid part comes out
// negated. Entries of a few hundred: 1e-9 relative allows for the
// Gram-Schmidt rounding.
TEST(Decompose, RecoversKAndRigidTransformForAnyScale)
{
    struct Case { double t[3], factor; int zero; } cases[] = {
        {{-40, 25, 600}, 1.0, 0}, {{-40, 25, 600}, 3.5, 0}, {{-40, 25, 600}, -1.0, 0},
        {{-40, 25, 600}, -0.25, 0}, {{10, 20, 0}, -1.0, 1}, {{10, 20, 0}, -1.0, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.factor << " " << c.zero);
        double P[3][4], Rt[3][4], K[3][4], T[3][4];
        build(c.t, c.factor, P, Rt);
        if (c.zero != 0) P[2][3] = c.zero > 0 ? 0.0 : -0.0;
        ASSERT_EQ(mvParamDecompMat(P, K, T), 0);
        const double sign = c.zero != 0 ? -1.0 : 1.0;
        for (int r = 0; r < 3; r++) {
            for (int k = 0; k < 3; k++) EXPECT_NEAR(K[r][k], kK[r][k], 1e-9 * 700);
            EXPECT_EQ(K[r][3], 0.0);
            for (int k = 0; k < 4; k++) EXPECT_NEAR(T[r][k], sign * Rt[r][k], 1e-9 * 600);
        }
    }
    // The record form keeps size and distortion, also with dest = source.
    MvCameraParam cam = {640, 480, {{0}}, {321, 238.5, 40, 1}};
    const double t[3] = {5, -5, 300};
    double Rt[3][4], T[3][4];
    build(t, 2.0, cam.projection, Rt);
    const MvCameraParam src = cam;
    ASSERT_EQ(mvParamDecomp(&cam, &cam, T), 0);
    EXPECT_TRUE(cam.xsize == 640 && cam.ysize == 480);
    EXPECT_EQ(std::memcmp(cam.distortion, src.distortion, sizeof cam.distortion), 0);
    EXPECT_NEAR(cam.projection[0][0], kK[0][0], 1e-9 * 700);
    EXPECT_NEAR(T[2][3], 300, 1e-9 * 300);
}
