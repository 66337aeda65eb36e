// Pose estimation on synthetic markers with a known pose, where the rendered
// frames of the golden and truth tests do not go: exact rotations and
// face-on angles, exact corners, model offsets, many points, and refusals.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "morvex/camera.h"
#include "morvex/pose.h"
#include "synthetic.h"

using synth::kCamera;

namespace {

const double kDeg = M_PI / 180.0;
const double kCentre[2] = {0, 0};
const double kModel[4][2] = {{-40, 40}, {40, 40}, {40, -40}, {-40, -40}};
const double kNoLens[4] = {160, 120, 0, 1};

template <int C>
void expect_near33(const double (&a)[3][C], const double (&b)[3][3], double tol)
{
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) EXPECT_NEAR(a[i][j], b[i][j], tol) << i << "," << j;
}

}  // namespace

// ---- angles -----------------------------------------------------------------

TEST(Angles, KnownRotationsRoundTripAndFaceOn)
{
    double a, b, g;
    // Round trip, to 1e-13: near b = 3 acos magnifies rounding by 1 / sin b.
    for (double aa : {-2.5, -0.4, 0.7, 3.0})
        for (double bb : {0.1, 1.0, 2.2, 3.0})
            for (double gg : {-3.0, -1.0, 0.5, 2.9}) {
                double r1[3][3], r2[3][3];
                mvGetRot(aa, bb, gg, r1);
                EXPECT_NEAR(r1[1][2], std::sin(aa) * std::sin(bb), 1e-15);
                mvGetAngle(r1, &a, &b, &g);
                mvGetRot(a, b, g, r2);
                expect_near33(r2, r1, 1e-13);
            }

    // Face-on (z axis exactly opposite the camera's): the angles must still
    // describe the rotation instead of coming out not-a-number.
    const double faces[2][3][3] = {{{1, 0, 0}, {0, -1, 0}, {0, 0, -1}},
                                   {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}}};
    for (const auto &f : faces) {
        double in[3][3], back[3][3];
        std::memcpy(in, f, sizeof in);
        mvGetAngle(in, &a, &b, &g);
        ASSERT_TRUE(std::isfinite(a) && std::isfinite(g));
        mvGetRot(a, b, g, back);
        expect_near33(back, f, 1e-15);
    }
}

// ---- angle search -----------------------------------------------------------

// The exact pose stays (the search starts at its centre); not-a-number
// image points make every candidate unusable, and the start must survive
// instead of an undefined rotation.
TEST(AngleSearch, ExactPoseStaysAndUnusablePointsKeepTheStart)
{
    double truth[3][4], rot[3][3], t[3], image[4][2], pts3[4][3];
    synth::pose(0.8, 150 * kDeg, 0.4, 10, -5, 500, truth);
    for (int k = 0; k < 4; k++) {
        double x[3] = {kModel[k][0], kModel[k][1], 0};
        std::memcpy(pts3[k], x, sizeof x);
        synth::project(kCamera, truth, x, image[k]);
    }
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 3; j++) rot[i][j] = truth[i][j];
        t[i] = truth[i][3];
    }
    EXPECT_LT(mvModifyMatrix(rot, t, kCamera, pts3, image, 4), 1e-20);
    expect_near33(truth, rot, 1e-12);

    image[0][0] = NAN;
    EXPECT_EQ(mvModifyMatrix(rot, t, kCamera, pts3, image, 4), 1e9 / 4);
    expect_near33(truth, rot, 1e-12);
}

// ---- estimators ------------------------------------------------------------

TEST(TransMat3, ShiftedModelShiftsTranslationAlongXAxis)
{
    double truth[3][4];
    synth::pose(-0.5, 145 * kDeg, 1.0, 20, 10, 450, truth);
    MvMarkerInfo mk = synth::marker(kCamera, truth, 80, 0.7, 5);
    double shifted[4][2];
    for (int k = 0; k < 4; k++) {
        shifted[k][0] = kModel[k][0] + 100;
        shifted[k][1] = kModel[k][1];
    }
    double r1[3][3], r2[3][3], c1[3][4], c2[3][4];
    ASSERT_EQ(mvGetInitRot(&mk, kCamera, r1), 0);
    std::memcpy(r2, r1, sizeof r2);
    double e1 = mvGetTransMat3(r1, mk.vertices, kModel, 4, c1, kNoLens, kCamera);
    double e2 = mvGetTransMat3(r2, mk.vertices, shifted, 4, c2, kNoLens, kCamera);
    ASSERT_GE(e1, 0);
    EXPECT_EQ(e1, e2);
    expect_near33(c2, r1, 0);  // same rotation, handed back in rot too
    for (int r = 0; r < 3; r++) {
        EXPECT_NEAR(c2[r][3], c1[r][3] - 100 * c1[r][0], 1e-9);
        // 0.7 px corner noise at 450 mm: well under 2 %.
        EXPECT_NEAR(c1[r][3], truth[r][3], 0.02 * 450);
    }
}

