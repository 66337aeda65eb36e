// Detection end to end on rendered frames with a known truth: the bundled
// camera at 320 x 240, the project's marker (80 mm) and its pattern file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

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
        ASSERT_TRUE(mvtool::readImage("resources/marker.png", &gMarker, &err)) << err;
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
    // Detects on `f` (the last drawn frame by default).
    void detect(bool lite = true, const render::Image *f = nullptr)
    {
        const unsigned char *px = (f ? f : &frame)->pixels.data();
        ASSERT_EQ(lite ? mvDetectMarkerLite(px, 100, &list, &n) : mvDetectMarker(px, 100, &list, &n), 0);
    }
    // How many markers of the last detection carry our id; the last in *which.
    int ours(int *which) const
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
    MvMarkerInfo *list = nullptr;
    int n = 0;
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

// Distances 200 mm to 1 m (the marker 140 px down to 28 px wide, its
// picture 14 px at 1 m, under a pixel per pattern cell), tilted up to 50
// degrees, in all four quarter turns: the square is found and the reported
// direction puts every corner on the truth. Up to 400 mm every view is
// identified with confidence >= 0.8; farther the confidence falls with the
// size. Measured on these views: 500..700 mm mean 0.89, 88 % >= 0.8;
// 800..1000 mm mean 0.76, 92 % >= 0.5 (bench/marker prints the table).
TEST_F(Rendered, IdentifiesAndLocatesTheMarkerInEveryQuarterTurn)
{
    struct Band { double from, to; double min_mean; int min_ok_pct; double ok_level; };
    const Band bands[] = {{200, 400, 0.8, 100, 0.8}, {500, 700, 0.84, 75, 0.8}, {800, 1000, 0.70, 80, 0.5}};
    for (const Band &b : bands) {
        int views = 0, ok = 0, run = 0;
        double sum = 0.0;
        for (double dist = b.from; dist <= b.to; dist += 100)
            for (double tilt : {0.0, 20.0, 35.0, 50.0})
                for (double roll : {0.0, 90.0, 180.0, 270.0}) {
                    const double *uv = (run++ % 2) ? kLeftUp : kRightDown;
                    SCOPED_TRACE(::testing::Message() << "distance " << dist << " tilt " << tilt
                                                      << " roll " << roll);
                    render::Truth t = draw(gMarker, uv[0], uv[1], dist, tilt, roll, render::Options());
                    detect();
                    ASSERT_EQ(n, 1);
                    ASSERT_GE(list[0].direction, 0);
                    EXPECT_LT(worstCornerError(list[0], t), kCornerTol);
                    EXPECT_LE(list[0].confidence, 1.0 + 1e-9);
                    // Upright and face-on the outline starts at the bottom-right
                    // corner (the marker's corner 2): direction 2, and each
                    // clockwise quarter turn moves it back by one.
                    if (tilt == 0.0) { EXPECT_EQ(list[0].direction, (2 + 3 * (int)(roll / 90)) % 4); }
                    views++;
                    sum += list[0].confidence;
                    ok += list[0].confidence >= b.ok_level;
                    if (b.min_ok_pct == 100) { EXPECT_EQ(list[0].id, gPatt); }
                }
        SCOPED_TRACE(::testing::Message() << b.from << ".." << b.to << " mm");
        std::printf("%.0f..%.0f mm: mean confidence %.3f, %d of %d views >= %.1f\n", b.from, b.to,
                    sum / views, ok, views, b.ok_level);
        EXPECT_GE(sum / views, b.min_mean);
        EXPECT_GE(100 * ok, b.min_ok_pct * views);
    }
}

// One view each: clutter around our marker, clutter or a plain background
// alone, half resolution, and other pictures in the same border.
TEST_F(Rendered, ScenesWithAndWithoutOurMarker)
{
    render::Options plain, clutter[3];
    for (unsigned i = 0; i < 3; i++) {
        clutter[i].background = render::Background::Clutter;
        clutter[i].seed = i + 1;
    }
    std::vector<render::Image> others;
    for (int v = 0; v < render::alternatePictureCount(); v++)
        others.push_back(render::makeMarker(render::makeAlternatePicture(v), 512));
    const render::Image none;
    // Corner tolerance: at half resolution working pixels are 2 frame pixels
    // wide and the outline sits up to about 1.5 frame pixels inside the edge.
    struct Scene { const render::Image *pic; const render::Options *opt; int half;
                   double u, v, dist, tilt, roll; int want; double tol; };
    std::vector<Scene> scenes;
    for (int i = 0; i < 3; i++) {
        scenes.push_back({&gMarker, &clutter[i], 0, 170, 110, 400, 25, 30.0 * (i + 1), 1, kCornerTol});
        scenes.push_back({&none, &clutter[i], 0, 170, 110, 400, 25, 0, 0, 0});
    }
    scenes.push_back({&none, &plain, 0, 160, 120, 400, 0, 0, -1, 0});  // nothing at all
    scenes.push_back({&gMarker, &plain, 1, 160, 120, 250, 20, 90, 1, 2 * kCornerTol});
    // Ours scores >= 0.8 in these poses; the others at most 0.31 (measured).
    for (const render::Image &o : others)
        for (double roll : {0.0, 90.0}) scenes.push_back({&o, &plain, 0, 160, 120, 350, 20, roll, 0, 0});
    for (size_t i = 0; i < scenes.size(); i++) {
        const Scene &sc = scenes[i];
        SCOPED_TRACE(::testing::Message() << "scene " << i);
        mvImageProcMode = sc.half;
        render::Truth t = draw(*sc.pic, sc.u, sc.v, sc.dist, sc.tilt, sc.roll, *sc.opt);
        detect();
        int k = -1;
        ASSERT_EQ(ours(&k), sc.want > 0 ? 1 : 0);
        if (sc.want < 0) { EXPECT_EQ(n, 0); }
        if (sc.want > 0) {
            EXPECT_GE(list[k].confidence, sc.half ? 0.7 : 0.8);
            EXPECT_LT(worstCornerError(list[k], t), sc.tol);
            if (sc.half) { EXPECT_EQ(list[k].area % 4, 0); }  // frame units
        } else if (sc.pic != &none) {
            ASSERT_GE(n, 1);  // the square itself is found
            for (int m = 0; m < n; m++) EXPECT_LT(list[m].confidence, 0.45);
        }
    }
}

// The history over a rendered sequence: the marker in frame 1, then only
// empty frames. mvDetectMarker reports it (as seen in frame 1) in frames 2
// and 3 and forgets it in frame 4; the Lite variant never re-adds it.
TEST_F(Rendered, LostMarkerIsCarriedForTwoFramesByTheHistoryOnly)
{
    draw(gMarker, 150, 120, 300, 10, 0, render::Options());
    const render::Image marker_frame = frame;
    draw(render::Image(), 150, 120, 300, 10, 0, render::Options());
    int k = -1;
    detect(false, &marker_frame);
    ASSERT_EQ(ours(&k), 1);
    const MvMarkerInfo seen = list[k];
    for (int f = 2; f <= 4; f++) {
        detect(false);
        ASSERT_EQ(n, f < 4 ? 1 : 0) << "frame " << f;
        if (f == 4) break;
        EXPECT_EQ(list[0].id, seen.id);
        EXPECT_EQ(list[0].area, seen.area);
        EXPECT_EQ(list[0].vertices[1][0], seen.vertices[1][0]);
    }
    detect(true, &marker_frame);
    detect(true);
    EXPECT_EQ(n, 0);
}

}  // namespace
