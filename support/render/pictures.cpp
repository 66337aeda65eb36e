// pictures.cpp - marker images: the border, this project's own picture and
// a few pictures that are deliberately not ours.
//
// Pictures are drawn from shapes in unit coordinates (x right, y down over
// [0, 1] x [0, 1]) with 4 x 4 sub-samples per pixel. Dark parts stay at
// least 1/8 of the picture away from its edge: thresholded, a dark part
// touching the border would merge with it and spoil the square outline.
#include <algorithm>
#include <cmath>
#include <functional>

#include "render.h"

namespace render {

namespace {

struct Rgb {
    float r, g, b;
};

using Painter = std::function<Rgb(double x, double y)>;

Image draw(int size, const Painter &paint) {
    Image img;
    img.width = img.height = size;
    img.channels = 3;
    img.pixels.resize(static_cast<size_t>(size) * size * 3);
    const int n = 4;
    for (int py = 0; py < size; py++)
        for (int px = 0; px < size; px++) {
            float acc[3] = {0, 0, 0};
            for (int sy = 0; sy < n; sy++)
                for (int sx = 0; sx < n; sx++) {
                    Rgb c = paint((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size);
                    acc[0] += c.r;
                    acc[1] += c.g;
                    acc[2] += c.b;
                }
            for (int c = 0; c < 3; c++)
                img.pixels[(static_cast<size_t>(py) * size + px) * 3 + c] =
                    static_cast<uint8_t>(std::lround(std::clamp(acc[c] / (n * n), 0.0f, 255.0f)));
        }
    return img;
}

bool inBox(double x, double y, double x0, double y0, double x1, double y1) {
    return x >= x0 && x < x1 && y >= y0 && y < y1;
}

bool inDisc(double x, double y, double cx, double cy, double r) {
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
}

bool inTriangle(double x, double y, double ax, double ay, double bx, double by, double cx, double cy) {
    auto side = [x, y](double px, double py, double qx, double qy) { return (qx - px) * (y - py) - (qy - py) * (x - px); };
    double d1 = side(ax, ay, bx, by), d2 = side(bx, by, cx, cy), d3 = side(cx, cy, ax, ay);
    bool neg = d1 < 0 || d2 < 0 || d3 < 0, pos = d1 > 0 || d2 > 0 || d3 > 0;
    return !(neg && pos);
}

const Rgb kPaper = {250, 244, 228};
const Rgb kNavy = {22, 36, 104};
const Rgb kRed = {214, 40, 32};

// Our picture, drawn on a 4 x 4 block grid over [1/8, 7/8] (every block is
// exactly 3 x 3 of the matcher's 16 x 16 cells, the margin 2 cells):
//
//     . . N .        N navy: a hook, a stem down the third column bending
//     . . N .          out to the right edge in the lower half
//     . . N N        R red: a bar along the bottom under the stem
//     R R R N        . cream ground
//
// Only a few large areas and few edges, so a marker 28 px wide (the picture
// 14 px) is still sampled close to the file's cells. On 16 x 16 cell means
// the upright picture correlates with its quarter turns at most about 0.29
// and with its mirror image (any turn) at most about 0.29.
Rgb projectPainter(double x, double y) {
    const double g0 = 0.125, b = 0.1875;  // grid origin, block side
    auto block = [&](int col0, int row0, int col1, int row1) {  // inclusive
        return inBox(x, y, g0 + col0 * b, g0 + row0 * b, g0 + (col1 + 1) * b, g0 + (row1 + 1) * b);
    };
    if (block(2, 0, 2, 2) || block(3, 2, 3, 3)) return kNavy;
    if (block(0, 3, 2, 3)) return kRed;
    return kPaper;
}

Rgb alternatePainter(int variant, double x, double y) {
    switch (variant) {
    case 0:  // a centred black disc
        return inDisc(x, y, 0.5, 0.5, 0.32) ? Rgb{10, 10, 10} : Rgb{245, 245, 245};
    case 1:  // a 2 x 2 navy/cream checkerboard
        if (inBox(x, y, 0.15, 0.15, 0.85, 0.85) && ((x < 0.5) != (y < 0.5))) return kNavy;
        return kPaper;
    case 2: {  // a thick red diagonal band
        double d = (x - y) / std::sqrt(2.0);
        return (std::fabs(d) < 0.14 && inBox(x, y, 0.13, 0.13, 0.87, 0.87)) ? kRed : Rgb{240, 240, 240};
    }
    case 3:  // a bold green arrow pointing up (a "T" was too close to ours turned over)
        if (inTriangle(x, y, 0.5, 0.15, 0.15, 0.5, 0.85, 0.5) || inBox(x, y, 0.39, 0.5, 0.61, 0.85))
            return Rgb{20, 120, 40};
        return Rgb{238, 242, 236};
    default:  // our own picture mirrored left to right: never a rotation of it
        return projectPainter(1.0 - x, y);
    }
}

constexpr int kAlternates = 5;

}  // namespace

Image projectPicture() { return draw(256, projectPainter); }

int alternatePictureCount() { return kAlternates; }

Image makeAlternatePicture(int variant) {
    int v = ((variant % kAlternates) + kAlternates) % kAlternates;
    return draw(256, [v](double x, double y) { return alternatePainter(v, x, y); });
}

Image makeMarker(const Image &picture, int side_px) {
    int side = std::max(8, side_px - side_px % 4);
    int border = side / 4, inner = side / 2;
    Image out;
    out.width = out.height = side;
    out.channels = 3;
    out.pixels.assign(static_cast<size_t>(side) * side * 3, 0);
    bool usable = picture.width > 0 && picture.height > 0 &&
                  (picture.channels == 1 || picture.channels == 3 || picture.channels == 4) &&
                  picture.pixels.size() >= static_cast<size_t>(picture.width) * picture.height * picture.channels;
    // One picture pixel as RGB, transparency laid over white.
    auto texel = [&](int x, int y, float rgb[3]) {
        const uint8_t *p = &picture.pixels[(static_cast<size_t>(y) * picture.width + x) * picture.channels];
        float a = picture.channels == 4 ? p[3] / 255.0f : 1.0f;
        for (int c = 0; c < 3; c++) {
            float v = picture.channels == 1 ? p[0] : p[c];
            rgb[c] = a * v + (1.0f - a) * 255.0f;
        }
    };
    for (int y = 0; y < inner; y++)
        for (int x = 0; x < inner; x++) {
            float acc[3] = {255, 255, 255};
            if (usable && picture.width == inner && picture.height == inner) {
                texel(x, y, acc);
            } else if (usable) {
                // Box filter over the picture pixels this output pixel covers
                // (at least one: nearest when enlarging).
                double sx = static_cast<double>(picture.width) / inner;
                double sy = static_cast<double>(picture.height) / inner;
                int x0 = static_cast<int>(std::floor(x * sx)), x1 = static_cast<int>(std::ceil((x + 1) * sx));
                int y0 = static_cast<int>(std::floor(y * sy)), y1 = static_cast<int>(std::ceil((y + 1) * sy));
                x1 = std::clamp(x1, x0 + 1, picture.width);
                y1 = std::clamp(y1, y0 + 1, picture.height);
                x0 = std::min(x0, picture.width - 1);
                y0 = std::min(y0, picture.height - 1);
                acc[0] = acc[1] = acc[2] = 0;
                int cnt = 0;
                for (int yy = y0; yy < y1; yy++)
                    for (int xx = x0; xx < x1; xx++) {
                        float rgb[3];
                        texel(xx, yy, rgb);
                        for (int c = 0; c < 3; c++) acc[c] += rgb[c];
                        cnt++;
                    }
                for (float &v : acc) v /= cnt;
            }
            uint8_t *d = &out.pixels[(static_cast<size_t>(y + border) * side + x + border) * 3];
            for (int c = 0; c < 3; c++) d[c] = static_cast<uint8_t>(std::lround(std::clamp(acc[c], 0.0f, 255.0f)));
        }
    return out;
}

Image makeProjectMarker(int side_px) { return makeMarker(projectPicture(), side_px); }

}  // namespace render
