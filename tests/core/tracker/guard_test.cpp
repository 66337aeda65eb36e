// The tracker's guard for picture patterns on rendered frames with known
// truth: a slice of the confusion set (every pattern loaded) named without
// a wrong name and large markers named right; the bundled pattern never
// given to other picture markers; a pair of pictures that are turns of
// each other noted and never confused; the per-pattern minimum and the
// switch; the pictures patterns are compared with, drawn once whatever
// the threads. (The whole measurement: bench/identity/confusion.)
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "confusion.h"
#include "morvex.h"
#include "render.h"

namespace {

using confusion::Bench;
using confusion::Outcome;
using confusion::Picture;
using confusion::View;

struct Patterns {
    std::vector<MvPattern *> list;
    explicit Patterns(const std::vector<Picture> &set)
    {
        for (const Picture &p : set) list.push_back(confusion::makePattern(p));
    }
    ~Patterns()
    {
        for (MvPattern *p : list) mvPatternRelease(p);
    }
};

Bench::Options guarded(bool on, bool alone = false)
{
    Bench::Options o;
    o.settings.guard = on ? 1 : 0;
    o.bundled_alone = alone;
    return o;
}

int indexOf(const std::vector<Picture> &set, const std::string &name)
{
    for (size_t k = 0; k < set.size(); k++)
        if (set[k].name == name) return (int)k;
    return -1;
}

TEST(Guard, SliceOfTheConfusionSetGetsNoWrongNameAndLargeMarkersTheirOwn)
{
    // The pictures every build draws (no glyphs): 50 of them, all loaded.
    const std::vector<Picture> set = confusion::drawnSet();
    ASSERT_GE(set.size(), 50u);
    Patterns pats(set);
    Bench on(set, pats.list, guarded(true)), off(set, pats.list, guarded(false));
    long wrong = 0, strays = 0, wrong_bare = 0, found_big = 0, right_big = 0;
    for (const View &v : confusion::viewGrid(set.size(), 144)) {
        Outcome a, b;
        on.look(v, &a);
        off.look(v, &b);
        SCOPED_TRACE(set[v.picture].name);
        wrong += a.found && a.id >= 0 && a.id != v.picture;
        EXPECT_FALSE(a.found && a.id >= 0 && a.id != v.picture)
            << "named " << set[a.id].name << " at " << a.confidence << ", side " << a.side_px << " px";
        strays += a.stray;
        wrong_bare += b.found && b.id >= 0 && b.id != v.picture;
        if (a.found && a.side_px >= 40) {
            found_big++;
            right_big += a.id == v.picture;
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(strays, 0);
    // The bare rule names some of the same views wrongly: the slice is no
    // easy one.
    EXPECT_GT(wrong_bare, 10);
    ASSERT_GT(found_big, 150);
    EXPECT_GE(right_big, 0.97 * found_big) << right_big << " of " << found_big;
}

TEST(Guard, BundledPatternAloneIsNotGivenToOtherPictureMarkers)
{
    // The project's picture, its alternates and the triangle with a red dot
    // that the bare rule took for the bundled pattern.
    std::vector<Picture> set;
    for (const Picture &p : confusion::drawnSet())
        if (p.kind == "project" || p.name == "shape triangle dot") set.push_back(p);
    const int project = confusion::projectIndex(set), triangle = indexOf(set, "shape triangle dot");
    ASSERT_GE(project, 0);
    ASSERT_GE(triangle, 0);
    Patterns pats(set);
    Bench on(set, pats.list, guarded(true, true)), off(set, pats.list, guarded(false, true));
    long others = 0, named = 0, triangle_bare = 0, own_big = 0, own_right = 0;
    for (const View &v : confusion::viewGrid(set.size(), 16)) {
        Outcome all, alone, bare;
        on.look(v, &all, nullptr, &alone);
        off.look(v, &all, nullptr, &bare);
        if (v.picture == project) {
            if (alone.found && alone.side_px >= 40) {
                own_big++;
                own_right += alone.id == project;
            }
            continue;
        }
        others += alone.found;
        named += alone.found && alone.id >= 0;
        if (v.picture == triangle) triangle_bare += bare.found && bare.id == project;
    }
    ASSERT_GT(others, 350);
    EXPECT_EQ(named, 0);
    EXPECT_GT(triangle_bare, 2);   // what the guard is for
    ASSERT_GT(own_big, 25);
    EXPECT_EQ(own_right, own_big);
}

TEST(Guard, PatternsMadeOnManyThreadsAtOnceGetTheSameChanceLevels)
{
    // The first patterns of this process, made at once: the pictures they
    // are compared with are drawn once, and every thread sees them whole.
    const std::vector<Picture> set = confusion::drawnSet();
    const int kThreads = 4;
    std::vector<std::vector<double>> levels(kThreads);
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; k++)
        threads.emplace_back([&, k] {
            MvTracker *t = nullptr;
            if (mvTrackerCreate(nullptr, nullptr, &t, nullptr) != MV_ERROR_NONE) return;
            // By picture, whichever order this thread makes them in.
            levels[k].assign(12, -1.0);
            for (int i = 0; i < 12; i++) {
                const int picture = (i * 5 + k) % 12;
                MvPattern *p = confusion::makePattern(set[picture]);
                int id = -1;
                mvTrackerAddPattern(t, p, 80.0, &id);
                mvPatternRelease(p);
                levels[k][picture] = mvTrackerPatternMinConfidence(t, id);
            }
            mvTrackerDestroy(t);
        });
    for (std::thread &t : threads) t.join();
    ASSERT_EQ(levels[0].size(), 12u);
    for (int k = 1; k < kThreads; k++) EXPECT_EQ(levels[k], levels[0]) << "thread " << k;
    for (double c : levels[0]) EXPECT_TRUE(c >= 0.5 && c <= 1.0) << c;
    // Plain blobs are what chance pictures look like most; the project's
    // picture is not.
    EXPECT_GT(levels[0][indexOf(set, "project disc")], levels[0][confusion::projectIndex(set)] + 0.1);
}

void collect(void *user, const char *message) { static_cast<std::vector<std::string> *>(user)->push_back(message); }

TEST(Guard, TurnedPairIsNotedAndNeverConfused)
{
    const auto pair = confusion::turnedPairs().front();   // a flag and its half turn, drawn
    std::vector<Picture> set = {confusion::drawnSet()[0], pair.first, pair.second};
    ASSERT_EQ(confusion::projectIndex(set), 0);
    Patterns pats(set);
    Bench on(set, pats.list, guarded(true)), off(set, pats.list, guarded(false));
    ASSERT_EQ(on.notes().size(), 1u);
    EXPECT_NE(on.notes()[0].find("\"" + pair.first.name + "\""), std::string::npos) << on.notes()[0];
    EXPECT_NE(on.notes()[0].find("\"" + pair.second.name + "\""), std::string::npos) << on.notes()[0];
    EXPECT_NE(on.notes()[0].find("turns of each other"), std::string::npos) << on.notes()[0];

    long pair_views = 0, as_other = 0, as_other_bare = 0, own_big = 0, own_right = 0;
    for (const View &v : confusion::viewGrid(set.size(), 16)) {
        Outcome a, b;
        on.look(v, &a);
        off.look(v, &b);
        if (v.picture == 0) {
            own_big += a.found && a.side_px >= 40;
            own_right += a.found && a.side_px >= 40 && a.id == 0;
            continue;
        }
        const int other = 3 - v.picture;
        pair_views += a.found;
        as_other += a.found && a.id == other;
        as_other_bare += b.found && b.id == other;
    }
    ASSERT_GT(pair_views, 100);
    EXPECT_EQ(as_other, 0);
    EXPECT_GT(as_other_bare, 10);
    // The pair costs the other patterns nothing.
    ASSERT_GT(own_big, 20);
    EXPECT_EQ(own_right, own_big);

    // Removing one of the pair ends it: the other is named again.
    MvTracker *t = on.tracker();
    std::vector<std::string> notes;
    mvTrackerSetMessageCallback(t, collect, &notes);
    ASSERT_EQ(mvTrackerRemovePattern(t, 2), MV_ERROR_NONE);
    long named = 0, seen = 0;
    for (const View &v : confusion::viewGrid(set.size(), 16)) {
        if (v.picture != 1 || v.width_px < 48 || v.blur > 1) continue;
        Outcome a;
        on.look(v, &a);
        seen += a.found;
        named += a.found && a.id == 1;
    }
    ASSERT_GT(seen, 5);
    EXPECT_EQ(named, seen);
    EXPECT_TRUE(notes.empty());
}

TEST(Guard, PerPatternMinimumAndTheSwitch)
{
    // A plain square's pattern alone: a diamond correlates with it almost as
    // well as chance pictures do, and is refused.
    const std::vector<Picture> drawn = confusion::drawnSet();
    const int square = indexOf(drawn, "shape square"), diamond = indexOf(drawn, "shape diamond");
    ASSERT_GE(square, 0);
    ASSERT_GE(diamond, 0);
    const MvCameraParam cam = render::bundledCamera(320, 240);
    MvTracker *t = nullptr;
    ASSERT_EQ(mvTrackerCreate(&cam, nullptr, &t, nullptr), MV_ERROR_NONE);
    MvPattern *pattern = confusion::makePattern(drawn[square]);
    int id = -1;
    ASSERT_EQ(mvTrackerAddPattern(t, pattern, 80.0, &id), MV_ERROR_NONE);
    mvPatternRelease(pattern);
    const render::Image other = render::makeMarker(drawn[diamond].picture, 256);
    const render::Image own = render::makeMarker(drawn[square].picture, 256);
    // One view, 80 px across: its marker's id and confidence.
    auto look = [&](const render::Image &marker, double *confidence) {
        double trans[3][4];
        render::poseAt(cam, 160, 120, cam.projection[0][0] * 80.0 / 80.0, 20.0, 20.0, trans);
        render::Image frame;
        render::renderFrame(marker, 80.0, trans, cam, render::Options(), &frame);
        mvTrackerReset(t);
        const MvTrackerMarker *m;
        int n;
        EXPECT_EQ(mvTrackerProcess(t, frame.pixels.data(), 320, 240, 320 * 4, MV_PIXEL_RGBA, &m, &n), MV_ERROR_NONE);
        EXPECT_EQ(n, 1);
        *confidence = n > 0 ? m[0].confidence : -1;
        return n > 0 ? m[0].id : -2;
    };
    double c_other, c_own, c;
    const double chance = mvTrackerPatternMinConfidence(t, id);
    EXPECT_EQ(look(other, &c_other), -1);
    EXPECT_EQ(look(own, &c_own), id);
    ASSERT_LT(c_other, chance);
    ASSERT_GT(c_other, 0.7) << "chance level " << chance;

    // A user who knows the scene holds no such picture lowers the bar: the
    // diamond is then taken for the square. Raised above the square's own
    // correlation, its own marker is refused, the correlation kept.
    const double lower = std::floor(c_other * 100) / 100;
    ASSERT_EQ(mvTrackerSetPatternMinConfidence(t, id, lower), MV_ERROR_NONE);
    EXPECT_EQ(mvTrackerPatternMinConfidence(t, id), lower);
    EXPECT_EQ(look(other, &c), id);
    ASSERT_EQ(mvTrackerSetPatternMinConfidence(t, id, std::fmin(1.0, c_own + 0.001)), MV_ERROR_NONE);
    EXPECT_EQ(look(own, &c), -1);
    EXPECT_EQ(c, c_own);
    ASSERT_EQ(mvTrackerSetPatternMinConfidence(t, id, -1), MV_ERROR_NONE);
    EXPECT_EQ(mvTrackerPatternMinConfidence(t, id), chance);
    EXPECT_EQ(look(own, &c), id);
    EXPECT_EQ(look(other, &c), -1);

    // Refused: values out of range and ids not held, nothing changed.
    EXPECT_EQ(mvTrackerSetPatternMinConfidence(t, id, 1.5), MV_ERROR_ARGUMENT);
    EXPECT_EQ(mvTrackerSetPatternMinConfidence(t, id, 0.4), MV_ERROR_ARGUMENT);
    EXPECT_EQ(mvTrackerSetPatternMinConfidence(t, id, NAN), MV_ERROR_ARGUMENT);
    EXPECT_EQ(mvTrackerSetPatternMinConfidence(t, id + 1, 0.6), MV_ERROR_ARGUMENT);
    EXPECT_NE(std::string(mvTrackerErrorText(t)).find("no pattern"), std::string::npos);
    EXPECT_EQ(mvTrackerPatternMinConfidence(t, id), chance);
    EXPECT_EQ(mvTrackerPatternMinConfidence(t, id + 1), -1.0);

    // Without the guard, the bare rule: the diamond is the square.
    MvTrackerSettings s;
    mvTrackerGetSettings(t, &s);
    EXPECT_EQ(s.guard, 1);
    s.guard = 0;
    ASSERT_EQ(mvTrackerSetSettings(t, &s), MV_ERROR_NONE);
    EXPECT_EQ(look(other, &c), id);
    mvTrackerDestroy(t);
}

}  // namespace
