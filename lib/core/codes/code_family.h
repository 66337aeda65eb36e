// code_family.h - the coded-marker families (AprilTag's tag36h11, tag25h9,
// tag16h5; OpenCV's predefined ArUco dictionaries) as read-only records.
// Internal to the core; the tables themselves are generated
// (codes_apriltag.cpp, codes_aruco.cpp by scripts/code_tables).
//
// Promises: every record and table is constant data, initialised before
// main, never written; any thread may read them at any time.
//
// The marker as drawn upright (as the family's own tools draw it, row 0 at
// the top) is a black square of `grid` x `grid` cells: a frame one cell wide
// and, inside it, (grid - 2)^2 data cells, a light cell for a 1 bit. Its
// corners are numbered here, for every family alike, as Morvex numbers a
// picture marker's: upright corner 0 top-left, 1 top-right, 2 bottom-right,
// 3 bottom-left. The decoder (decode.h) reports a `turn`: observed corner
// j (the detector's order, clockwise on screen) lies at upright corner
// (j + turn) % 4.
//
// Each family keeps its own corner order and pose axes, so that a pose
// reported for a coded marker is the one its family's own library gives
// (both measured with those libraries by scripts/code_tables/check_conventions):
//
//  - AprilTag (CodeConvention::AprilTag): corners p[0..3] at the upright
//    bottom-left, bottom-right, top-right, top-left (counter-clockwise on
//    screen); family corner f is upright corner 3 - f. Axes: origin at the
//    centre, x right, y down (towards the upright bottom edge), z into the
//    tag, away from a camera that sees it.
//  - ArUco (CodeConvention::ArUco, OpenCV 4.6 with its default pattern):
//    corners 0..3 at the upright top-left, top-right, bottom-right,
//    bottom-left (clockwise on screen); family corner f is upright corner f.
//    Axes: origin at the centre, x right, y up, z out of the marker,
//    towards the camera.
//
// Morvex's picture-marker convention, for the upright coded marker: x from
// corner 0 to corner 1 (right), y from corner 3 to corner 0 (up), z = x
// cross y towards the camera; the detector's corners run clockwise on
// screen. So ArUco's corners and axes are Morvex's. AprilTag's corner f is
// Morvex's 3 - f, and its axes are Morvex's with y and z reversed: a point
// (x, y, z) in AprilTag's marker coordinates is (x, -y, -z) in Morvex's, and
// its marker-to-camera transform is Morvex's with the second and third
// rotation columns negated (toFamilyAxes below).
//
// A marker size for a family is the side of its black square.
#ifndef MORVEX_CODE_FAMILY_H
#define MORVEX_CODE_FAMILY_H

#include <cstdint>

namespace mvcore {

enum class CodeConvention { AprilTag, ArUco };

struct CodeFamily {
    const char *name;           // "tag36h11", "aruco4x4_50", ...
    CodeConvention convention;  // corner order and pose axes
    int grid;                   // cells across the black square, frame included
    int bits;                   // data bits, (grid - 2)^2, at most 49
    // Cell (row * grid + column of the upright grid) of code bit i, i = 0
    // the most significant of the `bits`-bit code: the family's own layout.
    const uint8_t *bit_cell;
    // Smallest Hamming distance between the codes as seen in any turns (a
    // code against another in every turn, and against its own other
    // turns), leaving out views two ids or turns share (those never decode).
    int min_distance;
    // Default correction bound (bit errors corrected): the largest e with
    // 2e < min_distance for which a uniformly random interior behind a dark
    // frame decodes with a chance of at most 5e-5, that is
    // 4 * code_count * sum_{i<=e} C(bits, i) / 2^bits <= 5e-5. The chance
    // grows (bits - e) / (e + 1)-fold with each extra bit; 5e-5 keeps
    // AprilTag's own default for tag36h11 (2 bits, 2.3e-5). The bounds:
    // tag36h11 2; aruco6x6_50 and _100 3, aruco6x6_250 and _1000 2;
    // aruco7x7_50 7, _100 and _250 6, _1000 5. Every other family corrects
    // nothing: one bit would already pass 5e-5 (tag25h9 1.1e-4, aruco5x5_50
    // 1.5e-4) or its exact codes alone do (tag16h5 1.8e-3, aruco4x4_50 to
    // _1000 3.1e-3 to 6.1e-2, aruco5x5_1000 and aruco_original 1.2e-4).
    // scripts/code_tables/README.md lists every family's rates.
    int max_correction;
    int code_count;             // ids 0 .. code_count - 1
    const uint64_t *codes;      // code of each id, bit 1 = a light cell
};

constexpr int kAprilTagFamilyCount = 3;
constexpr int kArucoFamilyCount = 17;
constexpr int kCodeFamilyCount = kAprilTagFamilyCount + kArucoFamilyCount;

// The generated tables.
extern const CodeFamily kAprilTagFamilies[kAprilTagFamilyCount];
extern const CodeFamily kArucoFamilies[kArucoFamilyCount];

// Every family: index 0 .. kCodeFamilyCount - 1, in the order tag36h11,
// tag25h9, tag16h5, aruco4x4_50 .. aruco7x7_1000, aruco_original.
const CodeFamily &codeFamilyAt(int index);
// The index of a family record of this list.
int codeFamilyIndex(const CodeFamily &family);
// The family of that exact name, or nullptr.
const CodeFamily *findCodeFamily(const char *name);

// The upright corner (0 top-left .. 3 bottom-left) of the family's own
// corner `family_corner` (0..3).
int uprightCorner(const CodeFamily &family, int family_corner);

// The detector's corner (observed order) holding the family's corner
// `family_corner`, for a marker decoded with `turn`.
int observedCorner(const CodeFamily &family, int turn, int family_corner);

// A marker-to-camera transform in Morvex's axes for the upright marker
// (x from upright corner 0 to 1, y from 3 to 0) turned into the family's
// axes. `in` and `out` may be the same.
void toFamilyAxes(const CodeFamily &family, const double in[3][4], double out[3][4]);

}  // namespace mvcore

#endif
