/* guard.cpp - naming a picture marker only when chance is unlikely. */
#include "guard.h"

#include "../detect/sample.h"

#include <algorithm>
#include <cmath>

namespace mvcore {

namespace {

// The points of a 16 x 16 grid 1 or 2 in from its edge.
struct BorderRing {
    unsigned char in[16 * 16];
    constexpr BorderRing() : in{}
    {
        for (int r = 0; r < 16; r++)
            for (int c = 0; c < 16; c++) {
                const int depth = std::min(std::min(r, c), std::min(15 - r, 15 - c));
                in[r * 16 + c] = depth == 1 || depth == 2;
            }
    }
};
constexpr BorderRing kBorderRing;

double distance(double r) { return std::sqrt(std::fmax(0.0, 2.0 - 2.0 * r)); }

}  // namespace

bool guard_scores(const unsigned char *sample, double border, const GuardList &list, GuardScores *s)
{
    *s = GuardScores();
    if (border >= 0.0) {
        double mean = 0.0, sq = 0.0, lightest = 0.0;
        for (int i = 0; i < kValues; i++) {
            mean += sample[i];
            lightest = std::fmax(lightest, sample[i]);
        }
        mean /= kValues;
        for (int i = 0; i < kValues; i++) sq += (sample[i] - mean) * (sample[i] - mean);
        s->contrast = std::sqrt(sq / kValues) / std::fmax(1.0, lightest - border);
    }
    // The sample as darkness, zero-mean and of unit length, like the
    // templates.
    const int n = list.grey ? kCells : kValues;
    double v[kValues], mean = 0.0;
    for (int i = 0; i < n; i++) {
        v[i] = list.grey ? 255.0 - (sample[i * 3] + sample[i * 3 + 1] + sample[i * 3 + 2]) / 3.0 : 255.0 - sample[i];
        mean += v[i];
    }
    mean /= n;
    double sq = 0.0;
    for (int i = 0; i < n; i++) sq += (v[i] - mean) * (v[i] - mean);
    if (!(sq > 0.0)) return false;
    const double inv = 1.0 / std::sqrt(sq);
    float x[kValues];
    for (int i = 0; i < n; i++) x[i] = (float)((v[i] - mean) * inv);

    // Per level, the two best entries (each at its best turn), the
    // entries taken in order.
    int e1[kGuardLevels], e2[kGuardLevels], d1[kGuardLevels];
    double c1[kGuardLevels], c2[kGuardLevels];
    for (int l = 0; l < kGuardLevels; l++) e1[l] = e2[l] = d1[l] = -1, c1[l] = c2[l] = -2.0;
    for (int e = 0; e < list.count; e++) {
        const PatternProfile &p = *list.entries[e].profile;
        float c[kGuardLevels][kBlocks];
        if (list.grey) dot_levels(x, p.grey, c);
        else dot_levels(x, p.colour, c);
        for (int l = 0; l < kGuardLevels; l++) {
            double best = -2.0;
            int turn = -1;
            for (int b = 0; b < kBlocks; b++)
                if (c[l][b] > best) best = c[l][b], turn = b;
            if (best > c1[l]) {
                e2[l] = e1[l], c2[l] = c1[l];
                e1[l] = e, c1[l] = best, d1[l] = turn;
            } else if (best > c2[l]) {
                e2[l] = e, c2[l] = best;
            }
        }
    }
    double level_best = -2.0;
    for (int l = 0; l < kGuardLevels; l++)
        if (e1[l] >= 0 && c1[l] > level_best) {
            level_best = c1[l];
            s->level = l;
            s->best = c1[l] > 0.0 ? e1[l] : -1;
            s->direction = c1[l] > 0.0 ? d1[l] : -1;
            s->confidence = c1[l] > 0.0 ? c1[l] : 0.0;
            s->second = e2[l];
            s->second_confidence = e2[l] >= 0 ? c2[l] : -1.0;
        }
    return true;
}

int guard_decide(const GuardList &list, const GuardScores &s)
{
    if (s.best < 0) return -1;
    const GuardEntry &e = list.entries[s.best];
    const double floor = e.min_confidence >= 0.0 ? e.min_confidence
                                                 : e.profile->chance[list.grey ? kGuardGrey : kGuardColour][s.level];
    if (s.confidence < floor) return -1;
    if (s.contrast >= 0.0 && s.contrast < kGuardContrast * e.profile->contrast[s.level]) return -1;
    if (s.second >= 0) {
        if (distance(s.confidence) > kGuardRatio[s.level] * distance(s.second_confidence)) return -1;
        const int a = e.id, b = list.entries[s.second].id;
        for (int k = 0; k < list.turned_count; k++) {
            const std::pair<int, int> &t = list.turned[k];
            if ((t.first == a && t.second == b) || (t.first == b && t.second == a)) return -1;
        }
    }
    return e.id;
}

bool guard_identify(const FrameView &frame, const double distortion[4], const GuardList &list, MvMarkerInfo *marker)
{
    unsigned char sample[kSampleBytes];
    if (!sample_corners(frame, distortion, marker->vertices, sample)) return false;
    // The border's grey level: points in the middle of its width (a ring
    // of a 16 x 16 grid over the square, 1 and 2 points in from the edge).
    constexpr int n = 16;
    float grid[n * n];
    double border = -1.0;
    if (sample_grid(frame, distortion, marker->vertices, n, grid, kBorderRing.in)) {
        double sum = 0.0;
        int count = 0;
        for (int i = 0; i < n * n; i++)
            if (kBorderRing.in[i]) sum += grid[i], count++;
        border = sum / count;
    }
    GuardScores s;
    if (!guard_scores(sample, border, list, &s)) {
        marker->id = -1;
        marker->direction = -1;
        marker->confidence = 0.0;
        return true;
    }
    marker->id = guard_decide(list, s);
    marker->direction = s.direction;
    marker->confidence = s.confidence;
    return true;
}

}  // namespace mvcore
