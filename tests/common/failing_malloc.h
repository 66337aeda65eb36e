// failing_malloc.h - replaces malloc and free (glibc lets an executable do
// so) with versions that can refuse the n-th request and count the blocks
// still held. Include in one source file of a test program of its own, so
// that no other test runs with the replacement. Under AddressSanitizer,
// which owns malloc, nothing is replaced and kMallocCanFail is false.
#ifndef MORVEX_TESTS_FAILING_MALLOC_H
#define MORVEX_TESTS_FAILING_MALLOC_H

#include <cstddef>

namespace failing_malloc {
inline bool armed = false;
inline int refuse_at = -1;   // index of the request to refuse, counted while armed
inline int requests = 0;
inline long live_blocks = 0; // blocks handed out while armed and not yet freed

// Counts from now on and refuses request `refuse` (0 the next; -1 none).
inline void arm(int refuse)
{
    refuse_at = refuse;
    requests = 0;
    live_blocks = 0;
    armed = true;
}
}  // namespace failing_malloc

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMallocCanFail = false;
#else
constexpr bool kMallocCanFail = true;

extern "C" void *__libc_malloc(size_t);
extern "C" void __libc_free(void *);
extern "C" void *__libc_calloc(size_t, size_t);
extern "C" void *__libc_realloc(void *, size_t);

extern "C" void *malloc(size_t n)
{
    using namespace failing_malloc;
    if (armed && requests++ == refuse_at) return nullptr;
    void *p = __libc_malloc(n);
    if (armed && p != nullptr) live_blocks++;
    return p;
}

extern "C" void free(void *p)
{
    if (failing_malloc::armed && p != nullptr) failing_malloc::live_blocks--;
    __libc_free(p);
}

// Kept in step with the two above, so every block comes from one allocator.
extern "C" void *calloc(size_t n, size_t size) { return __libc_calloc(n, size); }
extern "C" void *realloc(void *p, size_t size) { return __libc_realloc(p, size); }
#endif

#endif
