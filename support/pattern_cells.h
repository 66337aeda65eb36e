// pattern_cells.h - the 16 x 16 cells of a marker picture, computed the way
// the library's sampler sees a sharp face-on marker, and the pattern made
// from them: as a file (mvmarker --patt) or as values for
// mvPatternFromValues.
#ifndef MORVEX_TOOLS_PATTERN_CELLS_H
#define MORVEX_TOOLS_PATTERN_CELLS_H

#include "image_io.h"

#include <string>

namespace mvtool {

// Cells of one rotation block: entry (row * 16 + column) * 3 + channel,
// channel 0 blue, 1 green, 2 red, values 0..240.
struct PatternBlock {
    unsigned char v[768];
};

// Block 0 of `picture` (the marker's inner picture, any size, 1, 3 or 4
// channels; alpha is laid over white): 64 x 64 sample points over the
// picture, each the mean colour of its 1/64 x 1/64 footprint, a sixteenth
// of each (integer division) summed over the 4 x 4 samples of a cell.
PatternBlock pictureCells(const Image &picture);

// The four blocks of a pattern file from block 0, the picture upright. The
// blocks hold the picture sampled from its top-left, top-right,
// bottom-right and bottom-left corner in turn, which is how mvSavePatt lays
// out a marker seen upright and face-on.
void rotationBlocks(const PatternBlock &upright, PatternBlock out[4]);

// The pattern of `picture` as a file's 3072 values in file order (block,
// plane, row, column), as mvmarker --patt writes them.
void patternValues(const Image &picture, unsigned char values[3072]);

// Writes four blocks in the pattern file format ("%4d", 16 per line, planes
// 0..2 per block, an empty line after each block) through an OutputFile.
// False with *error set when the file cannot be written (an older file of
// that name is then left as it was).
bool writePatternFile(const std::string &path, const PatternBlock blocks[4], std::string *error);

}  // namespace mvtool

#endif
