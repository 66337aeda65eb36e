// code_grids.h - cell grids of coded markers for the decoder's tests, made
// from the family tables by the tests' own geometry (not the decoder's):
// the upright drawing, the grid a detector would sample when it takes
// another corner first, and the distance from a grid to the nearest code.
#ifndef MORVEX_TEST_CODE_GRIDS_H
#define MORVEX_TEST_CODE_GRIDS_H

#include "code_family.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace code_test {

using mvcore::CodeFamily;

// The upright marker, row 0 at the top: 0 dark, 1 light; the frame dark,
// code bit i (the most significant first) in cell bit_cell[i].
inline std::vector<int> upright(const CodeFamily &f, int id) {
    std::vector<int> g(f.grid * f.grid, 0);
    for (int i = 0; i < f.bits; i++) g[f.bit_cell[i]] = (int)((f.codes[id] >> (f.bits - 1 - i)) & 1);
    return g;
}

// The grid sampled from a detection whose corner 0 lies at upright corner
// `turn` (its corners still clockwise): observed corner j is upright
// corner (j + turn) % 4, and cell (r, c) holds the upright cell under the
// point at fractions ((c + 0.5) / grid, (r + 0.5) / grid) between them.
inline std::vector<int> seen(const CodeFamily &f, const std::vector<int> &up, int turn) {
    const double n = f.grid;
    const double corner[4][2] = {{0, 0}, {n, 0}, {n, n}, {0, n}};  // x, y of upright corners
    const double *q0 = corner[turn % 4], *q1 = corner[(turn + 1) % 4], *q3 = corner[(turn + 3) % 4];
    std::vector<int> g(f.grid * f.grid);
    for (int r = 0; r < f.grid; r++)
        for (int c = 0; c < f.grid; c++) {
            const double u = (c + 0.5) / n, v = (r + 0.5) / n;
            const double x = q0[0] + u * (q1[0] - q0[0]) + v * (q3[0] - q0[0]);
            const double y = q0[1] + u * (q1[1] - q0[1]) + v * (q3[1] - q0[1]);
            g[r * f.grid + c] = up[(int)std::floor(y) * f.grid + (int)std::floor(x)];
        }
    return g;
}

// 0/1 cells as grey levels.
inline std::vector<float> levels(const std::vector<int> &cells01, float dark = 40, float light = 200) {
    std::vector<float> v;
    for (int b : cells01) v.push_back(b ? light : dark);
    return v;
}

inline bool onFrame(const CodeFamily &f, int cell) {
    const int r = cell / f.grid, c = cell % f.grid;
    return r == 0 || c == 0 || r == f.grid - 1 || c == f.grid - 1;
}

inline std::vector<int> dataCells(const CodeFamily &f) {
    std::vector<int> cells;
    for (int i = 0; i < f.grid * f.grid; i++)
        if (!onFrame(f, i)) cells.push_back(i);
    return cells;
}

// Data cells in which `g` differs from the nearest view (id and turn) of
// any code of the family.
inline int nearestCodeDistance(const CodeFamily &f, const std::vector<int> &g) {
    int best = f.bits + 1;
    const std::vector<int> data = dataCells(f);
    for (int id = 0; id < f.code_count; id++) {
        const std::vector<int> up = upright(f, id);
        for (int t = 0; t < 4; t++) {
            const std::vector<int> s = seen(f, up, t);
            int d = 0;
            for (int cell : data) d += s[cell] != g[cell];
            if (d < best) best = d;
        }
    }
    return best;
}

// Words within distance e of one word of n bits.
inline double ball(int n, int e) {
    double v = 0, term = 1;
    for (int i = 0; i <= e; i++) {
        v += term;
        term = term * (n - i) / (i + 1);
    }
    return v;
}

// The chance that uniformly random data bits decode: the family's views
// (four per id) each claim the words within `e` bits.
inline double randomDecodeChance(const CodeFamily &f, int e) {
    return 4.0 * f.code_count * ball(f.bits, e) / std::ldexp(1.0, f.bits);
}

}  // namespace code_test

#endif
