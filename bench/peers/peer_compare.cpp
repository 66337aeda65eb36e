// peer_compare - Morvex's tracker beside two peer fiducial systems, on the
// same rendered frames, in one run.
//
//     build/bin/peer_compare speed                 # all sizes and scenes, a few minutes
//     build/bin/peer_compare speed 640x480 1920x1080
//     build/bin/peer_compare rate                  # coded markers over size, tilt, blur, noise
//     build/bin/peer_compare frames clip/%04d.png  # AprilTag's detect call on each frame
//
// speed: each system sees its own marker kind at the same printed side (80
// mm black square) and the same poses (bench/scenes): Morvex's tracker on
// its picture marker with the full pipeline (sub-pixel corners,
// identification from them, the automatic threshold, refined poses) and
// plain (threshold 100, no refinement) at full and half resolution; the
// tracker on AprilTag 36h11 tags and on ArUco 4x4 markers, decoding their
// codes; OpenCV's ArUco detector (DICT_4X4_50, then
// estimatePoseSingleMarkers); AprilTag 3 (quad decimation 2 and 1, then
// estimate_tag_pose). One thread each, timed in the thread's CPU time (on
// a shared machine wall time counts the waits for a core); Morvex reads the
// colour frame as captured, the peers a grey copy made beforehand (not
// timed). Systems alternate frame by frame. Trackers keep no history, as
// the peers keep none. Per scene and size: each system's share of the
// markers found, wrong identities per frame, median time per frame and
// that time over AprilTag's at decimation 2.
//
// frames: AprilTag 3 (decimation 2, then 1) on each frame of an image
// sequence, detection alone, beside the "detection N ms per frame" that
// mvtrack prints for the same frames: mean and median thread CPU time.
//
// rate: tags of tag36h11 and aruco4x4_50 over black squares of 14 to 120
// pixels, tilts to 60 degrees, blur and noise; each condition's frames read
// by the tracker and by the peer of that family: the share identified,
// wrong ids, and the median error of the corners found (pixels, against
// the renderer's truth).

// Some of AprilTag's headers lack C linkage of their own.
extern "C" {
#include <apriltag/apriltag.h>
#include <apriltag/apriltag_pose.h>
#include <apriltag/tag36h11.h>
}

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
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

#include "image_io.h"
#include "morvex/tracker.h"
#include "render.h"
#include "scenes.h"

namespace {

using benchscene::Scene;

const int kVariants = 4;             // different frames per scene and size
const double kBudgetMs = 2000.0;     // timed work per scene and size, all systems
const int kMinRounds = 5, kMaxRounds = 60;

cv::Mat grey(const render::Image &rgba)
{
    cv::Mat g(rgba.height, rgba.width, CV_8UC1);
    for (int i = 0; i < rgba.width * rgba.height; i++) {
        const uint8_t *p = &rgba.pixels[(size_t)i * 4];
        g.data[i] = (uint8_t)((p[0] * 77 + p[1] * 150 + p[2] * 29 + 128) >> 8);
    }
    return g;
}

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

// A marker a system reported: its id and its four corners (pixels), in the
// family's corner order.
struct Seen {
    int id;
    double corners[4][2];
};

// The peers, set up once.
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

    // ArUco's markers of a frame, with their poses when `cam` is given.
    std::vector<Seen> aruco(const cv::Mat &g, double side, const MvCameraParam *cam)
    {
        std::vector<std::vector<cv::Point2f>> corners;
        std::vector<int> ids;
        cv::aruco::detectMarkers(g, dict, corners, ids, params);
        if (cam != nullptr && !ids.empty()) {
            const cv::Mat K = (cv::Mat_<double>(3, 3) << cam->projection[0][0], 0, cam->projection[0][2], 0,
                               cam->projection[1][1], cam->projection[1][2], 0, 0, 1);
            std::vector<cv::Vec3d> rvecs, tvecs;
            cv::aruco::estimatePoseSingleMarkers(corners, (float)side, K, cv::Mat(), rvecs, tvecs);
        }
        std::vector<Seen> out;
        for (size_t i = 0; i < ids.size(); i++) {
            Seen s{ids[i], {}};
            for (int k = 0; k < 4; k++) s.corners[k][0] = corners[i][k].x, s.corners[k][1] = corners[i][k].y;
            out.push_back(s);
        }
        return out;
    }

