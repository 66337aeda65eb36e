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

