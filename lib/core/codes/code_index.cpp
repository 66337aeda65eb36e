// The per-family index of code views: hash table and nearest-code scan.
#include "code_index.h"

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>

namespace mvcore {

int uprightCell(int grid, int cell, int turn) {
    int r = cell / grid, c = cell % grid;
    // One turn: the observed row r runs down the upright column grid-1-r.
    for (int t = 0; t < turn; t++) {
        const int nr = c, nc = grid - 1 - r;
        r = nr;
        c = nc;
    }
    return r * grid + c;
}

uint64_t readWord(const CodeFamily &family, const uint8_t *cells01) {
    uint64_t w = 0;
    for (int i = 0; i < family.bits; i++) w = (w << 1) | (cells01[family.bit_cell[i]] ? 1u : 0u);
    return w;
}

void drawCells(const CodeFamily &family, int id, int turn, uint8_t *cells01) {
    const int n = family.grid * family.grid;
    uint8_t upright[16 * 16] = {};  // grid <= 9
    const uint64_t code = family.codes[id];
    for (int i = 0; i < family.bits; i++)
        upright[family.bit_cell[i]] = (uint8_t)((code >> (family.bits - 1 - i)) & 1);
    for (int cell = 0; cell < n; cell++) cells01[cell] = upright[uprightCell(family.grid, cell, turn)];
}

size_t CodeIndex::home(uint64_t word) const {
    // Fibonacci hashing: the codes' low bits are not spread evenly.
    return (size_t)((word * 0x9E3779B97F4A7C15ull) >> 20) & (size_t)mask_;
}

CodeIndex::CodeIndex(const CodeFamily &family) {
    uint8_t cells[16 * 16];
    std::vector<Slot> views;
    for (int id = 0; id < family.code_count; id++)
        for (int turn = 0; turn < 4; turn++) {
            drawCells(family, id, turn, cells);
            views.push_back({readWord(family, cells), id * 4 + turn});
        }
    // Views two (id, turn) share are marked in both: neither decodes.
    auto byWord = [](const Slot &a, const Slot &b) { return a.word < b.word; };
    std::vector<Slot> sorted = views;
    std::sort(sorted.begin(), sorted.end(), byWord);
    for (Slot &v : views) {
        auto range = std::equal_range(sorted.begin(), sorted.end(), v, byWord);
        if (range.second - range.first > 1) {
            v.value = -2;
            shared_++;
        }
        words_.push_back(v.word);
        values_.push_back(v.value);
    }
    size_t size = 16;
    while (size < 2 * views.size()) size *= 2;
    mask_ = size - 1;
    table_.assign(size, Slot{0, -1});
    for (const Slot &v : views) {
        size_t i = home(v.word);
        while (table_[i].value != -1 && table_[i].word != v.word) i = (i + 1) & mask_;
        table_[i] = v;
    }
}

bool CodeIndex::exact(uint64_t word, CodeHit *hit) const {
    for (size_t i = home(word);; i = (i + 1) & mask_) {
        const Slot &s = table_[i];
        if (s.value == -1) return false;
        if (s.word == word) {
            if (s.value < 0) return false;
            *hit = CodeHit{s.value >> 2, s.value & 3, 0};
            return true;
        }
    }
}

namespace {

// Set bits of a word, inline: without -mpopcnt the builtin is a call into
// the compiler's runtime, a third of the decoder's time.
inline int bitCount(uint64_t x) {
    x = x - ((x >> 1) & 0x5555555555555555ull);
    x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return (int)((x * 0x0101010101010101ull) >> 56);
}

}  // namespace

bool CodeIndex::nearest(uint64_t word, int max_distance, CodeHit *hit) const {
    // A scan: 4 x (50..1024) views cost less than looking up every word
    // within a few bits (667 for 36 bits and 2, millions for 49 bits and 7).
    // Ties and a nearest view that two (id, turn) share decode nothing.
    int best = max_distance + 1, found = -1;
    bool tie = false;
    const size_t n = words_.size();
    for (size_t i = 0; i < n; i++) {
        const int d = bitCount(words_[i] ^ word);
        if (d <= best) {
            tie = d == best;
            if (d < best) {
                best = d;
                found = values_[i];
            }
        }
    }
    if (found < 0 || tie) return false;
    *hit = CodeHit{found >> 2, found & 3, best};
    return true;
}

const CodeIndex &codeIndex(const CodeFamily &family) {
    static std::array<std::once_flag, kCodeFamilyCount> once;
    static std::array<std::unique_ptr<CodeIndex>, kCodeFamilyCount> built;
    const int k = codeFamilyIndex(family);
    std::call_once(once[k], [&] { built[k] = std::make_unique<CodeIndex>(family); });
    return *built[k];
}

}  // namespace mvcore
