// Square candidates: outline, corners, limits, overlap removal, and the
// corner search between coinciding end points.
#include <gtest/gtest.h>

#include <cmath>

#include "../../detect/detect_internal.h"
#include "frame_util.h"
#include "morvex/detect.h"

namespace {

struct Found {
    MvMarkerCandidate *cand = nullptr;
    int count = -1;
};

Found candidates(const TestFrame &f, int areaMax = 100000, int areaMin = 70)
{
    int n, *area, *clip, *table;
    double *pos;
    MvLabel *img = mvLabeling(f.data(), 100, &n, &area, &pos, &clip, &table);
    Found r;
    if (img == nullptr) return r;
    r.cand = mvDetectMarker2(img, n, table, area, pos, clip, areaMax, areaMin, 1.0, &r.count);
    return r;
}

class Candidates : public ::testing::Test {
protected:
    void SetUp() override
    {
        mvImageProcMode = 0;
        useCamera(64, 64);
    }
};

// The 20 x 20 square, a ring (its hole not traced) and a diamond (a square
// turned by 45 degrees): area, outline length, clockwise order from the
// point farthest from the top-left start, the four corners, a closed chain
// of neighbour steps. Other shapes give no candidate.
TEST_F(Candidates, QuadrilateralOutlinesStartAtTheirFarCorner)
{
    struct Shape { const char *name; void (*draw)(TestFrame &); int area, count; int corners[4][2]; };
    const Shape shapes[] = {
        {"square", [](TestFrame &f) { f.rect(10, 29, 10, 29); }, 400, 77,
         {{29, 29}, {10, 29}, {10, 10}, {29, 10}}},
        {"ring", [](TestFrame &f) { f.rect(10, 49, 10, 49); f.rect(18, 41, 18, 41, 200); }, 1024,
         4 * 39 + 1, {{49, 49}, {10, 49}, {10, 10}, {49, 10}}},
        {"diamond", [](TestFrame &f) {
             for (int dy = -12; dy <= 12; dy++) f.rect(18 + std::abs(dy), 42 - std::abs(dy), 30 + dy, 30 + dy);
         }, 313, 4 * 12 + 1, {{30, 42}, {18, 30}, {30, 18}, {42, 30}}},
        {"triangle", [](TestFrame &f) { for (int y = 10; y <= 40; y++) f.rect(10, y, y, y); }, 0, 0, {}},
        {"disc", [](TestFrame &f) {
             for (int y = 10; y <= 50; y++)
                 for (int x = 10; x <= 50; x++)
                     if ((x - 30) * (x - 30) + (y - 30) * (y - 30) <= 400) f.dark(x, y);
         }, 0, 0, {}},
        {"cross", [](TestFrame &f) { f.rect(25, 35, 10, 50); f.rect(10, 50, 25, 35); }, 0, 0, {}},
    };
    for (const Shape &sh : shapes) {
        SCOPED_TRACE(sh.name);
        TestFrame f(64, 64);
        sh.draw(f);
        Found r = candidates(f);
        ASSERT_EQ(r.count, sh.count ? 1 : 0);
        if (!sh.count) continue;
        const MvMarkerCandidate &c = r.cand[0];
        EXPECT_EQ(c.area, sh.area);
        ASSERT_EQ(c.contourCount, sh.count);
        for (int k = 0; k < 4; k++)
            EXPECT_TRUE(c.contourX[c.cornerIndices[k]] == sh.corners[k][0] &&
                        c.contourY[c.cornerIndices[k]] == sh.corners[k][1]) << "corner " << k;
        EXPECT_EQ(c.cornerIndices[0], 0);
        EXPECT_EQ(c.cornerIndices[4], c.contourCount - 1);
        for (int i = 1; i < c.contourCount; i++) {
            int dx = c.contourX[i] - c.contourX[i - 1], dy = c.contourY[i] - c.contourY[i - 1];
            ASSERT_TRUE(std::abs(dx) <= 1 && std::abs(dy) <= 1 && (dx || dy)) << i;
        }
        EXPECT_EQ(c.contourX[c.contourCount - 1], c.contourX[0]);
        EXPECT_EQ(c.contourY[c.contourCount - 1], c.contourY[0]);
    }
    TestFrame f(64, 64);
    f.rect(10, 29, 10, 29);
    const MvMarkerCandidate &c = *candidates(f).cand;
    const int idx[5] = {0, 19, 38, 57, 76};
    for (int k = 0; k < 5; k++) EXPECT_EQ(c.cornerIndices[k], idx[k]);
    EXPECT_EQ(c.contourX[1], 28);  // leftwards along the bottom first
    EXPECT_DOUBLE_EQ(c.center[0], 19.5);
}

TEST_F(Candidates, AreaLimitsAndTheScannedBorderDecide)
{
    TestFrame f(64, 64);
    f.rect(10, 29, 10, 29);  // area 400; both limits are inclusive
    const int limits[][3] = {{100000, 400, 1}, {100000, 401, 0}, {400, 70, 1}, {399, 70, 0}};
    for (const auto &l : limits) EXPECT_EQ(candidates(f, l[0], l[1]).count, l[2]) << l[0] << " " << l[1];
    // Squares whose box reaches a scanned border line are skipped.
    const int boxes[][4] = {{1, 20, 10, 29}, {43, 62, 10, 29}, {10, 29, 1, 20}, {10, 29, 43, 62}};
    for (const auto &b : boxes) {
        TestFrame g(64, 64);
        g.rect(b[0], b[1], b[2], b[3]);
        EXPECT_EQ(candidates(g).count, 0) << b[0] << "," << b[2];
    }
}

// A small square inside a larger ring's hole lies on it and goes; with equal
// areas the earlier (the ring, first in raster order) goes instead.
TEST_F(Candidates, SquareLyingOnAnotherIsRemoved)
{
    TestFrame f(64, 64);
    f.rect(10, 49, 10, 49);
    f.rect(18, 41, 18, 41, 200);
    f.rect(28, 37, 26, 35);  // 10 x 10, centre about 3 px off the ring's
    Found r = candidates(f);
    ASSERT_EQ(r.count, 1);
    EXPECT_EQ(r.cand[0].area, 1024);

    TestFrame g(64, 64);
    g.rect(20, 39, 20, 39);
    g.rect(22, 37, 22, 37, 200);  // ring of area 400 - 256 = 144
    g.rect(24, 35, 24, 35);       // square of area 144, same centre
    r = candidates(g);
    ASSERT_EQ(r.count, 1);
    EXPECT_EQ(r.cand[0].contourCount, 4 * 11 + 1);  // the inner square's outline
}

TEST_F(Candidates, OnlyTheFirstThirtySquaresAreKept)
{
    useCamera(160, 120);
    TestFrame f(160, 120);
    for (int k = 0; k < 35; k++) {
        int col = k % 7, row = k / 7;
        f.rect(5 + col * 22, 5 + col * 22 + 11 + (k % 3), 5 + row * 22, 5 + row * 22 + 11);
    }
    Found r = candidates(f);
    ASSERT_EQ(r.count, 30);
    // The last one kept is square 29 (row 4, column 1).
    EXPECT_EQ(r.cand[29].area, 12 * (12 + 29 % 3));
    EXPECT_DOUBLE_EQ(r.cand[29].center[1], 93 + 5.5);
}

TEST_F(Candidates, CornerSearchBetweenCoincidingPointsFindsNothing)
{
    // A closed outline: from its first point round to the same point again.
    const int x[9] = {0, 4, 8, 8, 8, 4, 0, 0, 0};
    const int y[9] = {0, 0, 0, 4, 8, 8, 8, 4, 0};
    int corners[6], n = 0;
    EXPECT_EQ(mvcore::get_vertex(x, y, 0, 8, 0.5, corners, &n), 0);
    EXPECT_EQ(n, 0);
    // Between distinct ends the corners (8, 0) and (8, 8) are found.
    EXPECT_EQ(mvcore::get_vertex(x, y, 0, 6, 0.5, corners, &n), 0);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(corners[0], 2);
    EXPECT_EQ(corners[1], 4);
}

}  // namespace
