// background.cpp - what the camera sees around the marker, and the
// camera's blur and noise.
//
// Clutter is meant to put detection in front of distractors: dark and
// light rectangles, rotated bars, blobs and hollow dark square frames (which
// look like markers with some other picture). Anything that could read as
// dark after thresholding stays clear of the marker's surroundings, so it
// can never merge with the marker's border into a different outline.
#include <algorithm>
#include <cmath>

#include "render_internal.h"

namespace render {

namespace {

// Seeds for the independent random streams of one frame, so that changing
// the blur or noise does not move the clutter, and vice versa.
constexpr unsigned kGradientStream = 0x6a09e667u;
constexpr unsigned kClutterStream = 0xbb67ae85u;
constexpr unsigned kNoiseStream = 0x3c6ef372u;

// Mean grey below which a shape may pass a detector's darkness threshold
// (100 in the viewer) once blur and noise have had their way.
constexpr float kDarkMean = 140.0f;

struct Shape {
    enum Kind { Rect, Bar, Blob, Frame } kind;
    double cx, cy;      // centre, pixels
    double a, b;        // half extents (Frame: a = outer half side, b = thickness)
    double angle;       // radians
    float rgb[3];
    // Axis-aligned bounds (conservative).
    void bounds(int *x0, int *y0, int *x1, int *y1) const {
        double r = kind == Frame ? a * std::sqrt(2.0) : kind == Blob ? std::max(a, b) : std::hypot(a, b);
        *x0 = static_cast<int>(std::floor(cx - r)) - 1;
        *y0 = static_cast<int>(std::floor(cy - r)) - 1;
        *x1 = static_cast<int>(std::ceil(cx + r)) + 1;
        *y1 = static_cast<int>(std::ceil(cy + r)) + 1;
    }
    bool covers(double x, double y) const {
        double dx = x - cx, dy = y - cy;
        double c = std::cos(angle), s = std::sin(angle);
        double u = c * dx + s * dy, v = -s * dx + c * dy;
        switch (kind) {
        case Rect:
        case Bar:
            return std::fabs(u) <= a && std::fabs(v) <= b;
        case Blob:
            return (u * u) / (a * a) + (v * v) / (b * b) <= 1.0;
        case Frame: {
            double m = std::max(std::fabs(u), std::fabs(v));
            return m <= a && m >= a - b;
        }
        }
        return false;
    }
};

bool overlaps(const KeepOut &k, int x0, int y0, int x1, int y1) {
    if (k.x0 > k.x1) return false;
    return !(x1 < k.x0 || x0 > k.x1 || y1 < k.y0 || y0 > k.y1);
}

void pickColour(Rng &r, bool dark, float rgb[3]) {
    if (dark) {
        if (r.uniform() < 0.5) {
            float g = static_cast<float>(r.uniform(5, 90));
            rgb[0] = rgb[1] = rgb[2] = g;
        } else {
            for (int c = 0; c < 3; c++) rgb[c] = static_cast<float>(r.uniform(0, 110));
        }
        return;
    }
    double t = r.uniform();
    if (t < 0.45) {
        float g = static_cast<float>(r.uniform(150, 250));
        rgb[0] = rgb[1] = rgb[2] = g;
    } else {
        // A saturated colour: one channel strong, the others anywhere.
        do {
            for (int c = 0; c < 3; c++) rgb[c] = static_cast<float>(r.uniform(40, 255));
            rgb[r.below(3)] = static_cast<float>(r.uniform(220, 255));
        } while ((rgb[0] + rgb[1] + rgb[2]) / 3.0f < kDarkMean + 5.0f);
    }
}

void paint(FloatImage *img, const Shape &s) {
    int x0, y0, x1, y1;
    s.bounds(&x0, &y0, &x1, &y1);
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, img->width - 1);
    y1 = std::min(y1, img->height - 1);
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) {
            // 2 x 2 sub-samples give the shapes soft, camera-like edges.
            int hit = 0;
            for (int k = 0; k < 4; k++) hit += s.covers(x - 0.25 + 0.5 * (k & 1), y - 0.25 + 0.5 * (k >> 1));
            if (!hit) continue;
            float f = hit / 4.0f;
            float *p = img->at(x, y);
            for (int c = 0; c < 3; c++) p[c] += f * (s.rgb[c] - p[c]);
        }
}

