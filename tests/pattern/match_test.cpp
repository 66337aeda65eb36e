// Sampling and matching on frames with known geometry, and pattern saving
// on rendered frames.
#include "morvex/camera.h"
#include "morvex/detect.h"
#include "morvex/pattern.h"
#include "pattern_test_util.h"
#include "render.h"
#include "../../detect/detect_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sys/stat.h>
#include <string>
#include <vector>

using namespace pattern_test;

namespace {

constexpr int W = 320, H = 240;

struct Frame {
    std::vector<unsigned char> px = std::vector<unsigned char>(W * H * 4, 0);
    void set(int x, int y, int r, int g, int b) {
        unsigned char *p = &px[(y * W + x) * 4];
        p[0] = (unsigned char)r; p[1] = (unsigned char)g; p[2] = (unsigned char)b; p[3] = 255;
    }
    int byte(int x, int y, int k) const { return px[(y * W + x) * 4 + k]; }
};

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
    Frame f;
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++)
            f.set(x, y, (x * 7 + y * 13) % 256, (x * x + 3 * y) % 256, (x ^ (y * 5)) & 255);
    return f;
}

class Match : public ::testing::Test {
protected:
    void SetUp() override {
        MvCameraParam cam = render::bundledCamera(W, H);
        mvInitCparam(&cam);
        clearStore();
        mvTemplateMatchingMode = 0;
        mvImageProcMode = 0;
    }
    void TearDown() override {
        clearStore();
        mvTemplateMatchingMode = 0;
        mvImageProcMode = 0;
    }
    struct Code { int id, dir; double conf; };
    static Code code(const Frame &f, const Quad &q, const int *corners) {
        Code c{-7, -7, -7.0};
        EXPECT_EQ(mvGetCode(f.px.data(), q.x, q.y, corners, &c.id, &c.dir, &c.conf), 0);
        return c;
    }
    // Loads a pattern file whose blocks are the given samples.
    static int load(const std::string &name, const unsigned char *const s[4]) {
        std::vector<int> v[4];
        const int *blocks[4];
        for (int b = 0; b < 4; b++) {
            v[b].assign(s[b], s[b] + 768);
            blocks[b] = v[b].data();
        }
        std::string path = tempPath(name);
        writePattern(path, blocks);
        return mvLoadPatt(path.c_str());
    }
};

TEST_F(Match, SamplesTheInnerHalfOfAnAxisAlignedSquare) {
    // Corners (100, 60), (164, 60), (164, 124), (100, 124): side 64, so the
    // map is x = 100 + (X - 100) * 6.4 and sample column j falls at x = 116 +
    // (j + 0.5) / 2, that is on pixel 116 + j / 2 (never on a pixel edge);
    // likewise rows. Each cell thus adds 4 x a sixteenth of 2 x 2 pixels.
    const Frame f = patternedFrame();
    const Quad q{{100, 60}, {164, 60}, {164, 124}, {100, 124}};
    unsigned char s[768];
    ASSERT_EQ(mvGetPatt(f.px.data(), q.x, q.y, q.corners, s), 0);
    for (int r = 0; r < 16; r++)
        for (int c = 0; c < 16; c++)
            for (int ch = 0; ch < 3; ch++) {
                int expect = 0;
                for (int dy = 0; dy < 2; dy++)
                    for (int dx = 0; dx < 2; dx++)
                        expect += 4 * (f.byte(116 + 2 * c + dx, 76 + 2 * r + dy, 2 - ch) / 16);
                ASSERT_EQ(s[(r * 16 + c) * 3 + ch], expect) << r << " " << c << " " << ch;
            }
}

