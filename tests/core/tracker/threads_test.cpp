// Trackers on threads: four trackers tracking four different rendered clips
// at the same time, each sharing its frames out to 1 to 4 worker threads,
// give to the bit the results of the same work done one after another on
// one thread. Built and run under ThreadSanitizer in CI as well.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "morvex/tracker.h"
#include "render.h"

namespace {

struct Clip {
    int width, height;
    std::vector<render::Image> frames;
};

// A short clip of a moving marker; each clip its own size and background.
Clip makeClip(int k)
{
    Clip c{320 + 160 * k, 240 + 120 * k, {}};
    const MvCameraParam cam = render::bundledCamera(c.width, c.height);
    const render::Image marker = render::makeProjectMarker(256);
    render::Options opt;
    opt.background = k % 2 ? render::Background::Clutter : render::Background::Gradient;
    opt.noise_sigma = 2;
    opt.supersample = 2;
    for (int n = 0; n < 10; n++) {
        double trans[3][4];
        render::poseAt(cam, c.width * (0.4 + 0.02 * n), c.height * 0.5, 300.0 + 20 * n + 50 * k, 5.0 * n - 20,
                       9.0 * n + 30 * k, trans);
        opt.seed = 10 * k + n;
        c.frames.emplace_back();
        render::renderFrame(marker, 45.0, trans, cam, opt, &c.frames.back());
    }
    return c;
}

// Every result of every frame of one clip, tracked by a tracker of its own
// with `threads` threads, looking for a coded family as well.
std::vector<MvTrackerMarker> track(const Clip &clip, const MvPattern *pattern, int threads)
{
    std::vector<MvTrackerMarker> all;
    MvTrackerSettings s;
    mvTrackerSettingsInit(&s);
    s.threads = threads;
    MvTracker *t = nullptr;
    if (mvTrackerCreate(nullptr, &s, &t, nullptr) != MV_ERROR_NONE) return all;
    mvTrackerAddPattern(t, pattern, 45.0, nullptr);
    mvTrackerAddFamily(t, "tag36h11", 45.0, -1);
    for (const render::Image &f : clip.frames) {
        const MvTrackerMarker *m;
        int n;
        if (mvTrackerProcess(t, f.pixels.data(), f.width, f.height, f.width * 4, MV_PIXEL_RGBA, &m, &n) == 0)
            all.insert(all.end(), m, m + n);
    }
    mvTrackerDestroy(t);
    return all;
}

TEST(TrackerThreads, FourTrackersAtOnceWithWorkersMatchFourRunsOneAfterAnother)
{
    std::vector<Clip> clips;
    for (int k = 0; k < 4; k++) clips.push_back(makeClip(k));
    // One pattern shared by all four trackers.
    MvPattern *pattern = mvPatternLoad(MORVEX_RESOURCE_DIR "/patt.lumo", nullptr, nullptr);
    ASSERT_NE(pattern, nullptr);

    std::vector<std::vector<MvTrackerMarker>> sequential(4), parallel(4);
    for (int k = 0; k < 4; k++) sequential[k] = track(clips[k], pattern, 1);
    std::vector<std::thread> threads;
    for (int k = 0; k < 4; k++) threads.emplace_back([&, k] { parallel[k] = track(clips[k], pattern, k + 1); });
    for (std::thread &t : threads) t.join();
    mvPatternRelease(pattern);

    for (int k = 0; k < 4; k++) {
        SCOPED_TRACE(::testing::Message() << "clip " << k);
        int posed = 0;
        for (const MvTrackerMarker &m : sequential[k]) posed += m.hasPose;
        EXPECT_GE(posed, 8);
        ASSERT_EQ(parallel[k].size(), sequential[k].size());
        EXPECT_EQ(0, std::memcmp(parallel[k].data(), sequential[k].data(),
                                 sequential[k].size() * sizeof(MvTrackerMarker)));
    }
}

}  // namespace
