// peer_families.h - the coded-marker families as the peers define them,
// read through their public interfaces (libapriltag's family records,
// OpenCV 4.6's predefined ArUco dictionaries), in one shape: the black
// square's cell grid, the code of every id and where each code bit sits.
#ifndef MORVEX_PEER_FAMILIES_H
#define MORVEX_PEER_FAMILIES_H

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace peers {

enum class Origin { AprilTag, ArUco };

struct Family {
    std::string name;            // Morvex's name, e.g. "tag36h11", "aruco4x4_50"
    std::string source;          // what was called, e.g. "tag36h11_create()"
    Origin origin;
    int grid = 0;                // cells across the black square, frame included
    int bits = 0;                // data bits per code
    std::vector<int> bit_cell;   // cell (row * grid + column) of bit i, i = 0 the most significant
    std::vector<uint64_t> codes; // code of id k: bit 1 = a light cell
    int peer_distance = 0;       // the distance the peer states (AprilTag's h; 0 when not stated)
    int peer_correction = 0;     // OpenCV's maxCorrectionBits; AprilTag's default of 2
    int handle = 0;              // the peer's family or dictionary number, for drawing
};

// Every family, in Morvex's order: tag36h11, tag25h9, tag16h5, the ArUco
// dictionaries 4x4 to 7x7 with 50 to 1000 ids, aruco_original. Aborts with
// a message when a peer's record is not of the classic layout (a border
// that is not a one-cell black frame, bits outside the interior).
std::vector<Family> loadFamilies();

// The peer's own drawing of `id`: grid x grid values, 0 black, 1 white,
// row 0 at the top, without any quiet zone.
std::vector<int> peerDrawing(const Family &f, int id);

// The ids the peer's own detector finds in a grey picture (AprilTag's with
// its default two corrected bits, OpenCV's with its default parameters).
std::vector<int> peerDetect(const Family &f, const cv::Mat &grey);

}  // namespace peers

#endif
