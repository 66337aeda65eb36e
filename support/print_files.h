// Files meant for printing at an exact size: SVG in millimetres and PNG
// that carries its physical size.
//
//   #include "print_files.h"         // link morvex_tool_support
//
//   std::string svg = mvtool::svgOpen(80, 80);    // <?xml ...><svg ... viewBox in mm>
//   svg += "<rect .../>\n</svg>\n";
//   mvtool::writePngAtSize("board.png", img, 297.0, &err);   // img.width px = 297 mm
#ifndef MORVEX_TOOL_PRINT_FILES_H
#define MORVEX_TOOL_PRINT_FILES_H

#include "image_io.h"

#include <cstdint>
#include <string>
#include <vector>

namespace mvtool {

// The XML declaration and the opening <svg> tag of a document width_mm x
// height_mm in size whose user units are millimetres (viewBox from 0, 0).
// The caller adds the content and "</svg>\n".
std::string svgOpen(double width_mm, double height_mm);

// Base64 (standard alphabet, padded) of `data`, for images inside an SVG.
std::string base64(const std::vector<uint8_t> &data);

// writePng with the physical size recorded (a pHYs chunk) so that the
// picture prints img.width pixels to width_mm; pixels are square. False
// with *error (may be null) naming the file, which is then left as it was.
bool writePngAtSize(const std::string &path, const Image &img, double width_mm, std::string *error);

}  // namespace mvtool

#endif
