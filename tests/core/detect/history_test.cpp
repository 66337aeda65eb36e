// The frame-to-frame history's exact rules, which the golden corpus's
// sequences do not reach: the correspondence windows, the tie rules, the
// inherited direction after the corners shift, and the thirty-record limits.
// Fed with marker tables of known content.
#include <gtest/gtest.h>

#include <vector>

#include "../../../lib/core/detect/history.h"
#include "morvex/detect.h"

namespace {

// A square marker centred at (cx, cy) with the given area; corner k is
// corner (k + shift) mod 4 of the unshifted square.
MvMarkerInfo marker(int id, double conf, int dir, double cx, double cy, int area = 1600,
                    int shift = 0)
{
    MvMarkerInfo m{area, id, dir, conf, {cx, cy}, {}, {}};
    const double off[4][2] = {{20, 20}, {-20, 20}, {-20, -20}, {20, -20}};
    for (int k = 0; k < 4; k++) {
        m.vertices[k][0] = cx + off[(k + shift) % 4][0];
        m.vertices[k][1] = cy + off[(k + shift) % 4][1];
    }
    return m;
}

// The history as mvDetectMarker keeps it: thirty entries, a thirty-record
// marker table.
class History : public ::testing::Test {
protected:
    mvcore::History history{30};
    std::vector<MvMarkerInfo> table;
    int n = 0;
    // One frame: the given markers go through the history steps.
    void frame(const std::vector<MvMarkerInfo> &in)
    {
        table = in;
        history.apply(table, 30);
        n = (int)table.size();
    }
};

// Correspondence: area ratio (earlier / current) in 0.7 .. 1.43 inclusive,
// squared centre distance / current area strictly below 0.5. Seen as an
// inherited identity (one marker), else as the old marker re-added beside
// the anonymous one. When current corner (1 + k) mod 4 sits where the
// remembered corner k was (shift 3), the inherited direction 2 becomes 1.
TEST_F(History, CorrespondenceWindowsAndInheritedDirection)
{
    struct Case { int oldArea, newArea; double dy; int shift; bool corresponds; int dir; } cases[] = {
        {700, 1000, 0, 0, true, 2},     {699, 1000, 0, 0, false, -1},
        {1430, 1000, 0, 0, true, 2},    {1431, 1000, 0, 0, false, -1},
        {1000, 1000, 20, 0, false, -1}, {1000, 1000, 19.9, 0, true, 2},  // q = 0.5 at 20
        {1000, 1000, 0, 3, true, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.oldArea << " " << c.dy << " " << c.shift);
        history.reset();
        frame({marker(4, 0.9, 2, 100, 100, c.oldArea)});
        frame({marker(-1, 0.1, -1, 110, 100 + c.dy, c.newArea, c.shift)});
        ASSERT_EQ(n, c.corresponds ? 1 : 2);
        EXPECT_EQ(table[0].id, c.corresponds ? 4 : -1);
        EXPECT_EQ(table[0].direction, c.dir);
    }
}

// Among several corresponding markers the closest (then the first) inherits;
// among several remembered ones, a later one wins only with higher confidence.
TEST_F(History, TieRulesOfTheCarryOver)
{
    const double second_x[] = {104, 98};  // the inheritor: second, then first
    for (int k = 0; k < 2; k++) {
        history.reset();
        frame({marker(0, 0.9, 0, 100, 100)});
        frame({marker(-1, 0.1, -1, second_x[k], 100), marker(-1, 0.1, -1, 102, 100)});
        EXPECT_EQ(table[1 - k].id, 0);
        EXPECT_EQ(table[k].id, -1);
    }
    struct { double c1, c2; int want; } order[] = {{0.6, 0.9, 2}, {0.9, 0.6, 1}};
    for (const auto &o : order) {
        history.reset();
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