TEST(TransMat5, RefusesPointCountsItCannotHoldOrSolve)
{
    static double image[501][2], model[501][3];
    double rot[3][3] = {{1, 0, 0}, {0, -1, 0}, {0, 0, -1}}, conv[3][4] = {{42}};
    EXPECT_EQ(mvGetTransMat5(rot, image, model, 501, conv, kNoLens, kCamera), -1.0);
    EXPECT_EQ(mvGetTransMat5(rot, image, model, 0, conv, kNoLens, kCamera), -1.0);
    // One point cannot fix a translation (singular normal equations).
    image[0][0] = 160;
    EXPECT_EQ(mvGetTransMat5(rot, image, model, 1, conv, kNoLens, kCamera), -1.0);
    EXPECT_EQ(conv[0][0], 42);
    EXPECT_EQ(rot[1][1], -1);

    // 500 points off a plane: from the true rotation the exact pose comes
    // back, so every point was read.
    double truth[3][4];
    synth::pose(0.3, 140 * kDeg, -0.2, 5, 0, 700, truth);
    for (int i = 0; i < 500; i++) {
        const double x[3] = {(i % 25) * 4.0 - 48, (i / 25) * 4.0 - 38, (i % 3) * 5.0};
        std::memcpy(model[i], x, sizeof x);
        synth::project(kCamera, truth, x, image[i]);
    }
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) rot[i][j] = truth[i][j];
    EXPECT_LT(mvGetTransMat5(rot, image, model, 500, conv, kNoLens, kCamera), 1e-18);
    for (int r = 0; r < 3; r++) EXPECT_NEAR(conv[r][3], truth[r][3], 1e-6);
}

TEST(TransMat, NoiseFreeMarkersGetTheirPose)
{
    // Exact corners make the two edge directions perpendicular to within
    // rounding (more than half of these poses were once refused for it).
    synth::use_camera();
    double truth[3][4], conv[3][4];
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(0, 1);
    for (int i = 0; i < 50; i++) {
        synth::pose(u(rng) * 6.28 - 3.14, (120 + u(rng) * 55) * kDeg, u(rng) * 6.28 - 3.14,
                    u(rng) * 60 - 30, u(rng) * 40 - 20, 300 + u(rng) * 500, truth);
        MvMarkerInfo m = synth::marker(kCamera, truth, 80);
        double err = mvGetTransMat(&m, kCentre, 80, conv);
        EXPECT_TRUE(err >= 0.0 && err < 1e-3) << i << ": " << err;
        EXPECT_LT(synth::rotation_gap_deg(conv, truth), 0.1) << i;
        for (int r = 0; r < 3; r++) EXPECT_NEAR(conv[r][3], truth[r][3], 0.5) << i;
    }
}

// A camera whose third row is zero projects nothing: the starting rotation
// and the estimate are refused and leave their outputs alone.
TEST(TransMat, CameraThatCannotProjectIsRefused)
{
    double cam[3][4] = {{500, 0, 160, 0}, {0, 500, 120, 0}, {0, 0, 0, 0}};
    synth::use_camera(cam);
    double truth[3][4];
    synth::pose(0, M_PI, 0, 0, 0, 500, truth);
    MvMarkerInfo m = synth::marker(kCamera, truth, 80);
    double rot[3][3] = {{7}}, conv[3][4] = {{42}};
    EXPECT_EQ(mvGetInitRot(&m, cam, rot), -1);
    EXPECT_EQ(rot[0][0], 7);
    EXPECT_EQ(mvGetTransMat(&m, kCentre, 80, conv), -1.0);
    EXPECT_EQ(conv[0][0], 42);
}

