// Allocation failures: a matrix or vector whose record or element array
// cannot be had is not handed out, and nothing is left allocated.
#include "morvex/numerics.h"

#include <gtest/gtest.h>

#include "failing_malloc.h"

namespace {

// Whether alloc() returned null with request `refuse` refused and freed
// whatever it had.
template <class F>
bool refusedCleanly(int refuse, F alloc)
{
    failing_malloc::arm(refuse);
    const bool null = alloc() == nullptr;
    failing_malloc::armed = false;
    return null && failing_malloc::live_blocks == 0;
}

}  // namespace

TEST(AllocationFailure, MatrixAndVectorReturnNullAndFreeTheRecord)
{
    if (!kMallocCanFail) GTEST_SKIP() << "malloc cannot be replaced under AddressSanitizer";
    for (int refuse : {0, 1}) {  // the record, then the element array
        EXPECT_TRUE(refusedCleanly(refuse, [] { return mvMatrixAlloc(3, 3); })) << refuse;
        EXPECT_TRUE(refusedCleanly(refuse, [] { return mvVecAlloc(4); })) << refuse;
    }
}
