// Sampling a square candidate's interior through the plane projective map
// of its four corners, and normalised-correlation matching of the sample
// against the pattern store.
#include "morvex/camera.h"
#include "morvex/detect.h"
#include "morvex/numerics.h"
#include "morvex/pattern.h"
#include "pattern_store.h"

#include <cmath>
#include <cstdint>
#include <cstring>

using namespace mvcore;

extern "C" {
int mvTemplateMatchingMode = 0;
}

namespace {

// 3x3 map taking world[i] to vertex[i], p[2][2] = 1, from the 8 x 8 linear
// system of the four point pairs. A singular system is not reported: the
// map then holds whatever the failed inversion left, and the sampler's
// infinity and range checks keep it from reading outside the frame.
void get_cpara(const double world[4][2], const double vertex[4][2],
               double p[3][3]) {
    MvMatrix *a = mvMatrixAlloc(8, 8);
    MvMatrix *b = mvMatrixAlloc(8, 1);
    MvMatrix *c = mvMatrixAlloc(8, 1);
    if (a == nullptr || b == nullptr || c == nullptr) {
        // Out of memory: a map that sends everything to infinity.
        for (int r = 0; r < 3; r++)
            for (int k = 0; k < 3; k++) p[r][k] = 0.0;
        if (a) mvMatrixFree(a);
        if (b) mvMatrixFree(b);
        if (c) mvMatrixFree(c);
        return;
    }
    for (int i = 0; i < 4; i++) {
        const double X = world[i][0], Y = world[i][1];
        const double x = vertex[i][0], y = vertex[i][1];
        double *r0 = a->data + (2 * i) * 8;
        double *r1 = a->data + (2 * i + 1) * 8;
        r0[0] = X; r0[1] = Y; r0[2] = 1.0; r0[3] = 0.0; r0[4] = 0.0; r0[5] = 0.0;
        r0[6] = -X * x; r0[7] = -Y * x;
        r1[0] = 0.0; r1[1] = 0.0; r1[2] = 0.0; r1[3] = X; r1[4] = Y; r1[5] = 1.0;
        r1[6] = -X * y; r1[7] = -Y * y;
        b->data[2 * i] = x;
        b->data[2 * i + 1] = y;
    }
    mvMatrixSelfInv(a);
    mvMatrixMul(c, a, b);
    for (int r = 0; r < 2; r++)
        for (int k = 0; k < 3; k++) p[r][k] = c->data[r * 3 + k];
    p[2][0] = c->data[6];
    p[2][1] = c->data[7];
    p[2][2] = 1.0;
    mvMatrixFree(a);
    mvMatrixFree(b);
    mvMatrixFree(c);
}

// Truncates toward zero into *out; false when v is not a finite value
// well within int range (such a position cannot lie inside the frame).
bool to_pixel(double v, int *out) {
    if (!(v > -1073741824.0 && v < 1073741824.0)) return false;
    *out = (int)v;
    return true;
}

// Correlates `sample` with every rotation block of every active pattern.
// Returns -1 (id 0, direction 0, confidence -1.0) for a sample without
// contrast; otherwise 0 with the best strictly positive correlation, or id
// -1, direction -1, confidence 0.0 when none is positive.
int pattern_match(const unsigned char *sample, int *id, int *direction,
                  double *confidence) {
    int sum = 0;
    for (int i = 0; i < kValues; i++) sum += 255 - sample[i];
    const int ave = sum / kValues;

    int in[kValues];
    const bool colour = (mvTemplateMatchingMode == 0);
    const int n = colour ? kValues : kCells;
    if (colour) {
        for (int i = 0; i < kValues; i++) in[i] = 255 - sample[i] - ave;
    } else {
        for (int i = 0; i < kCells; i++)
            in[i] = (765 - sample[i * 3] - sample[i * 3 + 1] - sample[i * 3 + 2]) / 3 - ave;
    }
    int sq = 0;   // at most 768 * 255^2: fits in 32 bits
    for (int i = 0; i < n; i++) sq += in[i] * in[i];
    const double norm = std::sqrt((double)sq);
    if (norm == 0.0) {
        *id = 0;
        *direction = 0;
        *confidence = -1.0;
        return -1;
    }

    double best = 0.0;
    int best_id = -1, best_dir = -1;
    // Slots are visited in increasing order, `pattern_num` of them in use;
    // a deactivated slot counts as visited but is never compared.
    for (int s = 0, visited = 0; s < kSlots && visited < pattern_num; s++) {
        if (patf[s] == 0) continue;
        visited++;
        if (patf[s] == 2) continue;
        for (int b = 0; b < kBlocks; b++) {
            const int *t = colour ? pat[s][b] : patBW[s][b];
            const double power = colour ? patpow[s][b] : patpowBW[s][b];
            // 64 bits: templates from files with values outside 0..255 can
            // exceed 32 bits; for values in range the sum is the same.
            int64_t dot = 0;
            for (int i = 0; i < n; i++) dot += (int64_t)in[i] * t[i];
            const double value = (double)dot / power / norm;
            if (value > best) {   // strictly: ties keep the lower slot/block
                best = value;
                best_id = s;
                best_dir = b;
            }
        }
    }
    *id = best_id;
    *direction = best_dir;
    *confidence = best;
    return 0;
}

}  // namespace

