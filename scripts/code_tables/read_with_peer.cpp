// read_with_peer FAMILY PNG - reads a picture (e.g. one mvmarker made) with
// the peer's own detector for that family, AprilTag's or OpenCV's, and
// prints the ids it finds; exits 1 when it finds none.
#include "peer_families.h"

#include <apriltag/apriltag.h>
#include <opencv2/aruco.hpp>
#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <string>

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: read_with_peer FAMILY PNG\n");
        return 2;
    }
    const std::string name = argv[1];
    const cv::Mat img = cv::imread(argv[2], cv::IMREAD_GRAYSCALE);
    if (img.empty()) {
        std::fprintf(stderr, "read_with_peer: cannot read %s\n", argv[2]);
        return 2;
    }
    for (const peers::Family &f : peers::loadFamilies()) {
        if (f.name != name) continue;
        const std::vector<int> ids = peers::peerDetect(f, img);
        for (int id : ids) std::printf("%s: %s id %d\n", argv[2], name.c_str(), id);
        return ids.empty() ? 1 : 0;
    }
    std::fprintf(stderr, "read_with_peer: no family %s\n", name.c_str());
    return 2;
}
