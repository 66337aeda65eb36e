// glyphs.cpp - letters, digits and signs of Debian's DejaVu fonts drawn as
// marker pictures with FreeType, the way people make markers from a
// character: the glyph scaled to fill the picture's middle, dark on light.
#include "glyphs.h"

#ifdef MORVEX_HAVE_FREETYPE
#include <ft2build.h>
#include FT_FREETYPE_H
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace confusion {

namespace {

const char *kFontDir = "/usr/share/fonts/truetype/dejavu/";

// One glyph's coverage, 0..255, w x h.
struct Coverage {
    int w = 0, h = 0;
    std::vector<unsigned char> a;
};

#ifdef MORVEX_HAVE_FREETYPE
// The glyph of `code` in `font` at `pixels` per em, as FreeType renders it
// (anti-aliased); empty when the font or glyph is missing.
Coverage render_glyph(const std::string &font, unsigned long code, int pixels)
{
    Coverage c;
    FT_Library lib;
    if (FT_Init_FreeType(&lib) != 0) return c;
    FT_Face face;
    if (FT_New_Face(lib, (std::string(kFontDir) + font).c_str(), 0, &face) == 0) {
        if (FT_Set_Pixel_Sizes(face, 0, pixels) == 0 && FT_Get_Char_Index(face, code) != 0 &&
            FT_Load_Char(face, code, FT_LOAD_RENDER) == 0) {
            const FT_Bitmap &b = face->glyph->bitmap;
            if (b.pixel_mode == FT_PIXEL_MODE_GRAY && b.width > 0 && b.rows > 0) {
                c.w = (int)b.width;
                c.h = (int)b.rows;
                c.a.resize((size_t)c.w * c.h);
                for (int y = 0; y < c.h; y++)
                    for (int x = 0; x < c.w; x++) c.a[(size_t)y * c.w + x] = b.buffer[y * b.pitch + x];
            }
        }
        FT_Done_Face(face);
    }
    FT_Done_FreeType(lib);
    return c;
}
#else
Coverage render_glyph(const std::string &, unsigned long, int) { return Coverage(); }
#endif

}  // namespace

bool fontsAvailable()
{
    return !render_glyph("DejaVuSans-Bold.ttf", 'A', 32).a.empty();
}

render::Image drawGlyph(const Glyph &g)
{
    const int size = 256;
    // The glyph's larger extent fills 70 % of the picture, centred, so that
    // its dark parts stay clear of the border (15 % of light around it).
    Coverage c = render_glyph(g.font, g.code, 256);
    render::Image img;
    if (c.a.empty()) return img;
    const double box = 0.70 * size;
    const double scale = box / std::max(c.w, c.h);
    const double ox = (size - c.w * scale) / 2.0, oy = (size - c.h * scale) / 2.0;
    img.width = img.height = size;
    img.channels = 3;
    img.pixels.resize((size_t)size * size * 3);
    // Box filter of the coverage under each picture pixel (4 x 4 samples,
    // bilinear in the glyph's bitmap).
    auto cover = [&](double px, double py) {
        double u = (px - ox) / scale - 0.5, v = (py - oy) / scale - 0.5;
        if (u < -1 || v < -1 || u > c.w || v > c.h) return 0.0;
        const int x0 = (int)std::floor(u), y0 = (int)std::floor(v);
        const double fx = u - x0, fy = v - y0;
        auto at = [&](int x, int y) -> double {
            return x < 0 || y < 0 || x >= c.w || y >= c.h ? 0.0 : c.a[(size_t)y * c.w + x] / 255.0;
        };
        return (1 - fy) * ((1 - fx) * at(x0, y0) + fx * at(x0 + 1, y0)) +
               fy * ((1 - fx) * at(x0, y0 + 1) + fx * at(x0 + 1, y0 + 1));
    };
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            double a = 0;
            for (int sy = 0; sy < 4; sy++)
                for (int sx = 0; sx < 4; sx++) a += cover(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4);
            a /= 16;
            for (int k = 0; k < 3; k++)
                img.pixels[((size_t)y * size + x) * 3 + k] =
                    (unsigned char)std::lround(g.paper[k] + a * (g.ink[k] - g.paper[k]));
        }
    return img;
}

}  // namespace confusion
