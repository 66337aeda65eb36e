// Writing a pattern file from a marker of the most recent detection: its
// candidate's interior sampled in all four rotations.
#include "morvex/pattern.h"
#include "../detect/detect_state.h"
#include "replace_file.h"

#include <cstdio>

extern "C" int mvSavePatt(const unsigned char *image, const MvMarkerInfo *marker,
                          const char *filename) {
    if (image == nullptr || marker == nullptr || filename == nullptr) return -1;

    // Only the candidates of the most recent detection may be used, found
    // by exact area and centre: markers the history re-added have none.
    int count = 0;
    const MvMarkerCandidate *table = mvcore::last_candidates(&count);
    const MvMarkerCandidate *cand = nullptr;
    for (int i = 0; i < count; i++) {
        const MvMarkerCandidate &c = table[i];
        if (c.area == marker->area && c.center[0] == marker->center[0] &&
            c.center[1] == marker->center[1]) {
            cand = &c;
            break;
        }
    }
    if (cand == nullptr) return -1;

    // Block b starts at corner (b + 2) mod 4, so a marker seen later the
    // way it was seen now (detection samples from corner 0) matches block 2.
    unsigned char sample[4][768];
    for (int b = 0; b < 4; b++) {
        int k[4];
        for (int j = 0; j < 4; j++) k[j] = cand->cornerIndices[(j + b + 2) % 4];
        // A sample position at infinity leaves a half-filled sample; such a
        // file would never match its own marker, so nothing is written.
        if (mvGetPatt(image, cand->contourX, cand->contourY, k, sample[b]) < 0)
            return -1;
    }

    // Written beside the old file and renamed over it only when complete.
    mvcore::FileReplacement file;
    if (!mvcore::begin_replace(filename, &file)) return -1;
    for (int b = 0; b < 4; b++) {
        for (int c = 0; c < 3; c++) {
            for (int r = 0; r < 16; r++) {
                for (int k = 0; k < 16; k++)
                    std::fprintf(file.fp, "%4d", sample[b][(r * 16 + k) * 3 + c]);
                std::fputc('\n', file.fp);
            }
        }
        std::fputc('\n', file.fp);
    }
    return mvcore::finish_replace(&file) ? 0 : -1;
}
