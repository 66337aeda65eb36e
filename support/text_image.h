// text_image.h - short labels drawn into pictures (legends, scale bars) with
// a 5 x 7 pixel font: digits, A-Z (lower case drawn as upper case), blank
// and . , : ; - + / % ( ) = ' *. Other characters draw as blanks.
//
//     const uint8_t black[3] = {0, 0, 0};
//     mvtool::drawText(&img, 10, 10, "0.5 PX", black, 2);   // 2 pixels a dot
#ifndef MORVEX_TOOLS_TEXT_IMAGE_H
#define MORVEX_TOOLS_TEXT_IMAGE_H

#include <cstdint>
#include <string>

#include "image_io.h"

namespace mvtool {

// Pixels across `text` at `scale` pixels a dot: 6 dots a character (one of
// them space), less the last character's space.
int textWidth(const std::string &text, int scale);
// Height of a line of text: 7 dots.
inline int textHeight(int scale) { return 7 * scale; }

// Draws `text` with its top-left corner at (x, y) into a 3- or 4-channel
// picture, clipped to it.
void drawText(Image *img, int x, int y, const std::string &text, const uint8_t rgb[3], int scale);

// Fills the rectangle [x0, x1) x [y0, y1), clipped to the picture (3 or 4 channels).
void fillRect(Image *img, int x0, int y0, int x1, int y1, const uint8_t rgb[3]);

}  // namespace mvtool

#endif
