/* runs.cpp - labelling by runs of dark pixels, in bands that may be
   labelled at the same time and are joined after. */
#include "runs.h"

#include "dark_rows.h"
#include "label_groups.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

namespace mvcore {

namespace {

constexpr uint64_t kAllDark = 0x0101010101010101ULL;

inline uint64_t load64(const unsigned char *p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Joins the groups of labels a and b under the smaller representative.
inline void join(int *parent, int a, int b)
{
    const int ra = find_root(parent, a), rb = find_root(parent, b);
    if (ra < rb) parent[rb - 1] = ra;
    else if (rb < ra) parent[ra - 1] = rb;
}

}  // namespace

// The dark runs of every row of the band, each joined to the runs of the
// row above it that touch it (8-connected), with the statistics of its
// label. The band's first row is joined to the band above later.
void RunLabeling::label_band(Band &b)
{
    const int n = xsize - 2;   // working pixels 1 .. xsize - 2 of a row
    // The row's marks, padded with bright ones so that the scans below may
    // read a word past the end.
    ensure(b.marks, (size_t)n + 8);
    unsigned char *marks = b.marks.data();
    std::fill(marks + n, marks + n + 8, 0);
    b.labels = 0;
    b.top.clear();
    b.prev.clear();
    for (int j = b.j0; j < b.j1; j++) {
        mark_dark(frame_, frame_.pixel(step, j * step), n, step, limit_, marks);
        b.cur.clear();
        int i = 0;
        while (i < n) {
            // Whole words of bright marks, then of dark ones, at a time.
            while (i < n && load64(marks + i) == 0) i += 8;
            while (i < n && marks[i] == 0) i++;
            if (i >= n) break;
            const int s = i;
            while (i + 8 <= n && load64(marks + i) == kAllDark) i += 8;
            while (i < n && marks[i] != 0) i++;
            b.cur.push_back({s + 1, i, 0});   // working x from 1
        }
        // Join each run to the runs above that reach it: their ends within
        // one pixel of its span.
        size_t k = 0;
        for (Run &run : b.cur) {
            while (k < b.prev.size() && b.prev[k].e < run.s - 1) k++;
            int label = 0;
            for (size_t m = k; m < b.prev.size() && b.prev[m].s <= run.e + 1; m++) {
                if (label == 0) label = b.prev[m].label;
                else join(b.parent.data(), label, b.prev[m].label);
            }
            if (label == 0) {
                // A new label; its first pixel starts this run.
                label = ++b.labels;
                ensure(b.parent, label);
                ensure(b.stats, label);
                ensure(b.first_x, label);
                ensure(b.first_y, label);
                b.parent[label - 1] = label;
                b.stats[label - 1] = {0, 0, 0, run.s, run.e, j, j};
                b.first_x[label - 1] = run.s;
                b.first_y[label - 1] = j;
            }
            run.label = label;
            LabelStats &st = b.stats[label - 1];
            const long long len = run.e - run.s + 1;
            st.area += (int)len;
            st.sx += (long long)(run.s + run.e) * len / 2;
            st.sy += (long long)j * len;
            if (st.x0 > run.s) st.x0 = run.s;
            if (st.x1 < run.e) st.x1 = run.e;
            st.y1 = j;
        }
        if (j == b.j0) b.top = b.cur;
        std::swap(b.prev, b.cur);
    }
}

void RunLabeling::label_band_any(Band &b)
{
    try {
        label_band(b);
    } catch (const std::bad_alloc &) {
        failed_ = true;
    }
}

void RunLabeling::band_work(void *self, int b)
{
    RunLabeling *L = static_cast<RunLabeling *>(self);
    L->label_band_any(L->bands_[b]);
}

// One label space for all bands (band b's labels after band b - 1's), each
// band's first row joined to the last row of the band above, then the
// components numbered in raster order of their first pixels.
void RunLabeling::join_and_resolve()
{
    size_t total = 0;
    for (const Band &b : bands_) total += b.labels;
    ensure(parent_, total);
    ensure(stats_, total);
    ensure(first_x_, total);
    ensure(first_y_, total);
    int offset = 0;
    for (Band &b : bands_) {
        for (int l = 0; l < b.labels; l++) {
            parent_[offset + l] = b.parent[l] + offset;
            stats_[offset + l] = b.stats[l];
            first_x_[offset + l] = b.first_x[l];
            first_y_[offset + l] = b.first_y[l];
        }
        for (Run &r : b.top) r.label += offset;
        for (Run &r : b.prev) r.label += offset;
        offset += b.labels;
    }
    int *parent = parent_.data();
    for (size_t k = 1; k < bands_.size(); k++) {
        const std::vector<Run> &above = bands_[k - 1].prev, &below = bands_[k].top;
        // Only when the band above ends right over this one's first row.
        if (bands_[k - 1].j1 != bands_[k].j0) continue;
        size_t m = 0;
        for (const Run &run : below) {
            while (m < above.size() && above[m].e < run.s - 1) m++;
            for (size_t a = m; a < above.size() && above[a].s <= run.e + 1; a++) join(parent, run.label, above[a].label);
        }
    }
    // Roots are the smallest label of their group, and labels were made in
    // raster order of their first pixels: numbering in label order numbers
    // components by their first pixel, and always finds the root's number
    // already given.
    ensure(table_, total);
    int num = 0;
    for (size_t k = 1; k <= total; k++) {
        const int root = find_root(parent, (int)k);
        table_[k - 1] = root == (int)k ? ++num : table_[root - 1];
    }
    count = num;
    ensure(area, num);
    ensure(pos, (size_t)num * 2);
    ensure(clip, (size_t)num * 4);
    ensure(first, (size_t)num * 2);
    ensure(sums_, (size_t)num * 2);
    long long *sums = sums_.data();
    std::fill(sums, sums + (size_t)num * 2, 0LL);
    for (int c = 0; c < num; c++) {
        area[c] = 0;
        clip[c * 4 + 0] = xsize;
        clip[c * 4 + 1] = 0;
        clip[c * 4 + 2] = ysize;
        clip[c * 4 + 3] = 0;
    }
    for (size_t k = 0; k < total; k++) {
        const int c = table_[k] - 1;
        const LabelStats &st = stats_[k];
        if (find_root(parent, (int)k + 1) == (int)k + 1) {
            first[c * 2] = first_x_[k];
            first[c * 2 + 1] = first_y_[k];
        }
        area[c] += st.area;
        sums[c * 2] += st.sx;
        sums[c * 2 + 1] += st.sy;
        if (clip[c * 4 + 0] > st.x0) clip[c * 4 + 0] = st.x0;
        if (clip[c * 4 + 1] < st.x1) clip[c * 4 + 1] = st.x1;
        if (clip[c * 4 + 2] > st.y0) clip[c * 4 + 2] = st.y0;
        if (clip[c * 4 + 3] < st.y1) clip[c * 4 + 3] = st.y1;
    }
    for (int c = 0; c < num; c++) {
        pos[c * 2] = (double)sums[c * 2] / area[c];
        pos[c * 2 + 1] = (double)sums[c * 2 + 1] / area[c];
    }
}

MvError RunLabeling::run(const FrameView &frame, int thresh, int step_, int bands, BandRunner run_bands,
                         void *runner_context)
{
    step = step_ == 2 ? 2 : 1;
    xsize = frame.width / step;
    ysize = frame.height / step;
    count = 0;
    if (xsize <= 0 || ysize <= 0 || (long)xsize * ysize > MV_WORK_PIXELS_MAX) return MV_ERROR_ARGUMENT;
    frame_ = frame;
    limit_ = thresh * 3;
    failed_ = false;
    try {
        // Rows 1 .. ysize - 2 in `bands` bands of nearly equal height.
        const int rows = std::max(0, ysize - 2);
        bands = std::max(1, std::min(bands, std::max(1, rows / 16)));
        ensure(bands_, (size_t)bands);
        if (bands_.size() > (size_t)bands) bands_.resize(bands);
        for (int k = 0; k < bands; k++) {
            bands_[k].j0 = 1 + (int)((long)rows * k / bands);
            bands_[k].j1 = 1 + (int)((long)rows * (k + 1) / bands);
            // Room for a row's runs, so that the scan seldom grows it.
            bands_[k].cur.reserve(xsize / 2 + 1);
            bands_[k].prev.reserve(xsize / 2 + 1);
        }
        if (bands > 1 && run_bands != nullptr) run_bands(runner_context, bands, band_work, this);
        else
            for (int k = 0; k < bands; k++) label_band_any(bands_[k]);
        if (failed_) return MV_ERROR_MEMORY;
        join_and_resolve();
    } catch (const std::bad_alloc &) {
        count = 0;
        return MV_ERROR_MEMORY;
    }
    return MV_ERROR_NONE;
}

}  // namespace mvcore
