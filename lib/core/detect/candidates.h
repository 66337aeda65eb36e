// candidates.h - square candidates: the outline of each dark component of
// suitable size, split at its four corners, and those lying on a larger one
// dropped. Internal to the core.
#ifndef MORVEX_DETECT_CANDIDATES_H
#define MORVEX_DETECT_CANDIDATES_H

#include "labeling.h"
#include "runs.h"

#include <cstddef>
#include <vector>

namespace mvcore {

// One square candidate; its outline is points first .. first + count - 1 of
// the set's x and y arrays (closing point included, repeating the first).
struct Candidate {
    int area;            // pixel count (frame pixels)
    double center[2];    // centroid, frame pixels
    int first, count;
    int corners[5];      // outline indices of the corners: [0] = 0, [4] = count - 1
};

struct CandidateSet {
    std::vector<Candidate> list;
    std::vector<int> x, y;   // every candidate's outline, one after another

    const int *xs(const Candidate &c) const { return x.data() + c.first; }
    const int *ys(const Candidate &c) const { return y.data() + c.first; }
};

// Why an outline could not be traced; the process-wide interface prints
// "??? N" with these numbers.
enum TraceFault {
    kTraceNoStart = 1,   // the box's top row holds no pixel of the component
    kTraceDeadEnd = 2,   // a single pixel: the walk has nowhere to go
    kTraceTooLong = 3,   // more points than the limit
};

struct CandidateLimits {
    int area_min, area_max;   // frame pixels
    double factor;            // scales the corner threshold
    int max_candidates;       // stop after this many; 0: no limit
    int max_outline;          // outline points before closing + 1; 0: no limit
};

// Traces the outer outline of component `label` (1-based), whose box is
// clip (min x, max x, min y, max y), clockwise from its farthest point from
// the first point found and closed by a copy of its first point, appending
// the points to x and y (working-image coordinates). 0, or a TraceFault
// (x and y then hold a partial outline past their old size).
int trace_outline(const LabelingView &L, int label, const int clip[4], int max_outline,
                  std::vector<int> &x, std::vector<int> &y);

// Finds the outline's four corners (recursive split at the point farthest
// from each chord); true with corners[0..4] filled when there are exactly
// four.
bool find_corners(int area, const int *x, const int *y, int count, double factor,
                  int corners[5]);

// Corner search on the outline between indices from and to; corners must
// have room for 6 entries. 0, or -1 when a half holds too many corners.
int get_vertex(const int *x, const int *y, int from, int to, double thresh, int *corners,
               int *cornerCount);

// Called for each outline that cannot be traced, in the order met.
typedef void (*TraceReport)(void *context, int fault);

// The square candidates of a labelling, in frame coordinates (working
// coordinates doubled in half resolution). Components whose area lies
// outside the limits or whose box touches the scanned border are passed
// over; a candidate lying on a larger one (a dark square inside a marker's
// picture) is dropped. `report` may be null. Throws std::bad_alloc when
// storage cannot grow. Both labellings give the same candidates.
void find_candidates(const LabelingView &L, const CandidateLimits &limits, CandidateSet *out,
                     TraceReport report, void *context);
// Outlines traced on several threads: run(self, shares, work, context)
// runs work(context, s) for s = 0 .. shares - 1 and returns when all are
// done. The rest is storage kept from frame to frame.
struct TraceSplit {
    int shares = 1;
    RunLabeling::BandRunner run = nullptr;
    void *self = nullptr;
    std::vector<int> picked, outcome;
    std::vector<CandidateSet> sets;
};

void find_candidates(const RunLabeling &L, const CandidateLimits &limits, CandidateSet *out,
                     TraceReport report, void *context, TraceSplit *split = nullptr);

}  // namespace mvcore

#endif
