/* dark_rows.cpp - the darkness test over whole rows. The loops are kept
   simple for the vectoriser; on x86-64 the compiler also makes an AVX2
   copy of each, chosen once at load time where the processor has it. */
#include "dark_rows.h"

#include <cstdint>
#include <cstring>

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define MORVEX_ROW_CLONES __attribute__((target_clones("avx2", "default"), noinline))
#else
#define MORVEX_ROW_CLONES
#endif

namespace mvcore {

namespace {

// The colour bytes of 3- and 4-byte pixels are their first three in every
// layout the tracker reads (RGB, BGR, RGBA, BGRA), so the sum needs no
// offsets; grey frames count their byte three times.
template <int bpp, int step>
inline void mark(const unsigned char *__restrict src, int n, int limit, unsigned char *__restrict out)
{
    for (int i = 0; i < n; i++) {
        const unsigned char *p = src + (long)i * bpp * step;
        if (bpp == 4) {
            // One 32-bit word per pixel vectorises better than its bytes.
            uint32_t v;
            std::memcpy(&v, p, sizeof v);
            out[i] = (int)((v & 0xff) + ((v >> 8) & 0xff) + ((v >> 16) & 0xff)) <= limit;
        } else {
            const int sum = bpp == 1 ? 3 * p[0] : p[0] + p[1] + p[2];
            out[i] = sum <= limit;
        }
    }
}

MORVEX_ROW_CLONES void mark4(const unsigned char *src, int n, int limit, unsigned char *out)
{
    mark<4, 1>(src, n, limit, out);
}
MORVEX_ROW_CLONES void mark4_half(const unsigned char *src, int n, int limit, unsigned char *out)
{
    mark<4, 2>(src, n, limit, out);
}
MORVEX_ROW_CLONES void mark3(const unsigned char *src, int n, int limit, unsigned char *out)
{
    mark<3, 1>(src, n, limit, out);
}
MORVEX_ROW_CLONES void mark3_half(const unsigned char *src, int n, int limit, unsigned char *out)
{
    mark<3, 2>(src, n, limit, out);
}
MORVEX_ROW_CLONES void mark1(const unsigned char *src, int n, int limit, unsigned char *out)
{
    mark<1, 1>(src, n, limit, out);
}
MORVEX_ROW_CLONES void mark1_half(const unsigned char *src, int n, int limit, unsigned char *out)
{
    mark<1, 2>(src, n, limit, out);
}

}  // namespace

void mark_dark(const FrameView &f, const unsigned char *src, int n, int step, int limit, unsigned char *out)
{
    const bool half = step == 2;
    const bool first_three = f.red + f.green + f.blue == 3 && f.red <= 2 && f.green <= 2 && f.blue <= 2 &&
                             f.red != f.green;
    if (f.bpp == 4 && first_three) return half ? mark4_half(src, n, limit, out) : mark4(src, n, limit, out);
    if (f.bpp == 3 && first_three) return half ? mark3_half(src, n, limit, out) : mark3(src, n, limit, out);
    if (f.bpp == 1) return half ? mark1_half(src, n, limit, out) : mark1(src, n, limit, out);
    // Any other channel placement, pixel by pixel.
    for (int i = 0; i < n; i++) {
        const unsigned char *p = src + (long)i * f.bpp * step;
        out[i] = p[f.red] + p[f.green] + p[f.blue] <= limit;
    }
}

}  // namespace mvcore
