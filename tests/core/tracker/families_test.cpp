// Coded markers through the tracker, on rendered frames with known truth:
// every id of a family found in crowded frames, poses and corners in the
// family's own convention, no codes read on picture markers or clutter,
// and the automatic threshold following a tag.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "morvex/tracker.h"
#include "render.h"
#include "synthetic.h"

namespace {

struct TrackerPtr {
    MvTracker *t = nullptr;
    ~TrackerPtr() { mvTrackerDestroy(t); }
    operator MvTracker *() const { return t; }
};

void make(const MvCameraParam &cam, TrackerPtr *t, const std::vector<std::string> &families, double side)
{
    ASSERT_EQ(mvTrackerCreate(&cam, nullptr, &t->t, nullptr), MV_ERROR_NONE);
    for (const std::string &f : families)
        ASSERT_EQ(mvTrackerAddFamily(*t, f.c_str(), side, -1), MV_ERROR_NONE) << mvTrackerErrorText(*t);
}

// The upright tag's corner k of the renderer (0 top-left, clockwise) for
// the family's own corner f.
int upright(const char *family, int f) { return std::strncmp(family, "tag", 3) == 0 ? 3 - f : f; }

// Every id of a family, 64 to a 1920 x 1080 frame (each tag 67 pixels
// across, rendered in its own 240 x 135 tile of the big camera), tracked
// back: each id found once,
// where it was drawn, its corners in the family's order within a third of a
// pixel of the truth and its distance within 1%.
TEST(TrackerFamilies, EveryIdIsFoundInCrowdedFrames)
{
    const int W = 1920, H = 1080;
    const MvCameraParam cam = render::pinholeCamera(W, H, 1500.0);
    for (const char *name : {"tag36h11", "aruco4x4_50", "aruco7x7_100"}) {
        SCOPED_TRACE(name);
        TrackerPtr t;
        make(cam, &t, {name}, 45.0);
        const int ids = [&] {
            for (int k = 0; k < mvCodeFamilyCount(); k++)
                if (std::strcmp(mvCodeFamilyName(k), name) == 0) return render::codedMarkerIds(name);
            return 0;
        }();
        ASSERT_GT(ids, 0);
        std::map<int, int> found;
        for (int first = 0; first < ids; first += 64) {
            render::Image frame{W, H, 4, std::vector<uint8_t>((size_t)W * H * 4, 200)};
            std::vector<render::Truth> truth(64);
            for (int k = 0; k < 64 && first + k < ids; k++) {
                const int x0 = (k % 8) * 240, y0 = (k / 8) * 135;
                double trans[3][4];
                render::poseAt(cam, x0 + 120, y0 + 67, 1000.0, (k % 5) * 8.0 - 16, k * 23.0, trans);
                MvCameraParam tile = cam;
                tile.xsize = 240;
                tile.ysize = 135;
                tile.projection[0][2] -= x0;
                tile.projection[1][2] -= y0;
                tile.distortion[0] -= x0;
                tile.distortion[1] -= y0;
                render::Image part;
                render::Options opt;
                opt.supersample = 2;
                render::renderFrame(render::makeCodedMarker(name, first + k, 12),
                                    render::codedPictureSide(name, 45.0), trans, tile, opt, &part);
                for (int y = 0; y < 135; y++)
                    std::memcpy(&frame.pixels[((size_t)(y0 + y) * W + x0) * 4], &part.pixels[(size_t)y * 240 * 4],
                                240 * 4);
                truth[k] = render::projectCorners(45.0, trans, cam);
            }
            mvTrackerReset(t);
            const MvTrackerMarker *m;
            int n;
            ASSERT_EQ(mvTrackerProcess(t, frame.pixels.data(), W, H, W * 4, MV_PIXEL_RGBA, &m, &n), 0);
            for (int i = 0; i < n; i++) {
                if (m[i].family == nullptr) continue;
                EXPECT_STREQ(m[i].family, name);
                const int k = m[i].id - first;
                ASSERT_TRUE(k >= 0 && k < 64) << m[i].id;
                found[m[i].id]++;
                // Where it was drawn, corners in the family's own order.
                EXPECT_EQ((int)(m[i].center[0] / 240) + 8 * (int)(m[i].center[1] / 135), k);
                for (int f = 0; f < 4; f++) {
                    const double *want = truth[k].observed[upright(name, f)];
                    EXPECT_NEAR(m[i].corners[f][0], want[0], 0.34) << m[i].id << " corner " << f;
                    EXPECT_NEAR(m[i].corners[f][1], want[1], 0.34) << m[i].id << " corner " << f;
                }
                ASSERT_TRUE(m[i].hasPose);
                EXPECT_NEAR(std::sqrt(m[i].pose[0][3] * m[i].pose[0][3] + m[i].pose[1][3] * m[i].pose[1][3] +
                                      m[i].pose[2][3] * m[i].pose[2][3]),
                            1000.0, 10.0);
            }
        }
        EXPECT_EQ((int)found.size(), ids);
        for (const auto &f : found) EXPECT_EQ(f.second, 1) << "id " << f.first;
    }
}

// One tag in four rolls: the pose is the truth in the family's own axes
// (ArUco's are Morvex's; AprilTag's have y and z reversed) and the
// family's corner 0 where the family puts it.
TEST(TrackerFamilies, PosesAndCornersFollowTheFamiliesConventions)
{
    const MvCameraParam cam = render::bundledCamera(640, 480);
    for (const char *name : {"tag36h11", "tag16h5", "aruco4x4_50", "aruco_original"}) {
        for (double roll : {15.0, 105.0, 195.0, 285.0}) {
            SCOPED_TRACE(::testing::Message() << name << " roll " << roll);
            TrackerPtr t;
            make(cam, &t, {name}, 60.0);
            double trans[3][4];
            render::poseAt(cam, 330, 230, 420.0, 30.0, roll, trans);
            render::Image frame;
            render::Options opt;
            opt.blur_sigma = 0.6;
            opt.noise_sigma = 2;
            render::renderFrame(render::makeCodedMarker(name, 3, 16), render::codedPictureSide(name, 60.0), trans, cam,
                                opt, &frame);
            const MvTrackerMarker *m;
            int n;
            ASSERT_EQ(mvTrackerProcess(t, frame.pixels.data(), 640, 480, 2560, MV_PIXEL_RGBA, &m, &n), 0);
            const MvTrackerMarker *tag = nullptr;
            for (int i = 0; i < n; i++)
                if (m[i].family) tag = &m[i];
            ASSERT_NE(tag, nullptr);
            EXPECT_EQ(tag->id, 3);
            ASSERT_TRUE(tag->hasPose);
            double want[3][4];
            std::memcpy(want, trans, sizeof want);
            if (name[0] == 't')
                for (int r = 0; r < 3; r++) want[r][1] = -want[r][1], want[r][2] = -want[r][2];
            EXPECT_LT(synth::rotation_gap_deg(tag->pose, want), 1.0);
            for (int r = 0; r < 3; r++) EXPECT_NEAR(tag->pose[r][3], want[r][3], 4.2);
            const render::Truth corners = render::projectCorners(60.0, trans, cam);
            EXPECT_NEAR(tag->corners[0][0], corners.observed[upright(name, 0)][0], 0.3);
            EXPECT_NEAR(tag->corners[0][1], corners.observed[upright(name, 0)][1], 0.3);
        }
    }
}

// With every family decoded, a picture marker is still its pattern and
// clutter shows no code: nothing is read that is not there.
TEST(TrackerFamilies, NoCodeIsReadOnPicturesOrClutter)
{
    const MvCameraParam cam = render::bundledCamera(640, 480);
    TrackerPtr t;
    std::vector<std::string> all;
    for (int k = 0; k < mvCodeFamilyCount(); k++) all.push_back(mvCodeFamilyName(k));
    make(cam, &t, all, 45.0);
    ASSERT_EQ(mvTrackerAddPatternFile(t, MORVEX_RESOURCE_DIR "/patt.lumo", 45.0, nullptr), 0);
    int pictures = 0;
    for (int v = 0; v < 12; v++) {
        double trans[3][4];
        render::poseAt(cam, 200 + 20 * v, 240, 250.0 + 40 * v, 5.0 * v - 30, 33.0 * v, trans);
        render::Options opt;
        opt.background = render::Background::Clutter;
        opt.seed = v + 1;
        opt.noise_sigma = 3;
        opt.blur_sigma = 0.7;
        render::Image frame;
        render::renderFrame(render::makeProjectMarker(), 45.0, trans, cam, opt, &frame);
        const MvTrackerMarker *m;
        int n;
        ASSERT_EQ(mvTrackerProcess(t, frame.pixels.data(), 640, 480, 2560, MV_PIXEL_RGBA, &m, &n), 0);
        for (int i = 0; i < n; i++) {
            EXPECT_EQ(m[i].family, nullptr) << "frame " << v << ": " << m[i].family << " " << m[i].id;
            pictures += m[i].id == 0 && m[i].family == nullptr;
        }
    }
    EXPECT_GE(pictures, 12);
}

// A tag moving over a gradient that darkens and brightens: with the
// automatic threshold it is found in every frame (before the threshold
// followed codes, it swept on and lost such a tag in a sixth of them).
TEST(TrackerFamilies, TheAutomaticThresholdFollowsATag)
{
    const MvCameraParam cam = render::bundledCamera(640, 480);
    TrackerPtr t;
    make(cam, &t, {"tag36h11"}, 50.0);
    const render::Image tag = render::makeCodedMarker("tag36h11", 42, 12);
    int seen = 0;
    const int frames = 60;
    for (int n = 0; n < frames; n++) {
        double trans[3][4];
        render::poseAt(cam, 250 + 3 * n, 220, 380.0 + 4 * n, 20.0, 6.0 * n, trans);
        render::Options opt;
        opt.background = render::Background::Gradient;
        const uint8_t light = (uint8_t)(150 + 90 * std::sin(n * 0.2));
        opt.plain[0] = opt.plain[1] = opt.plain[2] = light;
        opt.noise_sigma = 2;
        render::Image frame;
        render::renderFrame(tag, render::codedPictureSide("tag36h11", 50.0), trans, cam, opt, &frame);
        // The whole frame darker or lighter, as an exposure change.
        const double gain = 0.6 + 0.35 * std::cos(n * 0.15);
        for (uint8_t &p : frame.pixels) p = (uint8_t)std::min(255.0, p * gain);
        const MvTrackerMarker *m;
        int count;
        ASSERT_EQ(mvTrackerProcess(t, frame.pixels.data(), 640, 480, 2560, MV_PIXEL_RGBA, &m, &count), 0);
        for (int i = 0; i < count; i++) seen += m[i].family != nullptr && m[i].id == 42;
    }
    EXPECT_EQ(seen, frames);
}

}  // namespace
