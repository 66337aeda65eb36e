// The detection driver's frame-to-frame history, fed with marker tables of
// known content (what edge fitting and identification would have produced).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "../../detect/detect_internal.h"
#include "morvex/detect.h"

namespace {

// A square marker centred at (cx, cy) with the given area; corner i starts
// side i, clockwise on screen from the bottom right.
MvMarkerInfo marker(int id, double conf, int dir, double cx, double cy, int area = 1600)
{
    MvMarkerInfo m{};
    m.id = id;
    m.confidence = conf;
    m.direction = dir;
    m.area = area;
    m.center[0] = cx;
    m.center[1] = cy;
    const double v[4][2] = {{cx + 20, cy + 20}, {cx - 20, cy + 20}, {cx - 20, cy - 20}, {cx + 20, cy - 20}};
    std::memcpy(m.vertices, v, sizeof v);
    return m;
}

class History : public ::testing::Test {
protected:
    MvMarkerInfo table[30];
    int n = 0;
    void SetUp() override { mvcore::reset_history(); }
    // One frame: the given markers go through the history steps.
    void frame(const std::vector<MvMarkerInfo> &in)
    {
        n = (int)in.size();
        for (int i = 0; i < n; i++) table[i] = in[i];
        mvcore::apply_history(table, &n);
    }
};

TEST_F(History, FirstFrameReportsMarkersAndDropsWeakIdentities)
{
    frame({marker(0, 0.8, 1, 100, 100), marker(1, 0.49, 2, 200, 100)});
    ASSERT_EQ(n, 2);
    EXPECT_EQ(table[0].id, 0);
    EXPECT_EQ(table[1].id, -1);
    EXPECT_DOUBLE_EQ(table[1].confidence, 0.49);
    // Only the identified one was remembered: an empty frame re-adds it alone.
    frame({});
    ASSERT_EQ(n, 1);
    EXPECT_EQ(table[0].id, 0);
}

// A weaker match inherits the remembered identity, confidence and (same
// corners) direction, and is stored again with them: the identity survives
// a run of weak frames drifting a little each time. A stronger match keeps
// its own, and the old marker it corresponds to is not re-added.
TEST_F(History, WeakerMatchInheritsIdentityStrongerKeepsItsOwn)
{
    frame({marker(3, 0.8, 1, 100, 100)});
    for (int f = 1; f <= 6; f++) {
        frame({marker(5, 0.3, 0, 100 + 5 * f, 100)});
        ASSERT_EQ(n, 1) << f;
        EXPECT_EQ(table[0].id, 3);
        EXPECT_DOUBLE_EQ(table[0].confidence, 0.8);
        EXPECT_EQ(table[0].direction, 1);
    }
    mvcore::reset_history();
    frame({marker(3, 0.8, 1, 100, 100)});
    frame({marker(4, 0.9, 2, 100, 100)});
    ASSERT_EQ(n, 1);
    EXPECT_EQ(table[0].id, 4);
    EXPECT_DOUBLE_EQ(table[0].confidence, 0.9);
    EXPECT_EQ(table[0].direction, 2);
}

// Corners turned by one place along the outline: current corner (1 + n) mod 4
// sits where the remembered corner n was, so direction 2 becomes 1.
TEST_F(History, InheritedDirectionFollowsTheCornerShift)
{
    MvMarkerInfo old = marker(7, 0.9, 2, 100, 100);
    frame({old});
    MvMarkerInfo now = marker(-1, 0.1, 3, 100, 100);
    for (int k = 0; k < 4; k++) {
        now.vertices[(1 + k) % 4][0] = old.vertices[k][0] + 0.5;
        now.vertices[(1 + k) % 4][1] = old.vertices[k][1] - 0.5;
    }
    frame({now});
    ASSERT_EQ(n, 1);
    EXPECT_EQ(table[0].id, 7);
    EXPECT_EQ(table[0].direction, 1);
}

// Correspondence: area ratio (earlier / current) in 0.7 .. 1.43 inclusive,
// squared centre distance / current area strictly below 0.5. Observed as
// inheritance (n = 1) or as a re-added old marker beside an anonymous one.
TEST_F(History, CorrespondenceWindowsAreExact)
{
    struct Case { int oldArea, newArea; double dx, dy; bool corresponds; } cases[] = {
        {700, 1000, 0, 0, true},     // ratio exactly 0.7
        {699, 1000, 0, 0, false},
        {1430, 1000, 0, 0, true},    // ratio exactly 1.43
        {1431, 1000, 0, 0, false},
        {1000, 1000, 10, 20, false}, // q = 500 / 1000 exactly 0.5
        {1000, 1000, 10, 19.9, true},
    };
    for (const Case &c : cases) {
        mvcore::reset_history();
        frame({marker(4, 0.9, 0, 100, 100, c.oldArea)});
        frame({marker(-1, 0.1, -1, 100 + c.dx, 100 + c.dy, c.newArea)});
        ASSERT_EQ(n, c.corresponds ? 1 : 2) << c.oldArea << " " << c.dy;
        EXPECT_EQ(table[0].id, c.corresponds ? 4 : -1);
    }
}

// Among several corresponding markers the closest (then the first) inherits;
// among several remembered ones, a later one wins only with higher confidence.
TEST_F(History, TieRulesOfTheCarryOver)
{
    const double second_x[] = {104, 98};  // the inheritor: second, then first
    for (int k = 0; k < 2; k++) {
        mvcore::reset_history();
        frame({marker(0, 0.9, 0, 100, 100)});
        frame({marker(-1, 0.1, -1, second_x[k], 100), marker(-1, 0.1, -1, 102, 100)});
        EXPECT_EQ(table[1 - k].id, 0);
        EXPECT_EQ(table[k].id, -1);
    }
    struct { double c1, c2; int want; } order[] = {{0.6, 0.9, 2}, {0.9, 0.6, 1}};
    for (const auto &o : order) {
        mvcore::reset_history();
        frame({marker(1, o.c1, 0, 100, 100), marker(2, o.c2, 0, 103, 100)});
        frame({marker(-1, 0.2, -1, 101, 100)});
        ASSERT_EQ(n, 1);
        EXPECT_EQ(table[0].id, o.want);
    }
}

// Thirty markers fill both the history and the marker table; more distinct
// ids and re-added entries must not write past either.
TEST_F(History, HistoryAndMarkerTableStayWithinThirtyRecords)
{
    std::vector<MvMarkerInfo> first, second;
    for (int i = 0; i < 30; i++) {
        first.push_back(marker(i, 0.9, 0, 50 + 100 * (i % 6), 50 + 100 * (i / 6)));
        second.push_back(marker(30 + i, 0.9, 0, 1000 + 100 * (i % 6), 50 + 100 * (i / 6)));
    }
    frame(first);
    ASSERT_EQ(n, 30);
    frame(second);  // a full history keeps its entries; no room to re-add
    ASSERT_EQ(n, 30);
    for (int i = 0; i < 30; i++) EXPECT_EQ(table[i].id, 30 + i);
    frame({});
    ASSERT_EQ(n, 30);
    for (int i = 0; i < 30; i++) EXPECT_EQ(table[i].id, i);
}

}  // namespace
