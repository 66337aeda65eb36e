// The whole pipeline over the looping demo clip -- capture, detection in
// each mode, sub-pixel corners, identification, pose and its refinement,
// the automatic threshold -- with resident memory read after a warm-up and
// at the end: nothing may grow per frame. MORVEX_SOAK_FRAMES sets the
// length (default 2000; tools/soak.sh runs 100000, and under LeakSanitizer
// in a sanitizer build).
#include "morvex.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

// A field of /proc/self/status in kB ("VmRSS", "VmHWM"); -1 if absent.
long status_kb(const std::string &field)
{
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
    return -1;
}

}  // namespace

TEST(Soak, PipelineOverTheLoopingDemoClipKeepsMemoryFlat)
{
    const char *env = std::getenv("MORVEX_SOAK_FRAMES");
    const long frames = env != nullptr ? std::atol(env) : 2000, warm = 300;
    ASSERT_GT(frames, warm);
    MvCameraParam file_cam, cam;
    ASSERT_EQ(mvParamLoad("resources/camera_para.dat", 1, &file_cam), 0);
    mvParamChangeSize(&file_cam, 320, 240, &cam);
    mvInitCparam(&cam);
    const int patt = mvLoadPatt("resources/patt.lumo");
    ASSERT_GE(patt, 0);
    ASSERT_EQ(mvVideoOpen("-file=resources/demo_clip.avi -loop -nopace"), 0);
    ASSERT_EQ(mvVideoCapStart(), 0);

    MvAutoThresh at;
    mvAutoThreshInit(&at, 100);
    const double center[2] = {0.0, 0.0};
    double prev[3][4];
    bool have_prev = false;
    long n = 0, found = 0, start_kb = -1;
    while (n < frames) {
        unsigned char *image = mvVideoGetImage();
        if (image == nullptr) {
            ASSERT_EQ(mvVideoInqEnded(), 0) << "the looping clip ended at frame " << n;
            continue;
        }
        // Each clip pass in another combination of the detection modes.
        const int pass = static_cast<int>(n / 300);
        mvImageProcMode = pass & 1;
        mvTemplateMatchingMode = (pass >> 1) & 1;
        MvMarkerInfo *markers = nullptr;
        int count = 0;
        const int r = (pass >> 2) & 1 ? mvDetectMarkerLite(image, at.thresh, &markers, &count)
                                      : mvDetectMarker(image, at.thresh, &markers, &count);
        if (r < 0) count = 0;
        bool seen = false;
        for (int k = 0; k < count; k++) {
            if (mvRefineMarker(image, &markers[k]) == 0) mvIdentifyMarker(image, &markers[k]);
            if (markers[k].id != patt || seen) continue;
            seen = true;
            double trans[3][4];
            if (mvGetTransMat(&markers[k], center, 45.0, trans) >= 0 &&
                mvRefineTransMat(&markers[k], center, 45.0, have_prev ? prev : nullptr, trans) >= 0) {
                std::memcpy(prev, trans, sizeof prev);
                have_prev = true;
            }
        }
        if (!seen) have_prev = false;
        found += seen;
        mvAutoThreshUpdate(&at, image, count > 0 ? markers : nullptr, count);
        mvVideoCapNext();
        if (++n == warm) start_kb = status_kb("VmRSS");
    }
    const long end_kb = status_kb("VmRSS"), peak_kb = status_kb("VmHWM");
    mvVideoCapStop();
    mvVideoClose();
    mvFreePatt(patt);
    std::printf("soak: %ld frames, marker in %ld; resident %ld kB after %ld frames, %ld kB at the "
                "end, peak %ld kB\n", n, found, start_kb, warm, end_kb, peak_kb);
    EXPECT_GT(found, n * 9 / 10);
#if !defined(__SANITIZE_ADDRESS__)
    // (AddressSanitizer's quarantine grows by design; LeakSanitizer checks
    // that build at exit instead.)
    EXPECT_LE(end_kb - start_kb, 512) << "resident memory grew from " << start_kb << " kB";
#endif
}
