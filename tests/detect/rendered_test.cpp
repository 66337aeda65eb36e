// Detection end to end on rendered frames with a known truth: the bundled
// camera at 320 x 240, the project's marker (80 mm) and its pattern file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "morvex/camera.h"
#include "morvex/detect.h"
#include "morvex/pattern.h"
#include "render.h"

namespace {

const double kSide = 80.0;
// Corners on sharp frames: the outline runs through the centres of the
// border's outermost dark pixels and, at threshold 100, an anti-aliased edge
// pixel counts as dark only when mostly covered, so each fitted side lies
// about 0.6 px inside the true edge and a corner about 0.8 px from the true
// one. 1.5 px leaves room for that and for distortion, yet a corner paired
// with the wrong truth corner is a whole side (>= 25 px) off, and a wrong
// edge line moves its corners by several pixels.
const double kCornerTol = 1.5;
// Two places off the frame centre, so that the far views are not all
// sampled on the same pixel grid phase.
const double kLeftUp[2] = {150, 115}, kRightDown[2] = {172, 128};

MvCameraParam gCam;
render::Image gMarker;
int gPatt = -1;

class Rendered : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        MvCameraParam full;
        ASSERT_EQ(mvParamLoad("resources/camera_para.dat", 1, &full), 0);
        mvParamChangeSize(&full, 320, 240, &gCam);
        std::string err;
        ASSERT_TRUE(render::readImage("resources/marker.png", &gMarker, &err)) << err;
        gPatt = mvLoadPatt("resources/patt.lumo");
        ASSERT_GE(gPatt, 0);
    }
    void SetUp() override
    {
        mvImageProcMode = 0;
        mvInitCparam(&gCam);
    }
    void TearDown() override { mvImageProcMode = 0; }

    render::Truth draw(const render::Image &picture, double u, double v, double dist,
                       double tilt, double roll, const render::Options &opt)
    {
        double trans[3][4];
        render::poseAt(gCam, u, v, dist, tilt, roll, trans);
        return render::renderFrame(picture, kSide, trans, gCam, opt, &frame);
    }
    // Markers of the last detection that carry our id.
    int ours(MvMarkerInfo *list, int n, int *which) const
    {
        int count = 0;
        for (int k = 0; k < n; k++)
            if (list[k].id == gPatt) {
                count++;
                *which = k;
            }
        return count;
    }
    render::Image frame;
};

// The marker's own corner k is vertices[(4 + k - direction) mod 4]; the
// renderer's corner k is the picture's corner k (0 top-left, clockwise).
double worstCornerError(const MvMarkerInfo &m, const render::Truth &t)
{
    double worst = 0.0;
    for (int k = 0; k < 4; k++) {
        const double *v = m.vertices[(4 + k - m.direction) % 4];
        worst = std::max(worst, std::hypot(v[0] - t.ideal[k][0], v[1] - t.ideal[k][1]));
    }
    return worst;
}

// Near enough (the marker 140 to 70 px wide, tilted up to 50 degrees):
// identified with high confidence, corners on the truth in the order the
// reported direction implies, in every quarter turn.
TEST_F(Rendered, IdentifiesAndLocatesTheMarkerInEveryQuarterTurn)
{
    const double dists[] = {200, 300, 400};
    const double tilts[] = {0, 30, 50, -45};
    const double where[][2] = {{160, 120}, {140, 110}, {180, 130}};
    int run = 0;
    for (double roll : {0.0, 90.0, 180.0, 270.0}) {
        for (double tilt : tilts) {
            const double dist = dists[run % 3];
            const double *uv = where[(run / 3) % 3];
            run++;
            SCOPED_TRACE(::testing::Message() << "roll " << roll << " distance " << dist
                                              << " tilt " << tilt << " at " << uv[0] << "," << uv[1]);
            render::Truth t = draw(gMarker, uv[0], uv[1], dist, tilt, roll, render::Options());
            MvMarkerInfo *list = nullptr;
            int n = 0;
            ASSERT_EQ(mvDetectMarkerLite(frame.pixels.data(), 100, &list, &n), 0);
            int k = -1;
            ASSERT_EQ(ours(list, n, &k), 1);
            EXPECT_GE(list[k].confidence, 0.8);
            EXPECT_LE(list[k].confidence, 1.0 + 1e-9);
            ASSERT_GE(list[k].direction, 0);
            EXPECT_LT(worstCornerError(list[k], t), kCornerTol);
            // Upright and face-on the outline starts at the bottom-right
            // corner (the marker's corner 2), so the direction is 2; each
            // clockwise quarter turn moves it on by three (back by one).
            if (tilt == 0.0) {
                EXPECT_EQ(list[k].direction, (2 + 3 * (int)(roll / 90)) % 4);
            }
        }
    }
}

