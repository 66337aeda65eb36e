// The particle fountain's bookkeeping without a window, and the resource
// folder search beside the executable.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <vector>

#include "resource.h"
#include "scene.h"

namespace fs = std::filesystem;

static std::vector<Particle> drawn;
static void record(const Particle &p) { drawn.push_back(p); }

TEST(Fountain, CreatesInFreeSlotsWithinBudgetAndDrawsFromTheNextPass)
{
    InitParticle();
    drawn.clear();
    EXPECT_EQ(fountainPass(37, record), 37);
    EXPECT_TRUE(drawn.empty());
    particle[3].active = particle[7].active = 0;
    EXPECT_EQ(fountainPass(1, record), 1);  // the lowest free slot
    EXPECT_EQ(drawn.size(), 35u);
    EXPECT_EQ(particle[3].active, 1);
    EXPECT_EQ(particle[7].active, 0);
    EXPECT_EQ(fountainPass(INT_MAX, nullptr), kParticleMax - 36);
    EXPECT_EQ(fountainPass(INT_MAX, nullptr), 0);

    // Twenty per millisecond, bounded by the store (35 minutes out of sight).
    for (auto [ms, budget] : std::vector<std::pair<long long, int>>{
             {-1, 0}, {0, 0}, {1, 20}, {499, 9980}, {2100000, 10000}, {LLONG_MAX, 10000}})
        EXPECT_EQ(fountainBudget(ms), budget) << ms;
}

TEST(Fountain, ParticleDiesOfAgeOrIsDrawnOnceBelowThePlane)
{
    // Particle 0 launched straight up at vy, followed frame by frame (pass,
    // then step) until freed: life 1000 at 40 per step lasts 25 draws; a
    // slow one falls through the plane first and is drawn there once, yellow.
    struct Case { float vy; size_t draws; bool endsBelow; } cases[] = {
        {0.01f, 25, false}, {0.005f, 16, true}};
    for (const Case &c : cases) {
        InitParticle();
        fountainPass(1, nullptr);
        particle[0].velocity[0] = particle[0].velocity[2] = 0.0f;
        particle[0].velocity[1] = c.vy;
        EvolveParticle();
        drawn.clear();
        for (int frame = 0; frame < 100 && particle[0].active; frame++) {
            fountainPass(0, record);
            EvolveParticle();
        }
        ASSERT_EQ(drawn.size(), c.draws) << c.vy;
        EXPECT_EQ(drawn.back().position[1] < 0.0f, c.endsBelow) << c.vy;
        EXPECT_LE(drawn.back().life, 0.0f);
        EXPECT_GT(drawn[c.draws - 2].position[1], 0.0f);
        EXPECT_EQ(particle[0].active, 0);
    }
}

TEST(Fountain, ElapsedTimeSurvivesLongGapsAndClockSteps)
{
    // Tolerance: the clock moves on between building t and the reading,
    // by far less than a second on any machine that runs the suite.
    struct Case { long long offset_s, expect_ms; } cases[] = {
        {40 * 60, 40 * 60 * 1000LL},      // past the old 32-bit wrap
        {-60 * 60, -60 * 60 * 1000LL},    // clock set back an hour
        {30 * 86400LL, INT_MAX},          // beyond int: clamped
        {-30 * 86400LL, INT_MIN},
    };
    for (const Case &c : cases) {
        struct timeval t = now();
        t.tv_sec -= c.offset_s;
        EXPECT_NEAR((double)timeUntilNow(t), (double)c.expect_ms, 1000.0) << c.offset_s;
    }
}

TEST(Resources, FirstExistingFolderBesideTheExecutableAndTooLongPathsMiss)
{
    char tmpl[] = "/tmp/mvviewer_res_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const fs::path root = fs::canonical(tmpl);
    const std::string exe = (root / "bin" / "mvviewer").string();
    fs::create_directories(root / "bin");
    std::ofstream(root / "bin" / "resources") << "x";  // a file, not a folder
    EXPECT_EQ(bundleFor(exe), "");
    fs::create_directories(root / "share" / "morvex");
    EXPECT_EQ(bundleFor(exe), (root / "share" / "morvex").string());  // no ".."
    fs::remove(root / "bin" / "resources");
    fs::create_directories(root / "bin" / "resources");
    EXPECT_EQ(bundleFor(exe), (root / "bin" / "resources").string());

    // A path longer than the buffer is a miss, not an overflow.
    fs::path dir = root;
    while (dir.string().size() < kPathBufferSize) dir /= std::string(200, 'd');
    fs::create_directories(dir);
    std::ofstream(dir / "patt.lumo") << "x";
    char path[kPathBufferSize] = "before";
    testing::internal::CaptureStdout();
    findResource(dir.string(), "patt.lumo", "ok %s\n", "miss %s\n", path);
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "trying to find the file...found it...miss before\n");
    EXPECT_STREQ(path, "before");
    fs::remove_all(root);
}