int mvcore::match_sample(const unsigned char *sample, int *id, int *direction,
                         double *confidence) {
    return pattern_match(sample, id, direction, confidence);
}

extern "C" int mvGetPatt(const unsigned char *image, const int *contourX,
                         const int *contourY, const int *cornerIndices,
                         unsigned char sample[768]) {
    static const double world[4][2] = {
        {100.0, 100.0}, {110.0, 100.0}, {110.0, 110.0}, {100.0, 110.0}};
    double vertex[4][2];
    for (int i = 0; i < 4; i++) {
        vertex[i][0] = (double)contourX[cornerIndices[i]];
        vertex[i][1] = (double)contourY[cornerIndices[i]];
    }
    double p[3][3];
    get_cpara(world, vertex, p);
    std::memset(sample, 0, kValues);

    // 64 x 64 samples over the central half of the marker square (102.5 ..
    // 107.5), 4 x 4 per cell; each adds a sixteenth of its bytes, so a cell
    // holds about the mean brightness (at most 16 * 15 = 240).
    // The products of the map with a column's X (and below, a row's Y) are
    // the same for every sample of that column (row): computed once, then
    // summed in the same order as p * (X, Y, 1).
    double px0[64], px1[64], px2[64];
    for (int j = 0; j < 64; j++) {
        const double X = (j + 0.5) * 5.0 * 0.015625 + 102.5;
        px0[j] = p[0][0] * X;
        px1[j] = p[1][0] * X;
        px2[j] = p[2][0] * X;
    }
    const bool half = mvImageProcMode == 1;
    const int xsize = mvImXsize, ysize = mvImYsize;
    for (int i = 0; i < 64; i++) {
        const double Y = (i + 0.5) * 5.0 * 0.015625 + 102.5;
        const double py0 = p[0][1] * Y, py1 = p[1][1] * Y, py2 = p[2][1] * Y;
        unsigned char *row = sample + (i / 4) * 16 * 3;
        for (int j = 0; j < 64; j++) {
            const double d = px2[j] + py2 + p[2][2];
            if (d == 0.0) return -1;
            int xc, yc;
            if (!to_pixel((px0[j] + py0 + p[0][2]) / d, &xc) ||
                !to_pixel((px1[j] + py1 + p[1][2]) / d, &yc))
                continue;
            if (half) {
                // Half-resolution detection: snap to even frame positions.
                xc = ((xc + 1) / 2) * 2;
                yc = ((yc + 1) / 2) * 2;
            }
            if (xc < 0 || xc >= xsize || yc < 0 || yc >= ysize) continue;
            const unsigned char *px = image + ((long)yc * xsize + xc) * 4;
            unsigned char *cell = row + (j / 4) * 3;
            // Channel 0 is blue (byte 2), channel 2 red (byte 0); no cell
            // passes 240, so the bytes cannot overflow.
            cell[0] = (unsigned char)(cell[0] + px[2] / 16);
            cell[1] = (unsigned char)(cell[1] + px[1] / 16);
            cell[2] = (unsigned char)(cell[2] + px[0] / 16);
        }
    }
    return 0;
}

extern "C" int mvGetCode(const unsigned char *image, const int *contourX,
                         const int *contourY, const int *cornerIndices,
                         int *id, int *direction, double *confidence) {
    unsigned char sample[kValues];
    if (mvGetPatt(image, contourX, contourY, cornerIndices, sample) < 0) {
        // A corner arrangement that sends part of the square to infinity
        // yields a half-filled sample: report no match rather than a
        // correlation of a partial picture.
        *id = -1;
        *direction = -1;
        *confidence = 0.0;
        return 0;
    }
    pattern_match(sample, id, direction, confidence);
    return 0;
}
