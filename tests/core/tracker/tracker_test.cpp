// The tracker on rendered frames with known truth: poses in every pixel
// layout, agreement with the process-wide interface, no capacity limits
// (64 markers in a 1080p frame, 300 dark squares), and settings.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "morvex.h"
#include "render.h"
#include "synthetic.h"

namespace {

const char *kPattern = MORVEX_RESOURCE_DIR "/patt.lumo";

struct TrackerPtr {
    MvTracker *t = nullptr;
    ~TrackerPtr() { mvTrackerDestroy(t); }
    MvTracker *operator->() const { return t; }
    operator MvTracker *() const { return t; }
};

// A tracker with the bundled pattern (id 0) at `side` mm.
void make(const MvCameraParam *cam, const MvTrackerSettings *s, double side, TrackerPtr *out)
{
    char why[MV_MESSAGE_MAX];
    ASSERT_EQ(mvTrackerCreate(cam, s, &out->t, why), MV_ERROR_NONE) << why;
    int id = -1;
    ASSERT_EQ(mvTrackerAddPatternFile(*out, kPattern, side, &id), MV_ERROR_NONE) << mvTrackerErrorText(*out);
    ASSERT_EQ(id, 0);
}

// The RGBA frame in another layout, rows `pad` bytes longer than needed.
std::vector<unsigned char> convert(const render::Image &f, MvPixelFormat format, int pad, int *stride)
{
    const int bpp = format == MV_PIXEL_GREY ? 1 : format == MV_PIXEL_RGB || format == MV_PIXEL_BGR ? 3 : 4;
    *stride = f.width * bpp + pad;
    std::vector<unsigned char> out((size_t)*stride * f.height, 77);
    const bool swap = format == MV_PIXEL_BGR || format == MV_PIXEL_BGRA;
    for (int y = 0; y < f.height; y++)
        for (int x = 0; x < f.width; x++) {
            const unsigned char *p = &f.pixels[((size_t)y * f.width + x) * 4];
            unsigned char *q = &out[(size_t)y * *stride + (size_t)x * bpp];
            if (bpp == 1) {
                q[0] = p[1];
                continue;
            }
            q[0] = p[swap ? 2 : 0];
            q[1] = p[1];
            q[2] = p[swap ? 0 : 2];
            if (bpp == 4) q[3] = 200;
        }
    return out;
}

// An identified marker's pose against the truth: translation within 1% of
// the distance, rotation within `degrees` (1 for a 45 mm marker 400 mm away
// in a sharp 640 x 480 frame: its sides are 80 px), observed corners within
// 0.3 px.
void expectPose(const MvTrackerMarker &m, const render::Truth &t, double degrees = 1.0)
{
    ASSERT_TRUE(m.hasPose);
    const double dist = std::sqrt(t.trans[0][3] * t.trans[0][3] + t.trans[1][3] * t.trans[1][3] +
                                  t.trans[2][3] * t.trans[2][3]);
    for (int r = 0; r < 3; r++) EXPECT_NEAR(m.pose[r][3], t.trans[r][3], 0.01 * dist) << r;
    EXPECT_LT(synth::rotation_gap_deg(m.pose, t.trans), degrees);
    for (int i = 0; i < 4; i++) {
        // Corner i of the detector is the marker's own corner (i + direction) mod 4.
        const double *truth = t.observed[(i + m.direction) % 4];
        EXPECT_NEAR(m.corners[i][0], truth[0], 0.3) << i;
        EXPECT_NEAR(m.corners[i][1], truth[1], 0.3) << i;
    }
}

TEST(Tracker, RenderedPosesComeBackInEveryPixelLayout)
{
    const MvCameraParam cam = render::bundledCamera(640, 480);
    double trans[3][4];
    render::poseAt(cam, 300, 220, 400.0, 25.0, 30.0, trans);
    render::Image frame;
    render::Options opt;
    opt.background = render::Background::Clutter;
    opt.blur_sigma = 0.6;
    const render::Truth truth = render::renderFrame(render::makeProjectMarker(), 45.0, trans, cam, opt, &frame);

    std::vector<MvTrackerMarker> rgba;
    const struct { MvPixelFormat format; int pad; } layouts[] = {
        {MV_PIXEL_RGBA, 0}, {MV_PIXEL_RGBA, 12}, {MV_PIXEL_BGRA, 0}, {MV_PIXEL_RGB, 3},
        {MV_PIXEL_BGR, 0},  {MV_PIXEL_GREY, 5},
    };
    for (const auto &l : layouts) {
        SCOPED_TRACE(::testing::Message() << "format " << l.format << " pad " << l.pad);
        TrackerPtr t;
        make(&cam, nullptr, 45.0, &t);
        int stride;
        const std::vector<unsigned char> px = convert(frame, l.format, l.pad, &stride);
        const MvTrackerMarker *m;
        int n;
        ASSERT_EQ(mvTrackerProcess(t, px.data(), frame.width, frame.height, stride, l.format, &m, &n),
                  MV_ERROR_NONE);
        std::vector<MvTrackerMarker> got(m, m + n);
        std::vector<MvTrackerMarker> known;
        for (const MvTrackerMarker &k : got)
            if (k.id >= 0) known.push_back(k);
        ASSERT_EQ(known.size(), 1u);
        EXPECT_EQ(known[0].id, 0);
        EXPECT_EQ(known[0].widthMm, 45.0);
        expectPose(known[0], truth);
        // Every colour layout reads the same numbers as RGBA, to the bit.
        if (l.format == MV_PIXEL_RGBA && l.pad == 0) rgba = got;
        if (l.format != MV_PIXEL_GREY) {
            ASSERT_EQ(got.size(), rgba.size());
            EXPECT_EQ(0, std::memcmp(got.data(), rgba.data(), got.size() * sizeof got[0]));
        }
    }
    // A removed pattern is no longer reported, not even lent by the history.
    TrackerPtr t;
    make(&cam, nullptr, 45.0, &t);
    const MvTrackerMarker *m;
    int n;
    ASSERT_EQ(mvTrackerProcess(t, frame.pixels.data(), frame.width, frame.height, frame.width * 4, MV_PIXEL_RGBA, &m,
                               &n),
              MV_ERROR_NONE);
    ASSERT_EQ(mvTrackerRemovePattern(t, 0), MV_ERROR_NONE);
    ASSERT_EQ(mvTrackerProcess(t, frame.pixels.data(), frame.width, frame.height, frame.width * 4, MV_PIXEL_RGBA, &m,
                               &n),
              MV_ERROR_NONE);
    ASSERT_GT(n, 0);
    for (int k = 0; k < n; k++) EXPECT_EQ(m[k].id, -1);
}

// With the settings of the process-wide interface (fixed threshold 100, no
// refinement, no guard), a tracker reports exactly mvDetectMarker's markers and
// mvGetTransMat's poses, frame after frame (the history included).
TEST(Tracker, PlainSettingsGiveTheProcessWideInterfacesResults)
{
    const MvCameraParam cam = render::bundledCamera(320, 240);
    mvInitCparam(&cam);
    const int slot = mvLoadPatt(kPattern);
    ASSERT_GE(slot, 0);
    MvTrackerSettings s;
    mvTrackerSettingsInit(&s);
    s.threshold = 100;
    s.refine = 0;
    s.guard = 0;   // the process-wide rule: the best correlation of at least 0.5
    TrackerPtr t;
    make(&cam, &s, 80.0, &t);
    render::Options opt;
    opt.background = render::Background::Gradient;
    opt.noise_sigma = 3;
    int compared = 0;
    for (int k = 0; k < 8; k++) {
        double trans[3][4];
        render::poseAt(cam, 150 + 4 * k, 120, 350 + 30 * k, 10.0 * k - 30, 15.0 * k, trans);
        render::Image frame;
        opt.seed = k;
        render::renderFrame(k == 5 ? render::Image() : render::makeProjectMarker(), 80.0, trans, cam, opt, &frame);
        MvMarkerInfo *list;
        int n;
        ASSERT_EQ(mvDetectMarker(frame.pixels.data(), 100, &list, &n), 0);
        const MvTrackerMarker *m;
        int count;
        ASSERT_EQ(mvTrackerProcess(t, frame.pixels.data(), 320, 240, 320 * 4, MV_PIXEL_RGBA, &m, &count), 0);
        ASSERT_EQ(count, n) << "frame " << k;
        for (int i = 0; i < n; i++) {
            EXPECT_EQ(m[i].id, list[i].id == slot ? 0 : -1);
            EXPECT_EQ(m[i].direction, list[i].direction);
            EXPECT_EQ(m[i].confidence, list[i].confidence);
            EXPECT_EQ(0, std::memcmp(m[i].cornersIdeal, list[i].vertices, sizeof list[i].vertices));
            EXPECT_EQ(0, std::memcmp(m[i].edgeLines, list[i].edgeLines, sizeof list[i].edgeLines));
            if (list[i].id != slot) continue;
            double pose[3][4];
            const double centre[2] = {0, 0};
            const double err = mvGetTransMat(&list[i], centre, 80.0, pose);
            ASSERT_TRUE(m[i].hasPose);
            EXPECT_EQ(m[i].poseError, err);
            EXPECT_EQ(0, std::memcmp(m[i].pose, pose, sizeof pose));
            compared++;
        }
    }
    EXPECT_GE(compared, 7);   // frame 5 has no marker; the history re-adds it once
    mvFreePatt(slot);
}

// No capacity limits: 64 markers at 1080p all found, identified and posed;
// 300 dark squares all reported (the process-wide interface stops at 30).
TEST(Tracker, EveryMarkerAndSquareOfACrowdedFrameIsReported)
{
    const int W = 1920, H = 1080;
    const MvCameraParam cam = render::pinholeCamera(W, H, 1500.0);
    const render::Image marker = render::makeProjectMarker(256);
    render::Image frame;
    frame.width = W;
    frame.height = H;
    frame.channels = 4;
    frame.pixels.assign((size_t)W * H * 4, 190);
    // Each marker rendered in its own 240 x 135 tile: the big camera cropped
    // to the tile (same focal length, principal point moved), pasted in.
    std::vector<render::Truth> truths;
    for (int r = 0; r < 8; r++)
        for (int c = 0; c < 8; c++) {
            const int x0 = c * 240, y0 = r * 135;
            double trans[3][4];
            render::poseAt(cam, x0 + 120, y0 + 67, 900.0, (r - 4) * 4.0, c * 11.0, trans);
            MvCameraParam tile = cam;
            tile.xsize = 240;
            tile.ysize = 135;
            tile.projection[0][2] -= x0;
            tile.projection[1][2] -= y0;
            tile.distortion[0] -= x0;
            tile.distortion[1] -= y0;
            render::Image part;
            render::renderFrame(marker, 45.0, trans, tile, render::Options(), &part);
            for (int y = 0; y < 135; y++)
                std::memcpy(&frame.pixels[((size_t)(y0 + y) * W + x0) * 4], &part.pixels[(size_t)y * 240 * 4],
                            240 * 4);
            truths.push_back(render::projectCorners(45.0, trans, cam));
        }
    TrackerPtr t;
    make(&cam, nullptr, 45.0, &t);
    const MvTrackerMarker *m;
    int n;
    ASSERT_EQ(mvTrackerProcess(t, frame.pixels.data(), W, H, W * 4, MV_PIXEL_RGBA, &m, &n), 0);
    int posed = 0;
    for (int i = 0; i < n; i++) {
        if (m[i].id != 0) continue;
        // Which tile it lies in gives its truth.
        const int c = (int)(m[i].center[0] / 240), r = (int)(m[i].center[1] / 135);
        SCOPED_TRACE(::testing::Message() << "tile " << r << ", " << c);
        // Sides of 75 px: the marker seen face-on (row 4, column 0) fixes
        // its rotation least, to about 3 degrees.
        expectPose(m[i], truths[r * 8 + c], 4.0);
        posed++;
    }
    EXPECT_EQ(posed, 64);

    // 300 hollow dark squares: every one a candidate and a marker.
    std::fill(frame.pixels.begin(), frame.pixels.end(), 230);
    for (int r = 0; r < 15; r++)
        for (int c = 0; c < 20; c++)
            for (int y = 0; y < 50; y++)
                for (int x = 0; x < 60; x++) {
                    const bool ring = y < 12 || y >= 38 || x < 12 || x >= 48;
                    if (ring) std::memset(&frame.pixels[((size_t)(r * 70 + 20 + y) * W + c * 95 + 20 + x) * 4], 20, 3);
                }
    MvTrackerSettings s;
    mvTrackerSettingsInit(&s);
    s.threshold = 100;
    ASSERT_EQ(mvTrackerSetSettings(t, &s), 0);
    mvTrackerReset(t);
    ASSERT_EQ(mvTrackerProcess(t, frame.pixels.data(), W, H, W * 4, MV_PIXEL_RGBA, &m, &n), 0);
    EXPECT_EQ(n, 300);
    s.maxMarkers = 10;
    ASSERT_EQ(mvTrackerSetSettings(t, &s), 0);
    ASSERT_EQ(mvTrackerProcess(t, frame.pixels.data(), W, H, W * 4, MV_PIXEL_RGBA, &m, &n), 0);
    EXPECT_EQ(n, 10);
}

// Settings, patterns and frames it cannot use are refused with a code and
// a text naming the fault, and the tracker goes on.
TEST(Tracker, RefusesWhatItCannotUseAndGoesOn)
{
    MvCameraParam bad = render::bundledCamera(320, 240);
    bad.projection[0][0] = 0;
    MvTracker *none = nullptr;
    char why[MV_MESSAGE_MAX] = "";
    EXPECT_EQ(mvTrackerCreate(&bad, nullptr, &none, why), MV_ERROR_ARGUMENT);
    EXPECT_EQ(none, nullptr);
    EXPECT_NE(std::string(why).find("focal length in x"), std::string::npos) << why;
    MvTrackerSettings s;
    mvTrackerSettingsInit(&s);
    s.threshold = 256;
    EXPECT_EQ(mvTrackerCreate(nullptr, &s, &none, why), MV_ERROR_ARGUMENT);
    EXPECT_NE(std::string(why).find("threshold 256"), std::string::npos) << why;

    TrackerPtr t;
    make(nullptr, nullptr, 45.0, &t);
    const struct { int code; const char *text; int (*call)(MvTracker *); } cases[] = {
        {MV_ERROR_NOT_FOUND, "/none.lumo", [](MvTracker *x) { return mvTrackerAddPatternFile(x, "/none.lumo", 45, nullptr); }},
        {MV_ERROR_FORMAT, "fewer than 3072", [](MvTracker *x) { return mvTrackerAddPatternFile(x, MORVEX_RESOURCE_DIR "/camera_para.dat", 45, nullptr); }},
        {MV_ERROR_ARGUMENT, "marker width -1", [](MvTracker *x) { return mvTrackerAddPatternFile(x, kPattern, -1, nullptr); }},
        {MV_ERROR_ARGUMENT, "no pattern 5", [](MvTracker *x) { return mvTrackerRemovePattern(x, 5); }},
        {MV_ERROR_ARGUMENT, "row stride 10", [](MvTracker *x) {
             static unsigned char px[64 * 64 * 4];
             const MvTrackerMarker *m; int n;
             return mvTrackerProcess(x, px, 64, 64, 10, MV_PIXEL_RGBA, &m, &n); }},
        {MV_ERROR_ARGUMENT, "pixel format 9", [](MvTracker *x) {
             static unsigned char px[64 * 64 * 4];
             const MvTrackerMarker *m; int n;
             return mvTrackerProcess(x, px, 64, 64, 256, (MvPixelFormat)9, &m, &n); }},
        {MV_ERROR_ARGUMENT, "too large", [](MvTracker *x) {
             static unsigned char px[4];
             const MvTrackerMarker *m; int n;
             return mvTrackerProcess(x, px, 8192, 4097, 8192, MV_PIXEL_GREY, &m, &n); }},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.call(t), c.code) << c.text;
        EXPECT_EQ(mvTrackerLastError(t), c.code);
        EXPECT_NE(std::string(mvTrackerErrorText(t)).find(c.text), std::string::npos) << mvTrackerErrorText(t);
    }
    // A camera of another aspect ratio than the frames: rescaled, with a note.
    std::vector<std::string> notes;
    mvTrackerSetMessageCallback(t, [](void *u, const char *text) { static_cast<std::vector<std::string> *>(u)->push_back(text); }, &notes);
    const MvCameraParam cam = render::bundledCamera(320, 240);
    ASSERT_EQ(mvTrackerSetCamera(t, &cam), 0);
    std::vector<unsigned char> grey(400 * 200, 200);
    const MvTrackerMarker *m;
    int n = -1;
    EXPECT_EQ(mvTrackerProcess(t, grey.data(), 400, 200, 400, MV_PIXEL_GREY, &m, &n), 0);
    EXPECT_EQ(n, 0);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("other aspect ratio"), std::string::npos) << notes[0];
    MvCameraParam used;
    ASSERT_EQ(mvTrackerGetCamera(t, &used), 0);
    EXPECT_EQ(used.xsize, 400);
    EXPECT_EQ(mvTrackerLastError(t), MV_ERROR_NONE);
}

}  // namespace
