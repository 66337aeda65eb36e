// The viewer as a user runs it: on the demo clip, in a window under Xvfb,
// quit with a real Escape key press; and its start-up failures.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "morvex.h"
#include "projection.h"
#include "render.h"
#include "test_display.h"
#include "test_util.h"

namespace fs = std::filesystem;
extern char **environ;

// The viewer prints resolved paths; weakly_canonical does not throw when
// the test is merely listed before the resources exist.
static const std::string kBin = fs::path(MORVEX_RESOURCE_DIR).parent_path().string();
static const std::string kResources = fs::weakly_canonical(MORVEX_RESOURCE_DIR).string();
static const std::string kClip = kResources + "/demo_clip.avi";

using morvex_test::slurp;

static void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class ViewerRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/mvviewer_run_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override
    {
        if (pid > 0 && status < 0) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
        fs::remove_all(dir);
    }
    // Starts the viewer with stdout and stderr in files of the scratch folder.
    void start(const std::string &exe, std::vector<std::string> args)
    {
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, (dir + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&fa, 2, (dir + "/err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        args.insert(args.begin(), exe);
        std::vector<char *> argv;
        for (std::string &a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        status = -1;
        ASSERT_EQ(posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&fa);
    }
    int waitExit(int ms = 20000)  // exit status; -1 while still running after `ms`
    {
        for (int st;; ms -= 50, sleepMs(50)) {
            if (status < 0 && waitpid(pid, &st, WNOHANG) == pid)
                status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            if (status >= 0 || ms <= 0) return status;
        }
    }
    bool ended() { return waitExit(0) >= 0; }
    // Finds the viewer's window (a child of the root with an empty title,
    // twice the frame size) and screenshots it until it shows the source's
    // last frame: particles move in every drawn frame, so a non-black window
    // unchanged over two seconds (four shots; a loaded machine may draw
    // only a few frames a second) means the source has run dry. Then Escape
    // through the X server (XTEST) into the focused window.
    void runToLastFrameAndEscape(int width, int height)
    {
        w = width, h = height;
        const std::string size = std::to_string(w) + "x" + std::to_string(h), shot = dir + "/shot.rgb";
        std::string window, prev;
        for (int i = 0; i < 200 && window.empty() && !ended(); i++, sleepMs(100)) {
            std::system(("for id in $(xdotool search --maxdepth 1 --name '^$' 2>/dev/null); do "
                         "xdotool getwindowgeometry $id | grep -q ' " + size + "$' && echo $id; done >" +
                         dir + "/win").c_str());
            std::istringstream(slurp(dir + "/win")) >> window;
        }
        ASSERT_FALSE(window.empty()) << slurp(dir + "/out") << slurp(dir + "/err");
        // import waits for ever on a window that has gone away.
        int same = 0;
        for (int i = 0; i < 160 && same < 4 && !ended(); i++, sleepMs(500)) {
            std::system(("rm -f " + shot + "; timeout 20 import -window " + window + " -depth 8 rgb:" + shot +
                         " 2>/dev/null").c_str());
            px = slurp(shot);
            const bool whole = px.size() == (size_t)w * h * 3 && px.find_first_not_of('\0') != std::string::npos;
            same = whole && px == prev ? same + 1 : 0;
            prev = px;
        }
        const bool settled = same >= 4;
        ASSERT_TRUE(settled && !ended()) << "the window never settled on the last frame";
        ASSERT_EQ(std::system(("xdotool windowfocus --sync " + window + " && xdotool key Escape").c_str()),
                  0);
        EXPECT_EQ(waitExit(), 0) << slurp(dir + "/err");
    }
    const unsigned char *at(int x, int y) const
    {
        return (const unsigned char *)&px[3 * ((size_t)y * w + x)];
    }
    // Window pixel of marker point (x, y, z) mm (for a 45 mm marker; times
    // `scale` for another) seen through `trans`: the ideal image position
    // times the zoom 2 (the video is shown undistorted).
    void project(double x, double y, double z, double *u, double *v) const
    {
        const double point[3] = {x * scale, y * scale, z * scale};
        double ideal[2];
        mvtool::projectPoint(trans, cam, point, ideal, nullptr);
        *u = 2.0 * ideal[0];
        *v = 2.0 * ideal[1];
    }
    void expectSceneOnMarker(bool fountain) const;

    std::string dir;
    pid_t pid = -1;
    int status = -1;
    int w = 0, h = 0;
    std::string px;  // the last screenshot, r g b from the top row
    MvCameraParam cam;
    double trans[3][4];
    double scale = 1.0;   // the marker's side / 45 mm: the scene grows with it
};

static bool isWhite(const unsigned char *p) { return p[0] >= 235 && p[1] >= 235 && p[2] >= 235; }
// A particle: red 1.0, blue 0.2 (51), any green; unlit, so exact up to rounding.
static bool isParticle(const unsigned char *p) { return p[0] >= 250 && p[2] >= 45 && p[2] <= 57; }

void ViewerRun::expectSceneOnMarker(bool fountain) const
{
    // The white square (50 mm) covers the marker (45 mm). Samples 8-20 mm
    // from the centre stay 5 mm inside the square's edge, allowing for the
    // pose's error and the mesh's rounding (the middle holds the sphere and
    // axes); particles over the square count as covering it. Samples in a
    // ring outside are mostly not white: the square sits where the marker is.
    int inside = 0, white = 0, ring = 0, ringWhite = 0;
    for (double x = -36; x <= 36; x += 2)
        for (double y = -36; y <= 36; y += 2) {
            const double r = std::max(std::fabs(x), std::fabs(y));
            double u, v;
            project(x, y, 0, &u, &v);
            if ((r > 20 || r < 8) && r < 32) continue;
            if (u < 0 || v < 0 || u >= w || v >= h) continue;
            const unsigned char *p = at((int)u, (int)v);
            if (r <= 20) inside++, white += isWhite(p) || isParticle(p);
            else ring++, ringWhite += isWhite(p);
        }
    ASSERT_GT(inside, 100);
    EXPECT_GE(white, inside * 9 / 10) << white << " of " << inside;
    EXPECT_LE(ringWhite, ring / 2) << ringWhite << " of " << ring;
    if (!fountain) return;

    // Particles lie in the space the fountain reaches (marker x -28..16,
    // y -16..28, up to 80 mm above), on the marker's up side.
    double umin = 1e9, umax = -1e9, vmin = 1e9, vmax = -1e9, u, v, cu, cv, eu, ev;
    for (int k = 0; k < 8; k++) {
        project(k & 1 ? 16 : -28, k & 2 ? 28 : -16, k & 4 ? 80 : 0, &u, &v);
        umin = std::min(umin, u), umax = std::max(umax, u);
        vmin = std::min(vmin, v), vmax = std::max(vmax, v);
    }
    project(0, 0, 0, &cu, &cv);
    project(0, 0, 60, &eu, &ev);
    int particles = 0, inReach = 0;
    double along = 0.0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            if (isParticle(at(x, y))) {
                particles++;
                inReach += x >= umin - 4 && x <= umax + 4 && y >= vmin - 4 && y <= vmax + 4;
                along += (x - cu) * (eu - cu) + (y - cv) * (ev - cv);
            }
    EXPECT_GE(particles, 30);
    EXPECT_GE(inReach, particles * 9 / 10) << inReach << " of " << particles;
    const double axis2 = (eu - cu) * (eu - cu) + (ev - cv) * (ev - cv);
    if (axis2 > 20.0 * 20.0 && particles > 0) {  // "up" is visible as a direction
        EXPECT_GT(along / particles / axis2, 0.1) << "particles are not above the marker";
    }
}

TEST_F(ViewerRun, DemoClipShowsSceneOnTheMarkerAndEscapeReportsTheFrameRate)
{
    ASSERT_TRUE(fs::exists(kClip)) << kClip;
    std::string why;
    ASSERT_TRUE(morvex_test::ensureDisplay(&why)) << why;
    // Unpaced and not looped: the clip runs dry and its last frame stays.
    start(kBin + "/mvviewer", {"-file=" + kClip, "-nopace"});
    runToLastFrameAndEscape(640, 480);
    if (HasFatalFailure()) return;
    std::system(("convert -size 640x480 -depth 8 rgb:" + dir + "/shot.rgb " + kBin +
                 "/app_viewer_screenshot.png").c_str());
    const std::string out = slurp(dir + "/out");

    // Start-up lines in order, the camera block as the library prints it.
    MvCameraParam file_cam;
    ASSERT_EQ(mvParamLoad((kResources + "/camera_para.dat").c_str(), 1, &file_cam), 0);
    mvParamChangeSize(&file_cam, 320, 240, &cam);
    testing::internal::CaptureStdout();
    mvParamDisp(&cam);
    fflush(stdout);
    const std::string startup =
        "Image size (x,y) = (320,240)\ntrying to get the bundle: got the bundle.\n"
        "trying to find the file...found it...loading camera parameters from file: " + kResources +
        "/camera_para.dat\n*** Camera Parameter ***\n" + testing::internal::GetCapturedStdout() +
        "trying to find the file...found it...loading pattern from file: " + kResources + "/patt.lumo\n";
    ASSERT_EQ(out.substr(0, startup.size()), startup) << out;
    const std::string rest = out.substr(startup.size());
    EXPECT_EQ(rest.rfind("CTYPE = ", 0), 0u) << rest;
    double fps = -1.0;
    char tail[32] = "";
    ASSERT_EQ(sscanf(rest.c_str() + rest.rfind("*** "), "*** %lf (frame/sec%31[^\n]", &fps, tail), 2) << rest;
    EXPECT_STREQ(tail, ")");
    EXPECT_GT(fps, 0.0);
    EXPECT_EQ(rest.back(), '\n');

    // The frame on screen is the clip's last: its true transform.
    std::ifstream truth(kResources + "/demo_clip_truth.txt");
    std::string last;
    for (std::string l; std::getline(truth, l);)
        if (!l.empty() && l[0] != '#') last = l;
    std::istringstream fields(last);
    int frame;
    fields >> frame;
    for (auto &row : trans)
        for (double &x : row) fields >> x;
    ASSERT_TRUE((bool)fields) << last;
    expectSceneOnMarker(true);
}

TEST_F(ViewerRun, MissingOrBadResourceEndsStartUpWithItsMessageAndStatusOne)
{
    // A copy of the viewer beside a resource folder of its own.
    const fs::path bin = fs::path(dir) / "bin";
    fs::create_directories(bin / "resources");
    fs::copy_file(kBin + "/mvviewer", bin / "mvviewer");
    const std::string res = fs::canonical(bin / "resources").string();
    const std::string camera = slurp(kResources + "/camera_para.dat"),
                      pattern = slurp(kResources + "/patt.lumo");
    std::string no_row = camera;   // the third projection row zero
    std::fill(no_row.begin() + 72, no_row.begin() + 104, '\0');
    const std::string failed = "trying to find the file...could not find file.whoohoo. ";
    // Contents ("" = absent), a line the output holds and its last line.
    struct Case { std::string camera, pattern, says, end; } cases[] = {
        {"", pattern, failed + "loading camera parameters from file: \n", "Camera parameter load error !!\n"},
        // The failed lookup leaves the previous path in the message.
        {camera, "", failed + "loading pattern from file: " + res + "/camera_para.dat\n",
         "pattern load error !!\n"},
        {no_row, pattern, "camera file \"" + res + "/camera_para.dat\": projection[2], the third projection row, is all zero\n",
         "Camera parameter load error !!\n"},
        {camera, "300" + pattern.substr(pattern.find_first_of(" \n", 1)),
         "pattern file \"" + res + "/patt.lumo\": number 1 is \"300\", not a whole number 0..255\n",
         "pattern load error !!\n"},
    };
    for (const Case &c : cases) {
        for (const char *name : {"patt.lumo", "camera_para.dat"}) fs::remove(bin / "resources" / name);
        if (!c.camera.empty()) std::ofstream(bin / "resources" / "camera_para.dat", std::ios::binary) << c.camera;
        if (!c.pattern.empty()) std::ofstream(bin / "resources" / "patt.lumo") << c.pattern;
        start((bin / "mvviewer").string(), {"-file=" + kClip});
        EXPECT_EQ(waitExit(), 1) << c.says;
        const std::string out = slurp(dir + "/out");
        EXPECT_NE(out.find(c.says), std::string::npos) << out;
        ASSERT_GE(out.size(), c.end.size()) << out;
        EXPECT_EQ(out.substr(out.size() - c.end.size()), c.end) << out;
    }
}

TEST_F(ViewerRun, HDFramesAreTrackedAtFullResolution)
{
    std::string why;
    ASSERT_TRUE(morvex_test::ensureDisplay(&why)) << why;
    // Two 1280 x 720 frames: isolated dark dots, one per 2 x 2 pixels
    // (229 000 components), then the marker, rendered with the bundled
    // camera rescaled to the frame at a known pose.
    MvCameraParam file_cam;
    ASSERT_EQ(mvParamLoad((kResources + "/camera_para.dat").c_str(), 1, &file_cam), 0);
    mvParamChangeSize(&file_cam, 1280, 720, &cam);
    render::Image dots{1280, 720, 3, std::vector<uint8_t>(1280 * 720 * 3, 255)}, marker, frame;
    for (int y = 0; y < 720; y += 2)
        for (int x = 0; x < 1280; x += 2) std::fill_n(&dots.pixels[3 * (y * 1280 + x)], 3, 0);
    std::string err;
    ASSERT_TRUE(mvtool::readImage(MORVEX_SOURCE_DIR "/resources/marker.png", &marker, &err)) << err;
    render::poseAt(cam, 600, 380, 350.0, 25.0, 15.0, trans);
    render::renderFrame(marker, 45.0, trans, cam, render::Options(), &frame);
    ASSERT_TRUE(mvtool::writePng(dir + "/frame0.png", dots, &err)) << err;
    ASSERT_TRUE(mvtool::writePng(dir + "/frame1.png", frame, &err)) << err;

    start(kBin + "/mvviewer", {"-file=" + dir + "/frame%d.png", "-nopace", "-width=1280", "-height=720"});
    runToLastFrameAndEscape(2560, 1440);
    if (HasFatalFailure()) return;
    std::system(("convert -size 2560x1440 -depth 8 rgb:" + dir + "/shot.rgb -resize 50% " + kBin +
                 "/app_viewer_hd_screenshot.png").c_str());
    expectSceneOnMarker(false);  // the second frame tracked
}

// A marker of the user's own, as a user shows it: made by mvmarker from a
// picture, printed (rendered by mvrender, twelve frames so that the fountain
// rises) at 60 mm, and given to the viewer
// with its pattern, its size and a camera file of the user's. The scene
// covers that marker at its size, with the plain detector and with the
// tracker (--track); the start-up lines name the files.
TEST_F(ViewerRun, OwnPatternSideAndCameraFromTheCommandLine)
{
    std::string why;
    ASSERT_TRUE(morvex_test::ensureDisplay(&why)) << why;
    ASSERT_TRUE(mvtool::writePng(dir + "/logo.png", render::makeAlternatePicture(3), &why)) << why;
    fs::copy_file(kResources + "/camera_para.dat", dir + "/my cam.dat");
    const std::string made = "cd '" + dir + "' && '" + kBin + "/mvmarker' logo.png --png mine.png --patt mine.lumo && '" +
                             kBin + "/mvrender' --marker mine.png --side 60 --path wander --frames 12 'f%d.png'";
    const auto [status, said] = morvex_test::runCaptured(made);
    ASSERT_EQ(status, 0) << said;

    start(kBin + "/mvviewer", {"--pattern", dir + "/mine.lumo:60", "--camera=" + dir + "/my cam.dat",
                               "-file=" + dir + "/f%d.png", "-nopace"});
    runToLastFrameAndEscape(640, 480);
    if (HasFatalFailure()) return;
    const std::string out = slurp(dir + "/out");
    EXPECT_EQ(out.find("bundle"), std::string::npos) << out;
    EXPECT_NE(out.find("loading camera parameters from file: " + dir + "/my cam.dat\n"), std::string::npos) << out;
    EXPECT_NE(out.find("loading pattern from file: " + dir + "/mine.lumo, marker side 60 mm\n"), std::string::npos)
        << out;

    std::ifstream truth(dir + "/f_truth.txt");
    std::string last;
    for (std::string l; std::getline(truth, l);)
        if (!l.empty() && l[0] != '#') last = l;
    std::istringstream fields(last);
    int frame;
    fields >> frame;
    for (auto &row : trans)
        for (double &x : row) fields >> x;
    ASSERT_TRUE((bool)fields) << last;
    MvCameraParam file_cam;
    ASSERT_EQ(mvParamLoad((dir + "/my cam.dat").c_str(), 1, &file_cam), 0);
    mvParamChangeSize(&file_cam, 320, 240, &cam);
    scale = 60.0 / 45.0;
    expectSceneOnMarker(true);

    // The same with the full pipeline (--track): the scene on the same marker.
    start(kBin + "/mvviewer", {"--track", "--pattern", dir + "/mine.lumo:60", "--camera=" + dir + "/my cam.dat",
                               "-file=" + dir + "/f%d.png", "-nopace"});
    runToLastFrameAndEscape(640, 480);
    if (HasFatalFailure()) return;
    expectSceneOnMarker(true);

    // Wrong words: one line, status 1, before any window.
    for (const std::string bad : {"--side=0", "--pattern", "--patern=x.lumo"}) {
        start(kBin + "/mvviewer", {bad, "-file=" + kClip});
        EXPECT_EQ(waitExit(), 1) << bad;
        const std::string err = slurp(dir + "/err");
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find(bad.substr(0, bad.find('='))), std::string::npos) << err;
    }
}
