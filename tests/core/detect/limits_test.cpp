// Labelling and candidate limits that the golden corpus does not reach:
// labels past 16 bits, refused working images, inclusive area limits,
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
    // Labelling at threshold 100.
    MvLabel *label(int *n, int **area, double **pos, int **clip, int **table) const
    {
        return mvLabeling(px.data(), 100, n, area, pos, clip, table);
    }
    // The square candidates; none and *count = -1 when labelling refuses.
    const MvMarkerCandidate *candidates(int *count, int areaMax = 100000, int areaMin = 70) const
    {
        int n, *area, *clip, *table;
        double *pos;
        MvLabel *img = label(&n, &area, &pos, &clip, &table);
        *count = -1;
        return img ? mvDetectMarker2(img, n, table, area, pos, clip, areaMax, areaMin, 1.0, count)
                   : nullptr;
    }
};

// Isolated dots on every second pixel: 76241 components, numbered past what
// 16 bits hold; mvGetImgFeature hands out the same tables again.
TEST(Limits, LabelsPastSixteenBits)
{
    Frame f(640, 480);
    for (int y = 2; y < 480; y += 2)
        for (int x = 2; x < 640; x += 2) f.rect(x, x, y, y);
    f.rect(638, 638, 479, 479);   // below the last dot: takes its label
    int n, *area, *clip, *table, n2, *area2, *clip2;
    double *pos, *pos2;
    const MvLabel *img = f.label(&n, &area, &pos, &clip, &table);
    ASSERT_NE(img, nullptr);
    ASSERT_EQ(n, 319 * 239);
    EXPECT_EQ(img[478 * 640 + 638], (MvLabel)n);
    EXPECT_EQ(area[n - 1], 1);   // the border row is never labelled
    mvGetImgFeature(&n2, &area2, &clip2, &pos2);
    EXPECT_TRUE(n2 == n && area2 == area && clip2 == clip && pos2 == pos);
}

// A working image past 4096 x 4096 pixels (it fits at half resolution) and
// an empty camera: labelling refuses, detection reports -1 and no markers.
TEST(Limits, RefusedFramesAreReportedByDetection)
{
    const struct { int w, h; } cases[] = {{4097, 4096}, {0, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.w);
        Frame f(c.w, c.h);
        int n;
        EXPECT_EQ(f.candidates(&n), nullptr);
        MvMarkerInfo *info = nullptr;
        int num = 7;
        EXPECT_EQ(mvDetectMarker(f.px.data(), 100, &info, &num), -1);
        EXPECT_TRUE(num == 0 && info == nullptr);
    }
    mvImageProcMode = 1;
    int n;
    EXPECT_NE(Frame(4097, 4096).candidates(&n), nullptr);
    mvImageProcMode = 0;
}

TEST(Limits, AreaLimitsAreInclusiveAndBorderSquaresAreSkipped)
{
    Frame f(64, 64);
    f.rect(10, 29, 10, 29);  // area 400
    const int limits[][3] = {{100000, 400, 1}, {100000, 401, 0}, {400, 70, 1}, {399, 70, 0}};
    int n;
    for (const auto &l : limits) {
        f.candidates(&n, l[0], l[1]);
        EXPECT_EQ(n, l[2]) << l[0] << " " << l[1];
    }
    // A box reaching a scanned border line (x or y = 1 or 62) is skipped.
    const int boxes[][4] = {{1, 20, 10, 29}, {43, 62, 10, 29}, {10, 29, 1, 20}, {10, 29, 43, 62}};
    for (const auto &b : boxes) {
        Frame g(64, 64);
        g.rect(b[0], b[1], b[2], b[3]);
        g.candidates(&n);
        EXPECT_EQ(n, 0) << b[0] << "," << b[2];
    }
}

// A ring of area 144 around a square of area 144, same centre: of equal
// areas the earlier (the ring, first in raster order) goes.
TEST(Limits, OfEqualSquaresLyingOnEachOtherTheEarlierGoes)
{
    Frame f(64, 64);
    f.rect(20, 39, 20, 39);
    f.rect(22, 37, 22, 37, 200);
    f.rect(24, 35, 24, 35);
    int n;
    const MvMarkerCandidate *c = f.candidates(&n);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(c[0].contourCount, 4 * 11 + 1);  // the inner square's outline
}

}  // namespace
