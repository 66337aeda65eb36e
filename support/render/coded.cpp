// coded.cpp - coded markers (AprilTag and ArUco families) as pictures for
// the renderer and the print files, drawn from the core's family tables.
#include "render.h"

#include "code_family.h"

namespace render {

int codedMarkerGrid(const std::string &family) {
    const mvcore::CodeFamily *f = mvcore::findCodeFamily(family.c_str());
    return f ? f->grid : 0;
}

int codedMarkerIds(const std::string &family) {
    const mvcore::CodeFamily *f = mvcore::findCodeFamily(family.c_str());
    return f ? f->code_count : 0;
}

std::vector<uint8_t> codedMarkerCells(const std::string &family, int id) {
    const mvcore::CodeFamily *f = mvcore::findCodeFamily(family.c_str());
    if (f == nullptr || id < 0 || id >= f->code_count) return {};
    std::vector<uint8_t> cells(f->grid * f->grid, 0);
    for (int i = 0; i < f->bits; i++) cells[f->bit_cell[i]] = (uint8_t)((f->codes[id] >> (f->bits - 1 - i)) & 1);
    return cells;
}

Image makeCodedMarker(const std::string &family, int id, int cell_px, int quiet_cells) {
    const std::vector<uint8_t> cells = codedMarkerCells(family, id);
    if (cells.empty() || cell_px < 1 || quiet_cells < 0) return Image();
    const int grid = codedMarkerGrid(family), across = grid + 2 * quiet_cells;
    Image img;
    img.width = img.height = across * cell_px;
    img.channels = 3;
    img.pixels.assign((size_t)img.width * img.height * 3, 255);
    for (int y = 0; y < img.height; y++)
        for (int x = 0; x < img.width; x++) {
            const int r = y / cell_px - quiet_cells, c = x / cell_px - quiet_cells;
            if (r >= 0 && r < grid && c >= 0 && c < grid && !cells[r * grid + c])
                for (int k = 0; k < 3; k++) img.pixels[((size_t)y * img.width + x) * 3 + k] = 0;
        }
    return img;
}

double codedPictureSide(const std::string &family, double black_mm, int quiet_cells) {
    const int grid = codedMarkerGrid(family);
    return grid ? black_mm * (grid + 2 * quiet_cells) / grid : 0.0;
}

}  // namespace render
