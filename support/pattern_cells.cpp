// pattern_cells.cpp - a picture's pattern cells, blocks and file.
#include "pattern_cells.h"
#include "tool_files.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace mvtool {

namespace {

// Colour (r, g, b) of pixel (x, y), alpha laid over white.
void pixel_rgb(const Image &img, int x, int y, double rgb[3]) {
    const uint8_t *p = &img.pixels[((size_t)y * img.width + x) * img.channels];
    if (img.channels == 1) {
        rgb[0] = rgb[1] = rgb[2] = p[0];
        return;
    }
    double a = img.channels == 4 ? p[3] / 255.0 : 1.0;
    for (int c = 0; c < 3; c++) rgb[c] = p[c] * a + 255.0 * (1.0 - a);
}

// Mean colour of the picture over [x0, x1) x [y0, y1) in pixel units,
// partial pixels weighted by their covered fraction.
void box_mean(const Image &img, double x0, double x1, double y0,
              double y1, double rgb[3]) {
    double sum[3] = {0, 0, 0}, weight = 0.0;
    for (int y = (int)std::floor(y0); y < (int)std::ceil(y1); y++) {
        double wy = std::fmin(y1, y + 1.0) - std::fmax(y0, (double)y);
        if (wy <= 0.0) continue;
        for (int x = (int)std::floor(x0); x < (int)std::ceil(x1); x++) {
            double wx = std::fmin(x1, x + 1.0) - std::fmax(x0, (double)x);
            if (wx <= 0.0) continue;
            double c[3];
            pixel_rgb(img, x < img.width ? x : img.width - 1,
                      y < img.height ? y : img.height - 1, c);
            for (int k = 0; k < 3; k++) sum[k] += c[k] * wx * wy;
            weight += wx * wy;
        }
    }
    for (int k = 0; k < 3; k++) rgb[k] = weight > 0.0 ? sum[k] / weight : 0.0;
}

}  // namespace

PatternBlock pictureCells(const Image &picture) {
    PatternBlock b;
    int acc[768] = {0};
    const double sx = picture.width / 64.0, sy = picture.height / 64.0;
    for (int i = 0; i < 64; i++) {
        for (int j = 0; j < 64; j++) {
            double rgb[3];
            box_mean(picture, j * sx, (j + 1) * sx, i * sy, (i + 1) * sy, rgb);
            int *cell = acc + ((i / 4) * 16 + j / 4) * 3;
            // Channel 0 is blue: the frame's byte 2.
            for (int ch = 0; ch < 3; ch++)
                cell[ch] += (int)std::lround(rgb[2 - ch]) / 16;
        }
    }
    for (int k = 0; k < 768; k++) b.v[k] = (unsigned char)acc[k];
    return b;
}

void rotationBlocks(const PatternBlock &up, PatternBlock out[4]) {
    // Cell (r, c) of block b in terms of the upright cells P(row, column).
    for (int r = 0; r < 16; r++) {
        for (int c = 0; c < 16; c++) {
            const int src[4] = {r * 16 + c,                  // from top-left
                                c * 16 + (15 - r),           // from top-right
                                (15 - r) * 16 + (15 - c),    // from bottom-right
                                (15 - c) * 16 + r};          // from bottom-left
            for (int b = 0; b < 4; b++)
                for (int ch = 0; ch < 3; ch++)
                    out[b].v[(r * 16 + c) * 3 + ch] = up.v[src[b] * 3 + ch];
        }
    }
}

void patternValues(const Image &picture, unsigned char values[3072]) {
    PatternBlock blocks[4];
    rotationBlocks(pictureCells(picture), blocks);
    for (int b = 0; b < 4; b++)
        for (int ch = 0; ch < 3; ch++)
            for (int cell = 0; cell < 256; cell++)
                values[(b * 3 + ch) * 256 + cell] = blocks[b].v[cell * 3 + ch];
}

bool writePatternFile(const std::string &path, const PatternBlock blocks[4], std::string *error) {
    OutputFile out;
    if (!out.open(path, error)) return false;
    FILE *fp = out.stream();
    for (int b = 0; b < 4; b++) {
        for (int ch = 0; ch < 3; ch++) {
            for (int r = 0; r < 16; r++) {
                for (int c = 0; c < 16; c++)
                    std::fprintf(fp, "%4d", blocks[b].v[(r * 16 + c) * 3 + ch]);
                std::fputc('\n', fp);
            }
        }
        std::fputc('\n', fp);
    }
    return out.commit(error);
}

}  // namespace mvtool
