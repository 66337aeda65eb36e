/* sample.cpp - the two samplers of a marker's picture. */
#include "sample.h"

#include "homography.h"
#include "morvex/camera.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__GNUC__) && defined(__x86_64__)
#define MORVEX_SAMPLE_AVX2 1
#include <immintrin.h>
#endif

namespace mvcore {

namespace {

// Truncates toward zero into *out; false when v is not a finite value
// well within int range (such a position cannot lie inside the frame).
bool to_pixel(double v, int *out) {
    if (!(v > -1073741824.0 && v < 1073741824.0)) return false;
    *out = (int)v;
    return true;
}

constexpr int kSide = 16;                // cells per row of the picture
constexpr int kSubMin = 2, kSubMax = 4;  // sub-samples per cell and axis

}  // namespace

namespace {

// P x P points per cell (16 P across the picture), each adding 1 / P^2 of
// its pixel's bytes to its cell.
template <int P>
int sample_outline_at(const FrameView &frame, bool half, const int *contourX, const int *contourY,
                      const int cornerIndices[4], unsigned char sample[kSampleBytes])
{
    constexpr int N = 16 * P;
    static const double world[4][2] = {
        {100.0, 100.0}, {110.0, 100.0}, {110.0, 110.0}, {100.0, 110.0}};
    double vertex[4][2];
    for (int i = 0; i < 4; i++) {
        vertex[i][0] = (double)contourX[cornerIndices[i]];
        vertex[i][1] = (double)contourY[cornerIndices[i]];
    }
    Homography map;
    four_point_map(world, vertex, &map);
    const double (*p)[3] = map.h;
    std::memset(sample, 0, kSampleBytes);
    // N x N samples over the central half of the marker square (102.5 ..
    // 107.5). The products of the map with a column's X (and below, a
    // row's Y) are the same for every sample of that column (row): computed
    // once, then summed in the same order as p * (X, Y, 1).
    double px0[N], px1[N], px2[N];
    for (int j = 0; j < N; j++) {
        const double X = (j + 0.5) * 5.0 * (1.0 / N) + 102.5;
        px0[j] = p[0][0] * X;
        px1[j] = p[1][0] * X;
        px2[j] = p[2][0] * X;
    }
    const int xsize = frame.width, ysize = frame.height;
    const int r = frame.red, g = frame.green, b = frame.blue;
    for (int i = 0; i < N; i++) {
        const double Y = (i + 0.5) * 5.0 * (1.0 / N) + 102.5;
        const double py0 = p[0][1] * Y, py1 = p[1][1] * Y, py2 = p[2][1] * Y;
        unsigned char *line = sample + (i / P) * 16 * 3;
        for (int j = 0; j < N; j++) {
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
            const unsigned char *px = frame.pixel(xc, yc);
            unsigned char *cell = line + (j / P) * 3;
            // No cell passes 16 * 15 (P = 4) or 4 * 63 (P = 2): no overflow.
            cell[0] = (unsigned char)(cell[0] + px[b] / (P * P));
            cell[1] = (unsigned char)(cell[1] + px[g] / (P * P));
            cell[2] = (unsigned char)(cell[2] + px[r] / (P * P));
        }
    }
    return 0;
}

}  // namespace

int sample_outline(const FrameView &frame, bool half, const int *contourX, const int *contourY,
                   const int cornerIndices[4], unsigned char sample[kSampleBytes], bool sparse)
{
    return sparse ? sample_outline_at<2>(frame, half, contourX, contourY, cornerIndices, sample)
                  : sample_outline_at<4>(frame, half, contourX, contourY, cornerIndices, sample);
}

namespace {

// Observed positions of the picture's cell corners.
typedef double CellGrid[kSide + 1][kSide + 1];

// Sums of bilinear colour samples, read one channel at a time: any pixel
// layout.
struct BlendSum {
    const FrameView &f;
    double sum[3] = {0.0, 0.0, 0.0};   // R, G, B
    explicit BlendSum(const FrameView &frame) : f(frame) {}
    // Adds the sample at (x, y); false (nothing added) off the frame.
    bool add(double x, double y)
    {
        double rgb[3];
        if (!frame_rgb(f, x, y, rgb)) return false;
        for (int ch = 0; ch < 3; ch++) sum[ch] += rgb[ch];
        return true;
    }
    void total(double rgb[3]) const
    {
        for (int ch = 0; ch < 3; ch++) rgb[ch] = sum[ch];
    }
    // The rounded means of `count` samples (> 0) into a cell (blue first).
    void mean_into(int count, unsigned char cell[3]) const
    {
        for (int ch = 0; ch < 3; ch++) cell[ch] = (unsigned char)(sum[2 - ch] / count + 0.5);
    }
};

// Each cell the mean of n x n bilinear samples placed bilinearly between
// its corners; Sum adds them up (R, G, B).
template <class Sum>
inline __attribute__((always_inline)) void sample_cells(const FrameView &frame, const CellGrid &gx,
                                                        const CellGrid &gy, int n,
                                                        unsigned char sample[kSampleBytes])
{
    double frac[kSubMax];   // sub-sample positions across a cell
    for (int k = 0; k < n; k++) frac[k] = (k + 0.5) / n;
    for (int row = 0; row < kSide; row++)
        for (int col = 0; col < kSide; col++) {
            Sum acc(frame);
            int count = 0;
            for (int sy = 0; sy < n; sy++) {
                const double fy = frac[sy];
                // Left and right ends of this row of sub-samples.
                const double lx = gx[row][col] + fy * (gx[row + 1][col] - gx[row][col]);
                const double ly = gy[row][col] + fy * (gy[row + 1][col] - gy[row][col]);
                const double rx = gx[row][col + 1] + fy * (gx[row + 1][col + 1] - gx[row][col + 1]);
                const double ry = gy[row][col + 1] + fy * (gy[row + 1][col + 1] - gy[row][col + 1]);
                for (int sx = 0; sx < n; sx++) {
                    const double fx = frac[sx];
                    count += acc.add(lx + fx * (rx - lx), ly + fx * (ry - ly));
                }
            }
            // Channel 0 is blue, channel 2 red.
            unsigned char *cell = sample + (row * kSide + col) * 3;
            if (count > 0) acc.mean_into(count, cell);
            else cell[0] = cell[1] = cell[2] = 0;
        }
}

#ifdef MORVEX_SAMPLE_AVX2
bool four_byte_avx2(const FrameView &f)
{
    return f.bpp == 4 && __builtin_cpu_supports("avx2");
}

// The four bytes of a pixel as doubles.
__attribute__((target("avx2"), always_inline)) inline __m256d pixel4(const unsigned char *p)
{
    int v;
    std::memcpy(&v, p, sizeof v);
    return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(v)));
}

