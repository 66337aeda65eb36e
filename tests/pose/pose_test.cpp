// Pose estimation on synthetic markers with a known pose: the starting
// rotation, the angle parameterisation and search, the translation solve
// and the estimators.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "morvex/camera.h"
#include "morvex/pose.h"
#include "pose_internal.h"
#include "synthetic.h"

using synth::kCamera;

namespace {

const double kDeg = M_PI / 180.0;

// The face-on square of 100 px side, top-left corner first.
MvMarkerInfo face_on_square()
{
    MvMarkerInfo m{};
    const double v[4][2] = {{110, 70}, {210, 70}, {210, 170}, {110, 170}};
    std::memcpy(m.vertices, v, sizeof v);
    synth::edge_lines(&m);
    return m;
}

double angle_deg(const double a[3], const double b[3])
{
    double d = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    double la = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    double lb = std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
    return std::acos(std::fmax(-1.0, std::fmin(1.0, d / (la * lb)))) / kDeg;
}

void use_camera(const double camera[3][4])
{
    MvCameraParam p{};
    p.xsize = 320;
    p.ysize = 240;
    std::memcpy(p.projection, camera, sizeof p.projection);
    p.distortion[0] = 160;
    p.distortion[1] = 120;
    p.distortion[2] = 0;
    p.distortion[3] = 1;
    mvInitCparam(&p);
}

}  // namespace

// ---- starting rotation ----------------------------------------------------

TEST(InitRot, FaceOnSquareGivesXRightYUpZTowardsCamera)
{
    MvMarkerInfo m = face_on_square();
    double rot[3][3];
    ASSERT_EQ(mvGetInitRot(&m, kCamera, rot), 0);
    const double expect[3][3] = {{1, 0, 0}, {0, -1, 0}, {0, 0, -1}};
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++) EXPECT_EQ(rot[r][c], expect[r][c]) << r << "," << c;
}

TEST(InitRot, DirectionTurnsAxesAQuarterTurnAboutZ)
{
    MvMarkerInfo m = face_on_square();
    double r0[3][3], r1[3][3];
    ASSERT_EQ(mvGetInitRot(&m, kCamera, r0), 0);
    m.direction = 1;
    ASSERT_EQ(mvGetInitRot(&m, kCamera, r1), 0);
    // Corner 0 is now the bottom-left one: x runs up the image, y leftwards.
    for (int r = 0; r < 3; r++) {
        EXPECT_EQ(r1[r][0], r0[r][1]);
        EXPECT_EQ(r1[r][1], -r0[r][0]);
        EXPECT_EQ(r1[r][2], r0[r][2]);
    }
}

TEST(InitRot, TiltedMarkersStartNearTheTruePose)
{
    // Noisy corners (0.5 px) on markers tilted 20 to 50 degrees: the closed
    // form lands within 8 degrees, inside the search's 10-degree first
    // step. (Nearer face-on the vanishing points run off to infinity and
    // half a pixel can swing the tilt by ten degrees.)
    const double poses[][6] = {{0.3, 160, 10, 0, 0, 400},   {2.0, 140, -40, 30, -20, 600},
                               {-1.0, 130, 70, -40, 10, 300}, {1.2, 150, 100, 0, 0, 450}};
    for (const auto &p : poses) {
        double truth[3][4], rot[3][3];
        synth::pose(p[0], p[1] * kDeg, p[2] * kDeg, p[3], p[4], p[5], truth);
        MvMarkerInfo m = synth::marker(kCamera, truth, 80.0, 0.5);
        ASSERT_EQ(mvGetInitRot(&m, kCamera, rot), 0);
        EXPECT_LT(synth::rotation_gap_deg(rot, truth), 8.0) << p[1];
    }
}

TEST(InitRot, RefusesCameraThatCannotProject)
{
    MvMarkerInfo m = face_on_square();
    double cam[3][4] = {{500, 0, 160, 0}, {0, 500, 120, 0}, {0, 0, 0, 0}};
    double rot[3][3] = {{7}}, dir[3] = {1, 0, 0};
    EXPECT_EQ(morvex_pose::check_dir(dir, m.vertices[0], m.vertices[1], cam), -1);
    EXPECT_EQ(mvGetInitRot(&m, cam, rot), -1);
    EXPECT_EQ(rot[0][0], 7);  // untouched

    // A stray direction value still reads only the four corners.
    MvMarkerInfo s = face_on_square();
    s.direction = 9;
    double r9[3][3], r1[3][3];
    ASSERT_EQ(mvGetInitRot(&s, kCamera, r9), 0);
    s.direction = 1;
    ASSERT_EQ(mvGetInitRot(&s, kCamera, r1), 0);
    EXPECT_EQ(std::memcmp(r9, r1, sizeof r9), 0);
}

