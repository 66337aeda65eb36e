// Thresholding and connected-component labelling.
#include <gtest/gtest.h>

#include "frame_util.h"
#include "morvex/detect.h"

namespace {

struct Labels {
    MvLabel *image = nullptr;
    int count = -1;
    int *area = nullptr, *clip = nullptr, *table = nullptr;
    double *pos = nullptr;
};

Labels label(const TestFrame &f)
{
    Labels r;
    r.image = mvLabeling(f.data(), 100, &r.count, &r.area, &r.pos, &r.clip, &r.table);
    return r;
}

// mvDetectMarker on a frame whose labelling fails: -1, nothing reported.
void expectDetectionFails(const TestFrame &f)
{
    MvMarkerInfo *info = nullptr;
    int num = 7;
    EXPECT_EQ(mvDetectMarker(f.data(), 100, &info, &num), -1);
    EXPECT_EQ(num, 0);
    EXPECT_EQ(info, nullptr);
}

class Labeling : public ::testing::Test {
protected:
    void SetUp() override
    {
        mvImageProcMode = 0;
        useCamera(64, 48);
    }
    void TearDown() override { mvImageProcMode = 0; }
};

// The threshold is inclusive on the sum of the three channels; the
// outermost rows and columns are never labelled.
TEST_F(Labeling, ThresholdAndFrameBorder)
{
    struct { int x, y; uint8_t r, g, b; bool dark; } cases[] = {
        {10, 10, 100, 100, 100, true}, {10, 10, 101, 100, 100, false}, {10, 10, 0, 0, 255, true},
        {10, 10, 255, 45, 0, true},    {10, 10, 255, 46, 0, false},    {0, 10, 0, 0, 0, false},
        {63, 10, 0, 0, 0, false},      {10, 0, 0, 0, 0, false},        {10, 47, 0, 0, 0, false},
    };
    for (const auto &c : cases) {
        TestFrame f(64, 48);
        f.set(c.x, c.y, c.r, c.g, c.b);
        Labels r = label(f);
        ASSERT_NE(r.image, nullptr);
        EXPECT_EQ(r.count, c.dark ? 1 : 0) << c.x << "," << c.y << ": " << int(c.r) << "," << int(c.g) << "," << int(c.b);
        EXPECT_EQ(r.image[c.y * 64 + c.x] != 0, c.dark);
    }
}

// Components, their numbering (raster order of the first pixel), areas,
// centroids and boxes, with diagonal contact and a U whose arms only meet
// at the bottom (merged after both arms got labels of their own).
TEST_F(Labeling, ComponentsAreEightConnectedAndNumberedInRasterOrder)
{
    TestFrame f(64, 48);
    f.rect(40, 40, 3, 9);  // A: a U, arms x = 40 and 44, joined on row 10
    f.rect(44, 44, 3, 9);
    f.rect(40, 44, 10, 10);
    f.dark(5, 6);  // B: three pixels touching at corners only
    f.dark(6, 5);
    f.dark(7, 6);
    f.rect(20, 22, 5, 6);  // C: 3 x 2 block, top row 5 like B but further right
    Labels r = label(f);
    ASSERT_NE(r.image, nullptr);
    ASSERT_EQ(r.count, 3);
    // Component numbers are read through the table: table[p - 1].
    auto comp = [&](int x, int y) { return r.table[r.image[y * 64 + x] - 1]; };
    const int where[][3] = {{40, 3, 1}, {44, 3, 1}, {42, 10, 1}, {5, 6, 2}, {7, 6, 2}, {21, 6, 3}};
    for (const auto &w : where) EXPECT_EQ(comp(w[0], w[1]), w[2]) << w[0] << "," << w[1];
    const int area[3] = {7 + 7 + 5, 3, 6}, box0[4] = {40, 44, 3, 10};
    for (int k = 0; k < 4; k++) {
        if (k < 3) { EXPECT_EQ(r.area[k], area[k]); }
        EXPECT_EQ(r.clip[k], box0[k]);
    }
    EXPECT_DOUBLE_EQ(r.pos[3], 17.0 / 3.0);  // B's centroid y
    EXPECT_DOUBLE_EQ(r.pos[4], 21.0);        // C's centroid x
    int n, *a, *c;
    double *p;
    mvGetImgFeature(&n, &a, &c, &p);
    EXPECT_TRUE(n == 3 && a == r.area && c == r.clip && p == r.pos);
}

// A staircase whose steps each start a new label and then merge leftwards:
// after the merges every provisional label must name its group's smallest.
TEST_F(Labeling, ChainedMergesResolveToOneComponent)
{
    TestFrame f(64, 48);
    int area = 43;
    for (int k = 0; k < 8; k++) {
        f.rect(4 + 6 * k, 4 + 6 * k, 5 + k, 20);  // columns
        area += 16 - k;
    }
    f.rect(4, 46, 21, 21);  // joined at the bottom
    Labels r = label(f);
    ASSERT_NE(r.image, nullptr);
    ASSERT_EQ(r.count, 1);
    EXPECT_EQ(r.area[0], area);
}

// 640 x 480 with exactly the even-x, even-y pixels dark: about 76000
// isolated pixels, more labels than 16 bits hold.
TEST_F(Labeling, MoreLabelsThanSixteenBitsHoldAreNumbered)
{
    useCamera(640, 480);
    TestFrame f(640, 480);
    for (int y = 0; y < 480; y += 2)
        for (int x = 0; x < 640; x += 2) f.dark(x, y);
    Labels r = label(f);
    ASSERT_NE(r.image, nullptr);
    ASSERT_EQ(r.count, 319 * 239);   // every dot off the frame border
    EXPECT_EQ(r.area[r.count - 1], 1);
    EXPECT_EQ(r.image[478 * 640 + 638], (MvLabel)r.count);
    // Half resolution sees only those dark pixels, adjacent to each other.
    mvImageProcMode = 1;
    r = label(f);
    ASSERT_NE(r.image, nullptr);
    EXPECT_EQ(r.count, 1);
    EXPECT_EQ(r.area[0], 318 * 238);
}

// At half resolution only the frame's even columns and rows are examined.
TEST_F(Labeling, WorkingImageSizeLimits)
{
    useCamera(800, 480);   // larger than frames used to be allowed
    TestFrame f(800, 480);
    f.rect(101, 101, 100, 140);  // odd column
    f.rect(200, 240, 101, 101);  // odd row
    f.rect(300, 341, 300, 341);  // even start: x, y = 150..170 working
    EXPECT_EQ(label(f).count, 3);
    mvImageProcMode = 1;
    Labels r = label(f);
    ASSERT_NE(r.image, nullptr);
    ASSERT_EQ(r.count, 1);
    EXPECT_EQ(r.area[0], 21 * 21);
    EXPECT_EQ(r.clip[0], 150);
    EXPECT_EQ(r.clip[1], 170);
    EXPECT_DOUBLE_EQ(r.pos[0], 160.0);
    mvImageProcMode = 0;
    // Refused before a pixel is read: empty, or past MV_WORK_PIXELS_MAX.
    useCamera(0, 0);
    EXPECT_EQ(label(f).image, nullptr);
    useCamera(4097, 4096);
    EXPECT_EQ(label(f).image, nullptr);
    expectDetectionFails(f);
}

}  // namespace
