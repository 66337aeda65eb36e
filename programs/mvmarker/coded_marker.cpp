// Coded markers drawn from the core's family tables (through the support
// library), for printing.
#include "coded_marker.h"

#include "print_files.h"
#include "render.h"

#include <sstream>

namespace mvmarker {

mvtool::Image codedPicture(const std::string &family, int id, int max_px, int quiet) {
    const int grid = render::codedMarkerGrid(family);
    if (grid == 0) return mvtool::Image();
    const int cell = max_px / (grid + 2 * quiet);
    return cell < 1 ? mvtool::Image() : render::makeCodedMarker(family, id, cell, quiet);
}

std::string codedSvg(const std::string &family, int id, double black_mm, int quiet) {
    const std::vector<uint8_t> cells = render::codedMarkerCells(family, id);
    if (cells.empty()) return "";
    const int grid = render::codedMarkerGrid(family);
    const double cell = black_mm / grid, page = cell * (grid + 2 * quiet), q = cell * quiet;
    std::ostringstream s;
    s.precision(10);
    s << mvtool::svgOpen(page, page) << "  <g shape-rendering=\"crispEdges\">\n"
      << "  <rect x=\"0\" y=\"0\" width=\"" << page << "\" height=\"" << page << "\" fill=\"#ffffff\"/>\n"
      << "  <rect x=\"" << q << "\" y=\"" << q << "\" width=\"" << black_mm << "\" height=\"" << black_mm
      << "\" fill=\"#000000\"/>\n";
    for (int r = 0; r < grid; r++)
        for (int c = 0; c < grid;) {
            if (!cells[r * grid + c]) {
                c++;
                continue;
            }
            int end = c;
            while (end < grid && cells[r * grid + end]) end++;
            s << "  <rect x=\"" << q + c * cell << "\" y=\"" << q + r * cell << "\" width=\"" << (end - c) * cell
              << "\" height=\"" << cell << "\" fill=\"#ffffff\"/>\n";
            c = end;
        }
    s << "  </g>\n</svg>\n";
    return s.str();
}

}  // namespace mvmarker
