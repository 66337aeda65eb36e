// Matching rules the golden corpus does not reach (ties between slots,
// deactivated and freed slots, samples sent to infinity), and the refusals
// of pattern saving. (Rotation blocks, negative correlations and grey matching:
// the golden test; the saved file's layout and round trip: mvmarker_test.)
#include "morvex/camera.h"
#include "morvex/detect.h"
#include "morvex/pattern.h"
#include "pattern_test_util.h"
#include "test_util.h"
#include "render.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace pattern_test;

namespace {

constexpr int W = 320, H = 240;

using Frame = std::vector<unsigned char>;  // W x H pixels of 4 bytes

// A quadrilateral given by its four corners, as an outline of five points
// whose corner indices are 0..3 (the fifth closes it).
struct Quad {
    int x[5], y[5];
    int corners[5] = {0, 1, 2, 3, 4};
    Quad(std::initializer_list<std::pair<int, int>> pts) {
        int i = 0;
        for (auto p : pts) { x[i] = p.first; y[i] = p.second; i++; }
        x[4] = x[0]; y[4] = y[0];
    }
    // The same outline with corner (0 + k) mod 4 taken as the first.
    std::vector<int> turned(int k) const {
        return {k % 4, (k + 1) % 4, (k + 2) % 4, (k + 3) % 4, 4};
    }
};

// Frame colours that differ in every channel and under every quarter turn.
Frame patternedFrame() {
    Frame f(W * H * 4, 255);
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            unsigned char *p = &f[(y * W + x) * 4];
            p[0] = (x * 7 + y * 13) % 256; p[1] = (x * x + 3 * y) % 256; p[2] = (x ^ (y * 5)) & 255;
        }
    return f;
}

class Match : public ::testing::Test {
protected:
    void SetUp() override {
        MvCameraParam cam = render::bundledCamera(W, H);
        mvInitCparam(&cam);
        clearStore();
    }
    void TearDown() override { clearStore(); }
    struct Code { int id, dir; double conf; };
    static void expectNoMatch(const Code &c) {
        EXPECT_TRUE(c.id == -1 && c.dir == -1 && c.conf == 0.0) << c.id << " " << c.dir << " " << c.conf;
    }
    static Code code(const Frame &f, const Quad &q, const int *corners) {
        Code c{-7, -7, -7.0};
        EXPECT_EQ(mvGetCode(f.data(), q.x, q.y, corners, &c.id, &c.dir, &c.conf), 0);
        return c;
    }
    // Loads a pattern file whose block b holds sample s[b], written in the
    // saved-file layout (plane by plane, 16 rows of 16).
    static int load(const std::string &name, const unsigned char *const s[4]) {
        std::string path = tempPath(name);
        FILE *fp = std::fopen(path.c_str(), "w");
        for (int b = 0; b < 4; b++, std::fputc('\n', fp))
            for (int c = 0; c < 3; c++)
                for (int r = 0; r < 16; r++, std::fputc('\n', fp))
                    for (int k = 0; k < 16; k++) std::fprintf(fp, "%4d", s[b][(r * 16 + k) * 3 + c]);
        std::fclose(fp);
        return mvLoadPatt(path.c_str());
    }
};

TEST_F(Match, TiesGoToTheLowerSlotAndDeactivatedOrFreedSlotsAreSkipped) {
    const Frame f = patternedFrame();
    const Quad q{{95, 55}, {170, 62}, {160, 130}, {102, 126}};
    unsigned char turn[4][768];
    for (int k = 0; k < 4; k++)
        ASSERT_EQ(mvGetPatt(f.data(), q.x, q.y, q.turned(k).data(), turn[k]), 0);
    // Block 3 holds the sample from corner 0; the other blocks the other
    // corners' samples, so the four blocks differ.
    const unsigned char *blocks[4] = {turn[1], turn[2], turn[3], turn[0]};
    ASSERT_EQ(load("b3a", blocks), 0);
    ASSERT_EQ(load("b3b", blocks), 1);

    // A sample equal to a block correlates to 1.0 up to rounding (1e-12);
    // of equal correlations the lower slot wins.
    Code c = code(f, q, q.corners);
    EXPECT_TRUE(c.id == 0 && c.dir == 3) << c.id << " " << c.dir;
    EXPECT_NEAR(c.conf, 1.0, 1e-12);

    // A deactivated slot is never the result; a free slot is passed over.
    ASSERT_EQ(mvDeactivatePatt(0), 1);
    EXPECT_EQ(code(f, q, q.corners).id, 1);
    ASSERT_EQ(mvActivatePatt(0), 1);
    ASSERT_EQ(mvFreePatt(0), 1);
    EXPECT_EQ(code(f, q, q.corners).id, 1);
    ASSERT_EQ(mvDeactivatePatt(1), 1);
    expectNoMatch(code(f, q, q.corners));
}

