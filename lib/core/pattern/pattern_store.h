/* pattern_store.h - the pattern store shared by loading, matching and
   saving. Internal to pattern/. */
#ifndef MORVEX_PATTERN_STORE_H
#define MORVEX_PATTERN_STORE_H

namespace mvcore {

constexpr int kSlots = 50;
constexpr int kBlocks = 4;
constexpr int kCells = 16 * 16;
constexpr int kValues = kCells * 3;   // one block of the colour template

// Number of slots in state 1 or 2; -1 until the first mvLoadPatt.
extern int pattern_num;
// Slot state: 0 free, 1 in use and matched, 2 in use but not matched.
extern int patf[kSlots];
// Zero-mean colour template, entry (row * 16 + column) * 3 + plane, and its
// Euclidean norm (never 0: a flat template stores 1e-7).
extern int pat[kSlots][kBlocks][kValues];
extern double patpow[kSlots][kBlocks];
// Zero-mean grey template (entries 0..255 only, entry row * 16 + column; the
// colour mean is the one subtracted) and its norm.
extern int patBW[kSlots][kBlocks][kValues];
extern double patpowBW[kSlots][kBlocks];

// Correlates a 768-byte sample (layout of mvGetPatt's; any value range, the
// correlation is normalised) with the active patterns exactly as mvGetCode
// does, and writes its three outputs the same way. Returns -1 for a sample
// without contrast, otherwise 0.
int match_sample(const unsigned char *sample, int *id, int *direction, double *confidence);

}  // namespace mvcore

#endif
