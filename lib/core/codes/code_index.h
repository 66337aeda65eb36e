// code_index.h - every code of a family as the decoder reads it in each of
// the four turns, in a hash table for exact look-ups and a flat list for
// the nearest code within a few bits. Internal to codes/.
//
// Promises: an index is built once per family on first use (std::call_once)
// and never changes afterwards; codeIndex may be called from any thread,
// and the index it returns read from any number of threads.
#ifndef MORVEX_CODE_INDEX_H
#define MORVEX_CODE_INDEX_H

#include "code_family.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mvcore {

// The upright cell (row * grid + column) seen at observed cell `cell` when
// observed corner 0 lies at upright corner `turn` (0..3).
int uprightCell(int grid, int cell, int turn);

// The `bits`-bit word read from a grid of 0/1 cells (row-major, grid x
// grid) in the family's bit layout.
uint64_t readWord(const CodeFamily &family, const uint8_t *cells01);

// The grid (grid x grid cells, 0 dark, 1 light) of the family's code `id`
// seen with `turn`: the frame dark, the data cells the code's bits.
void drawCells(const CodeFamily &family, int id, int turn, uint8_t *cells01);

struct CodeHit {
    int id = -1, turn = 0, distance = 0;
};

class CodeIndex {
public:
    explicit CodeIndex(const CodeFamily &family);

    // The (id, turn) whose view is exactly `word`; false when none (or
    // when two share it: such views never decode).
    bool exact(uint64_t word, CodeHit *hit) const;

    // The (id, turn) whose view is nearest `word`, when it differs in at
    // most `max_distance` bits and no other view (nor a shared one) is as
    // near.
    bool nearest(uint64_t word, int max_distance, CodeHit *hit) const;

    // The views two (id, turn) share, left out of both look-ups.
    int sharedViews() const { return shared_; }

private:
    struct Slot {
        uint64_t word;
        int32_t value;  // id * 4 + turn, -1 empty, -2 shared
    };
    std::vector<Slot> table_;   // open addressing, a power of two in size
    std::vector<uint64_t> words_;  // every view, for the nearest-code scan,
    std::vector<int32_t> values_;  // and its id * 4 + turn (-2 shared)
    uint64_t mask_ = 0;
    int shared_ = 0;

    size_t home(uint64_t word) const;
};

// The index of a family of the list (code_family.h), built on first use.
const CodeIndex &codeIndex(const CodeFamily &family);

}  // namespace mvcore

#endif