// Farther away, down to a 28 px marker at 1 m (the picture 14 px, under a
// pixel per pattern cell) and tilted up to 50 degrees: the square and its
// corners are found, and the reported direction still puts every corner on
// the truth in all four quarter turns. The confidence falls with the size:
// from 500 to 700 mm most views still reach 0.8; up to 1 m the mean stays
// high and most views pass the 0.5 identity threshold (bench/marker
// prints the full table).
TEST_F(Rendered, KeepsDirectionAndMostlyIdentityUpToOneMetre)
{
    struct Band { double from, to; double min_mean; int min_ok_pct; double ok_level; };
    // Measured on these views: 500..700 mm mean 0.89, 88 % >= 0.8;
    // 800..1000 mm mean 0.76, 92 % >= 0.5. The old picture with fine
    // features had a mean near 0.6 at 1 m.
    const Band bands[] = {{500, 700, 0.84, 75, 0.8}, {800, 1000, 0.70, 80, 0.5}};
    for (const Band &b : bands) {
        int views = 0, ok = 0;
        double sum = 0.0;
        int run = 0;
        for (double dist = b.from; dist <= b.to; dist += 100)
            for (double tilt : {0.0, 20.0, 35.0, 50.0})
                for (double roll : {0.0, 90.0, 180.0, 270.0}) {
                    const double *uv = (run++ % 2) ? kLeftUp : kRightDown;
                    SCOPED_TRACE(::testing::Message() << "distance " << dist << " tilt " << tilt
                                                      << " roll " << roll);
                    render::Truth t = draw(gMarker, uv[0], uv[1], dist, tilt, roll, render::Options());
                    MvMarkerInfo *list = nullptr;
                    int n = 0;
                    ASSERT_EQ(mvDetectMarkerLite(frame.pixels.data(), 100, &list, &n), 0);
                    ASSERT_EQ(n, 1);
                    ASSERT_GE(list[0].direction, 0);
                    EXPECT_LT(worstCornerError(list[0], t), kCornerTol);
                    views++;
                    sum += list[0].confidence;
                    ok += list[0].confidence >= b.ok_level;
                }
        SCOPED_TRACE(::testing::Message() << b.from << ".." << b.to << " mm");
        std::printf("%.0f..%.0f mm: mean confidence %.3f, %d of %d views >= %.1f\n", b.from, b.to,
                    sum / views, ok, views, b.ok_level);
        EXPECT_GE(sum / views, b.min_mean);
        EXPECT_GE(100 * ok, b.min_ok_pct * views);
    }
}

TEST_F(Rendered, AnotherPictureInTheSameBorderIsNotOurs)
{
    for (int v = 0; v < render::alternatePictureCount(); v++) {
        render::Image other = render::makeMarker(render::makeAlternatePicture(v), 512);
        for (double roll : {0.0, 90.0}) {
            draw(other, 160, 120, 350, 20, roll, render::Options());
            MvMarkerInfo *list = nullptr;
            int n = 0;
            ASSERT_EQ(mvDetectMarkerLite(frame.pixels.data(), 100, &list, &n), 0);
            ASSERT_GE(n, 1) << "variant " << v;  // the square itself is found
            // Ours scores >= 0.8 in the same poses; these at most 0.31
            // (measured), so none passes the 0.5 identity threshold.
            for (int k = 0; k < n; k++) {
                EXPECT_NE(list[k].id, gPatt) << "variant " << v << " roll " << roll;
                EXPECT_LT(list[k].confidence, 0.45) << "variant " << v << " roll " << roll;
            }
        }
    }
}

