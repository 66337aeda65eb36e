// driver.h - one frame's detection: labelling, square candidates, edge
// lines, identification of each candidate by the caller's identifier, and
// the frame-to-frame history. Both the tracker and the process-wide
// interface run frames through it. Internal to the core.
#ifndef MORVEX_DETECT_DRIVER_H
#define MORVEX_DETECT_DRIVER_H

#include "candidates.h"
#include "edges.h"
#include "history.h"
#include "labeling.h"
#include "runs.h"

#include <atomic>
#include <cstddef>
#include <vector>

namespace mvcore {

// Identifies one square candidate (outline x, y in observed frame pixels,
// corners[0..3] its corners' outline indices). Detection knows nothing of
// patterns: whoever runs it says how a candidate is named. With workers,
// called from several threads at once.
class Identifier {
public:
    virtual void identify(const FrameView &frame, bool half, const int *x, const int *y,
                          const int corners[4], int *id, int *direction, double *confidence) = 0;

protected:
    ~Identifier() = default;
};

// Capacities (0 for no limit) and the labelling.
struct DetectorLimits {
    int candidates = 0;   // square candidates per frame
    int markers = 0;      // the marker table, re-added markers included
    int history = 0;      // identified markers remembered
    int outline = 0;      // outline points per candidate
    // Label image (the process-wide interface hands it out) or runs (no
    // image; faster, and splits into bands for worker threads).
    bool label_image = false;
};

// Runs work(context, b) for b = 0 .. count - 1, possibly at the same time on
// several threads, and returns when all have run.
struct Workers {
    int count = 1;
    void (*run)(void *self, int count, void (*work)(void *, int), void *context) = nullptr;
    void *self = nullptr;
};

// The largest border area (frame pixels) detection keeps: 100000 for
// working images up to 320000 pixels, proportionally more beyond.
int detection_area_max(long working_pixels);

class Detector {
public:
    explicit Detector(const DetectorLimits &limits);

    // Detects the markers of `frame` at threshold `thresh` (full or `half`
    // resolution), edge lines in ideal pixels through `distortion`. With
    // `use_history` the history steadies identities and re-adds missing
    // markers; without, it is neither read nor changed and weak identities
    // are dropped. `debug` (may be null) receives the threshold picture;
    // `report` (may be null) each outline that cannot be traced.
    // MV_ERROR_NONE; MV_ERROR_ARGUMENT or MV_ERROR_MEMORY when labelling
    // fails or storage cannot grow (no markers, history unchanged).
    MvError detect(const FrameView &frame, int thresh, bool half, const double distortion[4],
                   bool use_history, Identifier &identifier, unsigned char *debug = nullptr,
                   TraceReport report = nullptr, void *context = nullptr);

    // With run labelling, bands of the frame labelled, and candidates
    // fitted and named, by these workers.
    void set_workers(const Workers &workers) { workers_ = workers; }

    Labeling &labeling() { return labeling_; }
    const CandidateSet &candidates() const { return candidates_; }
    std::vector<MvMarkerInfo> &markers() { return markers_; }
    void reset_history() { history_.reset(); }

private:
    struct Fitted {
        bool ok;   // lines fitted; marker holds the candidate's marker
        MvMarkerInfo marker;
    };
    struct Fitting {
        Detector *detector;
        const FrameView *frame;
        bool half;
        const double *distortion;
        Identifier *identifier;
        int shares;
        std::atomic<bool> failed;   // some share could not grow its scratch
    };
    static void fit_share(void *context, int share);

    DetectorLimits limits_;
    Workers workers_;
    Labeling labeling_;
    RunLabeling runs_;
    CandidateSet candidates_;
    std::vector<EdgeScratch> scratch_;   // one per share of the candidates
    TraceSplit tracing_;                 // outlines traced by the workers
    std::vector<Fitted> fitted_;
    std::vector<MvMarkerInfo> markers_;
    History history_;
};

}  // namespace mvcore

#endif
