// Stopwatch with millisecond steps and a microsecond sleep.
#include "morvex/numerics.h"

#include <sys/time.h>
#include <time.h>

// Stopwatch origin; zero until the first reset, so an unreset stopwatch
// counts from the clock's epoch.
static long ss = 0;
static int sms = 0;

extern "C" void mvUtilTimerReset(void)
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    ss = tv.tv_sec;
    sms = (int)(tv.tv_usec / 1000);
}

extern "C" double mvUtilTimer(void)
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    const long s1 = tv.tv_sec;
    const int s2 = (int)(tv.tv_usec / 1000);
    return (double)(s1 - ss) + (double)(s2 - sms) / 1000.0;
}

extern "C" void mvUtilSleep(int n)
{
    if (n <= 0) return;
    // Whole seconds go into tv_sec: the nanosecond field must stay below
    // 1e9, or the request is refused and the call would not sleep at all.
    struct timespec req;
    req.tv_sec = n / 1000000;
    req.tv_nsec = (long)(n % 1000000) * 1000;
    nanosleep(&req, nullptr);
}
