// peer_compare - detection plus pose beside two peer fiducial systems, on the
// same rendered scenes (bench/scenes), in one run:
//
//     build/bin/peer_compare                 # all sizes and scenes, about 2 minutes
//     build/bin/peer_compare 640x480 1920x1080     # only these sizes
//
// Each system sees its own marker kind at the same printed side (80 mm
// black square) and the same poses: Morvex's picture marker (at full and at
// half resolution), an ArUco 4x4 marker (OpenCV, DICT_4X4_50, the pose by
// estimatePoseSingleMarkers) and an AprilTag 36h11 tag (AprilTag 3, quad
// decimation 2 and 1, the pose by estimate_tag_pose). Single thread. The
// timed call is each system's detection plus the pose of every marker it
// identified, timed in the thread's CPU time (on a shared machine wall time
// counts the waits for a core); Morvex reads the colour frame as captured, the peers a grey
// copy made beforehand (not timed). Systems alternate frame by frame, the
// first one rotating every round, so that machine drift falls on all alike.
// Morvex runs without the history (mvDetectMarkerLite), as the peers keep
// none.
//
// Per scene and size it prints each system's share of the markers found
// (and wrong or extra identities per frame), its median time per frame
// and that time over Morvex's at full and at half resolution.

// Some of AprilTag's headers lack C linkage of their own.
extern "C" {
#include <apriltag/apriltag.h>
#include <apriltag/apriltag_pose.h>
#include <apriltag/tag36h11.h>
}

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include <opencv2/aruco.hpp>
#include <opencv2/core.hpp>
#include <opencv2/core/ocl.hpp>

#include "morvex/camera.h"
#include "morvex/detect.h"
#include "morvex/pattern.h"
#include "morvex/pose.h"
#include "scenes.h"

namespace {

using benchscene::Scene;

const int kVariants = 4;             // different frames per scene and size
const double kBudgetMs = 2000.0;     // timed work per scene and size, all systems
const int kMinRounds = 5, kMaxRounds = 60;

render::Image scaledCells(const uint8_t *cells, int n, int cell_px)
{
    render::Image img;
    img.width = img.height = n * cell_px;
    img.channels = 3;
    img.pixels.resize((size_t)img.width * img.height * 3);
    for (int y = 0; y < img.height; y++)
        for (int x = 0; x < img.width; x++)
            std::memset(&img.pixels[((size_t)y * img.width + x) * 3],
                        cells[(y / cell_px) * n + x / cell_px], 3);
    return img;
}

// The tag inside its white margin, as the family draws it, cropped to the
// black square (the printed side the pose is given).
render::Image aprilTagPicture(apriltag_family_t *family, int id)
{
    image_u8_t *im = apriltag_to_image(family, id);
    const int border = (family->total_width - family->width_at_border) / 2;
    const int n = family->width_at_border;
    std::vector<uint8_t> cells((size_t)n * n);
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) cells[y * n + x] = im->buf[(y + border) * im->stride + x + border];
    image_u8_destroy(im);
    return scaledCells(cells.data(), n, 64);
}

render::Image arucoPicture(const cv::Ptr<cv::aruco::Dictionary> &dict, int id)
{
    cv::Mat m;
    cv::aruco::drawMarker(dict, id, 6, m, 1);   // one pixel per cell, border included
    return scaledCells(m.ptr<uint8_t>(0), 6, 80);
}

cv::Mat grey(const render::Image &rgba)
{
    cv::Mat g(rgba.height, rgba.width, CV_8UC1);
    for (int i = 0; i < rgba.width * rgba.height; i++) {
        const uint8_t *p = &rgba.pixels[(size_t)i * 4];
        g.data[i] = (uint8_t)((p[0] * 77 + p[1] * 150 + p[2] * 29 + 128) >> 8);
    }
    return g;
}

// What one timed call found: identities that belong to the scene, and the
// rest.
struct Found {
    int right = 0, wrong = 0;
};

// Counts ids 0..expected-1 once each; everything else is wrong.
Found tally(const std::vector<int> &ids, int expected)
{
    Found f;
    std::vector<bool> seen(expected, false);
    for (int id : ids) {
        if (id >= 0 && id < expected && !seen[id]) {
            seen[id] = true;
            f.right++;
        } else {
            f.wrong++;
        }
    }
    return f;
}