    // AprilTag's tags of a frame, with their poses when `cam` is given.
    std::vector<Seen> april(apriltag_detector_t *td, const cv::Mat &g, double side, const MvCameraParam *cam)
    {
        image_u8_t im = {g.cols, g.rows, (int32_t)g.step[0], g.data};
        zarray_t *dets = apriltag_detector_detect(td, &im);
        std::vector<Seen> out;
        for (int i = 0; i < zarray_size(dets); i++) {
            apriltag_detection_t *det;
            zarray_get(dets, i, &det);
            if (cam != nullptr) {
                apriltag_detection_info_t info = {det, side, cam->projection[0][0], cam->projection[1][1],
                                                  cam->projection[0][2], cam->projection[1][2]};
                apriltag_pose_t pose;
                estimate_tag_pose(&info, &pose);
                // Debian's library does not export matd_destroy; a matrix is
                // one block from malloc.
                std::free(pose.R);
                std::free(pose.t);
            }
            // AprilTag puts a pixel's centre at (x + 0.5, y + 0.5); Morvex,
            // OpenCV and the renderer at (x, y) (measured: its corners come
            // out 0.50 and 0.50 pixel off on average, the others 0.00).
            Seen s{det->id, {}};
            for (int k = 0; k < 4; k++) s.corners[k][0] = det->p[k][0] - 0.5, s.corners[k][1] = det->p[k][1] - 0.5;
            out.push_back(s);
        }
        apriltag_detections_destroy(dets);
        return out;
    }
};

// A tracker with the settings of one Morvex system.
struct Tracker {
    MvTracker *t = nullptr;
    Tracker(const MvCameraParam &cam, bool full, bool half, const char *family, double side)
    {
        MvTrackerSettings s;
        mvTrackerSettingsInit(&s);
        s.history = 0;
        if (!full) s.threshold = 100, s.refine = 0;
        s.halfResolution = half;
        mvTrackerCreate(&cam, &s, &t, nullptr);
        if (family != nullptr) mvTrackerAddFamily(t, family, side, -1);
        else mvTrackerAddPatternFile(t, MORVEX_RESOURCE_DIR "/patt.lumo", side, nullptr);
    }
    ~Tracker() { mvTrackerDestroy(t); }
    Tracker(const Tracker &) = delete;

    std::vector<Seen> track(const render::Image &f)
    {
        const MvTrackerMarker *m;
        int n = 0;
        mvTrackerProcess(t, f.pixels.data(), f.width, f.height, f.width * 4, MV_PIXEL_RGBA, &m, &n);
        std::vector<Seen> out;
        for (int k = 0; k < n; k++)
            if (m[k].id >= 0) {
                Seen s{m[k].id, {}};
                std::memcpy(s.corners, m[k].corners, sizeof s.corners);
                out.push_back(s);
            }
        return out;
    }
};

// --- speed ---------------------------------------------------------------

struct System {
    std::string name;
    std::function<std::vector<Seen>(int variant)> call;   // timed
    bool picture;                                          // expects id 0 for every marker
    std::vector<double> ms{};
    long right = 0, wrong = 0, frames = 0;
};

// Counts the expected ids once each (ids 0..n-1, or id 0 n times for the
// picture marker); everything else is wrong.
void tally(System &sys, const std::vector<Seen> &seen, int expected)
{
    std::vector<int> count(expected, 0);
    for (const Seen &s : seen) {
        const int slot = sys.picture ? 0 : s.id;
        const int room = sys.picture ? expected : 1;
        if (slot >= 0 && slot < std::max(expected, 1) && expected > 0 && count[slot] < room) {
            count[slot]++;
            sys.right++;
        } else {
            sys.wrong++;
        }
    }
}