TEST(CheckRotation, MakesDirectionsPerpendicularBySymmetricTurns)
{
    // 80 degrees apart in a tilted plane: 90 apart after, each turned by 5
    // degrees away from the other.
    const double e1[3] = {0.6, 0.0, 0.8}, e2[3] = {0.0, 1.0, 0.0};
    double rows[2][3], before[2][3];
    for (int k = 0; k < 3; k++) {
        rows[0][k] = before[0][k] = e1[k];
        rows[1][k] = before[1][k] = std::cos(80 * kDeg) * e1[k] + std::sin(80 * kDeg) * e2[k];
    }
    ASSERT_EQ(morvex_pose::check_rotation(rows), 0);
    EXPECT_NEAR(angle_deg(rows[0], rows[1]), 90.0, 1e-9);
    EXPECT_NEAR(angle_deg(rows[0], before[0]), 5.0, 1e-9);
    EXPECT_NEAR(angle_deg(rows[1], before[1]), 5.0, 1e-9);
    EXPECT_NEAR(angle_deg(rows[0], before[1]), 85.0, 1e-9);  // away from the other

    // Parallel directions have no plane.
    double same[2][3] = {{0, 0.6, 0.8}, {0, 0.6, 0.8}};
    EXPECT_EQ(morvex_pose::check_rotation(same), -1);
    EXPECT_EQ(same[0][1], 0.6);
}

TEST(CheckRotation, AcceptsDirectionsAlreadyPerpendicular)
{
    // Exactly perpendicular input makes the discriminant zero in exact
    // arithmetic and often slightly negative in floating point; the pair
    // must come back (nearly) unchanged, not be refused. The double root
    // turns rounding of 1e-16 into about 1e-8 rad, hence 1e-4 degrees.
    double axis[2][3] = {{1, 0, 0}, {0, -1, 0}};
    ASSERT_EQ(morvex_pose::check_rotation(axis), 0);
    EXPECT_EQ(axis[0][0], 1);
    EXPECT_EQ(axis[1][1], -1);

    std::mt19937 rng(7);
    std::normal_distribution<double> n01;
    for (int t = 0; t < 200; t++) {
        double a[3] = {n01(rng), n01(rng), n01(rng)}, b[3] = {n01(rng), n01(rng), n01(rng)};
        double la = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
        for (double &x : a) x /= la;
        double d = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
        for (int k = 0; k < 3; k++) b[k] -= d * a[k];
        double lb = std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
        for (double &x : b) x /= lb;
        double rows[2][3] = {{a[0], a[1], a[2]}, {b[0], b[1], b[2]}};
        ASSERT_EQ(morvex_pose::check_rotation(rows), 0) << t;
        EXPECT_LT(angle_deg(rows[0], a), 1e-3) << t;
        EXPECT_LT(angle_deg(rows[1], b), 1e-3) << t;
        EXPECT_NEAR(angle_deg(rows[0], rows[1]), 90.0, 1e-3) << t;
    }
}

// ---- angles ---------------------------------------------------------------

