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
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "morvex.h"
#include "render.h"
#include "test_display.h"

namespace fs = std::filesystem;
extern char **environ;

// The viewer prints resolved paths; weakly_canonical does not throw when
// the test is merely listed before the resources exist.
static const std::string kBin = fs::path(MORVEX_RESOURCE_DIR).parent_path().string();
static const std::string kResources = fs::weakly_canonical(MORVEX_RESOURCE_DIR).string();
static const std::string kClip = kResources + "/demo_clip.avi";

static std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Output of a shell command (stdout only).
static std::string sh(const std::string &cmd)
{
    std::string out;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

// A child process with stdout and stderr in files.
struct Child {
    pid_t pid = -1;
    bool ended = false;
    int status = -1;  // exit status, or 128 + signal
    std::string out, err;
};

static std::vector<pid_t> started;  // killed by the fixture if still running

static Child spawn(const std::string &exe, const std::vector<std::string> &args,
                   const std::string &dir)
{
    Child c;
    c.out = dir + "/stdout.txt";
    c.err = dir + "/stderr.txt";
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, c.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, c.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char *> argv{const_cast<char *>(exe.c_str())};
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&c.pid, exe.c_str(), &fa, nullptr, argv.data(), environ) != 0) c.pid = -1;
    else started.push_back(c.pid);
    posix_spawn_file_actions_destroy(&fa);
    return c;
}

// True once the child has ended (its status is then in c.status).
static bool ended(Child &c)
{
    int st;
    if (!c.ended && c.pid > 0 && waitpid(c.pid, &st, WNOHANG) == c.pid) {
        c.ended = true;
        c.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    }
    return c.ended;
}

// Exit status, or -1 if the child is still running after `seconds`.
static int waitFor(Child &c, double seconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!ended(c) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return c.ended ? c.status : -1;
}

struct Rgb {
    int w = 0, h = 0;
    std::vector<unsigned char> px;  // r g b, rows from the top
    const unsigned char *at(int x, int y) const { return &px[3 * ((size_t)y * w + x)]; }
    bool operator==(const Rgb &o) const { return w == o.w && h == o.h && px == o.px; }
};

// Screenshot of one window, through imagemagick as binary PPM.
static bool grab(const std::string &window, const std::string &ppm, Rgb *img)
{
    // import waits for ever on a window that has gone away.
    if (std::system(("timeout 20 import -window " + window + " -depth 8 ppm:" + ppm +
                     " 2>/dev/null").c_str()) != 0)
        return false;
    std::ifstream in(ppm, std::ios::binary);
    std::string magic;
    int maxval = 0;
    in >> magic >> img->w >> img->h >> maxval;
    in.get();
    if (magic != "P6" || maxval != 255 || img->w <= 0 || img->h <= 0) return false;
    img->px.resize((size_t)img->w * img->h * 3);
    in.read(reinterpret_cast<char *>(img->px.data()), img->px.size());
    return (bool)in;
}

// The viewer's window: a child of the root with an empty title, twice the
// frame size.
static std::string findWindow(Child &c, int width = 640, int height = 480)
{
    const std::string size =
        "WIDTH=" + std::to_string(width) + "\nHEIGHT=" + std::to_string(height);
    for (int i = 0; i < 200; i++) {
        if (ended(c)) return "";
        std::istringstream ids(sh("xdotool search --maxdepth 1 --name '^$' 2>/dev/null"));
        std::string id;
        while (ids >> id)
            if (sh("xdotool getwindowgeometry --shell " + id).find(size) != std::string::npos)
                return id;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return "";
}

// Waits until the window shows a source's last frame. Particles move in
// every drawn frame, so an unchanged, non-black window over half a second
// means the source has run dry. False when the viewer ends before.
static bool waitForLastFrame(Child &viewer, const std::string &window, Rgb *shot)
{
    const std::string dir = fs::path(viewer.out).parent_path().string();
    Rgb prev;
    for (int i = 0; i < 120; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        if (ended(viewer)) return false;
        if (!grab(window, dir + "/shot.ppm", shot)) continue;
        const bool black = std::all_of(shot->px.begin(), shot->px.end(),
                                       [](unsigned char b) { return b == 0; });
        if (!black && *shot == prev) return true;
        prev = *shot;
    }
    return false;
}

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
        for (pid_t pid : started)
            if (waitpid(pid, nullptr, WNOHANG) == 0) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
        started.clear();
        fs::remove_all(dir);
    }
    std::string dir;
};

