// render_internal.h - helpers shared by the renderer's source files.
#ifndef MORVEX_TOOLS_RENDER_INTERNAL_H
#define MORVEX_TOOLS_RENDER_INTERNAL_H

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "render.h"

namespace render {

// Deterministic on every platform: mt19937's sequence is fixed by the C++
// standard, and the conversions below are our own (the standard library's
// distributions are not specified bit for bit).
class Rng {
public:
    explicit Rng(unsigned seed) : gen_(seed) {}
    double uniform() { return gen_() / 4294967296.0; }  // [0, 1)
    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    int below(int n) { return static_cast<int>(uniform() * n); }
    double gauss() {
        if (have_spare_) {
            have_spare_ = false;
            return spare_;
        }
        double u1 = 1.0 - uniform();  // (0, 1]: log stays finite
        double u2 = uniform();
        double r = std::sqrt(-2.0 * std::log(u1));
        spare_ = r * std::sin(2.0 * M_PI * u2);
        have_spare_ = true;
        return r * std::cos(2.0 * M_PI * u2);
    }

private:
    std::mt19937 gen_;
    double spare_ = 0.0;
    bool have_spare_ = false;
};

// Float RGB working image, 3 values per pixel, 0..255.
struct FloatImage {
    int width = 0, height = 0;
    std::vector<float> rgb;
    float *at(int x, int y) { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

// Pixel rectangle [x0, x1] x [y0, y1] that background shapes which could
// be read as dark must stay clear of; empty when x0 > x1.
struct KeepOut {
    int x0 = 1, y0 = 1, x1 = 0, y1 = 0;
};

void fillBackground(const Options &opt, const KeepOut &keep, FloatImage *bg);
void gaussianBlur(FloatImage *img, double sigma);
void addNoise(FloatImage *img, double sigma, unsigned seed);

}  // namespace render

#endif
