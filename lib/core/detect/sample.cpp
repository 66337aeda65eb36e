/* sample.cpp - the two samplers of a marker's picture. */
#include "sample.h"

#include "homography.h"
#include "morvex/camera.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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

    for (int row = 0; row < kSide; row++)
        for (int col = 0; col < kSide; col++) {
            double sum[3] = {0, 0, 0};
            int count = 0;
            for (int sy = 0; sy < n; sy++) {
                const double fy = (sy + 0.5) / n;
                // Left and right ends of this row of sub-samples.
                const double lx = gx[row][col] + fy * (gx[row + 1][col] - gx[row][col]);
                const double ly = gy[row][col] + fy * (gy[row + 1][col] - gy[row][col]);
                const double rx = gx[row][col + 1] + fy * (gx[row + 1][col + 1] - gx[row][col + 1]);
                const double ry = gy[row][col + 1] + fy * (gy[row + 1][col + 1] - gy[row][col + 1]);
                for (int sx = 0; sx < n; sx++) {
                    const double fx = (sx + 0.5) / n;
                    double rgb[3];
                    if (!frame_rgb(frame, lx + fx * (rx - lx), ly + fx * (ry - ly), rgb)) continue;
                    for (int ch = 0; ch < 3; ch++) sum[ch] += rgb[ch];
                    count++;
                }
            }
            // Channel 0 is blue, channel 2 red.
            unsigned char *cell = sample + (row * kSide + col) * 3;
            for (int ch = 0; ch < 3; ch++)
                cell[ch] = count ? (unsigned char)(sum[2 - ch] / count + 0.5) : 0;
        }
    return true;
}

bool sample_grid(const FrameView &frame, const double distortion[4], const double vertices[4][2], int n,
                 float *out)
{
    Homography map;
    if (!unit_square_map(vertices, &map)) return false;
    for (int r = 0; r < n; r++)
        for (int c = 0; c < n; c++) {
            double ix, iy, ox, oy, rgb[3];
            map.apply((c + 0.5) / n, (r + 0.5) / n, &ix, &iy);
            mvParamIdeal2Observ(distortion, ix, iy, &ox, &oy);
            if (!frame_rgb(frame, ox, oy, rgb)) return false;
            out[r * n + c] = (float)((rgb[0] + rgb[1] + rgb[2]) * (1.0 / 3.0));
        }
    return true;
}

}  // namespace mvcore