render::Image pictureOf(const char *family, int id) { return render::makeCodedMarker(family, id, 64, 0); }

void speed(Peers &peers, benchscene::Size size, Scene scene)
{
    const MvCameraParam cam = benchscene::camera(size.w, size.h);
    const int expected = benchscene::markerCount(scene);
    const double side = benchscene::kSideMm;
    const render::Image picture = render::makeProjectMarker(512);
    std::vector<render::Image> aruco, april;
    for (int id = 0; id < 5; id++) {
        aruco.push_back(pictureOf("aruco4x4_50", id));
        april.push_back(pictureOf("tag36h11", id));
    }
    std::vector<const render::Image *> arucoPics, aprilPics;
    for (const render::Image &p : aruco) arucoPics.push_back(&p);
    for (const render::Image &p : april) aprilPics.push_back(&p);
    std::vector<render::Image> ours(kVariants), arucoRgba(kVariants), aprilRgba(kVariants);
    std::vector<cv::Mat> arucoFrames(kVariants), aprilFrames(kVariants);
    for (int v = 0; v < kVariants; v++) {
        benchscene::render(scene, cam, {&picture}, v, &ours[v]);
        benchscene::render(scene, cam, arucoPics, v, &arucoRgba[v]);
        arucoFrames[v] = grey(arucoRgba[v]);
        benchscene::render(scene, cam, aprilPics, v, &aprilRgba[v]);
        aprilFrames[v] = grey(aprilRgba[v]);
    }

    Tracker full(cam, true, false, nullptr, side), plain(cam, false, false, nullptr, side),
        half(cam, false, true, nullptr, side), tags(cam, true, false, "tag36h11", side),
        codes(cam, true, false, "aruco4x4_50", side);
    std::vector<System> systems = {
        {"Morvex full", [&](int v) { return full.track(ours[v]); }, true},
        {"Morvex plain", [&](int v) { return plain.track(ours[v]); }, true},
        {"Morvex half", [&](int v) { return half.track(ours[v]); }, true},
        {"Morvex 36h11", [&](int v) { return tags.track(aprilRgba[v]); }, false},
        {"Morvex 4x4", [&](int v) { return codes.track(arucoRgba[v]); }, false},
        {"ArUco 4x4", [&](int v) { return peers.aruco(arucoFrames[v], side, &cam); }, false},
        {"AprilTag d2", [&](int v) { return peers.april(peers.april2, aprilFrames[v], side, &cam); }, false},
        {"AprilTag d1", [&](int v) { return peers.april(peers.april1, aprilFrames[v], side, &cam); }, false},
    };
    int rounds = kMaxRounds;
    for (int r = 0; r < rounds; r++) {
        const double roundStart = threadMs();
        for (int v = 0; v < kVariants; v++)
            for (size_t s = 0; s < systems.size(); s++) {
                System &sys = systems[(s + r) % systems.size()];
                const double t0 = threadMs();
                const std::vector<Seen> seen = sys.call(v);
                sys.ms.push_back(threadMs() - t0);
                tally(sys, seen, expected);
                sys.frames++;
            }
        if (r == 0) {
            const double once = threadMs() - roundStart;
            rounds = std::clamp((int)(kBudgetMs / std::max(once, 1e-3)), kMinRounds, kMaxRounds);
        }
    }
    const double d2 = median(systems[6].ms);
    for (const System &sys : systems) {
        const double m = median(sys.ms);
        char found[16] = "-";
        if (expected > 0) std::snprintf(found, sizeof found, "%.0f%%", 100.0 * sys.right / (sys.frames * expected));
        std::printf("%-10s %-8s %-13s %6s %6.2f %9.3f %9.2f\n",
                    (std::to_string(size.w) + "x" + std::to_string(size.h)).c_str(), benchscene::name(scene),
                    sys.name.c_str(), found, (double)sys.wrong / sys.frames, m, d2 / m);
    }
    std::fflush(stdout);
}

