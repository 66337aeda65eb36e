// Thresholding and connected-component labelling.
#include <gtest/gtest.h>

#include "frame_util.h"
#include "morvex/detect.h"

namespace {

struct Labels {
    unsigned short *image = nullptr;
    int count = -1;
    int *area = nullptr, *clip = nullptr, *table = nullptr;
    double *pos = nullptr;
};

Labels label(const TestFrame &f, int thresh = 100)
{
    Labels r;
    r.image = mvLabeling(f.data(), thresh, &r.count, &r.area, &r.pos, &r.clip, &r.table);
    return r;
}

class Labeling : public ::testing::Test {
protected:
    void SetUp() override
    {
        mvImageProcMode = 0;
        mvDebug = 0;
        useCamera(64, 48);
    }
    void TearDown() override { mvImageProcMode = 0; mvDebug = 0; }
};

// Dark pixels on the outermost rows and columns only: nothing is labelled,
// and the result is a success with no components.
TEST_F(Labeling, FrameBorderIsNeverLabelled)
{
    TestFrame f(64, 48);
    for (int x = 0; x < 64; x++) { f.dark(x, 0); f.dark(x, 47); }
    for (int y = 0; y < 48; y++) { f.dark(0, y); f.dark(63, y); }
    Labels r = label(f);
    ASSERT_NE(r.image, nullptr);
    EXPECT_EQ(r.count, 0);
    for (int i = 0; i < 64 * 48; i++) ASSERT_EQ(r.image[i], 0) << i;
    int n = -1, *a, *c;
    double *p;
    mvGetImgFeature(&n, &a, &c, &p);
    EXPECT_EQ(n, 0);
}

TEST_F(Labeling, ThresholdIsInclusiveOnTheSumOfThreeChannels)
{
    struct { uint8_t r, g, b; bool dark; } cases[] = {
        {100, 100, 100, true}, {101, 100, 100, false}, {0, 0, 255, true},
        {255, 45, 0, true}, {255, 46, 0, false},
    };
    for (const auto &c : cases) {
        TestFrame f(64, 48);
        f.set(10, 10, c.r, c.g, c.b);
        Labels r = label(f);
        ASSERT_NE(r.image, nullptr);
        EXPECT_EQ(r.count, c.dark ? 1 : 0) << int(c.r) << "," << int(c.g) << "," << int(c.b);
        EXPECT_EQ(r.image[10 * 64 + 10] > 0, c.dark);
    }
}

// Components, their numbering (raster order of the first pixel), areas,
// centroids and boxes, with diagonal contact and a U whose arms only meet
// at the bottom (merged after both arms got labels of their own).
TEST_F(Labeling, ComponentsAreEightConnectedAndNumberedInRasterOrder)
{
    TestFrame f(64, 48);
    // Component A (top row 3, right): a U, arms x = 40 and 44, rows 3..9,
    // bottom row 10 from 40 to 44.
    f.rect(40, 40, 3, 9);
    f.rect(44, 44, 3, 9);
    f.rect(40, 44, 10, 10);
    // Component B (top row 5): two pixels touching at a corner only, plus a
    // third touching at a corner the other way (up-right then down-right).
    f.dark(5, 6);
    f.dark(6, 5);
    f.dark(7, 6);
    // Component C (top row 5, further right than B): 3 x 2 block.
    f.rect(20, 22, 5, 6);
    Labels r = label(f);
    ASSERT_NE(r.image, nullptr);
    ASSERT_EQ(r.count, 3);
    // Component numbers are read through the table: table[p - 1].
    auto comp = [&](int x, int y) { return r.table[r.image[y * 64 + x] - 1]; };
    EXPECT_EQ(comp(40, 3), 1);
    EXPECT_EQ(comp(44, 3), 1);
    EXPECT_EQ(comp(42, 10), 1);
    EXPECT_EQ(comp(5, 6), 2);
    EXPECT_EQ(comp(7, 6), 2);
    EXPECT_EQ(comp(21, 6), 3);
    EXPECT_NE(r.image[3 * 64 + 40], r.image[3 * 64 + 44]);  // provisional labels differ
    // Where the arms meet, the pixel takes the smaller of the two labels.
    EXPECT_EQ(r.image[10 * 64 + 43], r.image[3 * 64 + 40]);

    EXPECT_EQ(r.area[0], 7 + 7 + 5);
    EXPECT_EQ(r.area[1], 3);
    EXPECT_EQ(r.area[2], 6);
    EXPECT_DOUBLE_EQ(r.pos[2], 6.0);
    EXPECT_DOUBLE_EQ(r.pos[3], 17.0 / 3.0);
    EXPECT_DOUBLE_EQ(r.pos[4], 21.0);
    EXPECT_DOUBLE_EQ(r.pos[5], 5.5);
    const int box0[4] = {40, 44, 3, 10}, box1[4] = {5, 7, 5, 6};
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(r.clip[k], box0[k]);
        EXPECT_EQ(r.clip[4 + k], box1[k]);
    }
    int n, *a, *c;
    double *p;
    mvGetImgFeature(&n, &a, &c, &p);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(a, r.area);
    EXPECT_EQ(c, r.clip);
    EXPECT_EQ(p, r.pos);
}