TEST_F(Rendered, ClutteredBackgroundAndFramesWithoutMarker)
{
    render::Options clutter;
    clutter.background = render::Background::Clutter;
    for (unsigned seed : {1u, 2u, 3u}) {
        clutter.seed = seed;
        render::Truth t = draw(gMarker, 170, 110, 400, 25, 30.0 * seed, clutter);
        MvMarkerInfo *list = nullptr;
        int n = 0;
        ASSERT_EQ(mvDetectMarkerLite(frame.pixels.data(), 100, &list, &n), 0);
        int k = -1;
        ASSERT_EQ(ours(list, n, &k), 1) << "seed " << seed;
        EXPECT_GE(list[k].confidence, 0.8);
        EXPECT_LT(worstCornerError(list[k], t), kCornerTol);

        // The same clutter without the marker: nothing of ours.
        draw(render::Image(), 170, 110, 400, 25, 0, clutter);
        ASSERT_EQ(mvDetectMarkerLite(frame.pixels.data(), 100, &list, &n), 0);
        EXPECT_EQ(ours(list, n, &k), 0) << "seed " << seed;
    }
    draw(render::Image(), 160, 120, 400, 0, 0, render::Options());
    MvMarkerInfo *list = nullptr;
    int n = -1;
    ASSERT_EQ(mvDetectMarkerLite(frame.pixels.data(), 100, &list, &n), 0);
    EXPECT_EQ(n, 0);
}

// The history over a rendered sequence: the marker in frame 1, then only
// empty frames. mvDetectMarker reports it (as seen in frame 1) in frames 2
// and 3 and forgets it in frame 4; the Lite variant never re-adds it.
TEST_F(Rendered, LostMarkerIsCarriedForTwoFramesByTheHistoryOnly)
{
    render::Image empty_frame, marker_frame;
    draw(gMarker, 150, 120, 300, 10, 0, render::Options());
    marker_frame = frame;
    draw(render::Image(), 150, 120, 300, 10, 0, render::Options());
    empty_frame = frame;

    MvMarkerInfo *list = nullptr;
    int n = 0, k = -1;
    ASSERT_EQ(mvDetectMarker(marker_frame.pixels.data(), 100, &list, &n), 0);
    ASSERT_EQ(ours(list, n, &k), 1);
    const MvMarkerInfo seen = list[k];
    for (int f = 2; f <= 4; f++) {
        ASSERT_EQ(mvDetectMarker(empty_frame.pixels.data(), 100, &list, &n), 0);
        if (f < 4) {
            ASSERT_EQ(n, 1) << "frame " << f;
            EXPECT_EQ(list[0].id, seen.id);
            EXPECT_EQ(list[0].area, seen.area);
            EXPECT_EQ(list[0].vertices[1][0], seen.vertices[1][0]);
        } else {
            EXPECT_EQ(n, 0);
        }
    }
    ASSERT_EQ(mvDetectMarkerLite(marker_frame.pixels.data(), 100, &list, &n), 0);
    ASSERT_EQ(mvDetectMarkerLite(empty_frame.pixels.data(), 100, &list, &n), 0);
    EXPECT_EQ(n, 0);
}

// Half resolution: outlines at every second pixel, reported in frame units.
TEST_F(Rendered, HalfResolutionStillFindsTheMarker)
{
    mvImageProcMode = 1;
    render::Truth t = draw(gMarker, 160, 120, 250, 20, 90, render::Options());
    MvMarkerInfo *list = nullptr;
    int n = 0, k = -1;
    ASSERT_EQ(mvDetectMarkerLite(frame.pixels.data(), 100, &list, &n), 0);
    ASSERT_EQ(ours(list, n, &k), 1);
    EXPECT_GE(list[k].confidence, 0.7);
    EXPECT_EQ(list[k].area % 4, 0);
    // Working pixels are 2 frame pixels wide: the outline sits up to about
    // 1.5 frame pixels inside the edge, so corners get twice the tolerance.
    EXPECT_LT(worstCornerError(list[k], t), 2 * kCornerTol);
}

}  // namespace
