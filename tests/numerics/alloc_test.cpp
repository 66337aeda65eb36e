// Allocation failures: malloc is replaced in this executable so that a
// chosen allocation fails.
#include "morvex/numerics.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

static int fail_at = 0;  // the n-th malloc from now fails (1 = the next one)
static int frees = 0;

#if !defined(__SANITIZE_ADDRESS__)
extern "C" void *__libc_malloc(size_t);
extern "C" void __libc_free(void *);
extern "C" void *malloc(size_t size) { return fail_at > 0 && --fail_at == 0 ? nullptr : __libc_malloc(size); }
extern "C" void free(void *p)
{
    frees += p != nullptr;
    __libc_free(p);
}
#define SKIP_UNDER_ASAN() (void)0
#else
#define SKIP_UNDER_ASAN() GTEST_SKIP() << "malloc cannot be replaced under AddressSanitizer"
#endif

TEST(AllocationFailure, MatrixAndVectorReturnNullAndFreeTheRecord)
{
    SKIP_UNDER_ASAN();
    fail_at = 1;
    EXPECT_EQ(mvMatrixAlloc(3, 3), nullptr);
    fail_at = 2;  // the element array fails: the record must be freed
    frees = 0;
    EXPECT_EQ(mvMatrixAlloc(3, 3), nullptr);
    EXPECT_EQ(frees, 1);
    fail_at = 2;
    frees = 0;
    EXPECT_EQ(mvVecAlloc(4), nullptr);
    EXPECT_EQ(frees, 1);
}

TEST(AllocationFailure, TransformInverseReportsItAndLeavesTheOutput)
{
    SKIP_UNDER_ASAN();
    const double s[3][4] = {{1, 0, 0, 1}, {0, 1, 0, 2}, {0, 0, 1, 3}};
    double d[3][4], before[3][4];
    std::memset(d, 0x5a, sizeof d);
    std::memcpy(before, d, sizeof d);
    fail_at = 1;
    EXPECT_EQ(mvUtilMatInv(s, d), -1);
    fail_at = 0;
    EXPECT_EQ(std::memcmp(before, d, sizeof d), 0);
}

TEST(AllocationFailure, PcaReportsItForEachWorkingRecord)
{
    SKIP_UNDER_ASAN();
    double pts[8] = {0, 0, 1, 2, 2, 4, 3, 7};
    MvMatrix input = {pts, 4, 2};
    MvMatrix *evec = mvMatrixAlloc(2, 2);
    MvVector *ev = mvVecAlloc(2), *mean = mvVecAlloc(2);
    // The copy (2 blocks), the product matrix (2), the off-diagonal (2).
    for (int k = 1; k <= 6; k++) {
        fail_at = k;
        EXPECT_EQ(mvMatrixPCA(&input, evec, ev, mean), -1) << k;
    }
    fail_at = 0;
    EXPECT_EQ(mvMatrixPCA(&input, evec, ev, mean), 0);
    mvMatrixFree(evec);
    mvVecFree(ev);
    mvVecFree(mean);
}
