// Marker pictures and the mvrender command line.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "test_util.h"
#include "render.h"

namespace {

using render::Image;

std::string tempPath(const std::string &name) {
    return testing::TempDir() + "mvrender_" + std::to_string(getpid()) + "_" + name;
}

// The border is exactly a quarter of the side (sizes rounded to a multiple
// of 4, at least 8): black for b pixels at each end of every row and column,
// the picture (here white, odd-sized so it must be rescaled) in between.
TEST(MakeMarker, BorderIsExactlyAQuarterOfTheSide) {
    const Image white{37, 50, 3, std::vector<uint8_t>(37 * 50 * 3, 255)};
    struct Case { int asked, side; } cases[] = {{64, 64}, {512, 512}, {102, 100}, {8, 8}, {3, 8}};
    for (const Case &c : cases) {
        Image m = render::makeMarker(white, c.asked);
        ASSERT_TRUE(m.width == c.side && m.height == c.side && m.channels == 3) << c.asked;
        const int b = c.side / 4;
        for (int i = 0; i < c.side; i++)
            for (int j = 0; j < c.side; j++) {
                bool inner = i >= b && i < c.side - b && j >= b && j < c.side - b;
                const uint8_t *p = &m.pixels[(static_cast<size_t>(i) * c.side + j) * 3];
                ASSERT_EQ(p[0] + p[1] + p[2], inner ? 3 * 255 : 0) << "side " << c.side << " at " << j << "," << i;
            }
    }
}

TEST(ProjectMarker, BundledFileIsWhatTheCodeDraws) {
    Image file;
    std::string err;
    ASSERT_TRUE(mvtool::readImage(MORVEX_SOURCE_DIR "/resources/marker.png", &file, &err)) << err;
    Image drawn = render::makeProjectMarker(512);
    EXPECT_EQ(file.width, 512);
    EXPECT_EQ(file.channels, 3);
    EXPECT_TRUE(file.pixels == drawn.pixels) << "regenerate with: mvrender --make-marker resources/marker.png";
}

// Runs mvrender, returns its exit status and collects stdout + stderr.
int runTool(const std::string &args, std::string *output) {
    auto r = morvex_test::runCaptured(std::string(MVRENDER_PATH) + " " + args);
    *output = r.second;
    return r.first;
}

TEST(MvrenderTool, RendersAFrameAndPrintsItsTruth) {
    std::string out = tempPath("frame.png"), text;
    ASSERT_EQ(runTool("--camera resources/camera_para.dat --marker resources/marker.png --tilt 20 --roll 10 "
                      "--background clutter --seed 3 " + out, &text), 0) << text;
    Image frame;
    std::string err;
    ASSERT_TRUE(mvtool::readImage(out, &frame, &err)) << err;
    EXPECT_EQ(frame.width, 320);
    EXPECT_EQ(frame.height, 240);
    // The printed corners are the library's truth for the same pose.
    MvCameraParam file_cam, cam;
    ASSERT_EQ(mvParamLoad("resources/camera_para.dat", 1, &file_cam), 0);
    mvParamChangeSize(&file_cam, 320, 240, &cam);
    double trans[3][4];
    render::poseAt(cam, 159.5, 119.5, 300.0, 20.0, 10.0, trans);
    render::Truth t = render::projectCorners(45.0, trans, cam);  // the default side
    for (int k = 0; k < 4; k++) {
        char line[160];
        std::snprintf(line, sizeof line, "corner %d observed %.4f %.4f ideal %.4f %.4f", k, t.observed[k][0],
                      t.observed[k][1], t.ideal[k][0], t.ideal[k][1]);
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
    std::remove(out.c_str());
}

TEST(MvrenderTool, ErrorsExitOneNamingTheCulprit) {
    struct Case { std::string args, culprit; } cases[] = {
        {"--frobnicate x.png", "--frobnicate"},
        {"--side abc x.png", "abc"},
        {"--background stripes x.png", "stripes"},
        {"--marker /no/such/marker.png x.png", "/no/such/marker.png"},
        {"--distance", "--distance"},
        {"", "no output file"},
    };
    for (const Case &c : cases) {
        std::string text;
        EXPECT_EQ(runTool(c.args, &text), 1) << c.args;
        EXPECT_NE(text.find(c.culprit), std::string::npos) << c.args << ": " << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    }
}

}  // namespace
