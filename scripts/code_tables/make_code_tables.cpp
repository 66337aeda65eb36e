// make_code_tables OUTDIR - writes the coded-marker tables of Morvex's core
// (codes_apriltag.cpp, codes_aruco.cpp) from the peers' families, after
// checking every id against the peer's own drawing of it, and prints each
// family's figures: codes, bits, the smallest distance between two codes in
// any turns, the correction bound and the false-identification rate it
// allows.
#include "peer_families.h"

#include <bitset>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// The bound keeps a uniformly random interior (behind a dark frame) from
// decoding more often than this: at most one in 20,000 such squares.
const double kFalseRateTarget = 5e-5;

[[noreturn]] void die(const std::string &what) {
    std::fprintf(stderr, "make_code_tables: %s\n", what.c_str());
    std::exit(1);
}

// The canonical cell seen at observed cell `cell` when the marker is seen
// turned by `turn`: observed corner 0 lies at the upright marker's corner
// `turn` (0 top-left, 1 top-right, 2 bottom-right, 3 bottom-left).
int canonicalCell(int grid, int cell, int turn) {
    int r = cell / grid, c = cell % grid;
    for (int t = 0; t < turn; t++) {
        const int nr = c, nc = grid - 1 - r;
        r = nr;
        c = nc;
    }
    return r * grid + c;
}

// The grid of `code` drawn upright: frame 0, data cells their bit.
std::vector<int> drawCode(const peers::Family &f, uint64_t code) {
    std::vector<int> cells(f.grid * f.grid, 0);
    for (int i = 0; i < f.bits; i++) cells[f.bit_cell[i]] = (int)((code >> (f.bits - 1 - i)) & 1);
    return cells;
}

// The code read in the upright bit layout from the grid seen turned by `turn`.
uint64_t key(const peers::Family &f, uint64_t code, int turn) {
    const std::vector<int> g = drawCode(f, code);
    uint64_t k = 0;
    for (int i = 0; i < f.bits; i++) k = (k << 1) | (uint64_t)g[canonicalCell(f.grid, f.bit_cell[i], turn)];
    return k;
}

// Keys shared by two (id, turn) pairs cannot tell them apart: the decoder
// drops them (the ids listed in *ambiguous never decode). The smallest
// distance is taken between the keys that remain.
int minDistance(const peers::Family &f, std::string *ambiguous) {
    std::vector<uint64_t> keys;
    std::vector<int> ids;
    for (size_t id = 0; id < f.codes.size(); id++)
        for (int t = 0; t < 4; t++) {
            keys.push_back(key(f, f.codes[id], t));
            ids.push_back((int)id);
        }
    std::vector<bool> shared(keys.size(), false);
    for (size_t a = 0; a < keys.size(); a++)
        for (size_t b = a + 1; b < keys.size(); b++)
            if (keys[a] == keys[b]) shared[a] = shared[b] = true;
    int best = f.bits, last = -1;
    for (size_t a = 0; a < keys.size(); a++) {
        if (shared[a]) {
            if (ids[a] != last) *ambiguous += (ambiguous->empty() ? "" : ", ") + std::to_string(ids[a]);
            last = ids[a];
            continue;
        }
        for (size_t b = a + 1; b < keys.size(); b++) {
            if (shared[b]) continue;
            const int d = (int)std::bitset<64>(keys[a] ^ keys[b]).count();
            if (d < best) best = d;
        }
    }
    return best;
}

double ball(int n, int e) {  // words within distance e of one word
    double v = 0, term = 1;
    for (int i = 0; i <= e; i++) {
        v += term;
        term = term * (n - i) / (i + 1);
    }
    return v;
}

double falseRate(const peers::Family &f, int e) {
    return 4.0 * f.codes.size() * ball(f.bits, e) / std::ldexp(1.0, f.bits);
}

// The largest correction that decodes uniquely (2e < d) and keeps the false
// rate at the target; 0 when even exact codes exceed it.
int bound(const peers::Family &f, int d) {
    int e = 0;
    while (2 * (e + 1) < d && falseRate(f, e + 1) <= kFalseRateTarget) e++;
    return e;
}

void checkAgainstPeer(const peers::Family &f) {
    for (size_t id = 0; id < f.codes.size(); id++)
        if (drawCode(f, f.codes[id]) != peers::peerDrawing(f, (int)id))
            die(f.name + ": id " + std::to_string(id) + " differs from the peer's drawing");
}

