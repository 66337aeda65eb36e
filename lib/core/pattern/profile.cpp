/* profile.cpp - blurred templates, and the level chance reaches against a
   fixed set of other pictures drawn here. */
#include "profile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <vector>

#ifdef __SSE2__
#include <xmmintrin.h>
#endif

namespace mvcore {

namespace {

constexpr int kSide = 16;
constexpr int kPad = 4;                  // ceil(3 x the largest sigma) cells
constexpr int kGrid = kSide + 2 * kPad;
constexpr double kBorderDark = 255.0;    // the black border around the picture
constexpr int kOthers = 512;             // pictures in the chance set
constexpr int kChanceRank = 1;           // the highest of them (rank 1) ...
constexpr double kChanceMargin = 0.02;   // ... plus this
constexpr double kChanceFloor = 0.5;     // never below the bare rule's 0.5

// Blurs one plane of 16 x 16 darkness values by `sigma` cells, the border's
// darkness around it, separably.
void blur_plane(const double in[kCells], double sigma, double out[kCells])
{
    if (sigma <= 0.0) {
        std::copy(in, in + kCells, out);
        return;
    }
    double k[2 * kPad + 1], sum = 0.0;
    for (int i = -kPad; i <= kPad; i++) sum += k[i + kPad] = std::exp(-i * i / (2.0 * sigma * sigma));
    for (double &v : k) v /= sum;
    double grid[kGrid][kGrid], rows[kGrid][kSide];
    for (int r = 0; r < kGrid; r++)
        for (int c = 0; c < kGrid; c++) {
            const int ir = r - kPad, ic = c - kPad;
            grid[r][c] = ir >= 0 && ir < kSide && ic >= 0 && ic < kSide ? in[ir * kSide + ic] : kBorderDark;
        }
    for (int r = 0; r < kGrid; r++)
        for (int c = 0; c < kSide; c++) {
            double s = 0.0;
            for (int i = 0; i <= 2 * kPad; i++) s += k[i] * grid[r][c + i];
            rows[r][c] = s;
        }
    for (int r = 0; r < kSide; r++)
        for (int c = 0; c < kSide; c++) {
            double s = 0.0;
            for (int i = 0; i <= 2 * kPad; i++) s += k[i] * rows[r + i][c];
            out[r * kSide + c] = s;
        }
}

// Zero mean, unit length; all zero when flat.
void normalise(const double *v, int n, float *out)
{
    double mean = 0.0;
    for (int i = 0; i < n; i++) mean += v[i];
    mean /= n;
    double sq = 0.0;
    for (int i = 0; i < n; i++) sq += (v[i] - mean) * (v[i] - mean);
    const double inv = sq > 0.0 ? 1.0 / std::sqrt(sq) : 0.0;
    for (int i = 0; i < n; i++) out[i] = (float)((v[i] - mean) * inv);
}

// Darkness (cell * 3 + plane, plane 0 blue) at every level, colour and
// grey, normalised.
void levels_of(const double dark[kValues], float colour[kGuardLevels][kValues], float grey[kGuardLevels][kCells])
{
    double plane[3][kCells], grey_plane[kCells];
    for (int c = 0; c < 3; c++)
        for (int i = 0; i < kCells; i++) plane[c][i] = dark[i * 3 + c];
    for (int i = 0; i < kCells; i++) grey_plane[i] = (plane[0][i] + plane[1][i] + plane[2][i]) / 3.0;
    for (int l = 0; l < kGuardLevels; l++) {
        double blurred[kValues], b[kCells];
        for (int c = 0; c < 3; c++) {
            blur_plane(plane[c], kGuardBlur[l], b);
            for (int i = 0; i < kCells; i++) blurred[i * 3 + c] = b[i];
        }
        normalise(blurred, kValues, colour[l]);
        blur_plane(grey_plane, kGuardBlur[l], b);
        normalise(b, kCells, grey[l]);
    }
}

// The contrast of the darkness values at every level (PatternProfile).
void contrast_of(const double dark[kValues], double contrast[kGuardLevels])
{
    for (int l = 0; l < kGuardLevels; l++) {
        double mean = 0.0, sq = 0.0, lightest = kBorderDark, b[3][kCells];
        for (int c = 0; c < 3; c++) {
            double plane[kCells];
            for (int i = 0; i < kCells; i++) plane[i] = dark[i * 3 + c];
            blur_plane(plane, kGuardBlur[l], b[c]);
            for (double v : b[c]) mean += v, lightest = std::min(lightest, v);
        }
        mean /= kValues;
        for (const auto &plane : b)
            for (double v : plane) sq += (v - mean) * (v - mean);
        contrast[l] = std::sqrt(sq / kValues) / std::max(1.0, kBorderDark - lightest);
    }
}


// --- The chance set: pictures a user might put in a marker -----------------
// Drawn from a fixed seed: ellipses, boxes, triangles, strokes and arcs
// like a letter's, random cells, stripes and checks, gradients, and
// mixtures, in
// dark or coloured ink on light paper, kept inside the picture's middle
// as printed markers are.

struct Random {
    uint64_t s;
    uint64_t next()
    {
        uint64_t z = (s += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    double uniform(double lo, double hi) { return lo + (hi - lo) * (next() >> 11) * (1.0 / 9007199254740992.0); }
    int below(int n) { return (int)(uniform(0, n)); }
};

struct Ink {
    double rgb[3];
};

Ink paper(Random &r)
{
    Ink k;
    for (double &v : k.rgb) v = r.uniform(200, 255);
    return k;
}

Ink ink(Random &r)
{
    Ink k;
    if (r.below(2) == 0) {
        const double g = r.uniform(0, 80);
        for (double &v : k.rgb) v = g;
    } else {
        for (double &v : k.rgb) v = r.uniform(0, 90);
        k.rgb[r.below(3)] = r.uniform(120, 255);
    }
    return k;
}

// One shape of a chance picture: whether (x, y) of the unit picture is in it.
struct Shape {
    int kind;   // 0 ellipse, 1 box, 2 triangle, 3 stroke, 4 arc
    double p[6];
    bool covers(double x, double y) const
    {
        switch (kind) {
        case 0:
        case 1: {
            const double c = std::cos(p[4]), s = std::sin(p[4]);
            const double u = (x - p[0]) * c + (y - p[1]) * s, v = -(x - p[0]) * s + (y - p[1]) * c;
            if (kind == 0) return (u * u) / (p[2] * p[2]) + (v * v) / (p[3] * p[3]) <= 1.0;
            return std::fabs(u) <= p[2] && std::fabs(v) <= p[3];
        }
        case 2: {
            auto side = [&](int a, int b) {
                return (p[2 * b] - p[2 * a]) * (y - p[2 * a + 1]) - (p[2 * b + 1] - p[2 * a + 1]) * (x - p[2 * a]);
            };
            const double d1 = side(0, 1), d2 = side(1, 2), d3 = side(2, 0);
            return !((d1 < 0 || d2 < 0 || d3 < 0) && (d1 > 0 || d2 > 0 || d3 > 0));
        }
        case 4: {
            // A ring sector: centre, radius, half thickness, start, span.
            const double dx = x - p[0], dy = y - p[1];
            if (std::fabs(std::hypot(dx, dy) - p[2]) > p[3]) return false;
            double a = std::atan2(dy, dx) - p[4];
            a -= 2 * M_PI * std::floor(a / (2 * M_PI));
            return a <= p[5];
        }
        default: {
            const double dx = p[2] - p[0], dy = p[3] - p[1], len2 = dx * dx + dy * dy;
            double t = len2 > 0 ? ((x - p[0]) * dx + (y - p[1]) * dy) / len2 : 0.0;
            t = std::clamp(t, 0.0, 1.0);
            const double ex = x - p[0] - t * dx, ey = y - p[1] - t * dy;
            return ex * ex + ey * ey <= p[4] * p[4];
        }
        }
    }
};

Shape random_shape(Random &r, int kind)
{
    Shape s;
    s.kind = kind;
    if (kind == 0 || kind == 1) {
        s.p[0] = r.uniform(0.3, 0.7);
        s.p[1] = r.uniform(0.3, 0.7);
        s.p[2] = r.uniform(0.06, 0.3);
        s.p[3] = r.uniform(0.06, 0.3);
        s.p[4] = r.below(2) ? 0.0 : r.uniform(0, M_PI);
    } else if (kind == 2) {
        for (double &v : s.p) v = r.uniform(0.15, 0.85);
    } else if (kind == 4) {
        s.p[2] = r.uniform(0.1, 0.3);
        s.p[0] = r.uniform(0.2 + s.p[2] * 0.5, 0.8 - s.p[2] * 0.5);
        s.p[1] = r.uniform(0.2 + s.p[2] * 0.5, 0.8 - s.p[2] * 0.5);
        s.p[3] = r.uniform(0.035, 0.08);
        s.p[4] = r.uniform(0, 2 * M_PI);
        s.p[5] = r.uniform(0.8, 2 * M_PI);
    } else {
        for (int i = 0; i < 4; i++) s.p[i] = r.uniform(0.2, 0.8);
        s.p[4] = r.uniform(0.035, 0.08);
    }
    return s;
}

// One chance picture as darkness, cell * 3 + plane (plane 0 blue).
void chance_picture(int index, double dark[kValues])
{
    Random r{0x5eed0000ull + (uint64_t)index * 7919u};
    const Ink bg = paper(r);
    const int kind = index % 8;
    std::vector<std::pair<Shape, Ink>> shapes;
    int cells = 0, stripes = 0, gradient = 0;
    double period = 0, angle = 0, g[4] = {0, 0, 0, 0};
    std::vector<Ink> cell_ink;
    Ink fg = ink(r);
    switch (kind) {
    case 0:
    case 1:
    case 2: {
        const int n = 1 + r.below(kind == 2 ? 2 : 3);
        for (int i = 0; i < n; i++) shapes.push_back({random_shape(r, kind), r.below(3) ? fg : ink(r)});
        break;
    }
    case 3: {
        const int n = 2 + r.below(3);
        for (int i = 0; i < n; i++) shapes.push_back({random_shape(r, r.below(3) ? 3 : 4), fg});
        break;
    }
    case 4:
        cells = 2 + r.below(7);
        for (int i = 0; i < cells * cells; i++) cell_ink.push_back(r.below(2) ? bg : (r.below(4) ? fg : ink(r)));
        break;
    case 5:
        stripes = 1 + r.below(2);
        period = r.uniform(0.1, 0.35);
        angle = r.uniform(0, M_PI);
        break;
    case 6:
        gradient = 1 + r.below(2);
        g[0] = r.uniform(0.2, 0.8);
        g[1] = r.uniform(0.2, 0.8);
        g[2] = r.uniform(0, 2 * M_PI);
        g[3] = r.uniform(0.4, 1.0);
        break;
    default:
        shapes.push_back({random_shape(r, r.below(3)), fg});
        for (int i = 0, n = 1 + r.below(3); i < n; i++) shapes.push_back({random_shape(r, 3 + r.below(2)), ink(r)});
        break;
    }
    const double lo = 0.12, hi = 0.88;   // ink stays off the picture's edge
    for (int row = 0; row < kSide; row++)
        for (int col = 0; col < kSide; col++) {
            double acc[3] = {0, 0, 0};
            for (int sy = 0; sy < 4; sy++)
                for (int sx = 0; sx < 4; sx++) {
                    const double x = (col + (sx + 0.5) / 4) / kSide, y = (row + (sy + 0.5) / 4) / kSide;
                    const double *c = bg.rgb;
                    double mixed[3];
                    const bool inside = x >= lo && x < hi && y >= lo && y < hi;
                    for (const auto &s : shapes)
                        if (s.first.covers(x, y)) c = s.second.rgb;
                    if (inside && cells) {
                        const int cx = std::min(cells - 1, (int)((x - lo) / (hi - lo) * cells));
                        const int cy = std::min(cells - 1, (int)((y - lo) / (hi - lo) * cells));
                        c = cell_ink[cy * cells + cx].rgb;
                    }
                    if (inside && stripes) {
                        const double u = x * std::cos(angle) + y * std::sin(angle);
                        const double v = -x * std::sin(angle) + y * std::cos(angle);
                        bool on = std::fmod(u + 10.0, period) < period / 2;
                        if (stripes == 2) on = on != (std::fmod(v + 10.0, period) < period / 2);
                        if (on) c = fg.rgb;
                    }
                    if (gradient) {
                        double t;
                        if (gradient == 1)
                            t = (x - 0.5) * std::cos(g[2]) + (y - 0.5) * std::sin(g[2]) + 0.5;
                        else
                            t = 1.0 - std::hypot(x - g[0], y - g[1]) / 0.6;
                        t = std::clamp(t, 0.0, 1.0) * (inside ? g[3] : 0.3 * g[3]);
                        for (int k = 0; k < 3; k++) mixed[k] = bg.rgb[k] + t * (fg.rgb[k] - bg.rgb[k]);
                        c = mixed;
                    }
                    for (int k = 0; k < 3; k++) acc[k] += c[k];
                }
            // Planes: 0 blue, 1 green, 2 red; darkness is 255 - brightness.
            for (int k = 0; k < 3; k++) dark[(row * kSide + col) * 3 + k] = 255.0 - acc[2 - k] / 16.0;
        }
}

struct ChanceSet {
    std::vector<float> colour;   // [level][picture][kValues]
    std::vector<float> grey;     // [level][picture][kCells]
};

const ChanceSet &chance_set()
{
    static std::once_flag once;
    static ChanceSet set;
    std::call_once(once, [] {
        set.colour.resize((size_t)kGuardLevels * kOthers * kValues);
        set.grey.resize((size_t)kGuardLevels * kOthers * kCells);
        for (int n = 0; n < kOthers; n++) {
            double dark[kValues];
            chance_picture(n, dark);
            float colour[kGuardLevels][kValues], grey[kGuardLevels][kCells];
            levels_of(dark, colour, grey);
            for (int l = 0; l < kGuardLevels; l++) {
                std::copy(colour[l], colour[l] + kValues, &set.colour[((size_t)l * kOthers + n) * kValues]);
                std::copy(grey[l], grey[l] + kCells, &set.grey[((size_t)l * kOthers + n) * kCells]);
            }
        }
    });
    return set;
}

}  // namespace

void dot_turns(const float *x, const float (*turns)[kBlocks], int n, float out[kBlocks])
{
    static_assert(kBlocks == 4, "one lane per turn");
#ifdef __SSE2__
    // One lane per turn: each lane adds its products in index order, as
    // the plain loop does.
    __m128 s = _mm_setzero_ps();
    for (int i = 0; i < n; i++) s = _mm_add_ps(s, _mm_mul_ps(_mm_set1_ps(x[i]), _mm_loadu_ps(turns[i])));
    _mm_storeu_ps(out, s);
#else
    for (int b = 0; b < kBlocks; b++) out[b] = 0.0f;
    for (int i = 0; i < n; i++)
        for (int b = 0; b < kBlocks; b++) out[b] += x[i] * turns[i][b];
#endif
}

template <int kLength>
void dot_levels(const float *x, const float (&levels)[kGuardLevels][kLength][kBlocks],
                float out[kGuardLevels][kBlocks])
{
    static_assert(kGuardLevels == 4, "four sums side by side");
#ifdef __SSE2__
    __m128 s0 = _mm_setzero_ps(), s1 = s0, s2 = s0, s3 = s0;
    for (int i = 0; i < kLength; i++) {
        const __m128 xi = _mm_set1_ps(x[i]);
        s0 = _mm_add_ps(s0, _mm_mul_ps(xi, _mm_loadu_ps(levels[0][i])));
        s1 = _mm_add_ps(s1, _mm_mul_ps(xi, _mm_loadu_ps(levels[1][i])));
        s2 = _mm_add_ps(s2, _mm_mul_ps(xi, _mm_loadu_ps(levels[2][i])));
        s3 = _mm_add_ps(s3, _mm_mul_ps(xi, _mm_loadu_ps(levels[3][i])));
    }
    _mm_storeu_ps(out[0], s0);
    _mm_storeu_ps(out[1], s1);
    _mm_storeu_ps(out[2], s2);
    _mm_storeu_ps(out[3], s3);
#else
    for (int l = 0; l < kGuardLevels; l++) dot_turns(x, levels[l], kLength, out[l]);
#endif
}

template void dot_levels<kValues>(const float *, const float (&)[kGuardLevels][kValues][kBlocks],
                                  float[kGuardLevels][kBlocks]);
template void dot_levels<kCells>(const float *, const float (&)[kGuardLevels][kCells][kBlocks],
                                 float[kGuardLevels][kBlocks]);

void profile_from_values(const int values[kFileValues], PatternProfile *p)
{
    for (int b = 0; b < kBlocks; b++) {
        // Files store brightness; darkness as the templates hold it.
        double dark[kValues];
        const int *v = values + b * kValues;
        for (int c = 0; c < 3; c++)
            for (int cell = 0; cell < kCells; cell++)
                dark[cell * 3 + c] = 255.0 - std::clamp(v[c * kCells + cell], -1000000, 1000000);
        float colour[kGuardLevels][kValues], grey[kGuardLevels][kCells];
        levels_of(dark, colour, grey);
        for (int l = 0; l < kGuardLevels; l++) {
            for (int i = 0; i < kValues; i++) p->colour[l][i][b] = colour[l][i];
            for (int i = 0; i < kCells; i++) p->grey[l][i][b] = grey[l][i];
        }
        if (b == 0) contrast_of(dark, p->contrast);   // the same in every turn
    }
    const ChanceSet &set = chance_set();
    for (int plane = 0; plane < 2; plane++)
        for (int l = 0; l < kGuardLevels; l++) {
            const int n = plane == kGuardColour ? kValues : kCells;
            float top[kChanceRank] = {};
            for (int k = 0; k < kChanceRank; k++) top[k] = -1.0f;
            for (int o = 0; o < kOthers; o++) {
                const float *x = plane == kGuardColour ? &set.colour[((size_t)l * kOthers + o) * kValues]
                                                       : &set.grey[((size_t)l * kOthers + o) * kCells];
                float c[kBlocks];
                dot_turns(x, plane == kGuardColour ? p->colour[l] : p->grey[l], n, c);
                float best = -1.0f;
                for (int b = 0; b < kBlocks; b++) best = std::max(best, c[b]);
                // Keep the kChanceRank highest, in descending order.
                for (int k = 0; k < kChanceRank; k++)
                    if (best > top[k]) std::swap(best, top[k]);
            }
            p->chance[plane][l] = std::max(kChanceFloor, top[kChanceRank - 1] + kChanceMargin);
        }
}

void profile_similarity(const PatternProfile &a, const PatternProfile &b, int level, double *turned, double *same)
{
    float first[kValues], c[kBlocks];
    for (int i = 0; i < kValues; i++) first[i] = a.colour[level][i][0];
    dot_turns(first, b.colour[level], kValues, c);
    *same = c[0];
    *turned = -1.0;
    for (int k = 1; k < kBlocks; k++) *turned = std::max(*turned, (double)c[k]);
}

}  // namespace mvcore
