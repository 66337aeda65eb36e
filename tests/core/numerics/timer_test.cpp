// Stopwatch and sleep. Each test runs in a process of its own (CTest), so
// "before any reset" holds in the first test.
#include "morvex/numerics.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <sys/time.h>

TEST(Stopwatch, CountsFromTheEpochBeforeAnyResetThenWholeMilliseconds)
{
    // Bracketed by two readings of the same wall clock, truncated to
    // milliseconds as the stopwatch does.
    auto now = [] {
        struct timeval tv;
        gettimeofday(&tv, nullptr);
        return tv.tv_sec + (tv.tv_usec / 1000) / 1000.0;
    };
    const double before = now(), t = mvUtilTimer(), after = now();
    EXPECT_GE(t, before - 1e-6);
    EXPECT_LE(t, after + 1e-6);

    mvUtilTimerReset();
    const double r = mvUtilTimer();
    EXPECT_GE(r, 0.0);
    EXPECT_LT(r, 1.0);
    EXPECT_NEAR(r * 1000.0, std::round(r * 1000.0), 1e-6);
}

TEST(Sleep, AtLeastOneSecondIsHonouredNotSkipped)
{
    // A request of a second or more must not be refused by the OS and
    // return at once. Only the lower bound is checked.
    const auto start = std::chrono::steady_clock::now();
    mvUtilSleep(1000500);
    EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.0005);
    mvUtilSleep(-5);  // returns at once
}
