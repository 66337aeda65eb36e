/* dark_rows.cpp - the darkness test over whole rows. The loops are kept
   simple for the vectoriser; on x86-64 each is also compiled for AVX2 and
   that copy is taken where the processor has it. */
#include "dark_rows.h"

#include <cstdint>
#include <cstring>

#if defined(__GNUC__) && defined(__x86_64__)
#define MORVEX_ROWS_AVX2 1
#endif

namespace mvcore {

namespace {

// The colour bytes of 3- and 4-byte pixels are their first three in every
// layout the tracker reads (RGB, BGR, RGBA, BGRA), so the sum needs no
// offsets; grey frames count their byte three times.
template <int bpp, int step>
inline __attribute__((always_inline)) void mark(const unsigned char *__restrict src, int n, int limit,
                                                unsigned char *__restrict out)
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

typedef void (*RowMarker)(const unsigned char *, int, int, unsigned char *);

template <int bpp, int step>
void mark_plain(const unsigned char *src, int n, int limit, unsigned char *out)
{
    mark<bpp, step>(src, n, limit, out);
}

#ifdef MORVEX_ROWS_AVX2
template <int bpp, int step>
__attribute__((target("avx2"))) void mark_avx2(const unsigned char *src, int n, int limit, unsigned char *out)
{
    mark<bpp, step>(src, n, limit, out);
}
#endif

template <int bpp, int step>
RowMarker row_marker()
{
#ifdef MORVEX_ROWS_AVX2
    // Asked on each call rather than kept: the answer is one load.
    if (__builtin_cpu_supports("avx2")) return mark_avx2<bpp, step>;
#endif
    return mark_plain<bpp, step>;
}

}  // namespace

void mark_dark(const FrameView &f, const unsigned char *src, int n, int step, int limit, unsigned char *out)
{
    const bool half = step == 2;
    const bool first_three = f.red + f.green + f.blue == 3 && f.red <= 2 && f.green <= 2 && f.blue <= 2 &&
                             f.red != f.green;
    RowMarker m = nullptr;
    if (f.bpp == 4 && first_three) m = half ? row_marker<4, 2>() : row_marker<4, 1>();
    else if (f.bpp == 3 && first_three) m = half ? row_marker<3, 2>() : row_marker<3, 1>();
    else if (f.bpp == 1) m = half ? row_marker<1, 2>() : row_marker<1, 1>();
    if (m != nullptr) return m(src, n, limit, out);
    // Any other channel placement, pixel by pixel.
    for (int i = 0; i < n; i++) {
        const unsigned char *p = src + (long)i * f.bpp * step;
        out[i] = p[f.red] + p[f.green] + p[f.blue] <= limit;
    }
}

}  // namespace mvcore
