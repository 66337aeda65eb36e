/* refine.cpp - sub-pixel marker edges. Each fitted side is sampled across
   (in ideal coordinates, read from the frame through the lens model), the
   edge is located on every profile and a line is fitted robustly to those
   edge points; the corners are where the new lines meet. */
#include "refine.h"

#include "homography.h"
#include "morvex/camera.h"

#include <algorithm>
#include <cmath>

#if defined(__GNUC__) && defined(__x86_64__)
#define MORVEX_REFINE_AVX2 1
#include <immintrin.h>
#endif

namespace {

// Profiles across a side: samples a third of a pixel apart along the
// normal, reaching at most kReachMax px to either side of the current line.
constexpr int kPerPixel = 3;
constexpr double kStep = 1.0 / kPerPixel;
constexpr double kReachMax = 6.0;
constexpr int kSamplesMax = 2 * 6 * kPerPixel + 1;
constexpr int kLensSpan = 2 * kPerPixel;   // samples between lens evaluations
// Two passes. The first starts from detection's lines (about 0.6 px inside
// the edge at threshold 100): a few profiles reaching 4 px, a little more
// outward, re-centre the lines and measure how wide the step is (blur).
// The second, centred, takes more profiles reaching just past that width.
struct Pass {
    int profiles;     // per side, spread evenly
    double outward;   // extra reach outward, px
};
constexpr Pass kCentring = {12, 1.5}, kMeasuring = {24, 0.0};
constexpr double kCentringReach = 4.0;
constexpr double kWidthPad = 1.5;
constexpr int kProfilesMax = 24;
constexpr double kContrastMin = 30.0;   // R + G + B, border to surround
// A profile keeps its inner part this far (px) from a neighbouring side,
// and is left out when that leaves less than kClearMin.
constexpr double kCornerPad = 1.0;
constexpr double kClearMin = 1.0;
// The step's extent: where the slope falls below this share of its peak,
// plus one sample; a window narrower than kWindowMin (px) either side of the
// crossing is no measurement.
constexpr double kSlopeFrac = 0.1;
constexpr int kMargin = 1;
constexpr double kWindowMin = 0.75;
constexpr int kPointsMin = 5;           // per side

struct Vec {
    double x, y;
};

Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y}; }
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y}; }
Vec operator*(double s, Vec a) { return {s * a.x, s * a.y}; }
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y; }
double cross(Vec a, Vec b) { return a.x * b.y - a.y * b.x; }

// The frame and the lens model it is read through.
struct Source {
    const mvcore::FrameView &frame;
    const double *distortion;
    bool four_byte_avx2;   // levels read four at a time (grey_row_avx2)
    double x_max, y_max;   // the last pixel centres
};

// Observed position of ideal point p.
Vec observed(const Source &src, Vec p)
{
    Vec o;
    mvParamIdeal2Observ(src.distortion, p.x, p.y, &o.x, &o.y);
    return o;
}

// Whether observed point o lies within the hull of the pixel centres.
inline bool on_frame(const Source &src, Vec o)
{
    return o.x >= 0.0 && o.y >= 0.0 && o.x <= src.x_max && o.y <= src.y_max;
}

// Bilinear grey level (R + G + B) of the frame at observed point (x, y),
// which lies on the frame.
inline double grey_at_xy(const mvcore::FrameView &f, double x, double y)
{
    const int x0 = std::max(0, std::min((int)x, f.width - 2));
    const int y0 = std::max(0, std::min((int)y, f.height - 2));
    const double fx = x - x0, fy = y - y0;
    const unsigned char *p = f.pixel(x0, y0);
    const unsigned char *q = p + f.stride;
    const int r = f.red, g = f.green, bl = f.blue, n = f.bpp;
    const int a = p[r] + p[g] + p[bl], b = p[n + r] + p[n + g] + p[n + bl];
    const int c = q[r] + q[g] + q[bl], d = q[n + r] + q[n + g] + q[n + bl];
    const double top = a + fx * (b - a), bottom = c + fx * (d - c);
    return top + fy * (bottom - top);
}

#ifdef MORVEX_REFINE_AVX2
// Whether grey_row_avx2 can read this frame: four-byte pixels with the
// colour in their first three bytes, rows addressable in 32 bits.
bool avx2_reads(const mvcore::FrameView &f)
{
    return f.bpp == 4 && f.red <= 2 && f.green <= 2 && f.blue <= 2 && f.red + f.green + f.blue == 3 &&
           f.red != f.green && f.stride > 0 && f.stride < (1L << 30) && __builtin_cpu_supports("avx2");
}

