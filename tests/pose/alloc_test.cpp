// Pose estimation when memory runs out: every allocation of a call is made
// to fail in turn; the call must report -1.0 (or -1), leave its outputs as
// they were and free what it had made.
//
// malloc and free are replaced in this program (glibc lets an executable
// do so) by versions that can refuse the n-th request and count blocks.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "morvex/pose.h"
#include "synthetic.h"

extern "C" void *__libc_malloc(size_t);
extern "C" void __libc_free(void *);
extern "C" void *__libc_calloc(size_t, size_t);
extern "C" void *__libc_realloc(void *, size_t);

namespace {
bool armed = false;
int refuse_at = -1;   // index of the request to refuse, counted while armed
int requests = 0;
long live_blocks = 0;  // blocks handed out while armed and not yet freed
}  // namespace

extern "C" void *malloc(size_t n)
{
    if (armed && requests++ == refuse_at) return nullptr;
    void *p = __libc_malloc(n);
    if (armed && p != nullptr) live_blocks++;
    return p;
}

extern "C" void free(void *p)
{
    if (armed && p != nullptr) live_blocks--;
    __libc_free(p);
}

// Kept in step with the two above, so every block comes from one allocator.
extern "C" void *calloc(size_t n, size_t size) { return __libc_calloc(n, size); }
extern "C" void *realloc(void *p, size_t size) { return __libc_realloc(p, size); }

namespace {
void arm(int refuse)
{
    refuse_at = refuse;
    requests = 0;
    live_blocks = 0;
    armed = true;
}
}  // namespace

TEST(PoseAlloc, EveryRefusedAllocationIsReportedAndCleanedUp)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer owns malloc";
#endif
    synth::use_camera();

    double truth[3][4];
    synth::pose(0.6, 2.6, -0.4, 15, -10, 500, truth);
    MvMarkerInfo m = synth::marker(synth::kCamera, truth, 80, 0.8, 2);
    const double center[2] = {0, 0};

    // How many requests a whole estimate makes.
    double conv[3][4];
    arm(-1);
    double good = mvGetTransMat(&m, center, 80, conv);
    armed = false;
    const int total = requests;
    ASSERT_GE(good, 0.0);
    ASSERT_GE(total, 4 + 12);  // two sign checks, at least one pass
    EXPECT_EQ(live_blocks, 0);

    for (int k = 0; k < total; k++) {
        double out[3][4];
        for (auto &row : out)
            for (double &x : row) x = 42.0;
        arm(k);
        double err = mvGetTransMat(&m, center, 80, out);
        armed = false;
        EXPECT_EQ(err, -1.0) << "refused request " << k;
        EXPECT_EQ(live_blocks, 0) << "refused request " << k;
        for (auto &row : out)
            for (double x : row) ASSERT_EQ(x, 42.0) << "refused request " << k;
    }
}
