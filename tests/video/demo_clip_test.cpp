// The bundled demo clip: its truth file has one pose per frame, and its
// frames are what the renderer draws for those poses.
#include "demo_clip.h"
#include "render.h"

#include "morvex/camera.h"
#include "morvex/video.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kDir = MORVEX_RESOURCE_DIR;

struct Pose {
    double trans[3][4];
};

double meanAbsDiff(const unsigned char *frame, const render::Image &img)
{
    double sum = 0;
    const size_t n = static_cast<size_t>(img.width) * img.height;
    for (size_t i = 0; i < n; i++)
        for (int c = 0; c < 3; c++) sum += std::abs(frame[i * 4 + c] - img.pixels[i * img.channels + c]);
    return sum / (3.0 * n);
}

// Checked frames against fresh renders of their truth poses. The clip adds
// noise of sigma 2 (mean absolute 1.6 levels), which MJPEG at quantiser 2
// partly smooths away (1.4 measured), so under 3 levels means the same
// picture; the marker at another frame's pose differs by 10 levels or more.
TEST(DemoClip, TruthHasOnePosePerFrameAndFramesMatchRendersOfThem)
{
    std::ifstream in(kDir + "/demo_clip_truth.txt");
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line.rfind("# ", 0), 0u);
    std::vector<Pose> poses;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        int index = -1;
        Pose p;
        s >> index;
        for (auto &row : p.trans)
            for (double &v : row) s >> v;
        std::string rest;
        EXPECT_TRUE(s && !(s >> rest)) << "line: " << line;
        EXPECT_EQ(index, static_cast<int>(poses.size()));
        poses.push_back(p);
    }
    ASSERT_EQ(static_cast<int>(poses.size()), demo_clip::kFrames);

    std::string err;
    render::Image marker;
    ASSERT_TRUE(mvtool::readImage(kDir + "/marker.png", &marker, &err)) << err;
    MvCameraParam fileCam, cam;
    ASSERT_EQ(mvParamLoad((kDir + "/camera_para.dat").c_str(), 1, &fileCam), 0);
    mvParamChangeSize(&fileCam, demo_clip::kWidth, demo_clip::kHeight, &cam);

    testing::internal::CaptureStdout();
    ASSERT_EQ(mvVideoOpen(("-nopace -file=" + kDir + "/demo_clip.avi").c_str()), 0);
    mvVideoCapStart();
    int frames = 0;
    for (unsigned char *f; (f = mvVideoGetImage()) != nullptr && frames <= demo_clip::kFrames; frames++) {
        if (frames != 0 && frames != 77 && frames != 299) continue;
        render::Image same, other;
        render::renderFrame(marker, demo_clip::kSideMm, poses[frames].trans, cam, demo_clip::renderOptions(), &same);
        render::renderFrame(marker, demo_clip::kSideMm, poses[(frames + 150) % demo_clip::kFrames].trans, cam,
                            demo_clip::renderOptions(), &other);
        const double d = meanAbsDiff(f, same);
        EXPECT_LT(d, 3.0) << "frame " << frames;
        EXPECT_GT(meanAbsDiff(f, other), 3 * d) << "frame " << frames;
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "CTYPE = MJPG\n");
    EXPECT_EQ(frames, demo_clip::kFrames);
    mvVideoClose();
}

}  // namespace