// BlendSum for four-byte pixels, all four bytes side by side: the same
// weights, products and sums in the same order, so the same values.
struct BlendSum4 {
    const FrameView &f;
    __m256d sum;   // bytes 0..3
    __attribute__((target("avx2"))) explicit BlendSum4(const FrameView &frame) : f(frame), sum(_mm256_setzero_pd()) {}
    __attribute__((target("avx2"))) bool add(double x, double y)
    {
        const unsigned char *p;
        double w[4];
        if (!blend_at(f, x, y, &p, w)) return false;
        const unsigned char *q = p + f.stride;
        __m256d s = _mm256_mul_pd(_mm256_set1_pd(w[0]), pixel4(p));
        s = _mm256_add_pd(s, _mm256_mul_pd(_mm256_set1_pd(w[1]), pixel4(p + 4)));
        s = _mm256_add_pd(s, _mm256_mul_pd(_mm256_set1_pd(w[2]), pixel4(q)));
        s = _mm256_add_pd(s, _mm256_mul_pd(_mm256_set1_pd(w[3]), pixel4(q + 4)));
        sum = _mm256_add_pd(sum, s);
        return true;
    }
    __attribute__((target("avx2"))) void mean_into(int count, unsigned char cell[3]) const
    {
        // One division for all four bytes: each lane's quotient is exact.
        alignas(32) double m[4];
        _mm256_store_pd(m, _mm256_div_pd(sum, _mm256_set1_pd(count)));
        cell[0] = (unsigned char)(m[f.blue] + 0.5);
        cell[1] = (unsigned char)(m[f.green] + 0.5);
        cell[2] = (unsigned char)(m[f.red] + 0.5);
    }
    __attribute__((target("avx2"))) void total(double rgb[3]) const
    {
        alignas(32) double b[4];
        _mm256_store_pd(b, sum);
        rgb[0] = b[f.red];
        rgb[1] = b[f.green];
        rgb[2] = b[f.blue];
    }
};

