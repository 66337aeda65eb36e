// Thresholds a marker's cells from its own dark frame and light cells and
// looks the data bits up in the family's index.
#include "decode.h"

#include "code_index.h"

#include <algorithm>
#include <cmath>

namespace mvcore {
namespace {

constexpr int kMaxGrid = 16;
constexpr int kMaxSamplesPerCell = 4;

bool onFrame(int grid, int cell) {
    const int r = cell / grid, c = cell % grid;
    return r == 0 || c == 0 || r == grid - 1 || c == grid - 1;
}

// Dark and light levels and the threshold between them; false when a cell
// or a level is not finite (levels near the float range overflow their sums).
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
    // Two means over all cells, until no cell changes sides.
    int last_dark = -1;
    for (int round = 0; round < 8; round++) {
        float sum_d = 0, sum_l = 0;
        int count_d = 0;
        for (int i = 0; i < n; i++) {
            const bool is_dark = cells[i] < t;
            sum_d += is_dark ? cells[i] : 0.0f;
            sum_l += is_dark ? 0.0f : cells[i];
            count_d += is_dark;
        }
        if (count_d == 0 || count_d == n || count_d == last_dark) break;
        last_dark = count_d;
        d = sum_d / (float)count_d;
        l = sum_l / (float)(n - count_d);
        t = 0.5f * (d + l);
    }
    *dark = d;
    *light = l;
    *threshold = t;
    return std::isfinite(d) && std::isfinite(l) && std::isfinite(t);
}

}  // namespace

bool decodeCells(const CodeFamily &family, const float *samples, const DecodeOptions &options,
                 CodeMatch *match) {
    const int grid = family.grid, k = options.samples_per_cell;
    if (grid < 3 || grid > kMaxGrid || k < 1 || k > kMaxSamplesPerCell) return false;
    // Each cell's level: the mean of its k x k samples.
    float cells[kMaxGrid * kMaxGrid];
    const int side = grid * k;
    for (int i = 0; i < grid * grid; i++) {
        const float *s = samples + (i / grid) * k * side + (i % grid) * k;
        float sum = 0;
        for (int y = 0; y < k; y++)
            for (int x = 0; x < k; x++) sum += s[y * side + x];
        cells[i] = sum / (float)(k * k);
    }
    float dark, light, threshold;
    if (!levels(grid, cells, &dark, &light, &threshold)) return false;
    if (!(light - dark >= options.min_contrast)) return false;
    if (options.sharpen > 0) {
        // Blur spreads light into small dark cells and back: push each cell
        // away from the mean of its neighbours inside the grid, then place
        // the threshold anew (the contrast test above is on the levels seen).
        float seen[kMaxGrid * kMaxGrid];
        std::copy(cells, cells + grid * grid, seen);
        for (int i = 0; i < grid * grid; i++) {
            const int r = i / grid, c = i % grid;
            float sum = 0;
            int n = 0;
            if (r > 0) sum += seen[i - grid], n++;
            if (r < grid - 1) sum += seen[i + grid], n++;
            if (c > 0) sum += seen[i - 1], n++;
            if (c < grid - 1) sum += seen[i + 1], n++;
            cells[i] = seen[i] + options.sharpen * (seen[i] - sum / (float)n);
        }
        if (!levels(grid, cells, &dark, &light, &threshold)) return false;
    }

    const int frame_cells = 4 * (grid - 1);
    const int allowed = options.max_light_frame >= 0 ? options.max_light_frame : frame_cells / 8;
    // Cells near the threshold, or with a sample across it, could be
    // either: on the frame they count as light, in the data as wrong bits.
    const float band = options.unsure_band * (light - dark);
    uint8_t cells01[kMaxGrid * kMaxGrid];
    int light_frame = 0, unsure = 0;
    for (int i = 0; i < grid * grid; i++) {
        cells01[i] = cells[i] >= threshold ? 1 : 0;
        bool doubt = std::fabs(cells[i] - threshold) < band;
        const float *s = samples + (i / grid) * k * side + (i % grid) * k;
        for (int y = 0; y < k && k > 1; y++)
            for (int x = 0; x < k; x++)
                doubt |= cells01[i] ? s[y * side + x] < threshold - band : s[y * side + x] >= threshold + band;
        if (onFrame(grid, i))
            light_frame += cells01[i] || doubt;
        else
            unsure += doubt;
    }
    if (light_frame > allowed) return false;

    const CodeIndex &index = codeIndex(family);
    const uint64_t word = readWord(family, cells01);
    const int bound = options.max_correction < 0
                          ? family.max_correction
                          : std::min(options.max_correction, family.max_correction);
    if (unsure > bound) return false;
    CodeHit hit;
    if (!index.exact(word, &hit) && !(bound - unsure > 0 && index.nearest(word, bound - unsure, &hit)))
        return false;
    match->id = hit.id;
    match->turn = hit.turn;
    match->corrected = hit.distance;
    match->threshold = threshold;
    match->dark = dark;
    match->light = light;
    return true;
}

}  // namespace mvcore