// Per lane the colour sums of the two pixels at byte offset `at`: all
// left sums in the low half, all right ones in the high half.
__attribute__((target("avx2"), always_inline)) inline __m256i pixel_pair_sums(const long long *base, __m256i at)
{
    const __m256i colour = _mm256_set1_epi64x(0x0001010100010101LL);   // bytes 0-2 of each pixel
    const __m256i pair = _mm256_i64gather_epi64(base, at, 1);
    const __m256i s = _mm256_madd_epi16(_mm256_maddubs_epi16(pair, colour), _mm256_set1_epi16(1));
    return _mm256_permutevar8x32_epi32(s, _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7));
}

// grey_at at the n points (x[k], y[k]) into q, four at a time: the same
// clamps, integer sums and products in the same order, so the same values.
// Each lane gathers the two pixels of a row as one 8-byte word.
__attribute__((target("avx2"))) void grey_row_avx2(const mvcore::FrameView &f, const double *x,
                                                   const double *y, int n, double *q)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i w2 = _mm_set1_epi32(f.width - 2), h2 = _mm_set1_epi32(f.height - 2);
    const __m256i stride = _mm256_set1_epi64x(f.stride);
    const long long *base = reinterpret_cast<const long long *>(f.data);
    int k = 0;
    for (; k + 4 <= n; k += 4) {
        const __m256d ox = _mm256_loadu_pd(x + k), oy = _mm256_loadu_pd(y + k);
        const __m128i x0 = _mm_max_epi32(zero, _mm_min_epi32(_mm256_cvttpd_epi32(ox), w2));
        const __m128i y0 = _mm_max_epi32(zero, _mm_min_epi32(_mm256_cvttpd_epi32(oy), h2));
        const __m256d fx = _mm256_sub_pd(ox, _mm256_cvtepi32_pd(x0));
        const __m256d fy = _mm256_sub_pd(oy, _mm256_cvtepi32_pd(y0));
        const __m256i top_at = _mm256_add_epi64(_mm256_mul_epi32(_mm256_cvtepi32_epi64(y0), stride),
                                                _mm256_slli_epi64(_mm256_cvtepi32_epi64(x0), 2));
        const __m256i bottom_at = _mm256_add_epi64(top_at, stride);
        const __m256i t = pixel_pair_sums(base, top_at), b = pixel_pair_sums(base, bottom_at);
        const __m128i a = _mm256_castsi256_si128(t), bb = _mm256_extracti128_si256(t, 1);
        const __m128i c = _mm256_castsi256_si128(b), d = _mm256_extracti128_si256(b, 1);
        const __m256d top = _mm256_add_pd(_mm256_cvtepi32_pd(a),
                                          _mm256_mul_pd(fx, _mm256_cvtepi32_pd(_mm_sub_epi32(bb, a))));
        const __m256d bottom = _mm256_add_pd(_mm256_cvtepi32_pd(c),
                                             _mm256_mul_pd(fx, _mm256_cvtepi32_pd(_mm_sub_epi32(d, c))));
        _mm256_storeu_pd(q + k, _mm256_add_pd(top, _mm256_mul_pd(fy, _mm256_sub_pd(bottom, top))));
    }
    for (; k < n; k++) q[k] = grey_at_xy(f, x[k], y[k]);
}
#endif

// Integral of the piecewise-linear profile q (samples 0..m-1, unit spacing)
// from a to b, both in sample units within 0..m-1.
double integrate(const double *q, int m, double a, double b)
{
    double sum = 0.0;
    for (int j = std::max(0, (int)std::floor(a)); j < m - 1 && j < b; j++) {
        if (a <= j && j + 1.0 <= b) {
            // A whole segment: width 1, middle at one half (both exact).
            sum += q[j] + 0.5 * (q[j + 1] - q[j]);
            continue;
        }
        const double lo = std::max(a, (double)j), hi = std::min(b, (double)j + 1.0);
        if (hi <= lo) continue;
        const double mid = 0.5 * (lo + hi) - j;
        sum += (hi - lo) * (q[j] + mid * (q[j + 1] - q[j]));
    }
    return sum;
}

// Linear interpolation of samples v[0..m-1] at x (sample units).
double sample_at(const double *v, int m, double x)
{
    const int j = std::clamp((int)x, 0, m - 2);
    return v[j] + (x - j) * (v[j + 1] - v[j]);
}

