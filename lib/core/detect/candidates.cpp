/* candidates.cpp - square candidates: outline tracing, corner search,
   overlap removal. */
#include "candidates.h"

#include <algorithm>
#include <atomic>
#include <new>

namespace mvcore {

namespace {

// Neighbour steps, clockwise on screen starting upwards.
const int xdir[8] = {0, 1, 1, 1, 0, -1, -1, -1};
const int ydir[8] = {-1, -1, 0, 1, 1, 1, 0, -1};

// Most intermediate corners one half of an outline may hold.
const int kVertexMax = 6;

}  // namespace

// Splits the outline between from and to at the point farthest from the
// chord while it stands off by more than sqrt(thresh); appends the corners
// in outline order.
int get_vertex(const int *x, const int *y, int from, int to, double thresh, int *corners,
               int *cornerCount)
{
    int a = y[to] - y[from];
    int b = x[from] - x[to];
    int c = x[to] * y[from] - y[to] * x[from];
    // Coinciding end points define no chord: no corner between them.
    if (a == 0 && b == 0) return 0;
    double dmax = 0.0;
    int v = 0;
    for (int i = from + 1; i < to; i++) {
        double d = (double)(a * x[i] + b * y[i] + c);
        d *= d;
        if (d > dmax) {
            dmax = d;
            v = i;
        }
    }
    if (dmax / ((double)a * a + (double)b * b) > thresh) {
        if (get_vertex(x, y, from, v, thresh, corners, cornerCount) < 0) return -1;
        if (*cornerCount > kVertexMax - 1) return -1;
        corners[*cornerCount] = v;
        (*cornerCount)++;
        if (get_vertex(x, y, v, to, thresh, corners, cornerCount) < 0) return -1;
    }
    return 0;
}

bool find_corners(int area, const int *x, const int *y, int count, double factor, int corners[5])
{
    int dmax = 0, far = 0;
    for (int i = 1; i < count - 1; i++) {
        int dx = x[i] - x[0], dy = y[i] - y[0];
        int d = dx * dx + dy * dy;
        if (d > dmax) {
            dmax = d;
            far = i;
        }
    }
    const double thresh = area / 0.75 * 0.01 * factor;

    int va[kVertexMax], vb[kVertexMax];
    int na = 0, nb = 0;
    if (get_vertex(x, y, 0, far, thresh, va, &na) < 0) return false;
    if (get_vertex(x, y, far, count - 1, thresh, vb, &nb) < 0) return false;

    int *ci = corners;
    if (na == 1 && nb == 1) {
        ci[0] = 0; ci[1] = va[0]; ci[2] = far; ci[3] = vb[0];
    } else if (na > 1 && nb == 0) {
        int mid = far / 2;
        na = nb = 0;
        if (get_vertex(x, y, 0, mid, thresh, va, &na) < 0) return false;
        if (get_vertex(x, y, mid, far, thresh, vb, &nb) < 0) return false;
        if (na != 1 || nb != 1) return false;
        ci[0] = 0; ci[1] = va[0]; ci[2] = vb[0]; ci[3] = far;
    } else if (na == 0 && nb > 1) {
        int mid = (far + count - 1) / 2;
        na = nb = 0;
        if (get_vertex(x, y, far, mid, thresh, va, &na) < 0) return false;
        if (get_vertex(x, y, mid, count - 1, thresh, vb, &nb) < 0) return false;
        if (na != 1 || nb != 1) return false;
        ci[0] = 0; ci[1] = far; ci[2] = va[0]; ci[3] = vb[0];
    } else {
        return false;
    }
    ci[4] = count - 1;
    return true;
}


int trace_outline(const LabelingView &L, int label, const int clip[4], int max_outline,
                  std::vector<int> &xs, std::vector<int> &ys);

namespace {

// Darkness as the label image records it.
struct LabelDark {
    const MvLabel *image;
    int xsize;
    bool operator()(int x, int y) const { return image[(long)y * xsize + x] > 0; }
};

// Darkness as the frame shows it (run labelling keeps no label image).
struct FrameDark {
    const RunLabeling &L;
    bool operator()(int x, int y) const { return L.dark(x, y); }
};

// The outline from its first pixel (sx, sy), the topmost-leftmost of its
// component: see trace_outline.
template <class Dark>
int trace_from(const Dark &dark, int sx, int sy, int max_outline, std::vector<int> &xs, std::vector<int> &ys)
{
    const size_t base = xs.size();
    xs.push_back(sx);
    ys.push_back(sy);
    int count = 1;
    int d = 5;
    for (;;) {
        // Resume three steps counter-clockwise from the last move, so the
        // walk hugs the outside of the component.
        d = (d + 5) % 8;
        const int px = xs[base + count - 1], py = ys[base + count - 1];
        int k;
        for (k = 0; k < 8; k++)
            if (dark(px + xdir[(d + k) & 7], py + ydir[(d + k) & 7])) break;
        if (k == 8) return kTraceDeadEnd;
        d = (d + k) % 8;
        const int nx = px + xdir[d], ny = py + ydir[d];
        if (nx == sx && ny == sy) break;
        xs.push_back(nx);
        ys.push_back(ny);
        count++;
        if (max_outline > 0 && count == max_outline - 1) return kTraceTooLong;
    }

    // Start at the point farthest from the first one found.
    int dmax = 0, far = 0;
    for (int i = 1; i < count; i++) {
        int dx = xs[base + i] - xs[base], dy = ys[base + i] - ys[base];
        int dd = dx * dx + dy * dy;
        if (dd > dmax) {
            dmax = dd;
            far = i;
        }
    }
    std::rotate(xs.begin() + base, xs.begin() + base + far, xs.begin() + base + count);
    std::rotate(ys.begin() + base, ys.begin() + base + far, ys.begin() + base + count);
    xs.push_back(xs[base]);
    ys.push_back(ys[base]);
    return 0;
}

// A labelling's components as candidate extraction reads them.
struct ViewComponents {
    const LabelingView &L;
    int count() const { return L.count; }
    int area(int i) const { return L.area[i]; }
    const int *clip(int i) const { return &L.clip[i * 4]; }
    const double *pos(int i) const { return &L.pos[i * 2]; }
    int trace(int i, int max_outline, std::vector<int> &x, std::vector<int> &y) const
    {
        return trace_outline(L, i + 1, clip(i), max_outline, x, y);
    }
};

struct RunComponents {
    const RunLabeling &L;
    int count() const { return L.count; }
    int area(int i) const { return L.area[i]; }
    const int *clip(int i) const { return &L.clip[i * 4]; }
    const double *pos(int i) const { return &L.pos[i * 2]; }
    int trace(int i, int max_outline, std::vector<int> &x, std::vector<int> &y) const
    {
        return trace_from(FrameDark{L}, L.first[i * 2], L.first[i * 2 + 1], max_outline, x, y);
    }
};

// Traces component i and appends it to `out` when it is a square: 0, a
// TraceFault, or -1 when its outline has no four corners (nothing kept).
template <class Components>
int trace_one(const Components &C, int i, const CandidateLimits &limits, CandidateSet *out)
{
    const size_t base = out->x.size();
    const int fault = C.trace(i, limits.max_outline, out->x, out->y);
    Candidate c;
    c.first = (int)base;
    c.count = (int)(out->x.size() - base);
    if (fault != 0 || !find_corners(C.area(i), out->xs(c), out->ys(c), c.count, limits.factor, c.corners)) {
        out->x.resize(base);
        out->y.resize(base);
        return fault != 0 ? fault : -1;
    }
    c.area = C.area(i);
    c.center[0] = C.pos(i)[0];
    c.center[1] = C.pos(i)[1];
    out->list.push_back(c);
    return 0;
}

const int kNoSquare = -1000;   // an outcome: traced, but no four corners

template <class Components>
struct Tracing {
    const Components *C;
    const CandidateLimits *limits;
    TraceSplit *split;
    std::atomic<bool> failed;
};

// Share s traces picked components s, s + shares, ... into its own set;
// outcome[k] is the candidate's index there, -fault, or kNoSquare.
template <class Components>
void trace_share(void *context, int share)
{
    Tracing<Components> &job = *static_cast<Tracing<Components> *>(context);
    TraceSplit &split = *job.split;
    CandidateSet &set = split.sets[share];
    set.list.clear();
    set.x.clear();
    set.y.clear();
    try {
        for (size_t k = share; k < split.picked.size(); k += split.shares) {
            const int fault = trace_one(*job.C, split.picked[k], *job.limits, &set);
            split.outcome[k] = fault == 0 ? (int)set.list.size() - 1 : fault > 0 ? -fault : kNoSquare;
        }
    } catch (const std::bad_alloc &) {
        job.failed = true;   // thrown again on the calling thread
    }
}

template <class Components>
void find_with(const Components &C, int xsize, int ysize, bool half, const CandidateLimits &limits,
               CandidateSet *out, TraceReport report, void *context, TraceSplit *split)
{
    int area_min = limits.area_min, area_max = limits.area_max;
    if (half) {
        area_min /= 4;
        area_max /= 4;
    }
    std::vector<Candidate> &list = out->list;
    list.clear();
    out->x.clear();
    out->y.clear();

    const auto fits = [&](int i) {
        const int area = C.area(i);
        if (area < area_min || area > area_max) return false;
        const int *box = C.clip(i);
        return !(box[0] == 1 || box[1] == xsize - 2 || box[2] == 1 || box[3] == ysize - 2);
    };
    if (split != nullptr && split->shares > 1) {
        // Outlines traced by the workers, then taken in component order:
        // the same candidates, faults and cap as one thread gives.
        std::vector<int> &picked = split->picked;
        picked.clear();
        for (int i = 0; i < C.count(); i++)
            if (fits(i)) picked.push_back(i);
        if (split->sets.size() < (size_t)split->shares) split->sets.resize(split->shares);
        split->outcome.resize(picked.size());
        Tracing<Components> job = {&C, &limits, split, {false}};
        split->run(split->self, split->shares, trace_share<Components>, &job);
        if (job.failed) throw std::bad_alloc();
        for (size_t k = 0; k < picked.size(); k++) {
            const int o = split->outcome[k];
            if (o == kNoSquare) continue;
            if (o < 0) {
                if (report) report(context, -o);
                continue;
            }
            const CandidateSet &from = split->sets[k % split->shares];
            Candidate c = from.list[o];
            c.first = (int)out->x.size();
            out->x.insert(out->x.end(), from.xs(from.list[o]), from.xs(from.list[o]) + c.count);
            out->y.insert(out->y.end(), from.ys(from.list[o]), from.ys(from.list[o]) + c.count);
            list.push_back(c);
            if ((int)list.size() == limits.max_candidates) break;
        }
    } else {
        for (int i = 0; i < C.count(); i++) {
            if (!fits(i)) continue;
            const int fault = trace_one(C, i, limits, out);
            if (fault > 0 && report) report(context, fault);
            if (fault == 0 && (int)list.size() == limits.max_candidates) break;
        }
    }

    // A square lying on a larger one (a dark square inside a marker's
    // picture, say) goes. Integer division by 4 and the strict comparison
    // decide the borderline cases; on equal areas the earlier one goes.
    const int n = (int)list.size();
    for (int i = 0; i < n; i++) {
        for (int j = i + 1; j < n; j++) {
            const double dx = list[i].center[0] - list[j].center[0];
            const double dy = list[i].center[1] - list[j].center[1];
            const double d2 = dx * dx + dy * dy;
            if (list[i].area > list[j].area) {
                if (d2 < list[i].area / 4) list[j].area = 0;
            } else {
                if (d2 < list[j].area / 4) list[i].area = 0;
            }
        }
    }
    list.erase(std::remove_if(list.begin(), list.end(), [](const Candidate &c) { return c.area == 0; }),
               list.end());

    if (half) {
        for (Candidate &c : list) {
            c.area *= 4;
            c.center[0] *= 2;
            c.center[1] *= 2;
        }
        for (size_t k = 0; k < out->x.size(); k++) {
            out->x[k] *= 2;
            out->y[k] *= 2;
        }
    }
}

}  // namespace

int trace_outline(const LabelingView &L, int label, const int clip[4], int max_outline,
                  std::vector<int> &xs, std::vector<int> &ys)
{
    const MvLabel *row = L.image + (long)clip[2] * L.xsize;
    for (int i = clip[0]; i <= clip[1]; i++)
        if (row[i] > 0 && L.table[row[i] - 1] == label)
            return trace_from(LabelDark{L.image, L.xsize}, i, clip[2], max_outline, xs, ys);
    return kTraceNoStart;
}

void find_candidates(const LabelingView &L, const CandidateLimits &limits, CandidateSet *out,
                     TraceReport report, void *context)
{
    find_with(ViewComponents{L}, L.xsize, L.ysize, L.step == 2, limits, out, report, context, nullptr);
}

void find_candidates(const RunLabeling &L, const CandidateLimits &limits, CandidateSet *out,
                     TraceReport report, void *context, TraceSplit *split)
{
    find_with(RunComponents{L}, L.xsize, L.ysize, L.step == 2, limits, out, report, context, split);
}

}  // namespace mvcore
