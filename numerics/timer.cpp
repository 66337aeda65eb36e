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
    struct timespec req;
    req.tv_sec = 0;
    req.tv_nsec = (long)n * 1000;
    nanosleep(&req, nullptr);
}