// A staircase whose steps each start a new label and then merge leftwards:
// after the merges every provisional label must name its group's smallest.
TEST_F(Labeling, ChainedMergesResolveToOneComponent)
{
    TestFrame f(64, 48);
    for (int k = 0; k < 8; k++) f.rect(4 + 6 * k, 4 + 6 * k, 5 + k, 20);  // columns
    f.rect(4, 46, 21, 21);  // joined at the bottom
    Labels r = label(f);
    ASSERT_NE(r.image, nullptr);
    ASSERT_EQ(r.count, 1);
    EXPECT_EQ(r.area[0], 43 + [] { int s = 0; for (int k = 0; k < 8; k++) s += 16 - k; return s; }());
}

// 640 x 480 with exactly the even-x, even-y pixels dark: about 76000
// isolated pixels, more than the 32768 labels there is room for.
TEST_F(Labeling, TooManyLabelsFailsAndDetectionReportsIt)
{
    useCamera(640, 480);
    TestFrame f(640, 480);
    for (int y = 0; y < 480; y += 2)
        for (int x = 0; x < 640; x += 2) f.dark(x, y);
    Labels r = label(f);
    EXPECT_EQ(r.image, nullptr);
    MvMarkerInfo *info = nullptr;
    int num = 7;
    EXPECT_EQ(mvDetectMarker(f.data(), 100, &info, &num), -1);
    EXPECT_EQ(num, 0);
    EXPECT_EQ(info, nullptr);
    // Half resolution sees only those dark pixels, adjacent to each other.
    mvImageProcMode = 1;
    r = label(f);
    ASSERT_NE(r.image, nullptr);
    EXPECT_EQ(r.count, 1);
    EXPECT_EQ(r.area[0], 318 * 238);
}

// Exactly 32768 labels, the last on a pixel with a dark pixel below it: that
// pixel must take label 32768 from above rather than ask for label 32769.
TEST_F(Labeling, LabelNumber32768IsUsable)
{
    useCamera(640, 480);
    TestFrame f(640, 480);
    int made = 0, lastx = 0, lasty = 0;
    for (int y = 2; y < 478 && made < 32768; y += 2)
        for (int x = 2; x < 638 && made < 32768; x += 2) {
            f.dark(x, y);
            lastx = x;
            lasty = y;
            made++;
        }
    f.dark(lastx, lasty + 1);
    Labels r = label(f);
    ASSERT_NE(r.image, nullptr);
    ASSERT_EQ(r.count, 32768);
    EXPECT_EQ(r.image[(lasty + 1) * 640 + lastx], 32768);
    EXPECT_EQ(r.area[32767], 2);
    EXPECT_EQ(r.clip[32767 * 4 + 3], lasty + 1);
}

TEST_F(Labeling, WorkingImageLargerThanTheLabelImageIsRefused)
{
    useCamera(800, 480);  // 384000 pixels, more than the 320000 entries
    TestFrame f(800, 480);
    f.rect(100, 140, 100, 140);
    EXPECT_EQ(label(f).image, nullptr);
    MvMarkerInfo *info = nullptr;
    int num = 3;
    EXPECT_EQ(mvDetectMarker(f.data(), 100, &info, &num), -1);
    EXPECT_EQ(num, 0);
    // Nor is an empty one (no camera made active yet).
    useCamera(0, 0);
    EXPECT_EQ(label(f).image, nullptr);
    useCamera(800, 480);
    // At half resolution the same frame fits.
    mvImageProcMode = 1;
    Labels r = label(f);
    ASSERT_NE(r.image, nullptr);
    EXPECT_EQ(r.count, 1);
    EXPECT_EQ(r.area[0], 21 * 21);  // x, y = 50..70
}

TEST_F(Labeling, HalfResolutionExaminesEvenFramePixelsOnly)
{
    useCamera(640, 480);
    mvImageProcMode = 1;
    TestFrame f(640, 480);
    f.rect(101, 101, 100, 140);  // odd column: never seen
    f.rect(200, 240, 101, 101);  // odd row: never seen
    f.rect(300, 341, 300, 341);  // even start: x, y = 150..170 working
    Labels r = label(f);
    ASSERT_NE(r.image, nullptr);
    ASSERT_EQ(r.count, 1);
    EXPECT_EQ(r.area[0], 21 * 21);
    EXPECT_EQ(r.clip[0], 150);
    EXPECT_EQ(r.clip[1], 170);
    EXPECT_DOUBLE_EQ(r.pos[0], 160.0);
}

// The debug picture: 255 for dark pixels, 0 for bright ones and the frame,
// with the working image's geometry; it must grow with the working image.
TEST_F(Labeling, DebugImagePaintsTheThresholdResult)
{
    useCamera(640, 480);
    mvDebug = 1;
    for (int mode : {1, 0}) {
        mvImageProcMode = mode;
        const int lx = mode ? 320 : 640;
        TestFrame f(640, 480);
        f.rect(0, 639, 0, 0);
        f.rect(600, 637, 470, 477);
        Labels r = label(f);
        ASSERT_NE(r.image, nullptr);
        ASSERT_NE(mvImage, nullptr);
        auto at = [&](int x, int y, int ch) { return mvImage[((size_t)y * lx + x) * 4 + ch]; };
        EXPECT_EQ(at(10, 0, 0), 0);            // cleared frame
        EXPECT_EQ(at(10, 1, 0), 0);            // bright
        const int x = mode ? 310 : 620, y = mode ? 236 : 473;
        EXPECT_EQ(at(x, y, 0), 255);
        EXPECT_EQ(at(x, y, 2), 255);
        EXPECT_EQ(at(x, y, 3), 0);
        EXPECT_EQ(at(lx - 2, 1, 1), 0);
    }
}

}  // namespace