TEST(Angles, KnownRotationsAndRoundTrip)
{
    double r[3][3], a, b, g;
    mvGetRot(0, 0, 0, r);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) EXPECT_EQ(r[i][j], i == j ? 1.0 : 0.0);
    mvGetAngle(r, &a, &b, &g);
    EXPECT_EQ(a, 0.0);
    EXPECT_EQ(b, 0.0);
    EXPECT_EQ(g, 0.0);

    // With b = 0 only g counts: a turn of g about z.
    mvGetRot(1.1, 0, 30 * kDeg, r);
    EXPECT_NEAR(r[0][0], std::cos(30 * kDeg), 1e-15);
    EXPECT_NEAR(r[1][0], std::sin(30 * kDeg), 1e-15);
    EXPECT_NEAR(r[2][2], 1.0, 1e-15);
    mvGetAngle(r, &a, &b, &g);
    EXPECT_EQ(a, 0.0);
    EXPECT_EQ(b, 0.0);
    EXPECT_NEAR(g, 30 * kDeg, 1e-14);

    // Third column is (cos a sin b, sin a sin b, cos b); angles round-trip
    // (to 1e-13: near b = 3 acos magnifies rounding by 1 / sin b = 7).
    for (double aa : {-2.5, -0.4, 0.7, 3.0})
        for (double bb : {0.1, 1.0, 2.2, 3.0})
            for (double gg : {-3.0, -1.0, 0.5, 2.9}) {
                double r1[3][3], r2[3][3];
                mvGetRot(aa, bb, gg, r1);
                EXPECT_NEAR(r1[0][2], std::cos(aa) * std::sin(bb), 1e-15);
                EXPECT_NEAR(r1[1][2], std::sin(aa) * std::sin(bb), 1e-15);
                mvGetAngle(r1, &a, &b, &g);
                mvGetRot(a, b, g, r2);
                for (int i = 0; i < 3; i++)
                    for (int j = 0; j < 3; j++)
                        EXPECT_NEAR(r2[i][j], r1[i][j], 1e-13) << aa << " " << bb << " " << gg;
            }
}

TEST(Angles, ClampsCallersMatrixAndHandlesFaceOn)
{
    double r[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1.0000001}}, a, b, g;
    mvGetAngle(r, &a, &b, &g);
    EXPECT_EQ(r[2][2], 1.0);
    EXPECT_EQ(b, 0.0);

    // A marker exactly face-on (z axis opposite the camera's): the angles
    // must still describe the rotation, not come out not-a-number.
    double f[3][3] = {{1, 0, 0}, {0, -1, 0}, {0, 0, -1}}, back[3][3];
    mvGetAngle(f, &a, &b, &g);
    ASSERT_TRUE(std::isfinite(a) && std::isfinite(b) && std::isfinite(g));
    mvGetRot(a, b, g, back);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) EXPECT_NEAR(back[i][j], f[i][j], 1e-15);
    double f2[3][3] = {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}};  // turned 90 degrees
    mvGetAngle(f2, &a, &b, &g);
    mvGetRot(a, b, g, back);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) EXPECT_NEAR(back[i][j], f2[i][j], 1e-15);
}

TEST(NewMatrix, ComposesCameraWithPose)
{
    double out[3][4], t[3] = {0, 0, 100};
    mvGetNewMatrix(0, 0, 0, t, nullptr, kCamera, out);
    for (int j = 0; j < 3; j++) {
        for (int i = 0; i < 3; i++) EXPECT_EQ(out[j][i], kCamera[j][i]);
        EXPECT_EQ(out[j][3], 100 * kCamera[j][2] + kCamera[j][3]);
    }
    // An extra transform shifting by (5, 0, 0) moves the origin's image.
    const double shift[3][4] = {{1, 0, 0, 5}, {0, 1, 0, 0}, {0, 0, 1, 0}};
    double out2[3][4];
    mvGetNewMatrix(0, 0, 0, t, shift, kCamera, out2);
    EXPECT_EQ(out2[0][3], out[0][3] + 500 * 5);
    EXPECT_EQ(out2[1][3], out[1][3]);
}

// ---- angle search -----------------------------------------------------------

namespace {
struct Points {
    std::vector<double> m3, m2;  // num x 3 model, num x 2 image
    int num = 0;
    const double (*model() const)[3] { return reinterpret_cast<const double(*)[3]>(m3.data()); }
    const double (*image() const)[2] { return reinterpret_cast<const double(*)[2]>(m2.data()); }
};

Points square_points(const double truth[3][4], double side)
{
    Points p;
    const double h = side / 2;
    const double c[4][3] = {{-h, h, 0}, {h, h, 0}, {h, -h, 0}, {-h, -h, 0}};
    for (const auto &x : c) {
        double img[2];
        synth::project(kCamera, truth, x, img);
        p.m3.insert(p.m3.end(), x, x + 3);
        p.m2.insert(p.m2.end(), img, img + 2);
        p.num++;
    }
    return p;
}
}  // namespace

