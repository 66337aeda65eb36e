/* labeling.cpp - thresholding and 8-connected labelling in one raster pass
   with an equivalence table. */
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "morvex/camera.h"
#include "morvex/detect.h"
#include "detect_internal.h"
#include "message.h"

int mvImageProcMode = 0;
int mvDebug = 0;
unsigned char *mvImage = nullptr;

namespace {

// Per-frame storage, grown to the largest frame and label count seen so far
// and then reused: steady-state frames allocate nothing.
std::vector<MvLabel> l_imageL;
std::vector<int> workL;        // provisional label -> representative, then component
std::vector<int> parentL;      // union-find over provisional labels, root = smallest
int wlabel_numL = 0;
std::vector<int> wareaL;
std::vector<double> wposL;
std::vector<int> wclipL;

// Pixel count, coordinate sums (64 bits: a large frame's sums pass 2^31) and
// box of the pixels carrying one provisional label.
struct LabelStats {
    int area;
    long long sx, sy;
    int x0, x1, y0, y1;
};
std::vector<LabelStats> work2L;

// Size in pixels of the debug image we allocated, so a larger working image
// later (another camera, or full resolution after half) gets a larger one.
long debug_capacity = 0;
unsigned char *debug_buffer = nullptr;

template <typename T>
void ensure(std::vector<T> &v, size_t n)
{
    if (v.size() < n) v.resize(n);
}

// The representative (smallest label) of provisional label p's group, with
// path halving.
inline int find_root(int *parent, int p)
{
    while (parent[p - 1] != p) {
        parent[p - 1] = parent[parent[p - 1] - 1];
        p = parent[p - 1];
    }
    return p;
}

// Bright runs, the bulk of a frame, are tested a block of pixels at a time
// with 64-bit words holding two pixels each (bytes 0-2 and 4-6, the colour
// bytes); sums of three bytes stay below 2^10, so 16-bit lanes never carry.
constexpr int kBlock = 8;

uint64_t load64(const unsigned char *p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// A word of byte mask `bytes` (0 or 0xff each, in memory order), so that the
// masks keep the same bytes whatever the byte order of the machine.
uint64_t byte_mask(const unsigned char (&bytes)[8])
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

BrightTest bright_test(int limit)
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

void put_zero(unsigned char *buffer, long n)
{
    if (n <= 0) return;
    std::memset(buffer, 0, (size_t)n);
}

int pow2_at_least(int v)
{
    int p = 1;
    while (p < v) p *= 2;
    return p;
}

void prepare_debug_image(int lxsize, int lysize)
{
    long need = (long)lxsize * lysize;
    if (mvImage == nullptr || (mvImage == debug_buffer && debug_capacity < need)) {
        int w = pow2_at_least(mvImXsize);
        if (w > 512) w = 512;
        int h = pow2_at_least(mvImYsize);
        long pixels = (long)w * h;
        if (pixels < need) pixels = need;
        if (mvImage == debug_buffer) std::free(debug_buffer);
        debug_buffer = (unsigned char *)std::malloc((size_t)pixels * 4);
        if (debug_buffer == nullptr) mvcore::fatal(MV_ERROR_MEMORY, stdout, "malloc error!!\n");
        debug_capacity = pixels;
        mvImage = debug_buffer;
    }
    put_zero(mvImage, need * 4);
}

template <bool kDebug, int step>
MvLabel *labeling(const unsigned char *image, int thresh, int *labelCount, int **area,
                  double **pos, int **clip, int **labelTable)
{
    const int lxsize = mvImXsize / step;
    const int lysize = mvImYsize / step;
    if (lxsize <= 0 || lysize <= 0 || (long)lxsize * lysize > MV_WORK_PIXELS_MAX) {
        mvcore::report(MV_ERROR_ARGUMENT, nullptr,
                       "working image of %d x %d pixels: labelling takes 1 to %ld",
                       lxsize, lysize, MV_WORK_PIXELS_MAX);
        return nullptr;
    }
    if (kDebug) prepare_debug_image(lxsize, lysize);

    ensure(l_imageL, (size_t)lxsize * lysize);
    MvLabel *img = l_imageL.data();
    for (int i = 0; i < lxsize; i++) {
        img[i] = 0;
        img[(long)(lysize - 1) * lxsize + i] = 0;
    }
    for (int j = 0; j < lysize; j++) {
        img[(long)j * lxsize] = 0;
        img[(long)j * lxsize + lxsize - 1] = 0;
    }

    const int limit = thresh * 3;
    const BrightTest bright = bright_test(limit);
    int wk_max = 0;
    // A new provisional label needs a slot; room grows by halves of what the
    // largest frame so far needed.
    int room = (int)parentL.size();
    int *parent = parentL.data();
    LabelStats *stats = work2L.data();
    for (int j = 1; j < lysize - 1; j++) {
        MvLabel *p = &img[(long)j * lxsize + 1];
        const MvLabel *above = p - lxsize;
        const unsigned char *src = image + ((long)(j * step) * mvImXsize + step) * 4;
        unsigned char *dbg = kDebug ? mvImage + ((long)j * lxsize + 1) * 4 : nullptr;
        // Block tests start only past the end of the last failed one, so a
        // dark pixel ahead costs at most one failed test.
        int next_block = bright.usable ? 1 : lxsize;
        for (int i = 1; i < lxsize - 1; i++, p++, above++, src += 4 * step) {
            int s = src[0] + src[1] + src[2];
            if (s > limit) {
                *p = 0;
                if (kDebug) {
                    dbg[0] = dbg[1] = dbg[2] = 0;
                    dbg += 4;
                } else if (i >= next_block) {
                    while (i + kBlock < lxsize - 1 && block_bright<step>(src + 4 * step, bright)) {
                        std::memset(p + 1, 0, kBlock * sizeof(MvLabel));
                        i += kBlock;
                        p += kBlock;
                        above += kBlock;
                        src += 4 * step * kBlock;
                    }
                    next_block = i + kBlock + 1;
                }
                continue;
            }
            if (kDebug) { dbg[0] = dbg[1] = dbg[2] = 255; dbg += 4; }
            int label;
            if (above[0] > 0) {
                label = above[0];
            } else if (above[1] > 0 && (above[-1] > 0 || p[-1] > 0)) {
                // A merge: the pixel joins both groups under the smaller
                // representative, which stays the root of the joined group.
                int other = above[-1] > 0 ? above[-1] : p[-1];
                int ra = find_root(parent, above[1]);
                int rb = find_root(parent, other);
                int lo = ra < rb ? ra : rb;
                int hi = ra < rb ? rb : ra;
                label = lo;
                parent[hi - 1] = lo;
            } else if (above[1] > 0) {
                label = above[1];
            } else if (above[-1] > 0) {
                label = above[-1];
            } else if (p[-1] > 0) {
                label = p[-1];
            } else {
                if (wk_max == room) {
                    room = room < 1024 ? 4096 : room + room / 2;
                    ensure(parentL, room);
                    ensure(work2L, room);
                    parent = parentL.data();
                    stats = work2L.data();
                }
                wk_max++;
                parent[wk_max - 1] = wk_max;
                stats[wk_max - 1] = {1, i, j, i, i, j, j};
                *p = (MvLabel)wk_max;
                continue;
            }
            *p = (MvLabel)label;
            LabelStats &st = stats[label - 1];
            st.area++;
            st.sx += i;
            st.sy += j;
            if (st.x0 > i) st.x0 = i;
            if (st.x1 < i) st.x1 = i;
            // Rows come in order: a label's first row is its top (set when
            // it was made) and the current row its bottom so far.
            st.y1 = j;
        }
    }

    // Roots are the smallest label of their group, so visiting in increasing
    // order numbers components by their first pixel in raster order and
    // always finds the root's number already given.
    ensure(workL, wk_max);
    int num = 0;
    for (int k = 1; k <= wk_max; k++) {
        const int r = find_root(parent, k);
        workL[k - 1] = r == k ? ++num : workL[r - 1];
    }
    wlabel_numL = num;
    *labelCount = num;
    if (num == 0) return img;

    ensure(wareaL, num);
    ensure(wposL, (size_t)num * 2);
    ensure(wclipL, (size_t)num * 4);
    for (int c = 0; c < num; c++) {
        wareaL[c] = 0;
        wposL[c * 2] = 0.0;
        wposL[c * 2 + 1] = 0.0;
        wclipL[c * 4 + 0] = lxsize;
        wclipL[c * 4 + 1] = 0;
        wclipL[c * 4 + 2] = lysize;
        wclipL[c * 4 + 3] = 0;
    }
    for (int k = 0; k < wk_max; k++) {
        int c = workL[k] - 1;
        const LabelStats &st = stats[k];
        wareaL[c] += st.area;
        wposL[c * 2] += (double)st.sx;
        wposL[c * 2 + 1] += (double)st.sy;
        if (wclipL[c * 4 + 0] > st.x0) wclipL[c * 4 + 0] = st.x0;
        if (wclipL[c * 4 + 1] < st.x1) wclipL[c * 4 + 1] = st.x1;
        if (wclipL[c * 4 + 2] > st.y0) wclipL[c * 4 + 2] = st.y0;
        if (wclipL[c * 4 + 3] < st.y1) wclipL[c * 4 + 3] = st.y1;
    }
    for (int c = 0; c < num; c++) {
        wposL[c * 2] /= wareaL[c];
        wposL[c * 2 + 1] /= wareaL[c];
    }

    *area = wareaL.data();
    *pos = wposL.data();
    *clip = wclipL.data();
    *labelTable = workL.data();
    return img;
}

}  // namespace

extern "C" MvLabel *mvLabeling(const unsigned char *image, int thresh, int *labelCount,
                               int **area, double **pos, int **clip, int **labelTable)
{
    try {
        const bool half = mvImageProcMode == 1;
        if (mvDebug)
            return half ? labeling<true, 2>(image, thresh, labelCount, area, pos, clip, labelTable)
                        : labeling<true, 1>(image, thresh, labelCount, area, pos, clip, labelTable);
        return half ? labeling<false, 2>(image, thresh, labelCount, area, pos, clip, labelTable)
                    : labeling<false, 1>(image, thresh, labelCount, area, pos, clip, labelTable);
    } catch (const std::bad_alloc &) {
        mvcore::report(MV_ERROR_MEMORY, nullptr, "labelling storage for a %d x %d frame",
                       mvImXsize, mvImYsize);
        return nullptr;
    }
}

extern "C" int mvGetImgFeature(int *num, int **area, int **clip, double **pos)
{
    *num = wlabel_numL;
    *area = wareaL.data();
    *clip = wclipL.data();
    *pos = wposL.data();
    return 0;
}
