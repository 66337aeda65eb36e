// Labelling and candidate limits that the golden corpus does not reach: the
// last usable label number, refused working images, inclusive area limits,
// the scanned border on every side, and equal squares lying on each other.
#include <gtest/gtest.h>

#include <vector>

#include "morvex/camera.h"
#include "morvex/detect.h"

namespace {

// A bright frame of 4-byte pixels; its size becomes the active camera's.
struct Frame {
    int w, h;
    std::vector<unsigned char> px;
    Frame(int width, int height) : w(width), h(height), px((size_t)width * height * 4, 200)
    {
        MvCameraParam c{};
        c.xsize = w;
        c.ysize = h;
        mvInitCparam(&c);
    }
    // Rectangle x0..x1, y0..y1 inclusive, dark or of grey v.
    void rect(int x0, int x1, int y0, int y1, unsigned char v = 0)
    {
        for (int y = y0; y <= y1; y++)
            for (int x = x0; x <= x1; x++)
                for (int c = 0; c < 3; c++) px[((size_t)y * w + x) * 4 + c] = v;
    }
};

struct Labels {
    unsigned short *image = nullptr;
    int count = -1, *area = nullptr, *clip = nullptr, *table = nullptr;
    double *pos = nullptr;
    explicit Labels(const Frame &f)
    {
        image = mvLabeling(f.px.data(), 100, &count, &area, &pos, &clip, &table);
    }
};

int candidateCount(const Frame &f, int areaMax = 100000, int areaMin = 70)
{
    Labels l(f);
    int n = -1;
    if (l.image != nullptr)
        mvDetectMarker2(l.image, l.count, l.table, l.area, l.pos, l.clip, areaMax, areaMin, 1.0, &n);
    return n;
}

class Limits : public ::testing::Test {
protected:
    void SetUp() override { mvImageProcMode = 0; }
    void TearDown() override { mvImageProcMode = 0; }
};

// Exactly 32768 labels, the last on a pixel with a dark pixel below it: that
// pixel must take label 32768 from above rather than ask for label 32769.
TEST_F(Limits, LabelNumber32768IsUsable)
{
    Frame f(640, 480);
    int made = 0, lastx = 0, lasty = 0;
    for (int y = 2; y < 478 && made < 32768; y += 2)
        for (int x = 2; x < 638 && made < 32768; x += 2, made++) {
            f.rect(x, x, y, y);
            lastx = x;
            lasty = y;
        }
    f.rect(lastx, lastx, lasty + 1, lasty + 1);
    Labels r(f);
    ASSERT_NE(r.image, nullptr);
    ASSERT_EQ(r.count, 32768);
    EXPECT_EQ(r.image[(lasty + 1) * 640 + lastx], 32768);
    EXPECT_EQ(r.area[32767], 2);
    EXPECT_EQ(r.clip[32767 * 4 + 3], lasty + 1);
    int n, *a, *c;
    double *p;
    mvGetImgFeature(&n, &a, &c, &p);
    EXPECT_TRUE(n == 32768 && a == r.area && c == r.clip && p == r.pos);
}

// One more label than there is room for, a working image larger than the
// label image (800 x 480 is 384000 entries of 320000; it fits at half
// resolution), and an empty camera: labelling refuses, detection reports -1
// and no markers.
TEST_F(Limits, RefusedFramesAreReportedByDetection)
{
    const struct { int w, h; bool dots; } cases[] = {{640, 480, true}, {800, 480, false}, {0, 0, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.w);
        Frame f(c.w, c.h);
        for (int y = 2; c.dots && y < c.h - 2; y += 2)
            for (int x = 2; x < c.w - 2; x += 2) f.rect(x, x, y, y);
        EXPECT_EQ(Labels(f).image, nullptr);
        MvMarkerInfo *info = nullptr;
        int num = 7;
        EXPECT_EQ(mvDetectMarker(f.px.data(), 100, &info, &num), -1);
        EXPECT_EQ(num, 0);
        EXPECT_EQ(info, nullptr);
    }
    mvImageProcMode = 1;
    EXPECT_NE(Labels(Frame(800, 480)).image, nullptr);
}

TEST_F(Limits, AreaLimitsAreInclusiveAndBorderSquaresAreSkipped)
{
    Frame f(64, 64);
    f.rect(10, 29, 10, 29);  // area 400
    const int limits[][3] = {{100000, 400, 1}, {100000, 401, 0}, {400, 70, 1}, {399, 70, 0}};
    for (const auto &l : limits) EXPECT_EQ(candidateCount(f, l[0], l[1]), l[2]) << l[0] << " " << l[1];
    // A box reaching a scanned border line (x or y = 1 or 62) is skipped.
    const int boxes[][4] = {{1, 20, 10, 29}, {43, 62, 10, 29}, {10, 29, 1, 20}, {10, 29, 43, 62}};
    for (const auto &b : boxes) {
        Frame g(64, 64);
        g.rect(b[0], b[1], b[2], b[3]);
        EXPECT_EQ(candidateCount(g), 0) << b[0] << "," << b[2];
    }
}

// A ring of area 144 around a square of area 144, same centre: of equal
// areas the earlier (the ring, first in raster order) goes.
TEST_F(Limits, OfEqualSquaresLyingOnEachOtherTheEarlierGoes)
{
    Frame f(64, 64);
    f.rect(20, 39, 20, 39);
    f.rect(22, 37, 22, 37, 200);
    f.rect(24, 35, 24, 35);
    Labels l(f);
    int n = 0;
    const MvMarkerCandidate *c =
        mvDetectMarker2(l.image, l.count, l.table, l.area, l.pos, l.clip, 100000, 70, 1.0, &n);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(c[0].contourCount, 4 * 11 + 1);  // the inner square's outline
}

}  // namespace