std::string ident(const std::string &name) {  // tag36h11 -> Tag36h11, aruco4x4_50 -> Aruco4x4_50
    std::string s = name;
    s[0] = (char)std::toupper((unsigned char)s[0]);
    return s;
}

const char *kAprilTagLicence =
    "// Codes and bit layouts of the AprilTag families tag36h11, tag25h9 and tag16h5,\n"
    "// read from Debian's libapriltag-dev 3.3.0 (the families' create functions)\n"
    "// by scripts/code_tables/make_code_tables. Do not edit: run the generator.\n"
    "//\n"
    "// Copyright (C) 2013-2016, The Regents of The University of Michigan.\n"
    "// All rights reserved.\n"
    "// This software was developed in the APRIL Robotics Lab under the\n"
    "// direction of Edwin Olson, ebolson@umich.edu. This software may be\n"
    "// available under alternative licensing terms; contact the address above.\n"
    "// Redistribution and use in source and binary forms, with or without\n"
    "// modification, are permitted provided that the following conditions are met:\n"
    "// 1. Redistributions of source code must retain the above copyright notice, this\n"
    "//    list of conditions and the following disclaimer.\n"
    "// 2. Redistributions in binary form must reproduce the above copyright notice,\n"
    "//    this list of conditions and the following disclaimer in the documentation\n"
    "//    and/or other materials provided with the distribution.\n"
    "// THIS SOFTWARE IS PROVIDED BY THE COPYRIGHT HOLDERS AND CONTRIBUTORS \"AS IS\" AND\n"
    "// ANY EXPRESS OR IMPLIED WARRANTIES, INCLUDING, BUT NOT LIMITED TO, THE IMPLIED\n"
    "// WARRANTIES OF MERCHANTABILITY AND FITNESS FOR A PARTICULAR PURPOSE ARE\n"
    "// DISCLAIMED. IN NO EVENT SHALL THE COPYRIGHT OWNER OR CONTRIBUTORS BE LIABLE FOR\n"
    "// ANY DIRECT, INDIRECT, INCIDENTAL, SPECIAL, EXEMPLARY, OR CONSEQUENTIAL DAMAGES\n"
    "// (INCLUDING, BUT NOT LIMITED TO, PROCUREMENT OF SUBSTITUTE GOODS OR SERVICES;\n"
    "// LOSS OF USE, DATA, OR PROFITS; OR BUSINESS INTERRUPTION) HOWEVER CAUSED AND\n"
    "// ON ANY THEORY OF LIABILITY, WHETHER IN CONTRACT, STRICT LIABILITY, OR TORT\n"
    "// (INCLUDING NEGLIGENCE OR OTHERWISE) ARISING IN ANY WAY OUT OF THE USE OF THIS\n"
    "// SOFTWARE, EVEN IF ADVISED OF THE POSSIBILITY OF SUCH DAMAGE.\n"
    "// The views and conclusions contained in the software and documentation are those\n"
    "// of the authors and should not be interpreted as representing official policies,\n"
    "// either expressed or implied, of the Regents of The University of Michigan.\n";

const char *kArucoLicence =
    "// Codes of OpenCV's predefined ArUco dictionaries (4x4, 5x5, 6x6 and 7x7 with\n"
    "// 50 to 1000 ids, and the original ArUco dictionary), read from Debian's\n"
    "// libopencv-contrib-dev 4.6.0 (cv::aruco::getPredefinedDictionary, its\n"
    "// bytesList) by scripts/code_tables/make_code_tables. Do not edit: run the\n"
    "// generator.\n"
    "//\n"
    "// Debian's copyright file for the package states, for all of its files but\n"
    "// those listed apart (the aruco module is not among them):\n"
    "//   Copyright: 2000-2022, Intel Corporation, all rights reserved.\n"
    "//              2009-2011, Willow Garage Inc., all rights reserved.\n"
    "//              2009-2016, NVIDIA Corporation, all rights reserved.\n"
    "//              2010-2013, Advanced Micro Devices, Inc., all rights reserved.\n"
    "//              2015-2022, OpenCV Foundation, all rights reserved.\n"
    "//              2008-2016, Itseez Inc., all rights reserved.\n"
    "//              2019-2022, Xperience AI, all rights reserved.\n"
    "//              2019-2022, Shenzhen Institute of Artificial Intelligence and\n"
    "//              Robotics for Society, all rights reserved.\n"
    "//              Respective opencv contributors.\n"
    "//   License: Apache-2.0 AND BSD-3-Clause\n"
    "//   Comment: upstream relicensed the whole project to Apache-2.0, but a large\n"
    "//    portion of the source tree remains to be licensed under BSD-3-Clause.\n"
    "// The aruco module's own header (opencv2/aruco/dictionary.hpp) carries the\n"
    "// 3-clause BSD licence, in full in lib/core/codes/LICENSES.md.\n";

