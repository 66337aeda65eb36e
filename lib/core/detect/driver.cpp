/* driver.cpp - the detection entry points and the frame-to-frame history
   that steadies marker identities. */
#include "morvex/camera.h"
#include "morvex/detect.h"
#include "detect_internal.h"
#include "detect_state.h"

namespace {

// The most recent detection: its candidate table (owned by mvDetectMarker2),
// how many candidates it found, and its markers and their count (which the
// history may raise above the candidate count).
MvMarkerCandidate *marker_info2 = nullptr;
int marker_candidate_num = 0;
int wmarker_num = 0;

struct MvHistoryEntry {
    MvMarkerInfo marker;
    int age;   // 1 in the frame it was stored, +1 per later frame
};

MvHistoryEntry prev_info[MV_SQUARE_MAX];
int prev_num = 0;
MvMarkerInfo *wmarker_info = nullptr;

const int kAreaMax = 100000;       // for working images up to 320000 pixels
const int kAreaMin = 70;
const double kCornerFactor = 1.0;
const double kIdentityMin = 0.5;
const int kHistoryLife = 3;

// Does current marker b look like the earlier marker a (similar size, centres
// closer than about 0.7 times the side)? *q receives the closeness measure.
bool corresponds(const MvMarkerInfo &a, const MvMarkerInfo &b, double *q)
{
    double ratio = (double)a.area / b.area;
    if (ratio < 0.7 || ratio > 1.43) return false;
    double dx = b.center[0] - a.center[0];
    double dy = b.center[1] - a.center[1];
    *q = (dx * dx + dy * dy) / b.area;
    return *q < 0.5;
}

// The largest border kept, frame pixels. A larger working image than the
// 320000 pixels this was chosen for shows markers proportionally larger.
int area_max()
{
    long work = (long)mvImXsize * mvImYsize;
    if (mvImageProcMode == 1) work = (long)(mvImXsize / 2) * (mvImYsize / 2);
    if (work <= 320000) return kAreaMax;
    return (int)((double)kAreaMax * work / 320000);
}

// Steps shared by both entry points: labelling, candidates, fitting and
// identification. Returns -1 when labelling fails.
int detect_frame(const unsigned char *image, int thresh)
{
    int labelCount = 0;
    marker_candidate_num = 0;
    int *area = nullptr, *clip = nullptr, *labelTable = nullptr;
    double *pos = nullptr;
    MvLabel *labels = mvLabeling(image, thresh, &labelCount, &area, &pos, &clip,
                                        &labelTable);
    if (labels == nullptr) return -1;
    marker_info2 = mvDetectMarker2(labels, labelCount, labelTable, area, pos, clip,
                                   area_max(), kAreaMin, kCornerFactor, &wmarker_num);
    marker_candidate_num = wmarker_num;
    wmarker_info = mvGetMarkerInfo(image, marker_info2, &wmarker_num);
    return 0;
}

void drop_weak_identities(MvMarkerInfo *markers, int num)
{
    for (int i = 0; i < num; i++)
        if (markers[i].confidence < kIdentityMin) markers[i].id = -1;
}

void carry_identities(MvMarkerInfo *markers, int num)
{
    for (int h = 0; h < prev_num; h++) {
        const MvMarkerInfo &old = prev_info[h].marker;
        int best = -1;
        double best_q = 0.0;
        for (int i = 0; i < num; i++) {
            double q;
            if (!corresponds(old, markers[i], &q)) continue;
            if (best < 0 || q < best_q) {
                best = i;
                best_q = q;
            }
        }
        if (best < 0) continue;
        MvMarkerInfo &m = markers[best];
        if (m.confidence >= old.confidence) continue;
        m.confidence = old.confidence;
        m.id = old.id;
        // Which rotation of the current corners lines up with the old ones
        // tells how far the marker's corner 0 moved along the outline.
        double dmin = 100000000.0;
        int kbest = -1;
        for (int k = 0; k < 4; k++) {
            double s = 0.0;
            for (int n = 0; n < 4; n++) {
                double dx = old.vertices[n][0] - m.vertices[(k + n) % 4][0];
                double dy = old.vertices[n][1] - m.vertices[(k + n) % 4][1];
                s += dx * dx + dy * dy;
            }
            if (s < dmin) {
                dmin = s;
                kbest = k;
            }
        }
        m.direction = kbest < 0 ? -1 : (old.direction - kbest + 4) % 4;
    }
}

void age_history()
{
    int kept = 0;
    for (int h = 0; h < prev_num; h++) {
        prev_info[h].age++;
        if (prev_info[h].age > kHistoryLife) continue;
        if (kept != h) prev_info[kept] = prev_info[h];
        kept++;
    }
    prev_num = kept;
}

void store_identified(const MvMarkerInfo *markers, int num)
{
    for (int i = 0; i < num; i++) {
        if (markers[i].id < 0) continue;
        int h;
        for (h = 0; h < prev_num; h++)
            if (prev_info[h].marker.id == markers[i].id) break;
        if (h == prev_num) {
            // A full history keeps what it has.
            if (prev_num == MV_SQUARE_MAX) continue;
            prev_num++;
        }
        prev_info[h].marker = markers[i];
        prev_info[h].age = 1;
    }
}

void readd_missing(MvMarkerInfo *markers, int *num)
{
    for (int h = 0; h < prev_num; h++) {
        bool seen = false;
        for (int i = 0; i < *num && !seen; i++) {
            double q;
            seen = corresponds(prev_info[h].marker, markers[i], &q);
        }
        // The marker table has no room beyond MV_SQUARE_MAX records.
        if (seen || *num == MV_SQUARE_MAX) continue;
        markers[(*num)++] = prev_info[h].marker;
    }
}

}  // namespace

const MvMarkerCandidate *mvcore::last_candidates(int *count)
{
    *count = marker_candidate_num < MV_SQUARE_MAX ? marker_candidate_num : MV_SQUARE_MAX;
    if (marker_info2 == nullptr) *count = 0;
    return marker_info2;
}

void mvcore::apply_history(MvMarkerInfo *markers, int *count)
{
    carry_identities(markers, *count);
    drop_weak_identities(markers, *count);
    age_history();
    store_identified(markers, *count);
    readd_missing(markers, count);
}

void mvcore::reset_history()
{
    prev_num = 0;
}

extern "C" int mvDetectMarker(const unsigned char *image, int thresh,
                              MvMarkerInfo **markerInfo, int *markerNum)
{
    *markerNum = 0;
    if (detect_frame(image, thresh) < 0) return -1;
    mvcore::apply_history(wmarker_info, &wmarker_num);
    *markerNum = wmarker_num;
    *markerInfo = wmarker_info;
    return 0;
}

extern "C" int mvDetectMarkerLite(const unsigned char *image, int thresh,
                                  MvMarkerInfo **markerInfo, int *markerNum)
{
    *markerNum = 0;
    if (detect_frame(image, thresh) < 0) return -1;
    drop_weak_identities(wmarker_info, wmarker_num);
    *markerNum = wmarker_num;
    *markerInfo = wmarker_info;
    return 0;
}
