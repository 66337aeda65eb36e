// pictures.cpp - the confusion set's pictures: glyphs, shapes, random
// cells, textures, gradients and the project's own.
//
// Drawn in unit coordinates (x right, y down over [0, 1]^2), 4 x 4
// sub-samples per pixel. Anything dark stays inside [0.12, 0.88]: a dark
// part touching the border would merge with it when thresholded and spoil
// the square's outline, and a light edge is what printed markers have.
#include "confusion.h"
#include "glyphs.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <random>

namespace confusion {

namespace {

struct Rgb {
    double r, g, b;
};
using Painter = std::function<Rgb(double x, double y)>;

render::Image draw(const Painter &paint)
{
    const int size = 256, n = 4;
    render::Image img;
    img.width = img.height = size;
    img.channels = 3;
    img.pixels.resize((size_t)size * size * 3);
    for (int py = 0; py < size; py++)
        for (int px = 0; px < size; px++) {
            double acc[3] = {0, 0, 0};
            for (int sy = 0; sy < n; sy++)
                for (int sx = 0; sx < n; sx++) {
                    const Rgb c = paint((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size);
                    acc[0] += c.r;
                    acc[1] += c.g;
                    acc[2] += c.b;
                }
            for (int k = 0; k < 3; k++)
                img.pixels[((size_t)py * size + px) * 3 + k] =
                    (unsigned char)std::lround(std::clamp(acc[k] / (n * n), 0.0, 255.0));
        }
    return img;
}

const Rgb kWhite = {250, 250, 250}, kBlack = {15, 15, 15}, kCream = {248, 240, 220},
          kNavy = {25, 40, 110}, kRed = {200, 30, 30}, kGreen = {20, 110, 50},
          kBlue = {30, 60, 200}, kYellow = {245, 215, 40}, kPurple = {100, 30, 120},
          kOrange = {235, 120, 20};

bool disc(double x, double y, double cx, double cy, double r)
{
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
}

bool box(double x, double y, double x0, double y0, double x1, double y1)
{
    return x >= x0 && x < x1 && y >= y0 && y < y1;
}

// Inside the convex polygon of n points given clockwise or anticlockwise.
bool polygon(double x, double y, const double (*p)[2], int n)
{
    bool neg = false, pos = false;
    for (int i = 0; i < n; i++) {
        const double *a = p[i], *b = p[(i + 1) % n];
        const double s = (b[0] - a[0]) * (y - a[1]) - (b[1] - a[1]) * (x - a[0]);
        neg = neg || s < 0;
        pos = pos || s > 0;
    }
    return !(neg && pos);
}

// Two colours: `ink` where `in` holds.
Painter two(const std::function<bool(double, double)> &in, Rgb ink, Rgb paper)
{
    return [=](double x, double y) { return in(x, y) ? ink : paper; };
}

// Inside any polygon (crossing number), n points in order.
bool inside(double x, double y, const std::vector<std::array<double, 2>> &p)
{
    bool in = false;
    for (size_t i = 0, j = p.size() - 1; i < p.size(); j = i++)
        if ((p[i][1] > y) != (p[j][1] > y) &&
            x < (p[j][0] - p[i][0]) * (y - p[i][1]) / (p[j][1] - p[i][1]) + p[i][0])
            in = !in;
    return in;
}

// A star of `points` points, one pointing up.
std::vector<std::array<double, 2>> star(double cx, double cy, double r_out, double r_in, int points)
{
    std::vector<std::array<double, 2>> p;
    for (int k = 0; k < 2 * points; k++) {
        const double a = M_PI * k / points, r = k % 2 ? r_in : r_out;
        p.push_back({cx + r * std::sin(a), cy - r * std::cos(a)});
    }
    return p;
}

std::vector<Picture> shapes()
{
    std::vector<Picture> out;
    auto add = [&](const std::string &name, const Painter &p) { out.push_back({"shape " + name, "shape", draw(p), ""}); };
    add("ring", two([](double x, double y) { return disc(x, y, .5, .5, .36) && !disc(x, y, .5, .5, .22); }, kBlack, kWhite));
    add("square", two([](double x, double y) { return box(x, y, .22, .22, .78, .78); }, kBlack, kWhite));
    add("diamond", two([](double x, double y) { return std::fabs(x - .5) + std::fabs(y - .5) <= .36; }, kNavy, kCream));
    const double tri[3][2] = {{.5, .16}, {.84, .80}, {.16, .80}};
    add("triangle", two([tri](double x, double y) { return polygon(x, y, tri, 3); }, kBlack, kWhite));
    // A black triangle with a red dot: a marker people made, taken for the
    // bundled pattern by the plain matcher.
    add("triangle dot", [tri](double x, double y) {
        if (disc(x, y, .5, .60, .09)) return kRed;
        return polygon(x, y, tri, 3) ? kBlack : kWhite;
    });
    const auto points = star(.5, .53, .37, .15, 5);
    add("star", two([points](double x, double y) { return inside(x, y, points); }, kOrange, kWhite));
    add("plus", two([](double x, double y) { return box(x, y, .40, .18, .60, .82) || box(x, y, .18, .40, .82, .60); }, kRed, kWhite));
    add("cross", two([](double x, double y) {
        return (std::fabs((x - .5) - (y - .5)) < .1 || std::fabs((x - .5) + (y - .5)) < .1) && box(x, y, .2, .2, .8, .8);
    }, kBlack, kWhite));
    add("heart", two([](double x, double y) {
        const double u = (x - .5) / .36, v = (.45 - y) / .36;
        const double q = u * u + v * v - 0.6;
        return q * q * q - u * u * v * v * v <= 0;
    }, kRed, kWhite));
    add("crescent", two([](double x, double y) { return disc(x, y, .5, .5, .34) && !disc(x, y, .64, .45, .28); }, kNavy, kWhite));
    const double hex[6][2] = {{.5, .15}, {.80, .325}, {.80, .675}, {.5, .85}, {.20, .675}, {.20, .325}};
    add("hexagon", two([hex](double x, double y) { return polygon(x, y, hex, 6); }, kGreen, kWhite));
    add("two discs", two([](double x, double y) { return disc(x, y, .32, .5, .15) || disc(x, y, .68, .5, .15); }, kBlack, kWhite));
    add("three bars", two([](double x, double y) {
        return box(x, y, .2, .2, .8, .32) || box(x, y, .2, .44, .8, .56) || box(x, y, .2, .68, .8, .80);
    }, kBlack, kWhite));
    add("half disc", two([](double x, double y) { return disc(x, y, .5, .62, .36) && y < .62; }, kPurple, kWhite));
    add("ellipse", two([](double x, double y) { return std::pow((x - .5) / .36, 2) + std::pow((y - .5) / .2, 2) <= 1; }, kBlue, kWhite));
    add("corner dot", two([](double x, double y) { return disc(x, y, .32, .32, .14); }, kBlack, kWhite));
    add("hollow square", two([](double x, double y) {
        return box(x, y, .2, .2, .8, .8) && !box(x, y, .34, .34, .66, .66);
    }, kBlack, kWhite));
    add("pie", two([](double x, double y) {
        return disc(x, y, .5, .5, .36) && !(x > .5 && y > .5 - 0.0 && (y - .5) < (x - .5));
    }, kNavy, kYellow));
    add("target", [](double x, double y) {
        if (disc(x, y, .5, .5, .12)) return kRed;
        if (disc(x, y, .5, .5, .36) && !disc(x, y, .5, .5, .25)) return kBlack;
        return kWhite;
    });
    add("blue square yellow disc", [](double x, double y) {
        if (disc(x, y, .62, .38, .13)) return kYellow;
        return box(x, y, .2, .2, .8, .8) ? kBlue : kWhite;
    });
    return out;
}

// A random grid of n x n cells over [0.15, 0.85]^2 from a fixed seed.
std::vector<Picture> random_cells()
{
    std::vector<Picture> out;
    const struct { int n; unsigned seed; bool colour; } grids[] = {
        {3, 11, false}, {4, 12, false}, {4, 13, false}, {5, 14, false}, {5, 15, false},
        {6, 16, false}, {8, 17, false}, {4, 18, true},  {5, 19, true},  {6, 20, true},
    };
    const Rgb palette[5] = {kWhite, kBlack, kRed, kBlue, kYellow};
    for (const auto &g : grids) {
        std::mt19937 rng(g.seed);
        std::vector<Rgb> cell(g.n * g.n);
        int dark = 0;
        for (Rgb &c : cell) {
            const unsigned v = rng() % (g.colour ? 5 : 2);
            c = g.colour ? palette[v] : (v ? kBlack : kWhite);
            dark += v != 0;
        }
        // Neither almost empty nor almost full.
        if (dark < g.n * g.n / 4) cell[0] = cell[g.n * g.n - 1] = kBlack;
        const int n = g.n;
        out.push_back({"cells " + std::to_string(n) + "x" + std::to_string(n) + (g.colour ? " colour" : "") +
                           " #" + std::to_string(g.seed),
                       "cells", draw([cell, n](double x, double y) {
                           if (!box(x, y, .15, .15, .85, .85)) return kWhite;
                           const int c = std::min(n - 1, (int)((x - .15) / .7 * n));
                           const int r = std::min(n - 1, (int)((y - .15) / .7 * n));
                           return cell[r * n + c];
                       }), ""});
    }
    return out;
}

std::vector<Picture> textures()
{
    std::vector<Picture> out;
    auto add = [&](const std::string &name, const Painter &p) { out.push_back({"texture " + name, "texture", draw(p), ""}); };
    auto inside = [](double x, double y) { return box(x, y, .15, .15, .85, .85); };
    add("stripes", [inside](double x, double y) {
        return inside(x, y) && std::fmod(y - .15, .14) < .07 ? kBlack : kWhite;
    });
    add("checks 5x5", [inside](double x, double y) {
        return inside(x, y) && (((int)((x - .15) / .14) + (int)((y - .15) / .14)) % 2 == 0) ? kNavy : kCream;
    });
    add("dots", [](double x, double y) {
        for (int i = 0; i < 4; i++)
            for (int j = 0; j < 4; j++)
                if (disc(x, y, .23 + .18 * j, .23 + .18 * i, .06)) return kBlack;
        return kWhite;
    });
    add("rings", [](double x, double y) {
        const double r = std::hypot(x - .5, y - .5);
        return r < .36 && std::fmod(r, .12) < .06 ? kGreen : kWhite;
    });
    add("waves", [inside](double x, double y) {
        const double s = std::sin((x - .15) * 2 * M_PI / .35) * .04;
        return inside(x, y) && std::fmod(y - .15 + s + 1.0, .175) < .07 ? kBlue : kWhite;
    });
    add("blobs", [](double x, double y) {
        // Smooth random noise: a few waves of fixed random phases.
        double v = 0;
        const double f[5][3] = {{5.1, 2.3, 0.7}, {-3.2, 6.0, 2.1}, {7.3, -4.1, 4.4}, {2.2, 8.5, 1.3}, {-6.6, -1.9, 5.9}};
        for (const auto &w : f) v += std::sin(w[0] * x + w[1] * y + w[2]);
        if (!box(x, y, .14, .14, .86, .86)) return kWhite;
        return v > 0.6 ? kPurple : kWhite;
    });
    add("plaid", [inside](double x, double y) {
        if (!inside(x, y)) return kCream;
        const bool a = std::fmod(x - .15, .233) < .08, b = std::fmod(y - .15, .233) < .08;
        if (a && b) return Rgb{90, 20, 20};
        if (a) return kRed;
        if (b) return kGreen;
        return kCream;
    });
    add("hatching", [inside](double x, double y) {
        return inside(x, y) && std::fmod(x + y, .2) < .08 ? kBlack : kWhite;
    });
    add("bricks", [inside](double x, double y) {
        if (!inside(x, y)) return kWhite;
        const int row = (int)((y - .15) / .14);
        const double off = row % 2 ? .1 : 0;
        const bool mortar = std::fmod(y - .15, .14) < .03 || std::fmod(x - .15 + off, .2) < .03;
        return mortar ? kWhite : Rgb{170, 60, 40};
    });
    return out;
}

std::vector<Picture> gradients()
{
    std::vector<Picture> out;
    auto add = [&](const std::string &name, const Painter &p) { out.push_back({"gradient " + name, "gradient", draw(p), ""}); };
    // Kept light enough at the edge (R + G + B well above 300) not to read
    // as part of the border.
    add("grey ramp", [](double x, double) {
        const double v = 250 - 150 * std::clamp((x - .12) / .76, 0.0, 1.0);
        return Rgb{v, v, v};
    });
    add("radial", [](double x, double y) {
        const double r = std::min(1.0, std::hypot(x - .5, y - .5) / .42);
        const double v = 40 + 210 * r;
        return Rgb{v, v * .8 + 50, 250};
    });
    add("diagonal colour", [](double x, double y) {
        const double t = std::clamp((x + y - .3) / 1.4, 0.0, 1.0);
        return Rgb{250 - 100 * t, 230 - 30 * t, 120 + 130 * t};
    });
    add("soft split", [](double x, double y) {
        if (!box(x, y, .12, .12, .88, .88)) return kWhite;
        const double t = 1 / (1 + std::exp(-(y - .5 + .15 * (x - .5)) / .05));
        return Rgb{248 - 228 * t, 240 - 130 * t, 220 - 170 * t};
    });
    add("hue sweep", [](double x, double y) {
        const double h = std::clamp((x - .12) / .76, 0.0, 1.0) * 5.0;
        const double f = h - std::floor(h);
        const double lo = 110, hi = 250;
        Rgb c;
        switch ((int)h) {
        case 0: c = {hi, lo + (hi - lo) * f, lo}; break;
        case 1: c = {hi - (hi - lo) * f, hi, lo}; break;
        case 2: c = {lo, hi, lo + (hi - lo) * f}; break;
        case 3: c = {lo, hi - (hi - lo) * f, hi}; break;
        default: c = {lo + (hi - lo) * f, lo, hi}; break;
        }
        const double shade = y < .12 || y > .88 ? 1.0 : 0.85;
        return Rgb{c.r * shade, c.g * shade, c.b * shade};
    });
    return out;
}

std::vector<Picture> project()
{
    std::vector<Picture> out;
    out.push_back({"project marker", "project", render::projectPicture(), "patt.lumo"});
    const char *names[] = {"project disc", "project checks", "project band", "project arrow", "project mirrored"};
    for (int v = 0; v < render::alternatePictureCount() && v < 5; v++)
        out.push_back({names[v], "project", render::makeAlternatePicture(v), ""});
    return out;
}

Glyph glyph(const char *font, unsigned long code, int k)
{
    // Mostly black on white; some in colour, as people print them.
    static const unsigned char inks[4][3] = {{0, 0, 0}, {25, 40, 110}, {150, 20, 20}, {20, 90, 40}};
    static const unsigned char papers[4][3] = {{255, 255, 255}, {248, 240, 220}, {255, 255, 255}, {250, 248, 200}};
    const int c = k % 5 == 4 ? 1 + (k / 5) % 3 : 0;
    Glyph g{font, code, {}, {}};
    for (int i = 0; i < 3; i++) {
        g.ink[i] = inks[c][i];
        g.paper[i] = papers[c][i];
    }
    return g;
}

std::string utf8(unsigned long code)
{
    std::string s;
    if (code < 0x80) {
        s += (char)code;
    } else if (code < 0x800) {
        s += (char)(0xc0 | (code >> 6));
        s += (char)(0x80 | (code & 0x3f));
    } else {
        s += (char)(0xe0 | (code >> 12));
        s += (char)(0x80 | ((code >> 6) & 0x3f));
        s += (char)(0x80 | (code & 0x3f));
    }
    return s;
}

std::vector<Picture> glyphs()
{
    std::vector<Picture> out;
    if (!fontsAvailable()) return out;
    // No two that are turns of each other (those are turnedPairs()), and no
    // lower-case letter that is its capital made small.
    std::vector<unsigned long> codes;
    for (const char *s = "ABCDEFGHIJKLMOPQRSTUVXYZ012345678abefghkmnrty&?@#%$!"; *s; s++) codes.push_back((unsigned char)*s);
    for (unsigned long c : {0x3a9ul, 0x3bbul, 0x3a3ul, 0x3c0ul, 0x2663ul, 0x2660ul, 0x266aul, 0x20acul}) codes.push_back(c);
    int k = 0;
    for (unsigned long code : codes) {
        const char *font = code == '#' || code == '@' || code == '%' ? "DejaVuSansMono-Bold.ttf"
                           : code == '&' || code == '?' || code == '$' ? "DejaVuSerif-Bold.ttf"
                                                                        : "DejaVuSans-Bold.ttf";
        render::Image img = drawGlyph(glyph(font, code, k++));
        if (!img.pixels.empty()) out.push_back({"glyph " + utf8(code), "glyph", std::move(img), ""});
    }
    return out;
}

}  // namespace

bool glyphsAvailable() { return fontsAvailable(); }

std::vector<Picture> drawnSet()
{
    std::vector<Picture> out = project();
    for (auto part : {shapes(), random_cells(), textures(), gradients()})
        for (Picture &p : part) out.push_back(std::move(p));
    return out;
}

std::vector<Picture> pictureSet()
{
    std::vector<Picture> out = drawnSet();
    for (Picture &p : glyphs()) out.push_back(std::move(p));
    return out;
}

std::vector<std::pair<Picture, Picture>> turnedPairs()
{
    std::vector<std::pair<Picture, Picture>> out;
    // A shape and its half turn: an arrow-like flag pointing up-left and
    // the same drawn turned.
    auto flag = [](bool turned) {
        return [turned](double x, double y) {
            if (turned) {
                x = 1 - x;
                y = 1 - y;
            }
            const double tri[3][2] = {{.22, .2}, {.7, .35}, {.22, .5}};
            return box(x, y, .2, .2, .3, .82) || polygon(x, y, tri, 3) ? kBlack : kWhite;
        };
    };
    out.push_back({{"shape flag", "shape", draw(flag(false)), ""}, {"shape flag turned", "shape", draw(flag(true)), ""}});
    if (!fontsAvailable()) return out;
    const char *pairs[][2] = {{"6", "9"}, {"n", "u"}, {"d", "p"}, {"b", "q"}, {"M", "W"}, {"N", "Z"}};
    for (const auto &p : pairs) {
        Picture a{std::string("glyph ") + p[0], "glyph", drawGlyph(glyph("DejaVuSans-Bold.ttf", (unsigned char)p[0][0], 0)), ""};
        Picture b{std::string("glyph ") + p[1], "glyph", drawGlyph(glyph("DejaVuSans-Bold.ttf", (unsigned char)p[1][0], 0)), ""};
        out.push_back({std::move(a), std::move(b)});
    }
    return out;
}

}  // namespace confusion
