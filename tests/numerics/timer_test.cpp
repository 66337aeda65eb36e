// Stopwatch and sleep. Each test runs in a process of its own (CTest), so
// "before any reset" holds in the first test.
#include "morvex/numerics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <sys/time.h>

TEST(Stopwatch, CountsFromTheEpochBeforeAnyReset)
{
    // Bracketed by two readings of the same wall clock, truncated to
    // milliseconds as the stopwatch does.
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    const double before = tv.tv_sec + (tv.tv_usec / 1000) / 1000.0;
    const double t = mvUtilTimer();
    gettimeofday(&tv, nullptr);
    const double after = tv.tv_sec + (tv.tv_usec / 1000) / 1000.0;
    EXPECT_GE(t, before - 1e-6);
    EXPECT_LE(t, after + 1e-6);
}

TEST(Stopwatch, ReadsWholeMillisecondsAfterReset)
{
    mvUtilTimerReset();
    const double t = mvUtilTimer();
    EXPECT_GE(t, 0.0);
    EXPECT_NEAR(t * 1000.0, std::round(t * 1000.0), 1e-6);
}

static double monotonic_seconds()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

TEST(Sleep, AtLeastOneSecondIsHonouredNotSkipped)
{
    // A request of a second or more must not be refused by the OS and
    // return at once. Only the lower bound is checked.
    const double start = monotonic_seconds();
    mvUtilSleep(1000500);
    EXPECT_GE(monotonic_seconds() - start, 1.0005);

    const double start2 = monotonic_seconds();
    mvUtilSleep(20000);
    EXPECT_GE(monotonic_seconds() - start2, 0.02);
    mvUtilSleep(0);
    mvUtilSleep(-5);  // returns at once
}