// Offset along the outward normal n, from p, of the border's outer edge,
// from a profile reaching reach_in inward and reach_out outward. Levels: the
// darkest of the profile up to p, the brightest from p on. The edge is the
// first moment of the profile's slope over a window centred on the halfway
// crossing nearest p: exact for any symmetric blur once the window holds the
// whole step, and unbiased when a symmetric window cuts it short.
// *half_width receives the window's half-width (px).
bool edge_offset(const Source &src, Vec p, Vec n, double reach_in, double reach_out,
                 double *offset, double *half_width)
{
    // Room for a whole last group of four (the vector reader's).
    double q[kSamplesMax + 3];
    const int m = std::min(kSamplesMax, (int)((reach_in + reach_out) / kStep) + 1);
    // The lens model is evaluated kLensSpan samples apart and interpolated
    // between: over 2 px it departs from a straight line by far less than
    // the edge's precision.
    double xs[kSamplesMax + 3], ys[kSamplesMax + 3];
    Vec from = observed(src, p + -reach_in * n);
    if (!on_frame(src, from)) return false;
    for (int j = 0; j < m; j += kLensSpan) {
        const Vec to = observed(src, p + (-reach_in + (j + kLensSpan) * kStep) * n);
        if (!on_frame(src, to) && j + 1 < m) return false;
        for (int k = 0; k < kLensSpan && j + k < m; k++) {
            const Vec o = from + (k * (1.0 / kLensSpan)) * (to - from);
            xs[j + k] = o.x;
            ys[j + k] = o.y;
        }
        from = to;
    }
#ifdef MORVEX_REFINE_AVX2
    if (src.four_byte_avx2) {
        // Padded with the last point to whole groups: reads stay on the frame.
        const int padded = (m + 3) & ~3;
        for (int j = m; j < padded; j++) xs[j] = xs[m - 1], ys[j] = ys[m - 1];
        grey_row_avx2(src.frame, xs, ys, padded, q);
    }
    else
#endif
        for (int j = 0; j < m; j++) q[j] = grey_at_xy(src.frame, xs[j], ys[j]);
    // Smoothed over five samples for finding levels and extents, which
    // noise would otherwise decide.
    double sm[kSamplesMax], sum = 0.0;
    for (int j = 0; j < std::min(m, 2); j++) sum += q[j];
    auto smooth = [&](int j) {
        if (j + 2 < m) sum += q[j + 2];
        if (j - 3 >= 0) sum -= q[j - 3];
        const int count = std::min(m - 1, j + 2) - std::max(0, j - 2) + 1;
        sm[j] = count == 5 ? sum * 0.2 : sum / count;
    };
    // The same running sum, its full windows without the checks.
    const int inner_end = std::max(3, m - 2);
    for (int j = 0; j < std::min(m, 3); j++) smooth(j);
    for (int j = 3; j < inner_end; j++) {
        sum += q[j + 2];
        sum -= q[j - 3];
        sm[j] = sum * 0.2;
    }
    for (int j = inner_end; j < m; j++) smooth(j);
    const double origin = reach_in / kStep;   // p, in sample units
    const int o = (int)origin;
    const double dark = *std::min_element(sm, sm + std::min(m, o + kPerPixel));
    const double bright = *std::max_element(sm + std::max(0, o - kPerPixel), sm + m);
    if (!(bright - dark >= kContrastMin)) return false;

    // The halfway crossing nearest p.
    const double half = 0.5 * (dark + bright);
    int jc = -1;
    for (int d = 0; jc < 0 && (o + d + 1 < m || o - d - 1 >= 0); d++) {
        const int up = o + d, down = o - d - 1;
        if (up + 1 < m && q[up] < half && q[up + 1] >= half) jc = up;
        else if (down >= 0 && down + 1 < m && q[down] < half && q[down + 1] >= half) jc = down;
    }
    if (jc < 0) return false;
    const double c = jc + (half - q[jc]) / (q[jc + 1] - q[jc]);
    // The step spans the crossing's run of steep slope (of the smoothed
    // profile): it ends where the slope falls below a fraction of its peak,
    // before the picture inside the border or an object beside the marker.
    // The window is symmetric about the crossing.
    double peak = 0.0;
    for (int j = std::max(0, jc - kPerPixel); j <= std::min(m - 2, jc + kPerPixel); j++)
        peak = std::max(peak, sm[j + 1] - sm[j]);
    const double floor = kSlopeFrac * peak;
    int lo = jc, hi = jc + 1;
    while (lo > 0 && sm[lo] - sm[lo - 1] > floor) lo--;
    while (hi < m - 1 && sm[hi + 1] - sm[hi] > floor) hi++;
    lo = std::max(0, lo - kMargin);
    hi = std::min(m - 1, hi + kMargin);
    const double r = std::min(c - lo, hi - c);
    if (r * kStep < kWindowMin) return false;
    // Normalised between the levels at the window's ends.
    const double d0 = sample_at(sm, m, c - r), b0 = sample_at(sm, m, c + r);
    if (!(b0 - d0 >= kContrastMin)) return false;
    const double area = (integrate(q, m, c - r, c + r) - 2.0 * r * d0) / (b0 - d0);
    const double edge = (c + r) - area;
    *offset = (edge - origin) * kStep;
    *half_width = r * kStep;
    return true;
}