TEST_F(Match, HalfResolutionSamplesEvenPositionsOnly) {
    // Bright everywhere except at even (x, y): only even positions are read
    // in half resolution, so the sample is black; at full resolution it is not.
    Frame f;
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            int v = (x % 2 == 0 && y % 2 == 0) ? 0 : 255;
            f.set(x, y, v, v, v);
        }
    const Quad q{{90, 50}, {181, 58}, {176, 151}, {85, 139}};
    unsigned char s[768];
    mvImageProcMode = 1;
    ASSERT_EQ(mvGetPatt(f.px.data(), q.x, q.y, q.corners, s), 0);
    for (int i = 0; i < 768; i++) ASSERT_EQ(s[i], 0) << i;
    mvImageProcMode = 0;
    ASSERT_EQ(mvGetPatt(f.px.data(), q.x, q.y, q.corners, s), 0);
    int bright = 0;
    for (int i = 0; i < 768; i++) bright += s[i] > 0;
    EXPECT_GT(bright, 700);
}

TEST_F(Match, ContrastlessInteriorGivesConfidenceMinusOne) {
    const Quad q{{100, 60}, {164, 60}, {164, 124}, {100, 124}};
    const int colours[][3] = {{128, 128, 128}, {200, 50, 100}};
    // Colour mode: only the grey interior lacks contrast; grey mode: both.
    const int modes[] = {0, 1};
    for (int mode : modes) {
        mvTemplateMatchingMode = mode;
        for (const auto &col : colours) {
            Frame f;
            for (int y = 0; y < H; y++)
                for (int x = 0; x < W; x++) f.set(x, y, col[0], col[1], col[2]);
            Code c = code(f, q, q.corners);
            bool flat = mode != 0 || col[0] == col[1];
            if (flat) {
                EXPECT_EQ(c.id, 0);
                EXPECT_EQ(c.dir, 0);
                EXPECT_EQ(c.conf, -1.0);
            } else {
                EXPECT_EQ(c.id, -1);   // contrast, but nothing loaded
                EXPECT_EQ(c.dir, -1);
                EXPECT_EQ(c.conf, 0.0);
            }
        }
    }
}

TEST_F(Match, FindsTheRotationBlockAndSlotByTheTieRules) {
    const Frame f = patternedFrame();
    const Quad q{{95, 55}, {170, 62}, {160, 130}, {102, 126}};
    unsigned char turn[4][768];
    for (int k = 0; k < 4; k++)
        ASSERT_EQ(mvGetPatt(f.px.data(), q.x, q.y, q.turned(k).data(), turn[k]), 0);
    // Block 3 holds the sample from corner 0; the other blocks the other
    // corners' samples, so the four blocks differ.
    const unsigned char *blocks[4] = {turn[1], turn[2], turn[3], turn[0]};
    ASSERT_EQ(load("b3a", blocks), 0);
    ASSERT_EQ(load("b3b", blocks), 1);

    // A sample equal to a block correlates to 1.0 up to rounding (1e-12).
    Code c = code(f, q, q.corners);
    EXPECT_EQ(c.id, 0);   // equal correlations: the lower slot wins
    EXPECT_EQ(c.dir, 3);
    EXPECT_NEAR(c.conf, 1.0, 1e-12);
    c = code(f, q, q.turned(2).data());
    EXPECT_EQ(c.dir, 1);
    EXPECT_NEAR(c.conf, 1.0, 1e-12);

    // A deactivated slot is never the result; a free slot is passed over.
    ASSERT_EQ(mvDeactivatePatt(0), 1);
    EXPECT_EQ(code(f, q, q.corners).id, 1);
    ASSERT_EQ(mvActivatePatt(0), 1);
    ASSERT_EQ(mvFreePatt(0), 1);
    EXPECT_EQ(code(f, q, q.corners).id, 1);
    ASSERT_EQ(mvDeactivatePatt(1), 1);
    c = code(f, q, q.corners);
    EXPECT_EQ(c.id, -1);
    EXPECT_EQ(c.dir, -1);
    EXPECT_EQ(c.conf, 0.0);
}

