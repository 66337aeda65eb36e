// The particle fountain's bookkeeping, without a window.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <vector>

#include "scene.h"

// draw() reads the viewer's transform; these tests never draw.
double patt_trans[3][4];

static std::vector<Particle> drawn;
static void record(const Particle &p) { drawn.push_back(p); }

TEST(Fountain, CreateParticleUsesThreeDrawsOfTheUnseededGenerator)
{
    srandom(1);  // glibc's state when random() was never seeded
    const double r1 = (float)random(), r2 = (float)random(), r3 = (float)random();
    srandom(1);
    CreateParticle(42);
    const Particle &p = particle[42];
    EXPECT_EQ(p.life, 1000.0f);
    EXPECT_EQ(p.fade, 40.0f);
    EXPECT_EQ(p.red, 1.0f);
    EXPECT_EQ(p.green, 0.0f);
    EXPECT_EQ(p.blue, 0.2f);
    EXPECT_EQ(p.active, 1);
    for (int k = 0; k < 3; k++) EXPECT_EQ(p.position[k], 0.0f);
    EXPECT_EQ(p.velocity[0], (float)(0.0005 - 3.0 * (r1 / 4294967295000.0)));
    EXPECT_EQ(p.velocity[1], (float)(0.01 - 10.0 * (r2 / 4294967295000.0)));
    EXPECT_EQ(p.velocity[2], (float)(0.0005 - 3.0 * (r3 / 4294967295000.0)));

    // Over the whole store: upward speed in (0.005, 0.01], sideways speeds in
    // (-0.001, 0.0005] (float rounding can touch the open ends).
    InitParticle();
    for (const Particle &q : particle) {
        EXPECT_EQ(q.active, 0);
        EXPECT_GE(q.velocity[1], 0.005f);
        EXPECT_LE(q.velocity[1], 0.01f);
        for (int k : {0, 2}) {
            EXPECT_GE(q.velocity[k], -0.001f);
            EXPECT_LE(q.velocity[k], 0.0005f);
        }
    }
}

TEST(Fountain, PassCreatesUpToTheBudgetInFreeSlotsLowestFirst)
{
    InitParticle();
    drawn.clear();
    EXPECT_EQ(fountainPass(37, record), 37);
    EXPECT_TRUE(drawn.empty());  // new particles show from the next pass on
    for (int i = 0; i < kParticleMax; i++) EXPECT_EQ(particle[i].active, i < 37 ? 1 : 0) << i;

    particle[3].active = 0;
    particle[7].active = 0;
    drawn.clear();
    EXPECT_EQ(fountainPass(1, record), 1);
    EXPECT_EQ(drawn.size(), 35u);
    EXPECT_EQ(particle[3].active, 1);
    EXPECT_EQ(particle[7].active, 0);

    // A budget above the free count fills every slot and no more.
    EXPECT_EQ(fountainPass(INT_MAX, nullptr), kParticleMax - 36);
    EXPECT_EQ(fountainPass(INT_MAX, nullptr), 0);
}

// Follows particle 0, launched straight up at `vy`, through whole frames
// (pass, then step) until it is freed. Returns the particles drawn.
static std::vector<Particle> flight(float vy)
{
    InitParticle();
    fountainPass(1, nullptr);
    particle[0].velocity[0] = particle[0].velocity[2] = 0.0f;
    particle[0].velocity[1] = vy;
    EvolveParticle();
    drawn.clear();
    for (int frame = 0; frame < 100 && particle[0].active; frame++) {
        fountainPass(0, record);
        EvolveParticle();
    }
    return drawn;
}

TEST(Fountain, FastParticleClimbsFifteenStepsAndDiesOfAgeAboveThePlane)
{
    const std::vector<Particle> seen = flight(0.01f);
    ASSERT_EQ(seen.size(), 25u);  // life 1000 at 40 per step
    for (size_t k = 1; k < seen.size(); k++) {
        if (k < 15) EXPECT_GT(seen[k].position[1], seen[k - 1].position[1]) << k;
        else EXPECT_LT(seen[k].position[1], seen[k - 1].position[1]) << k;
    }
    EXPECT_GT(seen.back().position[1], 0.0f);
    EXPECT_LE(seen.back().life, 0.0f);
    EXPECT_EQ(particle[0].active, 0);
}

TEST(Fountain, SlowParticleFallsBelowThePlaneAndIsDrawnOnceMoreThenFreed)
{
    const std::vector<Particle> seen = flight(0.005f);
    ASSERT_EQ(seen.size(), 16u);
    EXPECT_LT(seen.back().position[1], 0.0f);
    EXPECT_EQ(seen.back().life, 0.0f);  // drawn at full yellow
    EXPECT_GT(seen[14].position[1], 0.0f);
    EXPECT_GT(seen[14].life, 0.0f);
}

TEST(Fountain, BudgetIsTwentyPerMillisecondBoundedByTheStore)
{
    struct Case { long long ms; int budget; } cases[] = {
        {-3600000, 0}, {-1, 0}, {0, 0}, {1, 20}, {499, 9980}, {500, 10000},
        {2100000, 10000},            // 35 minutes out of sight
        {LLONG_MAX, 10000},
    };
    for (const Case &c : cases) EXPECT_EQ(fountainBudget(c.ms), c.budget) << c.ms;
}

TEST(Fountain, ElapsedTimeSurvivesLongGapsAndClockSteps)
{
    // Tolerance: the clock moves on between building t and the reading,
    // by far less than a second on any machine that runs the suite.
    struct Case { long long offset_s; long long expect_ms; } cases[] = {
        {0, 0},
        {40 * 60, 40 * 60 * 1000LL},           // past the old 32-bit wrap
        {-60 * 60, -60 * 60 * 1000LL},         // clock set back an hour
        {30 * 86400LL, INT_MAX},               // beyond int: clamped
        {-30 * 86400LL, INT_MIN},
    };
    for (const Case &c : cases) {
        struct timeval t = now();
        t.tv_sec -= c.offset_s;
        const long long got = timeUntilNow(t);
        EXPECT_NEAR((double)got, (double)c.expect_ms, 1000.0) << c.offset_s;
    }
}