// Total least-squares line through the points with keep[k] set; false when
// fewer than two. line = (a, b, c), (a, b) a unit normal.
bool fit_line(const Vec *pts, const bool *keep, int n, double line[3])
{
    double sx = 0, sy = 0;
    int count = 0;
    for (int k = 0; k < n; k++)
        if (keep[k]) {
            sx += pts[k].x;
            sy += pts[k].y;
            count++;
        }
    if (count < 2) return false;
    const Vec mean = {sx / count, sy / count};
    double xx = 0, xy = 0, yy = 0;
    for (int k = 0; k < n; k++)
        if (keep[k]) {
            const Vec d = pts[k] - mean;
            xx += d.x * d.x;
            xy += d.x * d.y;
            yy += d.y * d.y;
        }
    // Direction of greatest spread; the normal is perpendicular to it.
    const double angle = 0.5 * std::atan2(2.0 * xy, xx - yy);
    line[0] = -std::sin(angle);
    line[1] = std::cos(angle);
    line[2] = -(line[0] * mean.x + line[1] * mean.y);
    return true;
}

// Fits a line to the edge points, dropping those far from it (beyond 2.5
// robust standard deviations of the residuals) and refitting, as long as
// at least `need` points stay.
bool robust_line(const Vec *pts, int n, int need, double line[3])
{
    bool keep[kProfilesMax], next[kProfilesMax];
    std::fill(keep, keep + n, true);
    for (int round = 0; round < 3; round++) {
        if (!fit_line(pts, keep, n, line)) return false;
        double res[kProfilesMax], kept[kProfilesMax];
        int nk = 0;
        for (int k = 0; k < n; k++) {
            res[k] = std::fabs(line[0] * pts[k].x + line[1] * pts[k].y + line[2]);
            if (keep[k]) kept[nk++] = res[k];
        }
        std::nth_element(kept, kept + nk / 2, kept + nk);
        const double limit = std::max(2.5 * 1.4826 * kept[nk / 2], 0.05);
        int count = 0;
        for (int k = 0; k < n; k++) count += (next[k] = res[k] <= limit);
        if (count < need) break;
        std::copy(next, next + n, keep);
    }
    return fit_line(pts, keep, n, line);
}

