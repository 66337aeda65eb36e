// The list of coded-marker families and their corner and axis conventions.
#include "code_family.h"

#include <cstring>

namespace mvcore {

const CodeFamily &codeFamilyAt(int index) {
    return index < kAprilTagFamilyCount ? kAprilTagFamilies[index]
                                        : kArucoFamilies[index - kAprilTagFamilyCount];
}

int codeFamilyIndex(const CodeFamily &family) {
    if (&family >= kAprilTagFamilies && &family < kAprilTagFamilies + kAprilTagFamilyCount)
        return (int)(&family - kAprilTagFamilies);
    return kAprilTagFamilyCount + (int)(&family - kArucoFamilies);
}

const CodeFamily *findCodeFamily(const char *name) {
    if (name == nullptr) return nullptr;
    for (int i = 0; i < kCodeFamilyCount; i++)
        if (std::strcmp(codeFamilyAt(i).name, name) == 0) return &codeFamilyAt(i);
    return nullptr;
}

int uprightCorner(const CodeFamily &family, int family_corner) {
    return family.convention == CodeConvention::AprilTag ? 3 - family_corner : family_corner;
}

int observedCorner(const CodeFamily &family, int turn, int family_corner) {
    return (uprightCorner(family, family_corner) - turn + 4) & 3;
}

void toFamilyAxes(const CodeFamily &family, const double in[3][4], double out[3][4]) {
    const double sign = family.convention == CodeConvention::AprilTag ? -1.0 : 1.0;
    for (int r = 0; r < 3; r++) {
        out[r][0] = in[r][0];
        out[r][1] = sign * in[r][1];
        out[r][2] = sign * in[r][2];
        out[r][3] = in[r][3];
    }
}

}  // namespace mvcore