// --- rate ----------------------------------------------------------------

struct Condition {
    double black_px;   // the black square's side in the frame, face-on
    double tilt, blur, noise;
};

struct Reader {
    std::string name;
    std::function<std::vector<Seen>(const render::Image &, const cv::Mat &)> read;
    long right = 0, wrong = 0, views = 0;
    std::vector<double> errors{};
};

void rate(Peers &peers, const char *family)
{
    const bool april = std::strcmp(family, "tag36h11") == 0;
    const MvCameraParam cam = render::pinholeCamera(640, 480, 700.0);
    const double side = 50.0;
    Tracker tracker(cam, true, false, family, side);
    std::vector<Reader> readers;
    readers.push_back({"Morvex", [&](const render::Image &f, const cv::Mat &) { return tracker.track(f); }});
    if (april) {
        readers.push_back({"AprilTag d2", [&](const render::Image &, const cv::Mat &g) {
                               return peers.april(peers.april2, g, side, nullptr);
                           }});
        readers.push_back({"AprilTag d1", [&](const render::Image &, const cv::Mat &g) {
                               return peers.april(peers.april1, g, side, nullptr);
                           }});
    } else {
        readers.push_back(
            {"ArUco", [&](const render::Image &, const cv::Mat &g) { return peers.aruco(g, side, nullptr); }});
    }
    const Condition conditions[] = {
        {14, 0, 0.5, 2}, {16, 0, 0.5, 2}, {18, 0, 0.5, 2}, {20, 0, 0.5, 2}, {24, 0, 0.5, 2}, {30, 0, 0.5, 2},
        {40, 0, 0.5, 2}, {60, 0, 0.5, 2}, {120, 0, 0.5, 2}, {40, 30, 0.5, 2}, {40, 50, 0.5, 2},
        {40, 60, 0.5, 2}, {40, 0, 1.0, 2}, {40, 0, 1.5, 2}, {40, 0, 0.5, 6}, {40, 0, 0.5, 10},
        {24, 40, 1.0, 4},
    };
    const int views = 48;
    std::printf("\n%s: %d views per condition (rolls and ids vary), 640 x 480, focal 700 px\n", family, views);
    std::printf("%-6s %-5s %-5s %-5s", "px", "tilt", "blur", "noise");
    for (const Reader &r : readers) std::printf(" | %-11s %5s %5s %6s", r.name.c_str(), "found", "wrong", "corner");
    std::printf("\n");
    for (const Condition &c : conditions) {
        for (Reader &r : readers) r.right = r.wrong = r.views = 0, r.errors.clear();
        for (int v = 0; v < views; v++) {
            const int id = (v * 7 + 3) % 50;
            double trans[3][4];
            render::poseAt(cam, 300 + (v % 5) * 10, 230 + (v % 3) * 10, 700.0 * side / c.black_px, c.tilt,
                           v * 37.0, trans);
            render::Options opt;
            opt.blur_sigma = c.blur;
            opt.noise_sigma = c.noise;
            opt.seed = v + 1;
            opt.background = render::Background::Gradient;
            render::Image frame;
            render::renderFrame(render::makeCodedMarker(family, id, 16), render::codedPictureSide(family, side),
                                trans, cam, opt, &frame);
            const cv::Mat g = grey(frame);
            const render::Truth truth = render::projectCorners(side, trans, cam);
            for (Reader &r : readers) {
                r.views++;
                for (const Seen &s : r.read(frame, g)) {
                    if (s.id != id) {
                        r.wrong++;
                        continue;
                    }
                    r.right++;
                    // The family's corner f is the renderer's upright corner
                    // 3 - f (AprilTag) or f (ArUco).
                    double worst = 0;
                    for (int f = 0; f < 4; f++) {
                        const double *t = truth.observed[april ? 3 - f : f];
                        worst = std::max(worst, std::hypot(s.corners[f][0] - t[0], s.corners[f][1] - t[1]));
                    }
                    r.errors.push_back(worst);
                }
            }
        }
        std::printf("%-6.0f %-5.0f %-5.1f %-5.0f", c.black_px, c.tilt, c.blur, c.noise);
        for (const Reader &r : readers)
            std::printf(" | %-11s %4.0f%% %5ld %6.3f", "", 100.0 * r.right / r.views, r.wrong, median(r.errors));
        std::printf("\n");
        std::fflush(stdout);
    }
}

}  // namespace