TEST_F(Match, OnlyPositiveCorrelationIsReported) {
    const Frame f = patternedFrame();
    const Quad q{{95, 55}, {170, 62}, {160, 130}, {102, 126}};
    unsigned char s[768], neg[768];
    ASSERT_EQ(mvGetPatt(f.px.data(), q.x, q.y, q.corners, s), 0);
    for (int i = 0; i < 768; i++) neg[i] = (unsigned char)(240 - s[i]);
    const unsigned char *blocks[4] = {neg, neg, neg, neg};
    ASSERT_EQ(load("negative", blocks), 0);
    Code c = code(f, q, q.corners);
    EXPECT_EQ(c.id, -1);
    EXPECT_EQ(c.dir, -1);
    EXPECT_EQ(c.conf, 0.0);
}

TEST_F(Match, GreyModeIgnoresAChannelSwap) {
    const Frame f = patternedFrame();
    const Quad q{{95, 55}, {170, 62}, {160, 130}, {102, 126}};
    unsigned char s[768], swapped[768], flat[768];
    ASSERT_EQ(mvGetPatt(f.px.data(), q.x, q.y, q.corners, s), 0);
    for (int i = 0; i < 256; i++) {
        swapped[i * 3] = s[i * 3 + 2];
        swapped[i * 3 + 1] = s[i * 3 + 1];
        swapped[i * 3 + 2] = s[i * 3];
    }
    for (int i = 0; i < 768; i++) flat[i] = 100;
    const unsigned char *blocks[4] = {flat, swapped, flat, flat};
    ASSERT_EQ(load("swap", blocks), 0);
    mvTemplateMatchingMode = 1;
    Code grey = code(f, q, q.corners);
    EXPECT_EQ(grey.id, 0);
    EXPECT_EQ(grey.dir, 1);
    EXPECT_NEAR(grey.conf, 1.0, 1e-12);
    mvTemplateMatchingMode = 0;
    Code colour = code(f, q, q.corners);
    EXPECT_LT(colour.conf, 0.9);
}

TEST_F(Match, SamplePositionAtInfinityGivesNoMatch) {
    // A folded quadrilateral whose map sends one sample position exactly to
    // infinity (d = 0); found by search, fixed by the deterministic solve.
    const Frame f = patternedFrame();
    const Quad q{{39, 7}, {3, 43}, {25, 15}, {2, 63}};
    unsigned char partial[768];
    ASSERT_EQ(mvGetPatt(f.px.data(), q.x, q.y, q.corners, partial), -1);
    int filled = 0;
    for (int i = 0; i < 768; i++) filled += partial[i] != 0;
    ASSERT_GT(filled, 0);   // the partial sample has contrast...
    ASSERT_LT(filled, 768);
    // ...and a pattern made of it would match it perfectly, but a partial
    // sample is no picture of the marker: no match is reported.
    const unsigned char *blocks[4] = {partial, partial, partial, partial};
    ASSERT_EQ(load("partial", blocks), 0);
    Code c = code(f, q, q.corners);
    EXPECT_EQ(c.id, -1);
    EXPECT_EQ(c.dir, -1);
    EXPECT_EQ(c.conf, 0.0);
}

// ---- pattern saving on rendered frames --------------------------------

// The project marker 60 mm wide at 300 mm, tilted and turned, with lens
// distortion: about 70 pixels wide in 320 x 240.
struct Rendered {
    render::Image frame;
    render::Truth truth;
    MvMarkerInfo *markers = nullptr;
    int n = 0;
};

