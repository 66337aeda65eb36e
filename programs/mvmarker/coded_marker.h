// coded_marker.h - printable coded markers (the core's AprilTag and ArUco
// families): the PNG picture and the SVG document of a family's marker,
// sized so that its black square prints at an exact width.
#ifndef MVMARKER_CODED_MARKER_H
#define MVMARKER_CODED_MARKER_H

#include "image_io.h"

#include <string>

namespace mvmarker {

// The marker `id` of `family` as an RGB picture at most max_px pixels
// across: whole pixels per cell, the black square inside a white quiet zone
// `quiet` cells wide. Empty for an unknown family or id, or when max_px is
// too small for one pixel per cell.
mvtool::Image codedPicture(const std::string &family, int id, int max_px, int quiet);

// The same marker as an SVG document whose black square is black_mm
// millimetres wide (the page: black_mm * (grid + 2 quiet) / grid): a white
// page, the black square, and a white rectangle for each run of light
// cells along a row. Empty for an unknown family or id.
std::string codedSvg(const std::string &family, int id, double black_mm, int quiet);

}  // namespace mvmarker

#endif