// AprilTag's detect call on the frames of `pattern` (a printf pattern
// numbered from 0); 1 when there is no first frame.
int frames(Peers &peers, const char *pattern)
{
    std::vector<double> ms[2];
    for (int n = 0;; n++) {
        char path[4096];
        std::snprintf(path, sizeof path, pattern, n);
        mvtool::Image img;
        std::string error;
        if (!mvtool::readImage(path, &img, &error)) {
            if (n > 0) break;
            std::fprintf(stdout, "peer_compare: %s\n", error.c_str());
            return 1;
        }
        cv::Mat g(img.height, img.width, CV_8UC1);
        for (int i = 0; i < img.width * img.height; i++) {
            const uint8_t *p = &img.pixels[(size_t)i * img.channels];
            g.data[i] = img.channels < 3 ? p[0] : (uint8_t)((p[0] * 77 + p[1] * 150 + p[2] * 29 + 128) >> 8);
        }
        int k = 0;
        for (apriltag_detector_t *td : {peers.april2, peers.april1}) {
            const double t0 = threadMs();
            peers.april(td, g, 0, nullptr);
            ms[k++].push_back(threadMs() - t0);
        }
    }
    const char *names[2] = {"AprilTag d2", "AprilTag d1"};
    for (int k = 0; k < 2; k++) {
        double sum = 0;
        for (double v : ms[k]) sum += v;
        std::printf("%s: %zu frames, detection %.3f ms per frame (mean), %.3f ms (median)\n", names[k],
                    ms[k].size(), sum / ms[k].size(), median(ms[k]));
    }
    return 0;
}

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode != "speed" && mode != "rate" && !(mode == "frames" && argc == 3)) {
        std::fprintf(stderr, "usage: peer_compare speed [WxH...] | peer_compare rate | peer_compare frames PATTERN\n");
        return 2;
    }
    std::vector<benchscene::Size> sizes;
    for (int i = 2; mode == "speed" && i < argc; i++) {
        benchscene::Size s{};
        if (std::sscanf(argv[i], "%dx%d", &s.w, &s.h) != 2 || s.w < 16 || s.h < 16) {
            std::fprintf(stderr, "peer_compare: \"%s\" is not a frame size such as 640x480\n", argv[i]);
            return 1;
        }
        sizes.push_back(s);
    }
    if (sizes.empty()) sizes.assign(std::begin(benchscene::kSizes), std::end(benchscene::kSizes));
    cv::setNumThreads(1);
    cv::ocl::setUseOpenCL(false);
    Peers peers;
    // AprilTag's pose prints a line on standard error for every ambiguous
    // pose it resolves; the tables alone go out.
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 2);

    if (mode == "frames") return frames(peers, argv[2]);
    if (mode == "rate") {
        rate(peers, "tag36h11");
        rate(peers, "aruco4x4_50");
        return 0;
    }
    std::printf("%-10s %-8s %-13s %6s %6s %9s %9s\n", "size", "scene", "system", "found", "wrong", "median_ms",
                "d2/this");
    for (benchscene::Size s : sizes)
        for (Scene scene : benchscene::kScenes) speed(peers, s, scene);
    return 0;
}
