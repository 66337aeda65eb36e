// bright_blocks.h - the quick test that a block of eight 4-byte pixels is
// all brighter than the darkness limit, for skipping the bright bulk of a
// frame in the labelling passes. Internal to detect/.
#ifndef MORVEX_DETECT_BRIGHT_BLOCKS_H
#define MORVEX_DETECT_BRIGHT_BLOCKS_H

#include <cstdint>
#include <cstring>

namespace mvcore {

// Bright runs, the bulk of a frame, are tested a block of pixels at a time
// with 64-bit words holding two pixels each (bytes 0-2 and 4-6, the colour
// bytes); sums of three bytes stay below 2^10, so 16-bit lanes never carry.
constexpr int kBlock = 8;

inline uint64_t load64(const unsigned char *p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// A word of byte mask `bytes` (0 or 0xff each, in memory order), so that the
// masks keep the same bytes whatever the byte order of the machine.
inline uint64_t byte_mask(const unsigned char (&bytes)[8])
{
    uint64_t v;
    std::memcpy(&v, bytes, sizeof v);
    return v;
}

struct BrightTest {
    uint64_t colour;   // both pixels' colour bytes of one word (step 1)
    uint64_t first;    // the first pixel's colour bytes (step 2)
    uint64_t second;   // bytes 4-6 of a word read 4 bytes on: the next pixel's
    uint64_t bias;     // added to each pixel's sum: bit 15 set when sum > limit
    uint64_t fill;     // the fourth byte of each pixel
    uint64_t fill_half; // all but the first pixel's colour bytes (step 2)
    uint64_t floor;    // every byte: a colour byte at least this makes any pixel bright
    bool usable;       // limits outside 0..764 leave every pixel to the plain test
    bool quick;        // the floor fits the byte test (at most 128)
};

inline BrightTest bright_test(int limit)
{
    static const unsigned char colour[8] = {0xff, 0xff, 0xff, 0, 0xff, 0xff, 0xff, 0};
    static const unsigned char first[8] = {0xff, 0xff, 0xff, 0, 0, 0, 0, 0};
    static const unsigned char second[8] = {0, 0, 0, 0, 0xff, 0xff, 0xff, 0};
    static const unsigned char fill[8] = {0, 0, 0, 0xff, 0, 0, 0, 0xff};
    static const unsigned char fill_half[8] = {0, 0, 0, 0xff, 0xff, 0xff, 0xff, 0xff};
    BrightTest t;
    t.colour = byte_mask(colour);
    t.first = byte_mask(first);
    t.second = byte_mask(second);
    t.fill = byte_mask(fill);
    t.fill_half = byte_mask(fill_half);
    t.usable = limit >= 0 && limit < 765;
    const uint64_t k = t.usable ? (uint64_t)(0x7fff - limit) : 0;
    t.bias = k | k << 32;
    const int floor = limit / 3 + 1;
    t.quick = t.usable && floor <= 128;
    t.floor = 0x0101010101010101ULL * (uint64_t)(t.quick ? floor : 0);
    return t;
}

// Bit 15 of each 32-bit half set when that pixel of w is brighter than the
// limit. Each half of w holds one pixel's colour bytes (in either byte
// order), the fourth byte zero.
inline uint64_t bright_bits(uint64_t w, uint64_t bias)
{
    const uint64_t bytes = 0x00ff00ff00ff00ffULL;
    uint64_t x = (w & bytes) + ((w >> 8) & bytes);   // pairs of bytes, 16-bit lanes
    x += x >> 16;                                    // low lane of each half: the sum
    return (x + bias) & 0x0000800000008000ULL;
}

// Two pixels from q (4 * step bytes apart), colour bytes only.
template <int step>
inline uint64_t pixel_pair(const unsigned char *q, const BrightTest &t)
{
    return step == 1 ? load64(q) & t.colour
                     : (load64(q) & t.first) | (load64(q + 4) & t.second);
}

// Are all kBlock pixels from src (4 * step bytes apart) brighter than the
// limit? Mostly the quick test answers: no byte below the floor (the
// classic borrow test, exact for a floor up to 128); otherwise the sums.
template <int step>
inline bool block_bright(const unsigned char *src, const BrightTest &t)
{
    const uint64_t high = 0x8080808080808080ULL;
    if (t.quick) {
        uint64_t low = 0;
        if (step == 1) {
            for (int k = 0; k < kBlock / 2; k++) {
                const uint64_t w = load64(src + k * 8) | t.fill;
                low |= (w - t.floor) & ~w;
            }
        } else {
            // One word per pixel; the skipped pixel's bytes count as 0xff.
            for (int k = 0; k < kBlock; k++) {
                const uint64_t w = load64(src + k * 4 * step) | t.fill_half;
                low |= (w - t.floor) & ~w;
            }
        }
        if ((low & high) == 0) return true;
    }
    uint64_t all = ~0ULL;
    for (int k = 0; k < kBlock / 2; k++)
        all &= bright_bits(pixel_pair<step>(src + k * 8 * step, t), t.bias);
    return all == 0x0000800000008000ULL;
}

}  // namespace mvcore

#endif
