/* labeling.cpp - thresholding and 8-connected labelling in one raster pass
   with an equivalence table (union-find whose root is the smallest label). */
#include "labeling.h"

#include "bright_blocks.h"
#include "label_groups.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

namespace mvcore {

namespace {

// The raster pass over the working image: provisional labels, their
// equivalences and statistics. bpp: bytes per frame pixel; 4-byte pixels
// take the block test for bright runs.
template <bool kDebug, int step, int bpp>
void scan(Labeling &L, const FrameView &frame, int thresh, unsigned char *debug)
{
    const int lxsize = L.xsize, lysize = L.ysize;
    MvLabel *img = L.image.data();
    const int limit = thresh * 3;
    const BrightTest bright = bright_test(bpp == 4 ? limit : -1);
    const int r = frame.red, g = frame.green, b = frame.blue;
    int wk_max = 0;
    // A new provisional label needs a slot; room grows by halves of what the
    // largest frame so far needed.
    // (The smaller of the two: an allocation that failed half-way through
    // growing them left one larger.)
    int room = (int)std::min(L.parent.size(), L.stats.size());
    int *parent = L.parent.data();
    LabelStats *stats = L.stats.data();
    for (int j = 1; j < lysize - 1; j++) {
        MvLabel *p = &img[(long)j * lxsize + 1];
        const MvLabel *above = p - lxsize;
        const unsigned char *src = frame.pixel(step, j * step);
        unsigned char *dbg = kDebug ? debug + ((long)j * lxsize + 1) * 4 : nullptr;
        // Block tests start only past the end of the last failed one, so a
        // dark pixel ahead costs at most one failed test.
        int next_block = bright.usable ? 1 : lxsize;
        for (int i = 1; i < lxsize - 1; i++, p++, above++, src += bpp * step) {
            int s = src[r] + src[g] + src[b];
            if (s > limit) {
                *p = 0;
                if (kDebug) {
                    dbg[0] = dbg[1] = dbg[2] = 0;
                    dbg += 4;
                } else if (bpp == 4 && i >= next_block) {
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
                    ensure(L.parent, room);
                    ensure(L.stats, room);
                    parent = L.parent.data();
                    stats = L.stats.data();
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
    L.provisional = wk_max;
}

template <bool kDebug, int step>
void scan_bpp(Labeling &L, const FrameView &frame, int thresh, unsigned char *debug)
{
    if (frame.bpp == 4) scan<kDebug, step, 4>(L, frame, thresh, debug);
    else if (frame.bpp == 3) scan<kDebug, step, 3>(L, frame, thresh, debug);
    else scan<kDebug, step, 1>(L, frame, thresh, debug);
}

// Components from the provisional labels: numbers in raster order of their
// first pixel, then area, centroid and box per component.
void resolve(Labeling &L)
{
    // Roots are the smallest label of their group, so visiting in increasing
    // order numbers components by their first pixel in raster order and
    // always finds the root's number already given.
    const int wk_max = L.provisional;
    ensure(L.table, wk_max);
    int *parent = L.parent.data();
    int num = 0;
    for (int k = 1; k <= wk_max; k++) {
        const int r = find_root(parent, k);
        L.table[k - 1] = r == k ? ++num : L.table[r - 1];
    }
    L.count = num;
    if (num == 0) return;

    ensure(L.area, num);
    ensure(L.pos, (size_t)num * 2);
    ensure(L.clip, (size_t)num * 4);
    int *area = L.area.data(), *clip = L.clip.data();
    double *pos = L.pos.data();
    for (int c = 0; c < num; c++) {
        area[c] = 0;
        pos[c * 2] = 0.0;
        pos[c * 2 + 1] = 0.0;
        clip[c * 4 + 0] = L.xsize;
        clip[c * 4 + 1] = 0;
        clip[c * 4 + 2] = L.ysize;
        clip[c * 4 + 3] = 0;
    }
    for (int k = 0; k < wk_max; k++) {
        const int c = L.table[k] - 1;
        const LabelStats &st = L.stats[k];
        area[c] += st.area;
        pos[c * 2] += (double)st.sx;
        pos[c * 2 + 1] += (double)st.sy;
        if (clip[c * 4 + 0] > st.x0) clip[c * 4 + 0] = st.x0;
        if (clip[c * 4 + 1] < st.x1) clip[c * 4 + 1] = st.x1;
        if (clip[c * 4 + 2] > st.y0) clip[c * 4 + 2] = st.y0;
        if (clip[c * 4 + 3] < st.y1) clip[c * 4 + 3] = st.y1;
    }
    for (int c = 0; c < num; c++) {
        pos[c * 2] /= area[c];
        pos[c * 2 + 1] /= area[c];
    }
}

}  // namespace

MvError Labeling::run(const FrameView &frame, int thresh, int step_, unsigned char *debug)
{
    step = step_ == 2 ? 2 : 1;
    xsize = frame.width / step;
    ysize = frame.height / step;
    count = 0;
    provisional = 0;
    if (xsize <= 0 || ysize <= 0 || (long)xsize * ysize > MV_WORK_PIXELS_MAX) return MV_ERROR_ARGUMENT;
    try {
        ensure(image, (size_t)xsize * ysize);
        MvLabel *img = image.data();
        for (int i = 0; i < xsize; i++) {
            img[i] = 0;
            img[(long)(ysize - 1) * xsize + i] = 0;
        }
        for (int j = 0; j < ysize; j++) {
            img[(long)j * xsize] = 0;
            img[(long)j * xsize + xsize - 1] = 0;
        }
        if (debug) {
            if (step == 2) scan_bpp<true, 2>(*this, frame, thresh, debug);
            else scan_bpp<true, 1>(*this, frame, thresh, debug);
        } else {
            if (step == 2) scan_bpp<false, 2>(*this, frame, thresh, debug);
            else scan_bpp<false, 1>(*this, frame, thresh, debug);
        }
        resolve(*this);
    } catch (const std::bad_alloc &) {
        count = 0;
        return MV_ERROR_MEMORY;
    }
    return MV_ERROR_NONE;
}

}  // namespace mvcore