void fillClutter(const Options &opt, const KeepOut &keep, FloatImage *img) {
    Rng r(opt.seed ^ kClutterStream);
    const int W = img->width, H = img->height;
    // A light, slightly tinted ground with a gentle texture.
    float base[3];
    float g = static_cast<float>(r.uniform(160, 215));
    for (int c = 0; c < 3; c++) base[c] = g + static_cast<float>(r.uniform(-12, 12));
    struct Wave { double kx, ky, phase, amp; } waves[3];
    for (Wave &w : waves) {
        double len = r.uniform(20, 120), ang = r.uniform(0, M_PI);
        w = {std::cos(ang) * 2 * M_PI / len, std::sin(ang) * 2 * M_PI / len, r.uniform(0, 2 * M_PI),
             r.uniform(4, 10)};
    }
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            double t = 0;
            for (const Wave &w : waves) t += w.amp * std::sin(w.kx * x + w.ky * y + w.phase);
            float *p = img->at(x, y);
            for (int c = 0; c < 3; c++) p[c] = base[c] + static_cast<float>(t);
        }

    const int count = std::max(12, W * H / 2500);
    const double big = std::max(8.0, std::min(W, H) / 5.0);
    for (int i = 0; i < count; i++) {
        Shape s{};
        double kind = r.uniform();
        s.kind = kind < 0.35 ? Shape::Rect : kind < 0.6 ? Shape::Bar : kind < 0.88 ? Shape::Blob : Shape::Frame;
        bool dark = s.kind == Shape::Frame || r.uniform() < 0.35;
        pickColour(r, dark, s.rgb);
        s.angle = s.kind == Shape::Rect ? 0.0 : r.uniform(0, M_PI);
        if (s.kind == Shape::Bar) {
            s.a = r.uniform(big * 0.4, big * 1.2);
            s.b = r.uniform(1.5, 5.0);
        } else if (s.kind == Shape::Frame) {
            s.a = r.uniform(big * 0.25, big * 0.6);
            s.b = std::max(2.0, s.a * r.uniform(0.2, 0.35));
        } else {
            s.a = r.uniform(3, big * 0.6);
            s.b = r.uniform(3, big * 0.6);
        }
        // Dark shapes get a few tries to land clear of the marker.
        for (int tries = 0; tries < 8; tries++) {
            s.cx = r.uniform(-0.1 * W, 1.1 * W);
            s.cy = r.uniform(-0.1 * H, 1.1 * H);
            int x0, y0, x1, y1;
            s.bounds(&x0, &y0, &x1, &y1);
            bool isDark = (s.rgb[0] + s.rgb[1] + s.rgb[2]) / 3.0f < kDarkMean;
            if (!isDark || !overlaps(keep, x0, y0, x1, y1)) {
                paint(img, s);
                break;
            }
        }
    }
}

}  // namespace

void fillBackground(const Options &opt, const KeepOut &keep, FloatImage *img) {
    const int W = img->width, H = img->height;
    switch (opt.background) {
    case Background::Plain:
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++)
                for (int c = 0; c < 3; c++) img->at(x, y)[c] = opt.plain[c];
        break;
    case Background::Gradient: {
        // From the plain colour to 65% of it, in a direction set by the seed.
        Rng r(opt.seed ^ kGradientStream);
        double ang = r.uniform(0, 2 * M_PI);
        double dx = std::cos(ang), dy = std::sin(ang);
        double lo = std::min(0.0, dx * (W - 1)) + std::min(0.0, dy * (H - 1));
        double hi = std::max(0.0, dx * (W - 1)) + std::max(0.0, dy * (H - 1));
        double span = hi > lo ? hi - lo : 1.0;
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) {
                double t = (dx * x + dy * y - lo) / span;
                for (int c = 0; c < 3; c++)
                    img->at(x, y)[c] = static_cast<float>(opt.plain[c] * (1.0 - 0.35 * t));
            }
        break;
    }
    case Background::Clutter:
        fillClutter(opt, keep, img);
        break;
    }
}

void gaussianBlur(FloatImage *img, double sigma) {
    const int W = img->width, H = img->height;
    if (W == 0 || H == 0) return;
    int radius = std::max(1, static_cast<int>(std::ceil(3.0 * sigma)));
    std::vector<float> k(2 * radius + 1);
    double sum = 0;
    for (int i = -radius; i <= radius; i++) sum += k[i + radius] = static_cast<float>(std::exp(-0.5 * i * i / (sigma * sigma)));
    for (float &v : k) v = static_cast<float>(v / sum);
    std::vector<float> tmp(img->rgb.size());
    // Rows, then columns; edges repeat the outermost pixel.
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++)
            for (int c = 0; c < 3; c++) {
                float acc = 0;
                for (int i = -radius; i <= radius; i++) {
                    int xx = std::clamp(x + i, 0, W - 1);
                    acc += k[i + radius] * img->rgb[(static_cast<size_t>(y) * W + xx) * 3 + c];
                }
                tmp[(static_cast<size_t>(y) * W + x) * 3 + c] = acc;
            }
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++)
            for (int c = 0; c < 3; c++) {
                float acc = 0;
                for (int i = -radius; i <= radius; i++) {
                    int yy = std::clamp(y + i, 0, H - 1);
                    acc += k[i + radius] * tmp[(static_cast<size_t>(yy) * W + x) * 3 + c];
                }
                img->rgb[(static_cast<size_t>(y) * W + x) * 3 + c] = acc;
            }
}

void addNoise(FloatImage *img, double sigma, unsigned seed) {
    Rng r(seed ^ kNoiseStream);
    for (float &v : img->rgb) v += static_cast<float>(sigma * r.gauss());
}

}  // namespace render
