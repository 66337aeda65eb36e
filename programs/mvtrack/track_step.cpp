#include "track_step.h"

#include <chrono>
#include <cmath>
#include <cstring>

namespace mvtrack {

int trackStep(const unsigned char *image, const TrackSettings &settings, MvAutoThresh *at,
              const std::vector<PatternTrack *> &patterns, std::vector<TrackedMarker> *found,
              StepTimes *times)
{
    static const double center[2] = {0.0, 0.0};
    using clock = std::chrono::steady_clock;
    auto t0 = clock::now();
    MvMarkerInfo *list = nullptr;
    int n = 0;
    const int thresh = settings.thresh >= 0 ? settings.thresh : at->thresh;
    const int r = settings.lite ? mvDetectMarkerLite(image, thresh, &list, &n)
                                : mvDetectMarker(image, thresh, &list, &n);
    if (r < 0) n = 0;
    for (int k = 0; settings.refine && k < n; k++) {
        // An identity that the history lent, or a stronger one of the
        // detector's own, is kept; the refined one wins where it is surer.
        MvMarkerInfo m = list[k];
        if (mvRefineMarker(image, &m) != 0) continue;
        mvIdentifyMarker(image, &m);
        if (m.id < 0 || (list[k].id >= 0 && m.confidence < list[k].confidence)) {
            m.id = list[k].id;
            m.direction = list[k].direction;
            m.confidence = list[k].confidence;
        }
        list[k] = m;
    }
    if (settings.thresh < 0) mvAutoThreshUpdate(at, image, n > 0 ? list : nullptr, n);
    auto t1 = clock::now();

    found->assign(n, TrackedMarker());
    std::vector<bool> seen(patterns.size(), false);
    for (int k = 0; k < n; k++) {
        TrackedMarker &m = (*found)[k];
        m.info = list[k];
        for (size_t p = 0; p < patterns.size(); p++) {
            PatternTrack &pat = *patterns[p];
            if (pat.slot != m.info.id) continue;
            m.patternIndex = (int)p;
            seen[p] = true;
            m.error = mvGetTransMat(&m.info, center, pat.width, m.trans);
            if (settings.refine && m.error >= 0) {
                const double e = mvRefineTransMat(&m.info, center, pat.width,
                                                  pat.hasPrev ? pat.prev : nullptr, m.trans);
                if (e >= 0) m.error = e;
            }
            bool finite = m.error >= 0 && std::isfinite(m.error);
            for (int i = 0; i < 3; i++)
                for (int j = 0; j < 4; j++) finite = finite && std::isfinite(m.trans[i][j]);
            m.hasPose = finite;
            pat.hasPrev = finite && settings.refine;
            if (pat.hasPrev) std::memcpy(pat.prev, m.trans, sizeof pat.prev);
            break;
        }
    }
    for (size_t p = 0; p < patterns.size(); p++)
        if (!seen[p]) patterns[p]->hasPrev = false;
    if (times) {
        times->detect_s += std::chrono::duration<double>(t1 - t0).count();
        times->pose_s += std::chrono::duration<double>(clock::now() - t1).count();
    }
    return r;
}

}  // namespace mvtrack
