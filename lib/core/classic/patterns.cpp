// The process-wide pattern store (50 slots) and the pattern operations on
// the active camera's frames.
#include "classic.h"

#include "../detect/sample.h"
#include "../pattern/templates.h"
#include "morvex/pattern.h"
#include "morvex/refine.h"
#include "message.h"

#include <cstdio>

extern "C" {
int mvTemplateMatchingMode = 0;
}

namespace {

using namespace mvcore;

constexpr int kSlots = 50;

// Number of slots in state 1 or 2; -1 until the first mvLoadPatt.
int pattern_num = -1;
// Slot state: 0 free, 1 in use and matched, 2 in use but not matched.
int patf[kSlots];
PatternTemplate pat[kSlots];

bool valid_slot(int id) { return id >= 0 && id < kSlots; }

// Sets an in-use slot to `state`; -1 for a free or out-of-range slot.
int set_state(int id, int state)
{
    if (!valid_slot(id) || pattern_num < 0 || patf[id] == 0) return -1;
    if (state == 0) pattern_num--;
    patf[id] = state;
    return 1;
}

}  // namespace

namespace mvcore {
namespace classic {

PatternList store_patterns(MatchEntry room[kSlots])
{
    // Slots in use in increasing order; deactivated ones are not compared.
    int n = 0;
    for (int s = 0; s < kSlots && pattern_num > 0; s++)
        if (patf[s] == 1) room[n++] = {&pat[s], s};
    return {room, n, mvTemplateMatchingMode != 0};
}

}  // namespace classic
}  // namespace mvcore

extern "C" int mvLoadPatt(const char *filename)
{
    if (pattern_num == -1) {
        for (int i = 0; i < kSlots; i++) patf[i] = 0;
        pattern_num = 0;
    }
    int slot = 0;
    while (slot < kSlots && patf[slot] != 0) slot++;
    if (slot == kSlots) {
        report(MV_ERROR_CAPACITY, nullptr, "no free slot for pattern \"%s\": all %d in use", filename,
               kSlots);
        return -1;
    }
    int values[kFileValues];
    const MvError r = read_pattern_values(filename, values);
    if (r == MV_ERROR_NOT_FOUND) {
        report(MV_ERROR_NOT_FOUND, stdout, "\"%s\" not found!!\n", filename);
        return -1;
    }
    if (r != MV_ERROR_NONE) {
        report(MV_ERROR_FORMAT, stdout, "Pattern Data read error!!\n");
        return -1;
    }
    template_from_values(values, &pat[slot]);
    patf[slot] = 1;
    pattern_num++;
    return slot;
}

extern "C" int mvFreePatt(int id) { return set_state(id, 0); }
extern "C" int mvActivatePatt(int id) { return set_state(id, 1); }
extern "C" int mvDeactivatePatt(int id) { return set_state(id, 2); }

extern "C" int mvGetPatt(const unsigned char *image, const int *contourX, const int *contourY,
                         const int *cornerIndices, unsigned char sample[768])
{
    return sample_outline(classic::active_frame(image), classic::half_resolution(), contourX,
                          contourY, cornerIndices, sample);
}

extern "C" int mvGetCode(const unsigned char *image, const int *contourX, const int *contourY,
                         const int *cornerIndices, int *id, int *direction, double *confidence)
{
    classic::identify(classic::active_frame(image), classic::half_resolution(), contourX, contourY,
                      cornerIndices, id, direction, confidence);
    return 0;
}

extern "C" int mvSavePatt(const unsigned char *image, const MvMarkerInfo *marker,
                          const char *filename)
{
    if (image == nullptr || marker == nullptr || filename == nullptr) return -1;

    // Only the candidates of the most recent detection may be used, found
    // by exact area and centre: markers the history re-added have none.
    const CandidateSet &set = classic::detector().candidates();
    const Candidate *cand = nullptr;
    for (const Candidate &c : set.list) {
        if (c.area == marker->area && c.center[0] == marker->center[0] &&
            c.center[1] == marker->center[1]) {
            cand = &c;
            break;
        }
    }
    if (cand == nullptr) return -1;

    // Block b starts at corner (b + 2) mod 4, so a marker seen later the
    // way it was seen now (detection samples from corner 0) matches block 2.
    const FrameView frame = classic::active_frame(image);
    unsigned char samples[kBlocks][kValues];
    for (int b = 0; b < kBlocks; b++) {
        int k[4];
        for (int j = 0; j < 4; j++) k[j] = cand->corners[(j + b + 2) % 4];
        // A sample position at infinity leaves a half-filled sample; such a
        // file would never match its own marker, so nothing is written.
        if (sample_outline(frame, classic::half_resolution(), set.xs(*cand), set.ys(*cand), k,
                           samples[b]) < 0)
            return -1;
    }
    return write_pattern_file(filename, samples) ? 0 : -1;
}

extern "C" int mvIdentifyMarker(const unsigned char *image, MvMarkerInfo *marker)
{
    if (image == nullptr || marker == nullptr) return -1;
    MatchEntry room[kSlots];
    return identify_corners(classic::active_frame(image), mvParam.distortion,
                            classic::store_patterns(room), marker)
               ? 0
               : -1;
}
