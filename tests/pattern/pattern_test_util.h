// Shared helpers of the pattern tests: pattern files from sample blocks and
// a clean store.
#ifndef MORVEX_TESTS_PATTERN_UTIL_H
#define MORVEX_TESTS_PATTERN_UTIL_H

#include "morvex/pattern.h"

#include <cstdio>
#include <string>
#include <unistd.h>

namespace pattern_test {

// A path in the temporary folder, unique to this process.
inline std::string tempPath(const std::string &name) {
    return "/tmp/morvex-pattern-" + std::to_string(getpid()) + "-" + name;
}

// Writes a pattern file whose block b holds blocks[b] (768 values each,
// entry (row * 16 + column) * 3 + plane), in the saved-file layout.
inline void writePattern(const std::string &path, const int *const blocks[4]) {
    FILE *fp = std::fopen(path.c_str(), "w");
    for (int b = 0; b < 4; b++) {
        for (int c = 0; c < 3; c++)
            for (int r = 0; r < 16; r++) {
                for (int k = 0; k < 16; k++)
                    std::fprintf(fp, "%4d", blocks[b][(r * 16 + k) * 3 + c]);
                std::fputc('\n', fp);
            }
        std::fputc('\n', fp);
    }
    std::fclose(fp);
}

// Frees every slot, so that each test starts from an empty store.
inline void clearStore() {
    for (int i = 0; i < 50; i++) mvFreePatt(i);
}

}  // namespace pattern_test

#endif