// Window pixel of a point in marker coordinates (mm) seen through `trans`:
// the ideal image position times the zoom 2 (the video is shown undistorted).
struct Projector {
    MvCameraParam cam;
    double trans[3][4];
    void operator()(double x, double y, double z, double *u, double *v) const
    {
        double c[3];
        for (int i = 0; i < 3; i++)
            c[i] = trans[i][0] * x + trans[i][1] * y + trans[i][2] * z + trans[i][3];
        double p[3];
        for (int i = 0; i < 3; i++)
            p[i] = cam.projection[i][0] * c[0] + cam.projection[i][1] * c[1] +
                   cam.projection[i][2] * c[2] + cam.projection[i][3];
        *u = 2.0 * p[0] / p[2];
        *v = 2.0 * p[1] / p[2];
    }
};

static bool isWhite(const unsigned char *p) { return p[0] >= 235 && p[1] >= 235 && p[2] >= 235; }
// A particle: red 1.0, blue 0.2 (51), any green; unlit, so exact up to rounding.
static bool isParticle(const unsigned char *p) { return p[0] >= 250 && p[2] >= 45 && p[2] <= 57; }

// The scene of the screenshot `shot` drawn with the marker at `proj`;
// with `fountain`, its particles too (they show from the second tracked
// frame on: a particle is drawn from the pass after its creation).
static void expectSceneOnMarker(const Rgb &shot, const Projector &proj, bool fountain)
{
    // The white square (50 mm) covers the marker (45 mm), under the
    // particles. Samples 5 mm and
    // more inside the square's edge allow for the pose's error and the
    // rounding of the mesh; the middle holds the sphere and the axes.
    // Samples in a ring outside the square are mostly not white: the square
    // sits where the marker is, not anywhere.
    int inside = 0, white = 0, ring = 0, ringWhite = 0;
    for (double x = -36; x <= 36; x += 2)
        for (double y = -36; y <= 36; y += 2) {
            const double r = std::max(std::fabs(x), std::fabs(y));
            const bool in = r <= 20 && r >= 8, out = r >= 32;
            if (!in && !out) continue;
            double u, v;
            proj(x, y, 0, &u, &v);
            if (u < 0 || v < 0 || u >= shot.w || v >= shot.h) continue;
            const unsigned char *px = shot.at((int)u, (int)v);
            if (in) { inside++; white += isWhite(px) || isParticle(px); }
            else { ring++; ringWhite += isWhite(px); }
        }
    ASSERT_GT(inside, 100);
    // Particles drawn over the square hide some of its white.
    EXPECT_GE(white, inside * 9 / 10) << white << " of " << inside;
    EXPECT_LE(ringWhite, ring / 2) << ringWhite << " of " << ring;
    if (!fountain) return;

    // Particles: red-to-yellow lines over the marker, inside the space the
    // fountain can reach (marker x -28..16, y -16..28, up to 80 mm above).
    double umin = 1e9, umax = -1e9, vmin = 1e9, vmax = -1e9;
    for (double x : {-28.0, 16.0})
        for (double y : {-16.0, 28.0})
            for (double z : {0.0, 80.0}) {
                double u, v;
                proj(x, y, z, &u, &v);
                umin = std::min(umin, u); umax = std::max(umax, u);
                vmin = std::min(vmin, v); vmax = std::max(vmax, v);
            }
    double cu, cv, eu, ev;
    proj(0, 0, 0, &cu, &cv);
    proj(0, 0, 60, &eu, &ev);
    int particles = 0, inReach = 0;
    double along = 0.0;
    for (int y = 0; y < shot.h; y++)
        for (int x = 0; x < shot.w; x++) {
            if (!isParticle(shot.at(x, y))) continue;
            particles++;
            inReach += x >= umin - 4 && x <= umax + 4 && y >= vmin - 4 && y <= vmax + 4;
            along += ((x - cu) * (eu - cu) + (y - cv) * (ev - cv));
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
    Child viewer = spawn(kBin + "/mvviewer", {"-file=" + kClip, "-nopace"}, dir);
    ASSERT_GT(viewer.pid, 0);
    const std::string window = findWindow(viewer);
    ASSERT_FALSE(window.empty()) << slurp(viewer.out) << slurp(viewer.err);

    Rgb shot;
    ASSERT_TRUE(waitForLastFrame(viewer, window, &shot))
        << "the window never settled on the clip's last frame";
    std::system(("convert ppm:" + dir + "/shot.ppm " + kBin + "/app_viewer_screenshot.png").c_str());

    // Escape through the X server (XTEST) into the focused window.
    ASSERT_EQ(std::system(("xdotool windowfocus --sync " + window + " && xdotool key Escape").c_str()), 0);
    EXPECT_EQ(waitFor(viewer, 20.0), 0) << slurp(viewer.err);
    const std::string out = slurp(viewer.out);

    // Start-up lines in order, the camera block as the library prints it.
    MvCameraParam file_cam, cam;
    ASSERT_EQ(mvParamLoad((kResources + "/camera_para.dat").c_str(), 1, &file_cam), 0);
    mvParamChangeSize(&file_cam, 320, 240, &cam);
    testing::internal::CaptureStdout();
    mvParamDisp(&cam);
    fflush(stdout);
    const std::string block = testing::internal::GetCapturedStdout();
    const std::string startup =
        "Image size (x,y) = (320,240)\n"
        "trying to get the bundle: got the bundle.\n"
        "trying to find the file...found it...loading camera parameters from file: " +
        kResources + "/camera_para.dat\n"
        "*** Camera Parameter ***\n" + block +
        "trying to find the file...found it...loading pattern from file: " +
        kResources + "/patt.lumo\n";
    ASSERT_EQ(out.substr(0, startup.size()), startup) << out;
    const std::string rest = out.substr(startup.size());
    EXPECT_EQ(rest.rfind("CTYPE = ", 0), 0u) << rest;
    const size_t last = rest.rfind("*** ");
    ASSERT_NE(last, std::string::npos) << rest;
    double fps = -1.0;
    char tail[32] = "";
    ASSERT_EQ(sscanf(rest.c_str() + last, "*** %lf (frame/sec%31[^\n]", &fps, tail), 2) << rest;
    EXPECT_STREQ(tail, ")");
    EXPECT_GT(fps, 0.0);
    EXPECT_EQ(rest.back(), '\n');

    // Truth of the frame on screen: the clip's last.
    std::ifstream truth(kResources + "/demo_clip_truth.txt");
    std::string line, lastLine;
    while (std::getline(truth, line))
        if (line.find_first_not_of(" \t\r") != std::string::npos && line[0] != '#') lastLine = line;
    Projector proj;
    proj.cam = cam;
    std::istringstream fields(lastLine);
    int frame;
    fields >> frame;
    for (auto &row : proj.trans)
        for (double &v : row) fields >> v;
    ASSERT_TRUE((bool)fields) << lastLine;

    ASSERT_EQ(shot.w, 640);
    ASSERT_EQ(shot.h, 480);
    expectSceneOnMarker(shot, proj, true);
}

TEST_F(ViewerRun, MissingResourceEndsStartUpWithItsMessageAndStatusOne)
{
    ASSERT_TRUE(fs::exists(kClip)) << kClip;
    // A copy of the viewer beside a resource folder with one file missing.
    const fs::path bin = fs::path(dir) / "bin";
    fs::create_directories(bin / "resources");
    fs::copy_file(kBin + "/mvviewer", bin / "mvviewer");
    const std::string res = fs::canonical(bin / "resources").string();

    struct Case { const char *present; std::string expect; } cases[] = {
        {"patt.lumo",
         "trying to find the file...could not find file.whoohoo. loading camera parameters "
         "from file: \nCamera parameter load error !!\n"},
        {"camera_para.dat",
         "trying to find the file...could not find file.whoohoo. loading pattern from file: " +
             res + "/camera_para.dat\n"},
    };
    for (const Case &c : cases) {
        for (const char *name : {"patt.lumo", "camera_para.dat"}) fs::remove(bin / "resources" / name);
        fs::copy_file(kResources + "/" + c.present, bin / "resources" / c.present);
        Child viewer = spawn((bin / "mvviewer").string(), {"-file=" + kClip}, dir);
        ASSERT_GT(viewer.pid, 0);
        EXPECT_EQ(waitFor(viewer, 20.0), 1) << c.present;
        const std::string out = slurp(viewer.out);
        EXPECT_NE(out.find(c.expect), std::string::npos) << out;
        if (std::string(c.present) == "camera_para.dat") {
            ASSERT_GE(out.size(), 22u);
            EXPECT_EQ(out.substr(out.size() - 22), "pattern load error !!\n") << out;
        }
    }
}

TEST_F(ViewerRun, FrameWhoseDetectionFailsIsSkippedAndTheViewerGoesOn)
{
    std::string why;
    ASSERT_TRUE(morvex_test::ensureDisplay(&why)) << why;

    // Two 640 x 480 frames: isolated dark dots, one per 2 x 2 pixels, need
    // 76800 labels and overflow the labelling (at most 32768); then the
    // marker, rendered with the bundled camera at a known pose.
    MvCameraParam cam;
    ASSERT_EQ(mvParamLoad((kResources + "/camera_para.dat").c_str(), 1, &cam), 0);
    ASSERT_EQ(cam.xsize, 640);
    render::Image dots{640, 480, 3, std::vector<uint8_t>(640 * 480 * 3, 255)};
    for (int y = 0; y < 480; y += 2)
        for (int x = 0; x < 640; x += 2)
            for (int c = 0; c < 3; c++) dots.pixels[3 * (y * 640 + x) + c] = 0;
    render::Image marker, frame;
    std::string err;
    ASSERT_TRUE(render::readImage(MORVEX_SOURCE_DIR "/resources/marker.png", &marker, &err)) << err;
    Projector proj;
    proj.cam = cam;
    render::poseAt(cam, 300, 260, 350.0, 25.0, 15.0, proj.trans);
    render::renderFrame(marker, 45.0, proj.trans, cam, render::Options(), &frame);
    ASSERT_TRUE(render::writePng(dir + "/frame0.png", dots, &err)) << err;
    ASSERT_TRUE(render::writePng(dir + "/frame1.png", frame, &err)) << err;

    Child viewer = spawn(kBin + "/mvviewer",
                         {"-file=" + dir + "/frame%d.png", "-nopace", "-width=640", "-height=480"},
                         dir);
    ASSERT_GT(viewer.pid, 0);
    const std::string window = findWindow(viewer, 1280, 960);
    ASSERT_FALSE(window.empty()) << slurp(viewer.out) << slurp(viewer.err);
    Rgb shot;
    ASSERT_TRUE(waitForLastFrame(viewer, window, &shot)) << slurp(viewer.out);
    ASSERT_EQ(std::system(("xdotool windowfocus --sync " + window + " && xdotool key Escape").c_str()), 0);
    EXPECT_EQ(waitFor(viewer, 20.0), 0) << slurp(viewer.err);

    // Still running after the first frame, and the second one tracked.
    ASSERT_EQ(shot.w, 1280);
    ASSERT_EQ(shot.h, 960);
    expectSceneOnMarker(shot, proj, false);
}
