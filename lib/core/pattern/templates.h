// templates.h - patterns as zero-mean templates ready for correlation:
// read from pattern files or from values, matched against a marker's
// sample, written back to files. Internal to the core.
#ifndef MORVEX_PATTERN_TEMPLATES_H
#define MORVEX_PATTERN_TEMPLATES_H

#include "morvex/error.h"

namespace mvcore {

constexpr int kBlocks = 4;              // rotations
constexpr int kCells = 16 * 16;
constexpr int kValues = kCells * 3;     // one block: 16 x 16 cells x 3 planes
constexpr int kFileValues = kBlocks * kValues;

// One pattern: per rotation block, the zero-mean colour template (entry
// (row * 16 + column) * 3 + plane, plane 0 blue) with its norm, and the
// grey template (one value per cell, centred on the colour mean, as the live
// sample is in grey matching) with its norm. Norms are never 0: a flat
// template stores 1e-7.
struct PatternTemplate {
    int colour[kBlocks][kValues];
    double colour_norm[kBlocks];
    int grey[kBlocks][kCells];
    double grey_norm[kBlocks];
};

// Builds the template from a file's values in file order (block, plane,
// row, column; brightness, 0 dark). Values are held to +-1000000.
void template_from_values(const int values[kFileValues], PatternTemplate *t);

// Reads the 3072 whole numbers of a pattern file. MV_ERROR_NONE;
// MV_ERROR_NOT_FOUND when it cannot be opened; MV_ERROR_FORMAT when it holds
// fewer readable numbers.
MvError read_pattern_values(const char *path, int values[kFileValues]);

// One pattern taking part in matching.
struct MatchEntry {
    const PatternTemplate *t;
    int id;
};

// Correlates a 768-byte sample (detection's layout) with every block of
// the entries in order. Returns -1 for a sample without contrast (id 0,
// direction 0, confidence -1.0); otherwise 0 with the best strictly
// positive correlation (ties keep the earlier entry, then the lower block),
// or id -1, direction -1, confidence 0.0 when none is positive. `grey`
// compares the 256 grey cell values instead of the 768 colour values.
int match_sample(const unsigned char *sample, const MatchEntry *entries, int count, bool grey,
                 int *id, int *direction, double *confidence);

// Writes the four samples (block b = sample b) as a pattern file, "%4d" 16
// to a line, an empty line after each block, through a temporary file
// renamed into place when complete. False when it cannot be written (an
// older file of that name is left as it was).
bool write_pattern_file(const char *path, const unsigned char samples[kBlocks][kValues]);

}  // namespace mvcore

#endif
