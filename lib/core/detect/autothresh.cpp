// autothresh.cpp - the threshold for the next frame, from the identified
// markers' own border and surround levels, or from the frame when none is
// identified.

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "autothresh.h"

#include "morvex/camera.h"

namespace mvcore {

namespace {

const int kMinThresh = 1, kMaxThresh = 254;
// Border and surround must differ by this many levels for a marker's
// midpoint to mean anything (a marker re-reported from the history after it
// moved away shows none).
const int kMinContrast = 12;
// Samples per side, spread over its middle (clear of the corners).
const int kSamplesPerSide = 7;
// Threshold moves (levels) that count as following the scene, not as trying
// a new level.
const int kSmallMove = 8;
// Frames to stay at a level that identified a marker after the move to the
// markers' midpoint lost it, before trying the midpoint again.
const int kHold = 15;
// Fractions of the frame's split tried once the splits themselves failed.
const int kSweepSteps = 15;
// About this many pixels enter the frame's histogram.
const int kHistogramSamples = 20000;

int clamp_thresh(int t)
{
    return std::min(kMaxThresh, std::max(kMinThresh, t));
}

// The level (R + G + B) / 3 of the frame pixel nearest ideal point (x, y),
// or -1 when it lies outside the frame.
int level_at(const FrameView &f, const double *distortion, double x, double y)
{
    double ox, oy;
    mvParamIdeal2Observ(distortion, x, y, &ox, &oy);
    const long px = std::lround(ox), py = std::lround(oy);
    if (!(px >= 0 && py >= 0 && px < f.width && py < f.height)) return -1;
    return f.sum((int)px, (int)py) / 3;
}

int median(int *v, int n)
{
    std::nth_element(v, v + n / 2, v + n);
    return v[n / 2];
}

// Halfway between the marker's border (the middle of a border `border` of
// the side wide) and its surround (a tenth of the side, at least 2 px,
// outside). -1 when too few samples fall in the frame or the two do not
// differ.
int marker_midpoint(const FrameView &frame, const double *distortion, const MvMarkerInfo &m, double border)
{
    int dark[4 * kSamplesPerSide], bright[4 * kSamplesPerSide];
    int nd = 0, nb = 0;
    double cx = 0, cy = 0;
    for (const auto &v : m.vertices) {
        cx += v[0] / 4;
        cy += v[1] / 4;
    }
    for (int s = 0; s < 4; s++) {
        const double *a = m.vertices[s], *b = m.vertices[(s + 1) % 4];
        const double dx = b[0] - a[0], dy = b[1] - a[1];
        const double len = std::sqrt(dx * dx + dy * dy);
        if (!(len > 0)) return -1;
        // Unit normal towards the centre.
        double nx = -dy / len, ny = dx / len;
        if (nx * (cx - a[0]) + ny * (cy - a[1]) < 0) {
            nx = -nx;
            ny = -ny;
        }
        const double in = len * border / 2, out = std::max(2.0, len / 10);
        for (int k = 0; k < kSamplesPerSide; k++) {
            const double f = 0.25 + 0.5 * k / (kSamplesPerSide - 1);
            const double x = a[0] + f * dx, y = a[1] + f * dy;
            const int d = level_at(frame, distortion, x + nx * in, y + ny * in);
            const int l = level_at(frame, distortion, x - nx * out, y - ny * out);
            if (d >= 0) dark[nd++] = d;
            if (l >= 0) bright[nb++] = l;
        }
    }
    if (nd < kSamplesPerSide || nb < kSamplesPerSide) return -1;
    const int lo = median(dark, nd), hi = median(bright, nb);
    if (hi - lo < kMinContrast) return -1;
    return (lo + hi + 1) / 2;
}

// Levels (R + G + B) / 3 of a sparse grid of the frame's pixels.
void frame_histogram(const FrameView &f, long hist[256])
{
    const long pixels = (long)f.width * f.height;
    const int step = std::max(1, (int)std::lround(std::sqrt((double)pixels / kHistogramSamples)));
    std::fill(hist, hist + 256, 0L);
    for (int y = step / 2; y < f.height; y += step)
        for (int x = step / 2; x < f.width; x += step) hist[f.sum(x, y) / 3]++;
}

// The level t in lo..hi-1 that best splits the histogram's levels lo..hi
// into lo..t and t+1..hi (largest between-class variance), or -1 when they
// hold fewer than two distinct levels.
int best_split(const long hist[256], int lo, int hi)
{
    long n = 0;
    double total = 0;
    for (int i = lo; i <= hi; i++) {
        n += hist[i];
        total += (double)i * hist[i];
    }
    double below = 0, best = 0;
    long count = 0;
    int split = -1;
    for (int t = lo; t < hi; t++) {
        count += hist[t];
        below += (double)t * hist[t];
        if (count == 0 || count == n) continue;
        const double m0 = below / count, m1 = (total - below) / (n - count);
        const double between = (double)count * (n - count) * (m0 - m1) * (m0 - m1);
        if (between > best) {
            best = between;
            split = t;
        }
    }
    return split;
}

}  // namespace

void autothresh_init(MvAutoThresh *at, int thresh)
{
    at->thresh = clamp_thresh(thresh);
    at->lost = 0;
    at->good = -1;
    at->hold = 0;
    at->sweep = 0;
}

int autothresh_update(MvAutoThresh *at, const FrameView &frame, const double distortion[4],
                      const MvMarkerInfo *markers, int markerNum, const double *borders)
{
    const int used = at->thresh;
    bool identified = false;
    long sum = 0;
    int measured = 0;
    for (int i = 0; i < markerNum; i++) {
        if (markers[i].id < 0) continue;
        identified = true;
        const int mid = marker_midpoint(frame, distortion, markers[i], borders ? borders[i] : 0.25);
        if (mid < 0) continue;
        sum += mid;
        measured++;
    }
    if (identified) {
        at->lost = 0;
        at->sweep = 0;
        at->good = used;
        if (at->hold > 0) {
            at->hold--;
        } else if (measured > 0) {
            at->thresh = clamp_thresh((int)((sum + measured / 2) / measured));
        }
        return at->thresh;
    }

    at->lost++;
    // Moving to the markers' midpoint lost them: a small or blurred marker
    // may come out at some levels and not at others. Go back to the level
    // that worked and stay there a while. (A move of a few levels is the
    // midpoint following the scene; a loss then means the scene changed.)
    if (at->lost == 1 && at->good >= 0 && std::abs(used - at->good) > kSmallMove) {
        at->thresh = at->good;
        at->hold = kHold;
        return at->thresh;
    }
    at->hold = 0;

    // Nothing identified: split the frame's levels in two. A marker seen
    // small against a large uneven background may sit with part of that
    // background on the dark side (then splitting the dark side again
    // finds it) or, over-exposed, with its border on the bright side. Those
    // three are tried on successive frames, then fractions of the first
    // (1/2, 1/4, 3/4, 1/8, ...: each new one halfway between earlier ones),
    // for a marker that only some narrower range of levels brings out;
    // then all over again.
    long hist[256];
    frame_histogram(frame, hist);
    const int whole = best_split(hist, 0, 255);
    if (whole < 0) return at->thresh;
    const int step = at->sweep++ % (3 + kSweepSteps);
    int split = whole;
    if (step == 1) {
        split = best_split(hist, 0, whole);
    } else if (step == 2) {
        split = best_split(hist, whole + 1, 255);
    } else if (step > 2) {
        // Bit reversal of 1..15 over four bits: 8, 4, 12, 2, 10, ...
        const int j = step - 2;
        const int rev = ((j & 1) << 3) | ((j & 2) << 1) | ((j & 4) >> 1) | ((j & 8) >> 3);
        split = (whole * rev + 8) / 16;
    }
    if (split >= 0) at->thresh = clamp_thresh(split);
    return at->thresh;
}

}  // namespace mvcore
