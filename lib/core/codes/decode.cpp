// Thresholds a marker's cells from its own dark frame and light cells and
// looks the data bits up in the family's index.
#include "decode.h"

#include "code_index.h"

#include <algorithm>
#include <cmath>

namespace mvcore {
namespace {

constexpr int kMaxGrid = 16;

bool onFrame(int grid, int cell) {
    const int r = cell / grid, c = cell % grid;
    return r == 0 || c == 0 || r == grid - 1 || c == grid - 1;
}

// Dark and light levels and the threshold between them; false when the
// cells hold no two levels (or a level is not finite).
bool levels(int grid, const float *cells, float *dark, float *light, float *threshold) {
    const int n = grid * grid;
    float frame[4 * kMaxGrid];
    int nf = 0;
    float lightest = -INFINITY;
    for (int i = 0; i < n; i++) {
        if (!std::isfinite(cells[i])) return false;
        if (onFrame(grid, i))
            frame[nf++] = cells[i];
        else
            lightest = std::max(lightest, cells[i]);
    }
    std::nth_element(frame, frame + nf / 2, frame + nf);
    float d = frame[nf / 2], l = lightest;
    float t = 0.5f * (d + l);
    // Two means over all cells; a few rounds settle it (each round only
    // moves cells across the midpoint).
    for (int round = 0; round < 8; round++) {
        double sum_d = 0, sum_l = 0;
        int count_d = 0, count_l = 0;
        for (int i = 0; i < n; i++)
            if (cells[i] < t) {
                sum_d += cells[i];
                count_d++;
            } else {
                sum_l += cells[i];
                count_l++;
            }
        if (count_d == 0 || count_l == 0) break;
        d = (float)(sum_d / count_d);
        l = (float)(sum_l / count_l);
        const float next = 0.5f * (d + l);
        if (next == t) break;
        t = next;
    }
    *dark = d;
    *light = l;
    *threshold = t;
    return true;
}

}  // namespace

bool decodeCells(const CodeFamily &family, const float *cells, const DecodeOptions &options,
                 CodeMatch *match) {
    const int grid = family.grid;
    if (grid < 3 || grid > kMaxGrid) return false;
    float dark, light, threshold;
    if (!levels(grid, cells, &dark, &light, &threshold)) return false;
    if (!(light - dark >= options.min_contrast)) return false;

    const int frame_cells = 4 * (grid - 1);
    const int allowed = options.max_light_frame >= 0 ? options.max_light_frame : frame_cells / 8;
    uint8_t cells01[kMaxGrid * kMaxGrid];
    int light_frame = 0;
    for (int i = 0; i < grid * grid; i++) {
        cells01[i] = cells[i] >= threshold ? 1 : 0;
        if (cells01[i] && onFrame(grid, i)) light_frame++;
    }
    if (light_frame > allowed) return false;

    const CodeIndex &index = codeIndex(family);
    const uint64_t word = readWord(family, cells01);
    const int bound = options.max_correction < 0
                          ? family.max_correction
                          : std::min(options.max_correction, family.max_correction);
    CodeHit hit;
    if (!index.exact(word, &hit) && !(bound > 0 && index.nearest(word, bound, &hit))) return false;
    match->id = hit.id;
    match->turn = hit.turn;
    match->corrected = hit.distance;
    match->threshold = threshold;
    match->dark = dark;
    match->light = light;
    return true;
}

}  // namespace mvcore
