// Identification from sub-pixel corners: the picture's 16 x 16 cells are
// placed through the projective map of the ideal corners and the lens
// model, each averaging a grid of bilinear samples, then matched exactly as
// detection matches its own samples.
#include "morvex/camera.h"
#include "morvex/detect.h"
#include "morvex/refine.h"
#include "../detect/refine_internal.h"
#include "pattern_store.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kSide = 16;          // cells per row of the picture
constexpr double kIdentityMin = 0.5;
constexpr int kSubMin = 2, kSubMax = 8;  // sub-samples per cell and axis

}  // namespace

extern "C" int mvIdentifyMarker(const unsigned char *image, MvMarkerInfo *marker)
{
    if (image == nullptr || marker == nullptr) return -1;
    mvcore::QuadMap map;
    if (!mvcore::quad_map(marker->vertices, &map)) return -1;
    double perimeter = 0.0;
    for (int i = 0; i < 4; i++)
        perimeter += std::hypot(marker->vertices[(i + 1) % 4][0] - marker->vertices[i][0],
                                marker->vertices[(i + 1) % 4][1] - marker->vertices[i][1]);
    // The picture is the central half of the side: cells of side / 32 px.
    // Samples about a pixel apart or closer, at least 2 x 2 per cell.
    const double cell_px = perimeter / 4.0 / (2.0 * kSide);
    const int n = std::clamp((int)(cell_px + 0.5), kSubMin, kSubMax);

    // Observed positions of the cell corners; within a cell the map is
    // close enough to bilinear between them.
    double gx[kSide + 1][kSide + 1], gy[kSide + 1][kSide + 1];
    for (int r = 0; r <= kSide; r++)
        for (int c = 0; c <= kSide; c++) {
            double ix, iy;
            mvcore::quad_apply(map, 0.25 + 0.5 * c / kSide, 0.25 + 0.5 * r / kSide, &ix, &iy);
            mvParamIdeal2Observ(mvParam.distortion, ix, iy, &gx[r][c], &gy[r][c]);
        }

    unsigned char sample[mvcore::kValues];
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
                    if (!mvcore::frame_rgb(image, lx + fx * (rx - lx), ly + fx * (ry - ly), rgb)) continue;
                    for (int ch = 0; ch < 3; ch++) sum[ch] += rgb[ch];
                    count++;
                }
            }
            // Channel 0 is blue (frame byte 2), channel 2 red (byte 0).
            unsigned char *cell = sample + (row * kSide + col) * 3;
            for (int ch = 0; ch < 3; ch++)
                cell[ch] = count ? (unsigned char)(sum[2 - ch] / count + 0.5) : 0;
        }

    int id, direction;
    double confidence;
    mvcore::match_sample(sample, &id, &direction, &confidence);
    marker->id = confidence >= kIdentityMin ? id : -1;
    marker->direction = direction;
    marker->confidence = confidence;
    return 0;
}
