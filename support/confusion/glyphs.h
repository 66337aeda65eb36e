// glyphs.h - characters of Debian's DejaVu fonts (fonts-dejavu-core) drawn
// as marker pictures; available when the support library is built with
// FreeType (libfreetype-dev).
#ifndef MORVEX_TOOLS_CONFUSION_GLYPHS_H
#define MORVEX_TOOLS_CONFUSION_GLYPHS_H

#include <string>

#include "render.h"

namespace confusion {

struct Glyph {
    std::string font;         // file name in /usr/share/fonts/truetype/dejavu/
    unsigned long code;       // the character
    unsigned char ink[3];     // R, G, B of the glyph
    unsigned char paper[3];   // R, G, B around it
};

// True when FreeType is built in and DejaVu Sans Bold can be read.
bool fontsAvailable();

// The glyph filling 70 % of a 256 x 256 RGB picture, centred; an empty
// picture when the font or the character is missing.
render::Image drawGlyph(const Glyph &g);

}  // namespace confusion

#endif
