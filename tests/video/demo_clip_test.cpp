// The bundled demo clip: its truth file matches it frame for frame, and its
// frames are what the renderer draws for the recorded poses.
#include "demo_clip.h"
#include "render.h"

#include "morvex/camera.h"
#include "morvex/video.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

const std::string kDir = MORVEX_RESOURCE_DIR;

struct Pose {
    double trans[3][4];
};

std::vector<Pose> readTruth(std::string *header)
{
    std::ifstream in(kDir + "/demo_clip_truth.txt");
    std::vector<Pose> poses;
    std::string line;
    std::getline(in, *header);
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
    return poses;
}

double meanAbsDiff(const unsigned char *frame, const render::Image &img)
{
    double sum = 0;
    size_t n = static_cast<size_t>(img.width) * img.height;
    for (size_t i = 0; i < n; i++)
        for (int c = 0; c < 3; c++) sum += std::abs(frame[i * 4 + c] - img.pixels[i * img.channels + c]);
    return sum / (3.0 * n);
}

class DemoClip : public testing::Test {
protected:
    void TearDown() override { mvVideoClose(); }
};

TEST_F(DemoClip, TruthFileHasOneLinePerFrame)
{
    std::string header;
    std::vector<Pose> poses = readTruth(&header);
    EXPECT_EQ(header.rfind("# ", 0), 0u);
    EXPECT_EQ(static_cast<int>(poses.size()), demo_clip::kFrames);

    CaptureStdout();
    std::string config = "-nopace -file=" + kDir + "/demo_clip.avi";
    ASSERT_EQ(mvVideoOpen(config.c_str()), 0);
    mvVideoCapStart();
    int frames = 0;
    while (mvVideoGetImage() != nullptr && frames <= demo_clip::kFrames) frames++;
    EXPECT_EQ(GetCapturedStdout(), "CTYPE = MJPG\n");
    EXPECT_EQ(frames, static_cast<int>(poses.size()));

    // The path keeps its promises: the marker 150-450 mm away, tilted at
    // most ~45 degrees from facing the camera, roll in every quadrant.
    int quadrants[4] = {0, 0, 0, 0};
    for (const Pose &p : poses) {
        double dist = std::sqrt(p.trans[0][3] * p.trans[0][3] + p.trans[1][3] * p.trans[1][3] +
                                p.trans[2][3] * p.trans[2][3]);
        EXPECT_GE(dist, 150.0);
        EXPECT_LE(dist, 450.0);
        // The marker's z axis against the viewing direction (towards -z).
        double facing = -p.trans[2][2];
        EXPECT_GE(facing, std::cos(47.0 * M_PI / 180.0));
        // Roll: the marker's x axis in the image plane.
        double roll = std::atan2(p.trans[1][0], p.trans[0][0]);
        quadrants[static_cast<int>(std::floor((roll + M_PI) / (M_PI / 2))) & 3]++;
    }
    for (int q : quadrants) EXPECT_GT(q, 10);
}

// A few frames decoded from the clip against fresh renders of their truth
// poses. The clip adds noise of sigma 2 (mean absolute 1.6 levels), which
// MJPEG at quantiser 2 partly smooths away (1.4 measured), so under 3 levels
// means the same picture; the marker at another frame's pose differs by
// about 10 levels or more.
TEST_F(DemoClip, FramesMatchFreshRendersOfTheirPoses)
{
    std::string header, err;
    std::vector<Pose> poses = readTruth(&header);
    ASSERT_EQ(static_cast<int>(poses.size()), demo_clip::kFrames);
    render::Image marker;
    ASSERT_TRUE(render::readImage(kDir + "/marker.png", &marker, &err)) << err;
    MvCameraParam fileCam, cam;
    ASSERT_EQ(mvParamLoad((kDir + "/camera_para.dat").c_str(), 1, &fileCam), 0);
    mvParamChangeSize(&fileCam, demo_clip::kWidth, demo_clip::kHeight, &cam);

    CaptureStdout();
    std::string config = "-nopace -file=" + kDir + "/demo_clip.avi";
    ASSERT_EQ(mvVideoOpen(config.c_str()), 0);
    mvVideoCapStart();
    const int checked[] = {0, 77, 150, 299};
    int next = 0;
    for (int k = 0; k < demo_clip::kFrames && next < 4; k++) {
        unsigned char *f = mvVideoGetImage();
        ASSERT_NE(f, nullptr) << "frame " << k;
        if (k != checked[next]) continue;
        next++;
        render::Image same, other;
        render::renderFrame(marker, demo_clip::kSideMm, poses[k].trans, cam,
                            demo_clip::renderOptions(), &same);
        render::renderFrame(marker, demo_clip::kSideMm, poses[(k + 150) % 300].trans, cam,
                            demo_clip::renderOptions(), &other);
        double d = meanAbsDiff(f, same), dOther = meanAbsDiff(f, other);
        EXPECT_LT(d, 3.0) << "frame " << k;
        EXPECT_GT(dOther, 3 * d) << "frame " << k;
    }
    GetCapturedStdout();
    EXPECT_EQ(next, 4);
}

}  // namespace
