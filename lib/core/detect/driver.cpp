/* driver.cpp - one frame's detection from labelling to the history. */
#include "driver.h"

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
        else find_candidates(runs_, limits, &candidates_, report, context);

        for (const Candidate &c : candidates_.list) {
            if (limits_.markers > 0 && (int)markers_.size() == limits_.markers) break;
            MvMarkerInfo m;
            m.area = c.area;
            m.center[0] = c.center[0];
            m.center[1] = c.center[1];
            const int *x = candidates_.xs(c), *y = candidates_.ys(c);
            if (fit_edges(x, y, c.corners, distortion, edges_, m.edgeLines, m.vertices) < 0) continue;
            identifier.identify(frame, half, x, y, c.corners, &m.id, &m.direction, &m.confidence);
            markers_.push_back(m);
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
