/* dark_rows.cpp - the darkness test over whole rows. The loops are kept
   simple for the vectoriser; on x86-64 each is also compiled for AVX2 and
   that copy is taken where the processor has it. */
#include "dark_rows.h"

#include <cstdint>
#include <cstring>

#if defined(__GNUC__) && defined(__x86_64__)
#define MORVEX_ROWS_AVX2 1
#include <immintrin.h>
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

// Four-byte pixels side by side, 32 at a time: each pixel's first three
// bytes summed by two multiply-adds (weights 1, 1, 1, 0), compared, and the
// 32-bit answers packed down to bytes. The same marks as the loop above,
// in about a third of its instructions. Marks (0 or 1) of the 32 pixels
// from src, in order; `above` holds limit + 1 in every lane.
__attribute__((target("avx2"), always_inline)) inline __m256i marks32(const unsigned char *src, __m256i above)
{
    const __m256i weights = _mm256_set1_epi32(0x00010101);
    const __m256i ones = _mm256_set1_epi16(1);
    __m256i dark[4];
    for (int k = 0; k < 4; k++) {
        const __m256i px = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + 32 * k));
        const __m256i sum = _mm256_madd_epi16(_mm256_maddubs_epi16(px, weights), ones);
        dark[k] = _mm256_cmpgt_epi32(above, sum);
    }
    const __m256i words = _mm256_packs_epi16(_mm256_packs_epi32(dark[0], dark[1]),
                                             _mm256_packs_epi32(dark[2], dark[3]));
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    return _mm256_and_si256(_mm256_permutevar8x32_epi32(words, order), _mm256_set1_epi8(1));
}

template <>
__attribute__((target("avx2"))) void mark_avx2<4, 1>(const unsigned char *src, int n, int limit,
                                                    unsigned char *out)
{
    const __m256i above = _mm256_set1_epi32(limit + 1);
    int i = 0;
    for (; i + 32 <= n; i += 32)
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + i), marks32(src + (long)i * 4, above));
    mark<4, 1>(src + (long)i * 4, n - i, limit, out + i);
}

// Every second four-byte pixel (half resolution), 32 marks from 64 pixels:
// all 64 marked as above, their even ones moved to the low half of each
// 128-bit lane by a byte shuffle, then put in order.
template <>
__attribute__((target("avx2"))) void mark_avx2<4, 2>(const unsigned char *src, int n, int limit,
                                                    unsigned char *out)
{
    const __m256i above = _mm256_set1_epi32(limit + 1);
    const __m256i even_bytes = _mm256_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, -1, -1, -1, -1, -1, -1, -1, -1,
                                                0, 2, 4, 6, 8, 10, 12, 14, -1, -1, -1, -1, -1, -1, -1, -1);
    int i = 0;
    // A group reads pixels 2 i .. 2 i + 63; the caller's row has 2 n - 1.
    for (; i + 32 < n; i += 32) {
        const __m256i first = _mm256_shuffle_epi8(marks32(src + (long)i * 8, above), even_bytes);
        const __m256i second = _mm256_shuffle_epi8(marks32(src + (long)i * 8 + 128, above), even_bytes);
        const __m256i both = _mm256_unpacklo_epi64(first, second);
        const __m256i marks = _mm256_permute4x64_epi64(both, 0xd8);   // quarters 0, 2, 1, 3
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + i), marks);
    }
    mark<4, 2>(src + (long)i * 2 * 4, n - i, limit, out + i);
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