struct System {
    System(std::string n, std::function<Found(int)> c) : name(std::move(n)), call(std::move(c)) {}
    std::string name;
    std::function<Found(int variant)> call;   // timed
    std::vector<double> ms;
    long right = 0, wrong = 0, frames = 0;
};

double threadMs()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
}

double median(std::vector<double> v)
{
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const size_t h = v.size() / 2;
    return v.size() % 2 ? v[h] : 0.5 * (v[h - 1] + v[h]);
}

struct Peers {
    cv::Ptr<cv::aruco::Dictionary> dict = cv::aruco::getPredefinedDictionary(cv::aruco::DICT_4X4_50);
    cv::Ptr<cv::aruco::DetectorParameters> params = cv::aruco::DetectorParameters::create();
    apriltag_family_t *family = tag36h11_create();
    apriltag_detector_t *april2 = apriltag_detector_create();
    apriltag_detector_t *april1 = apriltag_detector_create();
    Peers()
    {
        for (apriltag_detector_t *td : {april2, april1}) {
            apriltag_detector_add_family(td, family);
            td->nthreads = 1;
        }
        april2->quad_decimate = 2.0f;
        april1->quad_decimate = 1.0f;
    }
    ~Peers()
    {
        apriltag_detector_destroy(april2);
        apriltag_detector_destroy(april1);
        tag36h11_destroy(family);
    }
};

