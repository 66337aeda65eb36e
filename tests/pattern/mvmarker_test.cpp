// The mvmarker tool end to end: markers made from a picture are found with
// their own pattern file at many poses, in the right direction; a pattern
// taught from a frame; errors exit with status 1. (The bundled pattern on
// the bundled marker, against other pictures: detect/rendered_test.)
#include "morvex/camera.h"
#include "morvex/detect.h"
#include "morvex/pattern.h"
#include "../support/test_util.h"
#include "pattern_test_util.h"
#include "render.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

using namespace pattern_test;

namespace {

const std::string kTool = std::string(MORVEX_RESOURCE_DIR) + "/../mvmarker";

struct ToolRun {
    int status;
    std::string out;
};

// Runs the tool with `args` (shell words), standard error folded into the
// output.
ToolRun tool(const std::string &args) {
    auto r = morvex_test::runCaptured(kTool + " " + args);
    return {r.first, r.second};
}

render::Image readPng(const std::string &path) {
    render::Image img;
    std::string error;
    EXPECT_TRUE(mvtool::readImage(path, &img, &error)) << error;
    return img;
}

// One view of the marker and what detection made of it.
struct View {
    bool found = false;
    int id = -1, direction = -1;
    double confidence = 0.0;
    int corner0 = -1;   // the marker corner (0..3) detection took as corner 0
};

// Renders `marker` (60 mm) in 320 x 240 with the bundled camera and
// detects the marker with the largest border. Its corner 0 is matched to
// the true corner within 2 pixels (corners are fitted to sub-pixel
// accuracy on sharp frames; 2 pixels leaves room for tilt and distortion).
View look(const render::Image &marker, double u, double v, double dist, double tilt,
          double roll) {
    MvCameraParam cam = render::bundledCamera(320, 240);
    mvInitCparam(&cam);
    double trans[3][4];
    render::poseAt(cam, u, v, dist, tilt, roll, trans);
    render::Image frame;
    render::Truth truth = render::renderFrame(marker, 60.0, trans, cam, render::Options(), &frame);
    MvMarkerInfo *m = nullptr;
    int n = 0;
    View view;
    if (mvDetectMarkerLite(frame.pixels.data(), 100, &m, &n) != 0) return view;
    int k = -1;
    for (int i = 0; i < n; i++)
        if (k < 0 || m[i].area > m[k].area) k = i;
    if (k < 0) return view;
    view = {true, m[k].id, m[k].direction, m[k].confidence, -1};
    for (int c = 0; c < 4; c++)
        if (std::hypot(truth.ideal[c][0] - m[k].vertices[0][0],
                       truth.ideal[c][1] - m[k].vertices[0][1]) < 2.0)
            view.corner0 = c;
    return view;
}

class Tool : public ::testing::Test {
protected:
    void SetUp() override { clearStore(); mvTemplateMatchingMode = 0; }
    void TearDown() override { clearStore(); }
};

TEST_F(Tool, MarkerFromAPictureIsFoundInEveryRollWithItsDirection) {
    // A picture unlike ours and different under every quarter turn (a bold
    // "T"), made into a marker PNG and a pattern by the tool, then rendered
    // at several poses (markers 45 to 70 pixels wide) and all four rolls.
    std::string pic = tempPath("alt.png"), png = tempPath("alt-marker.png"),
                patt = tempPath("alt.lumo");
    std::string error;
    ASSERT_TRUE(mvtool::writePng(pic, render::makeAlternatePicture(3), &error)) << error;
    ToolRun r = tool(pic + " --png " + png + " --px 400 --patt " + patt);
    ASSERT_EQ(r.status, 0) << r.out;
    const int slot = mvLoadPatt(patt.c_str());
    ASSERT_EQ(slot, 0);
    const render::Image marker = readPng(png);
    ASSERT_EQ(marker.width, 400);

    // The picture's corner c (0 top-left, 1 top-right, 2 bottom-right,
    // 3 bottom-left) starts block c of the pattern; detection samples from
    // its own corner 0, so the direction is the picture corner that
    // detection took as corner 0. Rolls are offset by 12 degrees so that
    // the corner it takes is never a near tie.
    struct Pose { double u, v, dist, tilt; } poses[] = {
        {160, 120, 300, 0}, {110, 90, 450, 30}, {210, 150, 300, 40}, {160, 120, 400, 15}};
    for (const Pose &p : poses)
        for (int q = 0; q < 4; q++) {
            const double roll = 12 + 90 * q;
            View view = look(marker, p.u, p.v, p.dist, p.tilt, roll);
            SCOPED_TRACE(testing::Message() << "at " << p.u << "," << p.v << " dist " << p.dist
                                            << " tilt " << p.tilt << " roll " << roll);
            ASSERT_TRUE(view.found);
            ASSERT_GE(view.corner0, 0);
            EXPECT_EQ(view.id, slot);
            EXPECT_EQ(view.direction, view.corner0);
            EXPECT_GT(view.confidence, 0.8);
        }
}

// A rendered frame written as PNG and read back by the tool gives a pattern
// that matches the same frame as direction 2 with confidence 1.
TEST_F(Tool, TeachesAPatternFromAFrame) {
    MvCameraParam cam = render::bundledCamera(320, 240);
    double trans[3][4];
    render::poseAt(cam, 150, 125, 380, 30, 50, trans);
    render::Image frame;
    render::renderFrame(render::makeMarker(render::makeAlternatePicture(4), 400), 60.0, trans,
                        cam, render::Options(), &frame);
    std::string fpath = tempPath("frame.png"), patt = tempPath("taught.lumo"), error;
    ASSERT_TRUE(mvtool::writePng(fpath, frame, &error)) << error;
    ToolRun r = tool("--from-frame " + fpath + " --patt " + patt);
    ASSERT_EQ(r.status, 0) << r.out;
    ASSERT_EQ(mvLoadPatt(patt.c_str()), 0);
    mvInitCparam(&cam);
    MvMarkerInfo *m = nullptr;
    int n = 0;
    ASSERT_EQ(mvDetectMarkerLite(frame.pixels.data(), 100, &m, &n), 0);
    ASSERT_GE(n, 1);
    EXPECT_TRUE(m[0].id == 0 && m[0].direction == 2) << m[0].id << " " << m[0].direction;
    EXPECT_NEAR(m[0].confidence, 1.0, 1e-9);
}

TEST_F(Tool, WritesAnSvgOfTheExactPrintedSize) {
    std::string pic = tempPath("alt.png"), svg = tempPath("m.svg");
    std::string error;
    ASSERT_TRUE(mvtool::writePng(pic, render::makeAlternatePicture(0), &error));
    ToolRun r = tool(pic + " --svg " + svg + " --mm 45");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string text = morvex_test::slurp(svg);
    EXPECT_NE(text.find("width=\"45mm\" height=\"45mm\" viewBox=\"0 0 45 45\""), std::string::npos);
    EXPECT_NE(text.find("data:image/png;base64,iVBORw0KGgo"), std::string::npos);
}

TEST_F(Tool, ErrorsExitWithOneLineNamingTheCulprit) {
    std::string blank = tempPath("blank.png"), pic = tempPath("alt.png");
    const render::Image img{320, 240, 3, std::vector<uint8_t>(320 * 240 * 3, 200)};
    std::string error;
    ASSERT_TRUE(mvtool::writePng(blank, img, &error));
    ASSERT_TRUE(mvtool::writePng(pic, render::makeAlternatePicture(0), &error));
    struct Case { std::string args, culprit; } cases[] = {
        {"", "PICTURE"},
        {"/nonexistent/pic.png --patt x.lumo", "/nonexistent/pic.png"},
        {pic + " --bogus", "--bogus"},
        {pic + " --px abc --png x.png", "abc"},
        {pic + " --patt", "--patt"},
        {pic, "nothing to write"},
        {pic + " --patt /nonexistent/dir/p.lumo", "/nonexistent/dir/p.lumo"},
        {"--from-frame " + blank + " --patt x.lumo", blank},
    };
    for (const Case &c : cases) {
        ToolRun r = tool(c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_NE(r.out.find(c.culprit), std::string::npos) << c.args << ": " << r.out;
        EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << c.args << ": " << r.out;
    }
    ToolRun help = tool("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--from-frame"), std::string::npos);
    EXPECT_NE(help.out.find("examples:"), std::string::npos);
}

}  // namespace
