// A program that tracks only with trackers prints nothing, whatever fails;
// a tracker that cannot allocate says so and tracks the next frame as if
// nothing had happened. malloc is replaced in this program (and only here).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <vector>

#include "failing_malloc.h"
#include "morvex/tracker.h"
#include "render.h"
#include "test_util.h"

namespace {

// Standard output and error both go to one file while it lives.
class Captured {
public:
    Captured() : path_("/tmp/morvex-tracker-out-" + std::to_string(getpid()))
    {
        std::fflush(stdout);
        std::fflush(stderr);
        out_ = dup(1);
        err_ = dup(2);
        const int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 1);
        dup2(fd, 2);
        close(fd);
    }
    // Restores both and returns what was written.
    std::string text()
    {
        std::fflush(stdout);
        std::fflush(stderr);
        dup2(out_, 1);
        dup2(err_, 2);
        close(out_);
        close(err_);
        const std::string s = morvex_test::slurp(path_);
        std::remove(path_.c_str());
        return s;
    }

private:
    std::string path_;
    int out_, err_;
};

TEST(TrackerFailures, NothingIsPrintedAndAFailedAllocationIsRecoveredFrom)
{
    const MvCameraParam cam = render::bundledCamera(640, 480);
    double trans[3][4];
    render::poseAt(cam, 320, 240, 400.0, 20.0, 10.0, trans);
    render::Image frame;
    render::renderFrame(render::makeProjectMarker(256), 45.0, trans, cam, render::Options(), &frame);

    Captured captured;
    // Refusals of every kind.
    MvCameraParam bad = cam;
    bad.distortion[3] = 0;
    MvTracker *t = nullptr;
    const int bad_camera = mvTrackerCreate(&bad, nullptr, &t, nullptr);
    char why[MV_MESSAGE_MAX];
    const int created = mvTrackerCreate(&cam, nullptr, &t, why);
    const int missing = mvTrackerAddPatternFile(t, "/nonexistent/x.lumo", 45, nullptr);
    const int added = mvTrackerAddPatternFile(t, MORVEX_RESOURCE_DIR "/patt.lumo", 45, nullptr);
    const MvTrackerMarker *m = nullptr;
    int n = 0;
    const int bad_frame = mvTrackerProcess(t, nullptr, 640, 480, 2560, MV_PIXEL_RGBA, &m, &n);

    // The first frame grows the tracker's storage: refuse each of its
    // allocations in turn; every refusal is a code, and the frame after it
    // is tracked whole.
    std::vector<int> codes;
    bool always_found = true;
    const int kRequests = kMallocCanFail ? 40 : 0;
    for (int refuse = 0; refuse < kRequests; refuse++) {
        MvTracker *fresh = nullptr;
        mvTrackerCreate(&cam, nullptr, &fresh, nullptr);
        mvTrackerAddPatternFile(fresh, MORVEX_RESOURCE_DIR "/patt.lumo", 45, nullptr);
        failing_malloc::arm(refuse);
        codes.push_back(mvTrackerProcess(fresh, frame.pixels.data(), 640, 480, 2560, MV_PIXEL_RGBA, &m, &n));
        failing_malloc::armed = false;
        if (codes.back() != MV_ERROR_NONE && (n != 0 || mvTrackerLastError(fresh) != MV_ERROR_MEMORY))
            always_found = false;
        bool posed = false;
        if (mvTrackerProcess(fresh, frame.pixels.data(), 640, 480, 2560, MV_PIXEL_RGBA, &m, &n) == 0)
            for (int k = 0; k < n; k++) posed = posed || (m[k].id == 0 && m[k].hasPose);
        always_found = always_found && posed;
        mvTrackerDestroy(fresh);
    }
    const int good = mvTrackerProcess(t, frame.pixels.data(), 640, 480, 2560, MV_PIXEL_RGBA, &m, &n);
    mvTrackerDestroy(t);
    const std::string printed = captured.text();

    EXPECT_EQ(printed, "");
    EXPECT_EQ(bad_camera, MV_ERROR_ARGUMENT);
    EXPECT_EQ(created, MV_ERROR_NONE) << why;
    EXPECT_EQ(missing, MV_ERROR_NOT_FOUND);
    EXPECT_EQ(added, MV_ERROR_NONE);
    EXPECT_EQ(bad_frame, MV_ERROR_ARGUMENT);
    EXPECT_EQ(good, MV_ERROR_NONE);
    EXPECT_TRUE(always_found);
    if (kMallocCanFail) {
        int refused = 0;
        for (int c : codes) {
            EXPECT_TRUE(c == MV_ERROR_NONE || c == MV_ERROR_MEMORY) << c;
            refused += c == MV_ERROR_MEMORY;
        }
        // The frame makes many allocations; each refused one was reported.
        EXPECT_GE(refused, 10);
    }
}

}  // namespace