TEST_F(Match, SamplePositionAtInfinityGivesNoMatch) {
    // A folded quadrilateral whose map sends one sample position exactly to
    // infinity (d = 0); found by search, fixed by the deterministic solve.
    const Frame f = patternedFrame();
    const Quad q{{39, 7}, {3, 43}, {25, 15}, {2, 63}};
    unsigned char partial[768];
    ASSERT_EQ(mvGetPatt(f.data(), q.x, q.y, q.corners, partial), -1);
    int filled = 0;
    for (int i = 0; i < 768; i++) filled += partial[i] != 0;
    ASSERT_GT(filled, 0);   // the partial sample has contrast...
    ASSERT_LT(filled, 768);
    // ...and a pattern made of it would match it perfectly, but a partial
    // sample is no picture of the marker: no match is reported.
    const unsigned char *blocks[4] = {partial, partial, partial, partial};
    ASSERT_EQ(load("partial", blocks), 0);
    expectNoMatch(code(f, q, q.corners));
}

// ---- pattern saving on rendered frames --------------------------------

// The project marker 60 mm wide at 300 mm, tilted 25 and turned 20 degrees,
// with lens distortion: about 70 pixels wide in 320 x 240.
struct Rendered {
    render::Image frame;
    MvMarkerInfo *markers = nullptr;
    int n = 0;
};

Rendered renderAndDetect(const render::Image &marker, bool history = false) {
    MvCameraParam cam = render::bundledCamera(W, H);
    mvInitCparam(&cam);
    double trans[3][4];
    render::poseAt(cam, 165, 118, 300.0, 25, 20, trans);
    Rendered r;
    render::renderFrame(marker, 60.0, trans, cam, render::Options(), &r.frame);
    int rc = history ? mvDetectMarker(r.frame.pixels.data(), 100, &r.markers, &r.n)
                     : mvDetectMarkerLite(r.frame.pixels.data(), 100, &r.markers, &r.n);
    EXPECT_EQ(rc, 0);
    return r;
}

int largest(const Rendered &r) {
    int best = -1;
    for (int k = 0; k < r.n; k++)
        if (best < 0 || r.markers[k].area > r.markers[best].area) best = k;
    return best;
}

// Saving refuses unwritable paths, a marker no candidate of this frame
// has, and a marker re-added from the history (its candidate belongs to an
// earlier frame and must not be sampled from this one).
TEST_F(Match, SaveRefusesUnwritablePathsAndStaleMarkers) {
    const render::Image marker = render::makeProjectMarker(256);
    Rendered r = renderAndDetect(marker);
    const int k = largest(r);
    ASSERT_GE(k, 0);
    const unsigned char *px = r.frame.pixels.data();
    EXPECT_EQ(mvSavePatt(px, &r.markers[k], "/nonexistent/dir/x.lumo"), -1);
    EXPECT_EQ(mvSavePatt(px, &r.markers[k], "/dev/full"), -1);  // opens, cannot write
    MvMarkerInfo moved = r.markers[k];
    moved.area += 1;
    EXPECT_EQ(mvSavePatt(px, &moved, tempPath("moved").c_str()), -1);

    std::string path = tempPath("history.lumo");
    ASSERT_EQ(mvSavePatt(px, &r.markers[k], path.c_str()), 0);
    // A full disk: the save fails and the file saved before is intact.
    const std::string saved = morvex_test::slurp(path);
    ASSERT_EQ(saved.size(), 4u * (48 * 65 + 1));
    EXPECT_EQ(morvex_test::underFileSizeLimit(0, [&] {
                  return mvSavePatt(px, &r.markers[k], path.c_str()) == -1;
              }),
              1);
    EXPECT_EQ(morvex_test::slurp(path), saved);
    ASSERT_EQ(mvLoadPatt(path.c_str()), 0);
    r = renderAndDetect(marker, true);  // identified: now in the history
    ASSERT_EQ(r.markers[largest(r)].id, 0);
    std::vector<unsigned char> empty(W * H * 4, 200);
    MvMarkerInfo *m = nullptr;
    int n = 0;
    ASSERT_EQ(mvDetectMarker(empty.data(), 100, &m, &n), 0);
    ASSERT_GE(n, 1);   // re-added
    EXPECT_EQ(mvSavePatt(empty.data(), &m[0], tempPath("stale").c_str()), -1);
}

}  // namespace