void compare(Peers &peers, benchscene::Size size, Scene scene, int patt,
             const render::Image &morvexMarker, const std::vector<render::Image> &aruco,
             const std::vector<render::Image> &april)
{
    const MvCameraParam cam = benchscene::camera(size.w, size.h);
    MvCameraParam active = cam;
    mvInitCparam(&active);
    const int expected = benchscene::markerCount(scene);

    std::vector<const render::Image *> arucoPics, aprilPics;
    for (const render::Image &p : aruco) arucoPics.push_back(&p);
    for (const render::Image &p : april) aprilPics.push_back(&p);
    std::vector<render::Image> ours(kVariants);
    std::vector<cv::Mat> arucoFrames(kVariants), aprilFrames(kVariants);
    for (int v = 0; v < kVariants; v++) {
        render::Image f;
        benchscene::render(scene, cam, {&morvexMarker}, v, &ours[v]);
        benchscene::render(scene, cam, arucoPics, v, &f);
        arucoFrames[v] = grey(f);
        benchscene::render(scene, cam, aprilPics, v, &f);
        aprilFrames[v] = grey(f);
    }

    const double fx = cam.projection[0][0], fy = cam.projection[1][1];
    const double cx = cam.projection[0][2], cy = cam.projection[1][2];
    const cv::Mat K = (cv::Mat_<double>(3, 3) << fx, 0, cx, 0, fy, cy, 0, 0, 1);
    const cv::Mat noDistortion;

    auto morvex = [&](int v, int mode) {
        mvImageProcMode = mode;
        MvMarkerInfo *list = nullptr;
        int n = 0;
        mvDetectMarkerLite(ours[v].pixels.data(), 100, &list, &n);
        const double centre[2] = {0, 0};
        double trans[3][4];
        int identified = 0;
        for (int k = 0; k < n; k++)
            if (list[k].id == patt) {
                mvGetTransMat(&list[k], centre, benchscene::kSideMm, trans);
                identified++;
            }
        mvImageProcMode = 0;
        // Every marker of a scene is Morvex's own: count up to `expected`.
        Found f;
        f.right = std::min(identified, expected);
        f.wrong = identified - f.right;
        for (int k = 0; k < n; k++) f.wrong += list[k].id >= 0 && list[k].id != patt;
        return f;
    };
    auto arucoCall = [&](int v) {
        std::vector<std::vector<cv::Point2f>> corners;
        std::vector<int> ids;
        cv::aruco::detectMarkers(arucoFrames[v], peers.dict, corners, ids, peers.params);
        if (!ids.empty()) {
            std::vector<cv::Vec3d> rvecs, tvecs;
            cv::aruco::estimatePoseSingleMarkers(corners, (float)benchscene::kSideMm, K,
                                                 noDistortion, rvecs, tvecs);
        }
        return tally(ids, expected);
    };
    auto aprilCall = [&](int v, apriltag_detector_t *td) {
        cv::Mat &g = aprilFrames[v];
        image_u8_t im = {g.cols, g.rows, (int32_t)g.step[0], g.data};
        zarray_t *dets = apriltag_detector_detect(td, &im);
        std::vector<int> ids;
        for (int i = 0; i < zarray_size(dets); i++) {
            apriltag_detection_t *det;
            zarray_get(dets, i, &det);
            apriltag_detection_info_t info = {det, benchscene::kSideMm, fx, fy, cx, cy};
            apriltag_pose_t pose;
            estimate_tag_pose(&info, &pose);
            // Debian's library does not export matd_destroy; a matrix is
            // one block from malloc.
            std::free(pose.R);
            std::free(pose.t);
            ids.push_back(det->id);
        }
        apriltag_detections_destroy(dets);
        return tally(ids, expected);
    };

    std::vector<System> systems = {
        {"Morvex full", [&](int v) { return morvex(v, 0); }},
        {"Morvex half", [&](int v) { return morvex(v, 1); }},
        {"ArUco 4x4", arucoCall},
        {"AprilTag d2", [&](int v) { return aprilCall(v, peers.april2); }},
        {"AprilTag d1", [&](int v) { return aprilCall(v, peers.april1); }},
    };

    int rounds = kMaxRounds;
    for (int r = 0; r < rounds; r++) {
        const double roundStart = threadMs();
        for (int v = 0; v < kVariants; v++)
            for (size_t s = 0; s < systems.size(); s++) {
                System &sys = systems[(s + r) % systems.size()];
                const double t0 = threadMs();
                const Found f = sys.call(v);
                sys.ms.push_back(threadMs() - t0);
                sys.right += f.right;
                sys.wrong += f.wrong;
                sys.frames++;
            }
        if (r == 0) {
            const double once = threadMs() - roundStart;
            rounds = std::clamp((int)(kBudgetMs / std::max(once, 1e-3)), kMinRounds, kMaxRounds);
        }
    }

    const double full = median(systems[0].ms), half = median(systems[1].ms);
    for (const System &sys : systems) {
        const double m = median(sys.ms);
        char found[16] = "-";
        if (expected > 0)
            std::snprintf(found, sizeof found, "%.0f%%", 100.0 * sys.right / (sys.frames * expected));
        std::printf("%-10s %-8s %-12s %6s %6.2f %9.3f %8.2f %8.2f\n",
                    (std::to_string(size.w) + "x" + std::to_string(size.h)).c_str(),
                    benchscene::name(scene), sys.name.c_str(), found,
                    (double)sys.wrong / sys.frames, m, m / full, m / half);
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char **argv)
{
    std::vector<benchscene::Size> sizes;
    for (int i = 1; i < argc; i++) {
        benchscene::Size s{};
        if (std::sscanf(argv[i], "%dx%d", &s.w, &s.h) != 2 || s.w < 16 || s.h < 16 ||
            (long)s.w * s.h > MV_WORK_PIXELS_MAX) {
            std::fprintf(stderr, "peer_compare: \"%s\" is not a frame size such as 640x480\n",
                         argv[i]);
            return 1;
        }
        sizes.push_back(s);
    }
    if (sizes.empty()) sizes.assign(std::begin(benchscene::kSizes), std::end(benchscene::kSizes));

    const int patt = mvLoadPatt(MORVEX_RESOURCE_DIR "/patt.lumo");
    if (patt < 0) return 1;
    cv::setNumThreads(1);
    cv::ocl::setUseOpenCL(false);
    Peers peers;
    const render::Image morvexMarker = render::makeProjectMarker(512);
    std::vector<render::Image> aruco, april;
    for (int id = 0; id < 5; id++) {
        aruco.push_back(arucoPicture(peers.dict, id));
        april.push_back(aprilTagPicture(peers.family, id));
    }

    // AprilTag's pose prints a line on standard error for every ambiguous
    // pose it resolves; the table alone goes out.
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 2);

    std::printf("%-10s %-8s %-12s %6s %6s %9s %8s %8s\n", "size", "scene", "system", "found",
                "wrong", "median_ms", "/mv_full", "/mv_half");
    for (benchscene::Size s : sizes)
        for (Scene scene : benchscene::kScenes) compare(peers, s, scene, patt, morvexMarker, aruco, april);
    return 0;
}
