// Image files for the programs, tests and benchmarks: PNG and JPEG in, PNG
// out, to a file or to bytes in memory.
//
//   #include "image_io.h"            // link morvex_tool_support
//
//   mvtool::Image img;
//   std::string err;
//   if (!mvtool::readImage("resources/marker.png", &img, &err)) ...  // err names the file
//   mvtool::writePng("copy.png", img, &err);
//
// Only this part of tool support links libpng (and libjpeg when installed);
// the tracking core never does.
#ifndef MORVEX_TOOL_IMAGE_IO_H
#define MORVEX_TOOL_IMAGE_IO_H

#include <cstdint>
#include <string>
#include <vector>

namespace mvtool {

// A picture owned by value: 8 bits per channel, rows from the top.
struct Image {
    int width = 0, height = 0, channels = 0;  // channels: 1, 3 or 4
    std::vector<uint8_t> pixels;              // row-major, no padding
};

// Reads PNG (8- or 16-bit grey, grey+alpha, RGB, RGBA, palette; read as 1,
// 3 or 4 channels of 8 bits: grey+alpha becomes RGBA) and, when built with
// libjpeg, JPEG (1 or 3 channels). On failure returns false, leaves *out
// untouched and sets *error (may be null) to a one-line message naming the
// file.
bool readImage(const std::string &path, Image *out, std::string *error);

// Writes 1, 3 or 4 channels as PNG, through an OutputFile. On failure
// (nothing to write, or the file cannot be written) returns false with
// *error (may be null) naming the file; an older file of that name is left
// as it was.
bool writePng(const std::string &path, const Image &img, std::string *error);

// The bytes writePng would write, in memory. On failure returns false,
// leaves *bytes untouched and sets *error (may be null).
bool encodePng(const Image &img, std::vector<uint8_t> *bytes, std::string *error);

}  // namespace mvtool

#endif