// Border width inward from side i at fraction t of the side, from the
// projective map of the current corners (the border is `border` of the
// marker's side).
double border_width(const mvcore::Homography &map, double border, int side, double t, Vec p, Vec n)
{
    static const double start[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    static const double along[4][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
    static const double inward[4][2] = {{0, 1}, {-1, 0}, {0, -1}, {1, 0}};
    const double u = start[side][0] + t * along[side][0] + border * inward[side][0];
    const double v = start[side][1] + t * along[side][1] + border * inward[side][1];
    Vec q;
    map.apply(u, v, &q.x, &q.y);
    return dot(p - q, n);
}

// One pass: new edge lines from the frame around the current corners.
bool refine_pass(const Source &src, double border, const double vertices[4][2], const Pass &pass,
                 double reach_max, double lines[4][3], double *step_width)
{
    mvcore::Homography map;
    if (!mvcore::unit_square_map(vertices, &map)) return false;
    Vec v[4], t[4];
    for (int i = 0; i < 4; i++) v[i] = {vertices[i][0], vertices[i][1]};
    double len[4];
    for (int i = 0; i < 4; i++) {
        const Vec d = v[(i + 1) % 4] - v[i];
        len[i] = std::sqrt(dot(d, d));
        if (!(len[i] > 0.0)) return false;
        t[i] = (1.0 / len[i]) * d;
    }
    const Vec centre = 0.25 * (v[0] + v[1] + v[2] + v[3]);
    double widths[4 * kProfilesMax];
    int nw = 0;
    for (int i = 0; i < 4; i++) {
        Vec n = {t[i].y, -t[i].x};
        if (dot(n, v[i] - centre) < 0.0) n = -1.0 * n;
        // Near a corner a profile's inner part is kept clear of the
        // neighbouring side (and its blurred corner).
        const double sin_start = std::fabs(cross(t[i], t[(i + 3) % 4]));
        const double sin_end = std::fabs(cross(t[i], t[(i + 1) % 4]));
        Vec pts[kProfilesMax];
        int tried = 0, found = 0;
        for (int k = 0; k < pass.profiles; k++) {
            const double f = (k + 0.5) / pass.profiles;
            const Vec p = v[i] + (f * len[i]) * t[i];
            // Inward, stay clear of the picture inside the border.
            const double bw = border_width(map, border, i, f, p, n);
            const double reach = std::clamp(0.85 * bw - 1.0, 1.5, reach_max);
            const double clear = std::min(f * len[i] * sin_start, (1.0 - f) * len[i] * sin_end) - kCornerPad;
            if (clear < kClearMin) continue;
            const double reach_in = std::min(reach, clear);
            const double reach_out = std::min(reach + pass.outward, kReachMax);
            tried++;
            double off;
            if (edge_offset(src, p, n, reach_in, reach_out, &off, &widths[nw])) {
                pts[found++] = p + off * n;
                nw++;
            }
        }
        const int need = std::max(kPointsMin, tried / 3);
        if (found < need || !robust_line(pts, found, need, lines[i])) return false;
    }
    std::nth_element(widths, widths + nw / 2, widths + nw);
    *step_width = widths[nw / 2];
    return true;
}

// Corner i where side i - 1 meets side i; false for parallel sides.
bool intersect(const double lines[4][3], double vertices[4][2])
{
    for (int i = 0; i < 4; i++) {
        const double *p = lines[(i + 3) % 4], *q = lines[i];
        const double w = p[0] * q[1] - q[0] * p[1];
        if (!(std::fabs(w) > 1e-9)) return false;
        vertices[i][0] = (p[1] * q[2] - q[1] * p[2]) / w;
        vertices[i][1] = (q[0] * p[2] - p[0] * q[2]) / w;
    }
    return true;
}

}  // namespace

bool mvcore::refine_marker(const FrameView &frame, const double distortion[4], double border,
                           MvMarkerInfo *marker)
{
#ifdef MORVEX_REFINE_AVX2
    const bool avx2 = avx2_reads(frame);
#else
    const bool avx2 = false;
#endif
    const Source src = {frame, distortion, avx2, (double)(frame.width - 1), (double)(frame.height - 1)};
    double vertices[4][2], lines[4][3];
    std::copy(&marker->vertices[0][0], &marker->vertices[0][0] + 8, &vertices[0][0]);
    double width;
    if (!refine_pass(src, border, vertices, kCentring, kCentringReach, lines, &width) ||
        !intersect(lines, vertices))
        return false;
    const double reach = std::min(kReachMax, width + kWidthPad);
    if (!refine_pass(src, border, vertices, kMeasuring, reach, lines, &width) || !intersect(lines, vertices))
        return false;

    // A corner that moved more than a tenth of the shortest side (at least
    // 2 px) found some other edge.
    double shortest = 1e300;
    for (int i = 0; i < 4; i++) {
        const double *a = marker->vertices[i], *b = marker->vertices[(i + 1) % 4];
        shortest = std::min(shortest, std::hypot(b[0] - a[0], b[1] - a[1]));
    }
    const double limit = std::max(2.0, 0.1 * shortest);
    for (int i = 0; i < 4; i++)
        if (!(std::hypot(vertices[i][0] - marker->vertices[i][0],
                         vertices[i][1] - marker->vertices[i][1]) <= limit))
            return false;

    for (int i = 0; i < 4; i++) {
        const double *old = marker->edgeLines[i];
        const double sign = old[0] * lines[i][0] + old[1] * lines[i][1] < 0.0 ? -1.0 : 1.0;
        for (int k = 0; k < 3; k++) marker->edgeLines[i][k] = sign * lines[i][k];
        marker->vertices[i][0] = vertices[i][0];
        marker->vertices[i][1] = vertices[i][1];
    }
    return true;
}
