// golden_record.cpp - writes the golden detection and pose outputs.
//
// Regenerate the expected file (only when a change is meant to move these
// outputs) from the build's bin folder:
//     cd build/bin && ./golden_record ../../tests/golden/golden_outputs.txt
#include <cstdio>
#include <string>

#include "golden_corpus.h"

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: golden_record OUTPUT\n");
        return 1;
    }
    std::string text, error;
    if (!golden::recordGolden(MORVEX_RESOURCE_DIR, &text, &error)) {
        std::fprintf(stderr, "golden_record: %s\n", error.c_str());
        return 1;
    }
    FILE *f = std::fopen(argv[1], "wb");
    if (f == nullptr || std::fwrite(text.data(), 1, text.size(), f) != text.size() ||
        std::fclose(f) != 0) {
        std::fprintf(stderr, "golden_record: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