TEST(AngleSearch, ExactPoseStaysAndNoSearchRaisesTheError)
{
    double truth[3][4];
    synth::pose(0.8, 150 * kDeg, 0.4, 10, -5, 500, truth);
    Points pts = square_points(truth, 80);
    double t[3] = {truth[0][3], truth[1][3], truth[2][3]};
    double rot[3][3];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) rot[i][j] = truth[i][j];
    double err = mvModifyMatrix(rot, t, kCamera, pts.model(), pts.image(), pts.num);
    EXPECT_LT(err, 1e-20);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) EXPECT_NEAR(rot[i][j], truth[i][j], 1e-12);

    // From starts up to 8 degrees off (translation exact), the error left is
    // never above the start's and the rotation moves towards the truth.
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> off(-8 * kDeg, 8 * kDeg);
    double a0, b0, g0;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) rot[i][j] = truth[i][j];
    mvGetAngle(rot, &a0, &b0, &g0);
    for (int trial = 0; trial < 20; trial++) {
        double start[3][3], r[3][3], m[3][4];
        mvGetRot(a0 + off(rng), b0 + off(rng), g0 + off(rng), start);
        std::memcpy(r, start, sizeof r);
        // Error of the start, by projecting through the start pose.
        double sa, sb, sg, e0 = 0;
        mvGetAngle(start, &sa, &sb, &sg);
        mvGetNewMatrix(sa, sb, sg, t, nullptr, kCamera, m);
        for (int p = 0; p < pts.num; p++) {
            const double *x = pts.model()[p];
            double h[3];
            for (int k = 0; k < 3; k++)
                h[k] = m[k][0] * x[0] + m[k][1] * x[1] + m[k][2] * x[2] + m[k][3];
            e0 += std::pow(pts.image()[p][0] - h[0] / h[2], 2) +
                  std::pow(pts.image()[p][1] - h[1] / h[2], 2);
        }
        double e = mvModifyMatrix(r, t, kCamera, pts.model(), pts.image(), pts.num);
        EXPECT_LE(e, e0 / pts.num) << trial;
        EXPECT_LT(synth::rotation_gap_deg(r, truth), synth::rotation_gap_deg(start, truth))
            << trial;
    }
}

TEST(AngleSearch, KeepsStartWhenNoCandidateIsUsable)
{
    // Not-a-number image points make every candidate's error unusable: the
    // starting rotation must survive instead of an undefined one.
    double truth[3][4];
    synth::pose(0.8, 150 * kDeg, 0.4, 10, -5, 500, truth);
    Points pts = square_points(truth, 80);
    pts.m2[0] = NAN;
    double t[3] = {truth[0][3], truth[1][3], truth[2][3]}, rot[3][3];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) rot[i][j] = truth[i][j];
    double err = mvModifyMatrix(rot, t, kCamera, pts.model(), pts.image(), pts.num);
    EXPECT_EQ(err, 1e9 / pts.num);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) EXPECT_NEAR(rot[i][j], truth[i][j], 1e-12);
}

// ---- estimators ------------------------------------------------------------

TEST(TransMat3, ShiftedModelShiftsTranslationAlongXAxis)
{
    double truth[3][4];
    synth::pose(-0.5, 145 * kDeg, 1.0, 20, 10, 450, truth);
    MvMarkerInfo mk = synth::marker(kCamera, truth, 80, 0.7, 5);
    double image[4][2], model[4][2] = {{-40, 40}, {40, 40}, {40, -40}, {-40, -40}};
    std::memcpy(image, mk.vertices, sizeof image);
    double shifted[4][2];
    for (int k = 0; k < 4; k++) {
        shifted[k][0] = model[k][0] + 100;
        shifted[k][1] = model[k][1];
    }
    double start[3][3], r1[3][3], r2[3][3], c1[3][4], c2[3][4];
    ASSERT_EQ(mvGetInitRot(&mk, kCamera, start), 0);
    std::memcpy(r1, start, sizeof r1);
    std::memcpy(r2, start, sizeof r2);
    const double dist[4] = {160, 120, 0, 1};
    double e1 = mvGetTransMat3(r1, image, model, 4, c1, dist, kCamera);
    double e2 = mvGetTransMat3(r2, image, shifted, 4, c2, dist, kCamera);
    ASSERT_GE(e1, 0);
    EXPECT_EQ(e1, e2);
    for (int r = 0; r < 3; r++) {
        for (int c = 0; c < 3; c++) {
            EXPECT_EQ(c1[r][c], c2[r][c]);
            EXPECT_EQ(r1[r][c], c1[r][c]);  // the refined rotation comes back
        }
        EXPECT_NEAR(c2[r][3], c1[r][3] - 100 * c1[r][0], 1e-9);
    }
    // Centred model: no offset, so the translation is the marker centre's;
    // 0.7 px corner noise at 450 mm moves it by well under 2 %.
    for (int r = 0; r < 3; r++) EXPECT_NEAR(c1[r][3], truth[r][3], 0.02 * 450);
}