void writeFile(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out.flush()) die("cannot write " + path);
}

std::string tables(const std::vector<peers::Family> &fams, peers::Origin origin,
                   const char *licence, const char *array_name, const char *count_name,
                   const std::vector<int> &dist) {
    std::ostringstream s;
    s << licence << "\n#include \"code_family.h\"\n\nnamespace mvcore {\nnamespace {\n";
    for (const peers::Family &f : fams) {
        if (f.origin != origin) continue;
        const std::string id = ident(f.name);
        s << "\n// " << f.name << ": " << f.source << "\n";
        s << "const uint8_t k" << id << "Bits[" << f.bits << "] = {";
        for (int i = 0; i < f.bits; i++) s << (i % 18 == 0 ? "\n    " : " ") << f.bit_cell[i] << ",";
        s << "\n};\nconst uint64_t k" << id << "Codes[" << f.codes.size() << "] = {";
        for (size_t i = 0; i < f.codes.size(); i++) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "0x%llxu,", (unsigned long long)f.codes[i]);
            s << (i % 5 == 0 ? "\n    " : " ") << buf;
        }
        s << "\n};\n";
    }
    s << "\n}  // namespace\n\n"
      << "// name, convention, grid, bits, bit cells, smallest distance, bound, ids, codes\n"
      << "const CodeFamily " << array_name << "[" << count_name << "] = {\n";
    int n = 0;
    for (size_t k = 0; k < fams.size(); k++) {
        const peers::Family &f = fams[k];
        if (f.origin != origin) continue;
        const std::string id = ident(f.name);
        s << "    {\"" << f.name << "\", "
          << (origin == peers::Origin::AprilTag ? "CodeConvention::AprilTag" : "CodeConvention::ArUco")
          << ", " << f.grid << ", " << f.bits << ", k" << id << "Bits, " << dist[k] << ", "
          << bound(f, dist[k]) << ", " << f.codes.size() << ", k" << id << "Codes},\n";
        n++;
    }
    s << "};\nstatic_assert(" << n << " == " << count_name << ", \"the family count in code_family.h\");\n\n}  // namespace mvcore\n";
    return s.str();
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_code_tables OUTDIR   (lib/core/codes of the source tree)\n");
        return 2;
    }
    const std::vector<peers::Family> fams = peers::loadFamilies();
    std::vector<int> dist;
    std::printf("| Family | Ids | Bits | Smallest distance (turns included) | Peer's correction | Bound | "
                "False rate at the bound | at the bound + 1 | Ids that never decode |\n"
                "|---|---:|---:|---:|---:|---:|---:|---:|---|\n");
    for (const peers::Family &f : fams) {
        checkAgainstPeer(f);
        std::string ambiguous;
        const int d = minDistance(f, &ambiguous);
        dist.push_back(d);
        const int e = bound(f, d);
        char next[32] = "not unique";
        if (2 * (e + 1) < d) std::snprintf(next, sizeof next, "%.2g", falseRate(f, e + 1));
        std::printf("| `%s` | %zu | %d | %d | %d | %d | %.2g | %s | %s |\n", f.name.c_str(),
                    f.codes.size(), f.bits, d, f.peer_correction, e, falseRate(f, e), next,
                    ambiguous.empty() ? "-" : (ambiguous + " (symmetric)").c_str());
    }
    const std::string dir = argv[1];
    writeFile(dir + "/codes_apriltag.cpp",
              tables(fams, peers::Origin::AprilTag, kAprilTagLicence, "kAprilTagFamilies",
                     "kAprilTagFamilyCount", dist));
    writeFile(dir + "/codes_aruco.cpp",
              tables(fams, peers::Origin::ArUco, kArucoLicence, "kArucoFamilies", "kArucoFamilyCount",
                     dist));
    std::printf("\nwrote %s/codes_apriltag.cpp and %s/codes_aruco.cpp; every id matches the peer's drawing\n",
                dir.c_str(), dir.c_str());
    return 0;
}