__attribute__((target("avx2"), flatten)) void sample_cells_avx2(const FrameView &frame, const CellGrid &gx,
                                                       const CellGrid &gy, int n,
                                                       unsigned char sample[kSampleBytes])
{
    sample_cells<BlendSum4>(frame, gx, gy, n, sample);
}
#endif

}  // namespace

bool sample_corners(const FrameView &frame, const double distortion[4], const double vertices[4][2],
                    unsigned char sample[kSampleBytes])
{
    Homography map;
    if (!unit_square_map(vertices, &map)) return false;
    double perimeter = 0.0;
    for (int i = 0; i < 4; i++)
        perimeter += std::hypot(vertices[(i + 1) % 4][0] - vertices[i][0],
                                vertices[(i + 1) % 4][1] - vertices[i][1]);
    // The picture is the central half of the side: cells of side / 32 px.
    // Samples about two pixels apart, each a bilinear blend of four pixels,
    // at least 2 x 2 per cell.
    const double cell_px = perimeter / 4.0 / (2.0 * kSide);
    const int n = std::clamp((int)(0.5 * cell_px + 0.5), kSubMin, kSubMax);

    // Observed positions of the cell corners; within a cell the map is
    // close enough to bilinear between them.
    double gx[kSide + 1][kSide + 1], gy[kSide + 1][kSide + 1];
    for (int r = 0; r <= kSide; r++)
        for (int c = 0; c <= kSide; c++) {
            double ix, iy;
            map.apply(0.25 + 0.5 * c / kSide, 0.25 + 0.5 * r / kSide, &ix, &iy);
            mvParamIdeal2Observ(distortion, ix, iy, &gx[r][c], &gy[r][c]);
        }

#ifdef MORVEX_SAMPLE_AVX2
    if (four_byte_avx2(frame)) {
        sample_cells_avx2(frame, gx, gy, n, sample);
        return true;
    }
#endif
    sample_cells<BlendSum>(frame, gx, gy, n, sample);
    return true;
}

namespace {

// Grey levels of an n x n grid over the square of `map`; false when a point
// falls off the frame.
template <class Sum>
inline __attribute__((always_inline)) bool grid_cells(const FrameView &frame, const double distortion[4],
                                                      const Homography &map, int n, const unsigned char *only,
                                                      float *out)
{
    for (int r = 0; r < n; r++)
        for (int c = 0; c < n; c++) {
            if (only != nullptr && !only[r * n + c]) continue;
            double ix, iy, ox, oy, rgb[3];
            map.apply((c + 0.5) / n, (r + 0.5) / n, &ix, &iy);
            mvParamIdeal2Observ(distortion, ix, iy, &ox, &oy);
            Sum px(frame);
            if (!px.add(ox, oy)) return false;
            px.total(rgb);
            out[r * n + c] = (float)((rgb[0] + rgb[1] + rgb[2]) * (1.0 / 3.0));
        }
    return true;
}

#ifdef MORVEX_SAMPLE_AVX2
__attribute__((target("avx2"), flatten)) bool grid_cells_avx2(const FrameView &frame, const double distortion[4],
                                                             const Homography &map, int n,
                                                             const unsigned char *only, float *out)
{
    return grid_cells<BlendSum4>(frame, distortion, map, n, only, out);
}
#endif

}  // namespace

bool sample_grid(const FrameView &frame, const double distortion[4], const double vertices[4][2], int n,
                 float *out, const unsigned char *only)
{
    Homography map;
    if (!unit_square_map(vertices, &map)) return false;
#ifdef MORVEX_SAMPLE_AVX2
    if (four_byte_avx2(frame)) return grid_cells_avx2(frame, distortion, map, n, only, out);
#endif
    return grid_cells<BlendSum>(frame, distortion, map, n, only, out);
}

}  // namespace mvcore
