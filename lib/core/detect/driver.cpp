/* driver.cpp - one frame's detection from labelling to the history. */
#include "driver.h"

#include <algorithm>
#include <new>

namespace mvcore {

namespace {

const int kAreaMax = 100000;       // for working images up to 320000 pixels
const int kAreaMin = 70;
const double kCornerFactor = 1.0;

}  // namespace

int detection_area_max(long working_pixels)
{
    // A larger working image than the 320000 pixels this was chosen for
    // shows markers proportionally larger.
    if (working_pixels <= 320000) return kAreaMax;
    return (int)((double)kAreaMax * working_pixels / 320000);
}

Detector::Detector(const DetectorLimits &limits) : limits_(limits), history_(limits.history)
{
    // A capped table never moves: the process-wide interface hands out
    // pointers into it.
    if (limits.markers > 0) markers_.reserve(limits.markers);
}

void Detector::fit_share(void *context, int share)
{
    Fitting &job = *static_cast<Fitting *>(context);
    Detector &d = *job.detector;
    EdgeScratch &scratch = d.scratch_[share];
    const int n = (int)d.candidates_.list.size();
    // Alone, the work stops where the table will be full.
    const int cap = job.shares == 1 ? d.limits_.markers : 0;
    int fitted = 0;
    for (int k = share; k < n; k += job.shares) {
        Fitted &f = d.fitted_[k];
        f.ok = false;
        if (cap > 0 && fitted == cap) continue;
        const Candidate &c = d.candidates_.list[k];
        MvMarkerInfo &m = f.marker;
        m.area = c.area;
        m.center[0] = c.center[0];
        m.center[1] = c.center[1];
        const int *x = d.candidates_.xs(c), *y = d.candidates_.ys(c);
        try {
            if (fit_edges(x, y, c.corners, job.distortion, scratch, m.edgeLines, m.vertices) < 0) continue;
        } catch (const std::bad_alloc &) {
            job.failed = true;   // reported by detect() once all shares are done
            return;
        }
        job.identifier->identify(*job.frame, job.half, x, y, c.corners, &m.id, &m.direction, &m.confidence);
        f.ok = true;
        fitted++;
    }
}

MvError Detector::detect(const FrameView &frame, int thresh, bool half, const double distortion[4],
                         bool use_history, Identifier &identifier, unsigned char *debug,
                         TraceReport report, void *context)
{
    markers_.clear();
    candidates_.list.clear();
    const int step = half ? 2 : 1;
    const MvError labelled = limits_.label_image
                                 ? labeling_.run(frame, thresh, step, debug)
                                 : runs_.run(frame, thresh, step, workers_.count, workers_.run, workers_.self);
    if (labelled != MV_ERROR_NONE) return labelled;
    try {
        CandidateLimits limits;
        limits.area_min = kAreaMin;
        limits.area_max = detection_area_max((long)(frame.width / step) * (frame.height / step));
        limits.factor = kCornerFactor;
        limits.max_candidates = limits_.candidates;
        limits.max_outline = limits_.outline;
        if (limits_.label_image) find_candidates(labeling_.view(), limits, &candidates_, report, context);
        else {
            tracing_.shares = workers_.run != nullptr ? workers_.count : 1;
            tracing_.run = workers_.run;
            tracing_.self = workers_.self;
            find_candidates(runs_, limits, &candidates_, report, context, &tracing_);
        }

        // Each candidate's lines and name, by the workers in interleaved
        // shares (item k takes candidates k, k + shares, ...), then the
        // markers in candidate order: the same table whatever the number of
        // workers.
        const int n = (int)candidates_.list.size();
        const int shares = workers_.run != nullptr && n > 1 ? std::min(workers_.count, n) : 1;
        fitted_.resize(n);
        if ((int)scratch_.size() < shares) scratch_.resize(shares);
        Fitting job = {this, &frame, half, distortion, &identifier, shares, {false}};
        if (shares > 1) workers_.run(workers_.self, shares, fit_share, &job);
        else fit_share(&job, 0);
        if (job.failed) throw std::bad_alloc();
        for (int k = 0; k < n; k++) {
            if (limits_.markers > 0 && (int)markers_.size() == limits_.markers) break;
            if (fitted_[k].ok) markers_.push_back(fitted_[k].marker);
        }
        if (use_history)
            history_.apply(markers_, (size_t)limits_.markers);
        else
            drop_weak_identities(markers_.data(), (int)markers_.size());
    } catch (const std::bad_alloc &) {
        markers_.clear();
        candidates_.list.clear();
        return MV_ERROR_MEMORY;
    }
    return MV_ERROR_NONE;
}

}  // namespace mvcore