TEST(TransMat5, RefusesPointCountsTheScratchCannotHold)
{
    static double image[501][2], model[501][3];
    double rot[3][3] = {{1, 0, 0}, {0, -1, 0}, {0, 0, -1}}, conv[3][4] = {{42}};
    const double dist[4] = {160, 120, 0, 1};
    EXPECT_EQ(mvGetTransMat5(rot, image, model, 501, conv, dist, kCamera), -1.0);
    EXPECT_EQ(mvGetTransMat5(rot, image, model, 0, conv, dist, kCamera), -1.0);
    // One point cannot fix a translation (singular normal equations).
    image[0][0] = 160;
    image[0][1] = 120;
    EXPECT_EQ(mvGetTransMat5(rot, image, model, 1, conv, dist, kCamera), -1.0);
    EXPECT_EQ(conv[0][0], 42);
    EXPECT_EQ(rot[1][1], -1);

    // 500 points off a plane are fine: from the true rotation the exact pose
    // comes back, so every point was read.
    double truth[3][4];
    synth::pose(0.3, 140 * kDeg, -0.2, 5, 0, 700, truth);
    for (int i = 0; i < 500; i++) {
        model[i][0] = (i % 25) * 4.0 - 48;
        model[i][1] = (i / 25) * 4.0 - 38;
        model[i][2] = (i % 3) * 5.0;
        synth::project(kCamera, truth, model[i], image[i]);
    }
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) rot[i][j] = truth[i][j];
    double err = mvGetTransMat5(rot, image, model, 500, conv, dist, kCamera);
    EXPECT_LT(err, 1e-18);
    for (int r = 0; r < 3; r++) EXPECT_NEAR(conv[r][3], truth[r][3], 1e-6);
}

TEST(TransMat, SyntheticMarkerWithOnePixelNoise)
{
    use_camera(kCamera);
    struct Case { double a, b_deg, g, tx, ty, tz; } cases[] = {
        {0.2, 170, 0.1, 0, 0, 500},   {1.0, 150, -0.5, 30, -20, 500},
        {-2.0, 135, 2.0, -25, 15, 520}, {2.5, 160, 1.5, 10, 30, 480}};
    for (const Case &k : cases) {
        double truth[3][4];
        synth::pose(k.a, k.b_deg * kDeg, k.g, k.tx, k.ty, k.tz, truth);
        for (unsigned seed = 1; seed <= 5; seed++) {
            MvMarkerInfo m = synth::marker(kCamera, truth, 80, 1.0, seed);
            double conv[3][4];
            double err = mvGetTransMat(&m, (const double[2]){0, 0}, 80, conv);
            ASSERT_GE(err, 0.0) << k.b_deg << " seed " << seed;
            // One pixel on an 80-px-wide marker: under 3 % in position
            // over 200 seeds per pose, and up to 15 degrees in rotation near
            // face-on (where tilt is poorly seen); a flipped axis or a
            // swapped corner order would be 90 degrees or more.
            double dist = std::sqrt(truth[0][3] * truth[0][3] + truth[1][3] * truth[1][3] +
                                    truth[2][3] * truth[2][3]);
            double gap = 0;
            for (int r = 0; r < 3; r++) gap += std::pow(conv[r][3] - truth[r][3], 2);
            EXPECT_LT(std::sqrt(gap) / dist, 0.04) << k.b_deg << " seed " << seed;
            EXPECT_LT(synth::rotation_gap_deg(conv, truth), 20.0) << k.b_deg << " seed " << seed;
            EXPECT_LT(err, 10.0);

            // The same marker matched a quarter turn later: same answer.
            MvMarkerInfo t = synth::turned(m);
            double conv1[3][4];
            EXPECT_EQ(mvGetTransMat(&t, (const double[2]){0, 0}, 80, conv1), err);
            EXPECT_EQ(std::memcmp(conv, conv1, sizeof conv), 0);
        }
    }
}

