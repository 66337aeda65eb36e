// Reads the families through the peers' public interfaces only.
#include "peer_families.h"

#include <apriltag/apriltag.h>
#include <apriltag/tag16h5.h>
#include <apriltag/tag25h9.h>
#include <apriltag/tag36h11.h>
#include <opencv2/aruco.hpp>

#include <cstdio>
#include <cstdlib>

namespace peers {
namespace {

[[noreturn]] void die(const std::string &what) {
    std::fprintf(stderr, "code tables: %s\n", what.c_str());
    std::exit(1);
}

struct AprilTagMaker {
    const char *name, *create_name;
    apriltag_family_t *(*create)();
    void (*destroy)(apriltag_family_t *);
};
const AprilTagMaker kAprilTag[] = {
    {"tag36h11", "tag36h11_create()", tag36h11_create, tag36h11_destroy},
    {"tag25h9", "tag25h9_create()", tag25h9_create, tag25h9_destroy},
    {"tag16h5", "tag16h5_create()", tag16h5_create, tag16h5_destroy},
};

struct ArucoName {
    const char *name, *enum_name;
    int dict;
};
const ArucoName kAruco[] = {
    {"aruco4x4_50", "DICT_4X4_50", cv::aruco::DICT_4X4_50},
    {"aruco4x4_100", "DICT_4X4_100", cv::aruco::DICT_4X4_100},
    {"aruco4x4_250", "DICT_4X4_250", cv::aruco::DICT_4X4_250},
    {"aruco4x4_1000", "DICT_4X4_1000", cv::aruco::DICT_4X4_1000},
    {"aruco5x5_50", "DICT_5X5_50", cv::aruco::DICT_5X5_50},
    {"aruco5x5_100", "DICT_5X5_100", cv::aruco::DICT_5X5_100},
    {"aruco5x5_250", "DICT_5X5_250", cv::aruco::DICT_5X5_250},
    {"aruco5x5_1000", "DICT_5X5_1000", cv::aruco::DICT_5X5_1000},
    {"aruco6x6_50", "DICT_6X6_50", cv::aruco::DICT_6X6_50},
    {"aruco6x6_100", "DICT_6X6_100", cv::aruco::DICT_6X6_100},
    {"aruco6x6_250", "DICT_6X6_250", cv::aruco::DICT_6X6_250},
    {"aruco6x6_1000", "DICT_6X6_1000", cv::aruco::DICT_6X6_1000},
    {"aruco7x7_50", "DICT_7X7_50", cv::aruco::DICT_7X7_50},
    {"aruco7x7_100", "DICT_7X7_100", cv::aruco::DICT_7X7_100},
    {"aruco7x7_250", "DICT_7X7_250", cv::aruco::DICT_7X7_250},
    {"aruco7x7_1000", "DICT_7X7_1000", cv::aruco::DICT_7X7_1000},
    {"aruco_original", "DICT_ARUCO_ORIGINAL", cv::aruco::DICT_ARUCO_ORIGINAL},
};

Family fromAprilTag(int k) {
    const AprilTagMaker &m = kAprilTag[k];
    apriltag_family_t *tf = m.create();
    Family f;
    f.name = m.name;
    f.source = std::string("libapriltag ") + m.create_name;
    f.origin = Origin::AprilTag;
    f.handle = k;
    // The classic layout: a white ring, a black frame one cell wide, data
    // filling the interior.
    if (tf->reversed_border || tf->total_width != tf->width_at_border + 2)
        die(f.name + ": not a black frame inside one white ring");
    f.grid = tf->width_at_border;
    f.bits = (int)tf->nbits;
    const int inner = f.grid - 2;
    if (f.bits != inner * inner || f.bits > 64) die(f.name + ": bits do not fill the interior");
    std::vector<bool> used(f.grid * f.grid, false);
    for (uint32_t i = 0; i < tf->nbits; i++) {
        const int x = (int)tf->bit_x[i], y = (int)tf->bit_y[i];
        if (x < 1 || x > inner || y < 1 || y > inner || used[y * f.grid + x])
            die(f.name + ": a bit outside the interior or twice in one cell");
        used[y * f.grid + x] = true;
        f.bit_cell.push_back(y * f.grid + x);
    }
    f.codes.assign(tf->codes, tf->codes + tf->ncodes);
    f.peer_distance = (int)tf->h;
    f.peer_correction = 2;  // apriltag_detector_add_family's default
    m.destroy(tf);
    return f;
}

Family fromAruco(int k) {
    const ArucoName &a = kAruco[k];
    cv::Ptr<cv::aruco::Dictionary> d = cv::aruco::getPredefinedDictionary(a.dict);
    Family f;
    f.name = a.name;
    f.source = std::string("OpenCV 4.6 cv::aruco::getPredefinedDictionary(") + a.enum_name + ")";
    f.origin = Origin::ArUco;
    f.handle = a.dict;
    const int ms = d->markerSize;
    f.grid = ms + 2;
    f.bits = ms * ms;
    if (f.bits > 64) die(f.name + ": more than 64 bits");
    // Bits row-major over the interior, the first the most significant, as
    // the dictionary packs them.
    for (int r = 0; r < ms; r++)
        for (int c = 0; c < ms; c++) f.bit_cell.push_back((r + 1) * f.grid + c + 1);
    for (int id = 0; id < d->bytesList.rows; id++) {
        cv::Mat bits = cv::aruco::Dictionary::getBitsFromByteList(d->bytesList.rowRange(id, id + 1), ms);
        uint64_t code = 0;
        for (int r = 0; r < ms; r++)
            for (int c = 0; c < ms; c++) code = (code << 1) | (bits.at<uint8_t>(r, c) ? 1u : 0u);
        f.codes.push_back(code);
    }
    f.peer_correction = d->maxCorrectionBits;
    return f;
}

}  // namespace

std::vector<Family> loadFamilies() {
    std::vector<Family> out;
    for (int k = 0; k < (int)(sizeof kAprilTag / sizeof kAprilTag[0]); k++) out.push_back(fromAprilTag(k));
    for (int k = 0; k < (int)(sizeof kAruco / sizeof kAruco[0]); k++) out.push_back(fromAruco(k));
    return out;
}

std::vector<int> peerDrawing(const Family &f, int id) {
    std::vector<int> cells(f.grid * f.grid);
    if (f.origin == Origin::AprilTag) {
        apriltag_family_t *tf = kAprilTag[f.handle].create();
        image_u8_t *im = apriltag_to_image(tf, id);
        for (int r = 0; r < f.grid; r++)
            for (int c = 0; c < f.grid; c++)
                cells[r * f.grid + c] = im->buf[(r + 1) * im->stride + c + 1] ? 1 : 0;
        image_u8_destroy(im);
        kAprilTag[f.handle].destroy(tf);
    } else {
        cv::Ptr<cv::aruco::Dictionary> d = cv::aruco::getPredefinedDictionary(f.handle);
        cv::Mat img;
        d->drawMarker(id, f.grid, img, 1);  // one pixel per cell
        for (int r = 0; r < f.grid; r++)
            for (int c = 0; c < f.grid; c++) cells[r * f.grid + c] = img.at<uint8_t>(r, c) ? 1 : 0;
    }
    return cells;
}

std::vector<int> peerDetect(const Family &f, const cv::Mat &grey) {
    std::vector<int> ids;
    if (f.origin == Origin::AprilTag) {
        apriltag_family_t *tf = kAprilTag[f.handle].create();
        apriltag_detector_t *td = apriltag_detector_create();
        apriltag_detector_add_family(td, tf);
        image_u8_t im = {grey.cols, grey.rows, (int)grey.step, grey.data};
        zarray_t *dets = apriltag_detector_detect(td, &im);
        for (int i = 0; i < zarray_size(dets); i++) {
            apriltag_detection_t *det;
            zarray_get(dets, i, &det);
            ids.push_back(det->id);
        }
        apriltag_detections_destroy(dets);
        apriltag_detector_destroy(td);
        kAprilTag[f.handle].destroy(tf);
    } else {
        std::vector<std::vector<cv::Point2f>> corners;
        cv::aruco::detectMarkers(grey, cv::aruco::getPredefinedDictionary(f.handle), corners, ids);
    }
    return ids;
}

}  // namespace peers
