// check_conventions - shows, with the peers' own detectors and pose
// estimators, which corner of a marker each reports first, in which order
// the others follow, and where its pose axes point. A marker is drawn by
// the peer, upright and then turned a quarter clockwise, enlarged inside a
// white margin, and seen face-on by a pinhole camera at the image centre.
// Corners are named by where they lie on the marker as drawn upright
// (TL top-left, TR top-right, BR bottom-right, BL bottom-left).
#include <apriltag/apriltag.h>
#include <apriltag/apriltag_pose.h>
#include <apriltag/tag36h11.h>
#include <opencv2/aruco.hpp>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const int kCell = 20, kMargin = 100;
const double kFocal = 500.0;

// The upright marker's corner at image point (x, y) of a picture turned by
// `quarters` clockwise quarter turns about the image centre `c`.
std::string cornerName(double x, double y, double c, int quarters) {
    for (int q = 0; q < quarters; q++) {  // undo one clockwise turn: (x, y) -> (y, -x) about c
        const double dx = x - c, dy = y - c;
        x = c + dy;
        y = c - dx;
    }
    return std::string(y < c ? "T" : "B") + (x < c ? "L" : "R");
}

void printAxes(const double R[3][3]) {
    const char *names[3] = {"x", "y", "z"};
    for (int a = 0; a < 3; a++)
        std::printf("    marker %s axis in camera coordinates: (%+.2f, %+.2f, %+.2f)\n", names[a], R[0][a],
                    R[1][a], R[2][a]);
}

cv::Mat turned(const cv::Mat &img, int quarters) {
    cv::Mat out = img.clone();
    for (int q = 0; q < quarters; q++) cv::rotate(out, out, cv::ROTATE_90_CLOCKWISE);
    return out;
}

void aprilTag(int quarters) {
    apriltag_family_t *tf = tag36h11_create();
    image_u8_t *tag = apriltag_to_image(tf, 7);  // white ring, black frame, data
    const int side = tag->width * kCell + 2 * kMargin;
    cv::Mat img(side, side, CV_8UC1, cv::Scalar(255));
    for (int y = 0; y < tag->height; y++)
        for (int x = 0; x < tag->width; x++)
            img(cv::Rect(kMargin + x * kCell, kMargin + y * kCell, kCell, kCell)) = tag->buf[y * tag->stride + x];
    img = turned(img, quarters);
    image_u8_t im = {img.cols, img.rows, (int)img.step, img.data};
    apriltag_detector_t *td = apriltag_detector_create();
    apriltag_detector_add_family(td, tf);
    zarray_t *dets = apriltag_detector_detect(td, &im);
    std::printf("AprilTag tag36h11 id 7, turned %d quarter(s) clockwise: %d detection(s)\n", quarters,
                zarray_size(dets));
    const double c = (side - 1) / 2.0;
    for (int i = 0; i < zarray_size(dets); i++) {
        apriltag_detection_t *det;
        zarray_get(dets, i, &det);
        std::printf("    id %d, corners p[0..3] at:", det->id);
        for (int k = 0; k < 4; k++) std::printf(" %s", cornerName(det->p[k][0], det->p[k][1], c, quarters).c_str());
        std::printf("\n");
        apriltag_detection_info_t info = {det, 0.16, kFocal, kFocal, c, c};
        apriltag_pose_t pose;
        estimate_tag_pose(&info, &pose);
        double R[3][3];
        for (int r = 0; r < 3; r++)
            for (int k = 0; k < 3; k++) R[r][k] = MATD_EL(pose.R, r, k);
        printAxes(R);
        // One allocation each (data inline); Debian's library does not export
        // matd_destroy.
        std::free(pose.R);
        std::free(pose.t);
    }
    apriltag_detections_destroy(dets);
    apriltag_detector_destroy(td);
    image_u8_destroy(tag);
    tag36h11_destroy(tf);
}

void aruco(int quarters) {
    cv::Ptr<cv::aruco::Dictionary> d = cv::aruco::getPredefinedDictionary(cv::aruco::DICT_4X4_50);
    cv::Mat marker;
    d->drawMarker(7, 6 * kCell, marker, 1);
    cv::Mat img(marker.rows + 2 * kMargin, marker.cols + 2 * kMargin, CV_8UC1, cv::Scalar(255));
    marker.copyTo(img(cv::Rect(kMargin, kMargin, marker.cols, marker.rows)));
    img = turned(img, quarters);
    std::vector<std::vector<cv::Point2f>> corners;
    std::vector<int> ids;
    cv::aruco::detectMarkers(img, d, corners, ids);
    std::printf("OpenCV aruco4x4_50 id 7, turned %d quarter(s) clockwise: %zu detection(s)\n", quarters,
                ids.size());
    const double c = (img.cols - 1) / 2.0;
    const cv::Mat K = (cv::Mat_<double>(3, 3) << kFocal, 0, c, 0, kFocal, c, 0, 0, 1);
    for (size_t i = 0; i < ids.size(); i++) {
        std::printf("    id %d, corners 0..3 at:", ids[i]);
        for (int k = 0; k < 4; k++) std::printf(" %s", cornerName(corners[i][k].x, corners[i][k].y, c, quarters).c_str());
        std::printf("\n");
        std::vector<cv::Vec3d> rvecs, tvecs;
        cv::aruco::estimatePoseSingleMarkers(std::vector<std::vector<cv::Point2f>>{corners[i]}, 0.12f, K,
                                             cv::noArray(), rvecs, tvecs);
        cv::Mat Rm;
        cv::Rodrigues(rvecs[0], Rm);
        double R[3][3];
        for (int r = 0; r < 3; r++)
            for (int k = 0; k < 3; k++) R[r][k] = Rm.at<double>(r, k);
        printAxes(R);
    }
}

}  // namespace

int main() {
    std::printf("Camera coordinates: x right, y down, z forward (into the scene).\n"
                "Axes are given for the marker as drawn upright when turned 0.\n\n");
    for (int q : {0, 1}) aprilTag(q);
    for (int q : {0, 1}) aruco(q);
    return 0;
}