TEST(TransMat, NoiseFreeAndFaceOnMarkersGetTheirPose)
{
    use_camera(kCamera);
    double truth[3][4], conv[3][4];
    synth::pose(0.7, 150 * kDeg, -0.3, 12, -8, 500, truth);
    MvMarkerInfo m = synth::marker(kCamera, truth, 80);
    double err = mvGetTransMat(&m, (const double[2]){0, 0}, 80, conv);
    ASSERT_GE(err, 0.0);
    EXPECT_LT(err, 1e-3);
    EXPECT_LT(synth::rotation_gap_deg(conv, truth), 0.1);
    for (int r = 0; r < 3; r++) EXPECT_NEAR(conv[r][3], truth[r][3], 0.5);

    // Exactly face-on, edges parallel to the image axes, 100 px wide at
    // focal length 500: 80 mm is 400 mm away, centred on (160, 120).
    MvMarkerInfo f = face_on_square();
    err = mvGetTransMat(&f, (const double[2]){0, 0}, 80, conv);
    ASSERT_GE(err, 0.0);
    EXPECT_LT(err, 1e-3);
    EXPECT_NEAR(conv[0][3], 0, 0.5);
    EXPECT_NEAR(conv[1][3], 0, 0.5);
    EXPECT_NEAR(conv[2][3], 400, 0.5);
    EXPECT_NEAR(conv[0][0], 1, 1e-4);
    EXPECT_NEAR(conv[1][1], -1, 1e-4);
}

TEST(TransMat, FailureLeavesTransformUntouched)
{
    double cam[3][4] = {{500, 0, 160, 0}, {0, 500, 120, 0}, {0, 0, 0, 0}};
    use_camera(cam);
    MvMarkerInfo m = face_on_square();
    double conv[3][4] = {{42}};
    EXPECT_EQ(mvGetTransMat(&m, (const double[2]){0, 0}, 80, conv), -1.0);
    EXPECT_EQ(conv[0][0], 42);
}

TEST(TransMat, FittingModeOneComparesInObservedCoordinates)
{
    // In mode 1 the given points are taken as ideal and converted to
    // observed ones before fitting: the ideal images of projections must
    // give what the projections themselves give in mode 0.
    double truth[3][4];
    synth::pose(0.4, 155 * kDeg, 0.9, -10, 5, 600, truth);
    const double dist[4] = {150, 110, 40, 1.02};
    const double model[4][2] = {{-40, 40}, {40, 40}, {40, -40}, {-40, -40}};
    double image[4][2];
    for (int k = 0; k < 4; k++) {
        double x[3] = {model[k][0], model[k][1], 0}, o[2];
        synth::project(kCamera, truth, x, o);
        mvParamObserv2Ideal(dist, o[0], o[1], &image[k][0], &image[k][1]);
    }
    double projected[4][2];
    for (int k = 0; k < 4; k++) {
        double x[3] = {model[k][0], model[k][1], 0};
        synth::project(kCamera, truth, x, projected[k]);
    }
    double start[3][3], rot[3][3], conv0[3][4], conv1[3][4], convi[3][4];
    mvGetRot(0.45, 150 * kDeg, 0.85, start);
    std::memcpy(rot, start, sizeof rot);
    double e0 = mvGetTransMat3(rot, projected, model, 4, conv0, dist, kCamera);
    std::memcpy(rot, start, sizeof rot);
    double ei = mvGetTransMat3(rot, image, model, 4, convi, dist, kCamera);
    mvFittingMode = 1;
    std::memcpy(rot, start, sizeof rot);
    double e1 = mvGetTransMat3(rot, image, model, 4, conv1, dist, kCamera);
    mvFittingMode = 0;
    EXPECT_NEAR(e1, e0, 1e-6);
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 4; c++) EXPECT_NEAR(conv1[r][c], conv0[r][c], 1e-5);
    // Without the conversion the 2 % scale of the lens shows in the depth.
    EXPECT_GT(std::fabs(convi[2][3] - conv0[2][3]), 5.0);
    (void)ei;
}