Rendered renderAndDetect(const render::Image &marker, double tilt, double roll,
                         bool history = false) {
    MvCameraParam cam = render::bundledCamera(W, H);
    mvInitCparam(&cam);
    double trans[3][4];
    render::poseAt(cam, 165, 118, 300.0, tilt, roll, trans);
    Rendered r;
    r.truth = render::renderFrame(marker, 60.0, trans, cam, render::Options(), &r.frame);
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

// The marker corner (0..3, in the picture's order) that detection took as
// its corner 0: the true corner within 2 pixels of the fitted one (fitted
// corners are sub-pixel on sharp frames; 2 pixels allows for tilt).
int firstCorner(const Rendered &r, int k) {
    for (int c = 0; c < 4; c++)
        if (std::hypot(r.truth.ideal[c][0] - r.markers[k].vertices[0][0],
                       r.truth.ideal[c][1] - r.markers[k].vertices[0][1]) < 2.0)
            return c;
    return -1;
}

TEST_F(Match, SavedFileHasFourBlocksOf48LinesAndValuesUpTo240) {
    Rendered r = renderAndDetect(render::makeProjectMarker(256), 25, 20);
    int k = largest(r);
    ASSERT_GE(k, 0);
    std::string path = tempPath("saved.lumo");
    ASSERT_EQ(mvSavePatt(r.frame.pixels.data(), &r.markers[k], path.c_str()), 0);
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    ASSERT_EQ(lines.size(), 4u * 49u);
    int maxv = 0, minv = 255;
    for (size_t i = 0; i < lines.size(); i++) {
        if (i % 49 == 48) {
            EXPECT_EQ(lines[i], "") << "line " << i + 1;
            continue;
        }
        ASSERT_EQ(lines[i].size(), 64u) << "line " << i + 1;
        for (int v = 0; v < 16; v++) {
            int x = std::stoi(lines[i].substr(v * 4, 4));
            ASSERT_TRUE(x >= 0 && x <= 240) << x;
            maxv = std::max(maxv, x);
            minv = std::min(minv, x);
        }
    }
    EXPECT_GT(maxv - minv, 100);   // a real picture, not an empty sample
}

TEST_F(Match, SaveLoadMatchRoundTripGivesDirectionTwo) {
    // The same frame, the same outline: the sample taken at detection equals
    // block 2 of the saved file, in colour and in grey matching.
    const render::Image marker = render::makeProjectMarker(256);
    const int modes[] = {0, 1};
    for (int mode : modes) {
        clearStore();
        mvTemplateMatchingMode = mode;
        Rendered r = renderAndDetect(marker, 25, 20);
        int k = largest(r);
        ASSERT_GE(k, 0);
        std::string path = tempPath("roundtrip.lumo");
        ASSERT_EQ(mvSavePatt(r.frame.pixels.data(), &r.markers[k], path.c_str()), 0);
        int slot = mvLoadPatt(path.c_str());
        ASSERT_EQ(slot, 0);
        r = renderAndDetect(marker, 25, 20);
        k = largest(r);
        EXPECT_EQ(r.markers[k].id, slot) << "mode " << mode;
        EXPECT_EQ(r.markers[k].direction, 2) << "mode " << mode;
        EXPECT_NEAR(r.markers[k].confidence, 1.0, 1e-9) << "mode " << mode;
        // Quarter turns of the marker pick the block that starts at the
        // corner now taken first: block b starts at the saved view's corner
        // (b + 2) mod 4. The confidence is below 1 (a new outline, new
        // sample positions on a 35-pixel picture) but well above chance.
        const int saved_first = firstCorner(r, k);
        ASSERT_GE(saved_first, 0);
        for (int turn = 1; turn < 4; turn++) {
            Rendered t = renderAndDetect(marker, 25, 20 + 90 * turn);
            int kt = largest(t);
            ASSERT_GE(kt, 0);
            const int first = firstCorner(t, kt);
            ASSERT_GE(first, 0);
            EXPECT_EQ(t.markers[kt].id, slot);
            EXPECT_EQ(t.markers[kt].direction, (first - saved_first + 6) % 4) << "turn " << turn;
            EXPECT_GT(t.markers[kt].confidence, 0.75) << "turn " << turn;
        }
    }
}

TEST_F(Match, SaveRefusesMarkersWithoutACandidateAndUnwritablePaths) {
    const render::Image marker = render::makeProjectMarker(256);
    Rendered r = renderAndDetect(marker, 25, 20);
    int k = largest(r);
    ASSERT_GE(k, 0);
    EXPECT_EQ(mvSavePatt(r.frame.pixels.data(), &r.markers[k], "/nonexistent/dir/x.lumo"), -1);
    // A device that is always full: opening works, writing does not.
    EXPECT_EQ(mvSavePatt(r.frame.pixels.data(), &r.markers[k], "/dev/full"), -1);
    MvMarkerInfo moved = r.markers[k];
    moved.center[0] += 1e-9;
    EXPECT_EQ(mvSavePatt(r.frame.pixels.data(), &moved, tempPath("moved").c_str()), -1);
    moved = r.markers[k];
    moved.area += 1;
    EXPECT_EQ(mvSavePatt(r.frame.pixels.data(), &moved, tempPath("moved").c_str()), -1);
}

TEST_F(Match, SaveRefusesAMarkerReaddedFromTheHistory) {
    // Frame 1 identifies the marker and stores it in the history; frame 2
    // is empty, so the marker comes back from the history. Its candidate
    // belongs to frame 1 and must not be sampled from frame 2.
    const render::Image marker = render::makeProjectMarker(256);
    Rendered r = renderAndDetect(marker, 25, 20);
    std::string path = tempPath("history.lumo");
    ASSERT_EQ(mvSavePatt(r.frame.pixels.data(), &r.markers[largest(r)], path.c_str()), 0);
    ASSERT_EQ(mvLoadPatt(path.c_str()), 0);
    r = renderAndDetect(marker, 25, 20, true);
    ASSERT_EQ(r.markers[largest(r)].id, 0);
    std::vector<unsigned char> empty(W * H * 4, 200);
    MvMarkerInfo *m = nullptr;
    int n = 0;
    ASSERT_EQ(mvDetectMarker(empty.data(), 100, &m, &n), 0);
    ASSERT_GE(n, 1);   // re-added
    EXPECT_EQ(mvSavePatt(empty.data(), &m[0], tempPath("stale").c_str()), -1);
}

TEST_F(Match, SaveWritesNothingWhenASamplePositionIsAtInfinity) {
    // A detection table holding one candidate: first a sane square, then
    // the folded outline whose map reaches infinity. The first is saved;
    // the second would give a half-filled pattern and is refused.
    static MvMarkerCandidate table[1];
    const Frame f = patternedFrame();
    const Quad sane{{95, 55}, {170, 62}, {160, 130}, {102, 126}};
    const Quad folded{{39, 7}, {3, 43}, {25, 15}, {2, 63}};
    for (const Quad *q : {&sane, &folded}) {
        MvMarkerCandidate &c = table[0];
        c.area = 1234;
        c.center[0] = 40.5;
        c.center[1] = 60.25;
        c.contourCount = 5;
        for (int i = 0; i < 5; i++) {
            c.contourX[i] = q->x[i];
            c.contourY[i] = q->y[i];
            c.cornerIndices[i] = i;
        }
        marker_info2 = table;
        marker_candidate_num = 1;
        wmarker_num = 1;
        MvMarkerInfo m{};
        m.area = 1234;
        m.center[0] = 40.5;
        m.center[1] = 60.25;
        std::string path = tempPath(q == &sane ? "sane.lumo" : "folded.lumo");
        std::remove(path.c_str());
        struct stat st;
        if (q == &sane) {
            EXPECT_EQ(mvSavePatt(f.px.data(), &m, path.c_str()), 0);
            EXPECT_EQ(stat(path.c_str(), &st), 0);
        } else {
            EXPECT_EQ(mvSavePatt(f.px.data(), &m, path.c_str()), -1);
            EXPECT_NE(stat(path.c_str(), &st), 0);   // no file left behind
        }
    }
    marker_candidate_num = 0;
}

}  // namespace
