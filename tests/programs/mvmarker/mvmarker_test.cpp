// The mvmarker tool end to end: markers made from a picture are found with
// their own pattern file at many poses, in the right direction; a pattern
// taught from a frame; both files in the pattern layout; coded markers'
// PNG and SVG read back and decoded at their cell centres; errors exit
// with status 1. (The bundled pattern on
// the bundled marker, against other pictures: pose/render_test.)
#include "code_family.h"
#include "decode.h"
#include "morvex/camera.h"
#include "morvex/detect.h"
#include "morvex/pattern.h"
#include "test_util.h"
#include "pattern_test_util.h"
#include "render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

using namespace pattern_test;

namespace {

const std::string kBin = std::string(MORVEX_RESOURCE_DIR) + "/..";
const std::string kTool = kBin + "/mvmarker";

// Runs the tool with `args` (shell words): the exit status and the output,
// standard error included.
std::pair<int, std::string> tool(const std::string &args) {
    return morvex_test::runCaptured(kTool + " " + args);
}

// Renders `marker` (60 mm) in 320 x 240 with the bundled camera and detects
// the marker with the largest border; *corner0 receives the true corner
// (0..3) within 2 pixels of its vertex 0 (corners are fitted to sub-pixel
// accuracy on sharp frames), or -1.
MvMarkerInfo look(const render::Image &marker, double u, double v, double dist, double tilt,
                  double roll, int *corner0) {
    MvCameraParam cam = render::bundledCamera(320, 240);
    mvInitCparam(&cam);
    double trans[3][4];
    render::poseAt(cam, u, v, dist, tilt, roll, trans);
    render::Image frame;
    render::Truth truth = render::renderFrame(marker, 60.0, trans, cam, render::Options(), &frame);
    MvMarkerInfo *m = nullptr, best{};
    int n = 0;
    best.id = -2;
    *corner0 = -1;
    if (mvDetectMarkerLite(frame.pixels.data(), 100, &m, &n) != 0) return best;
    for (int i = 0; i < n; i++)
        if (best.id == -2 || m[i].area > best.area) best = m[i];
    for (int c = 0; c < 4 && n > 0; c++)
        if (std::hypot(truth.ideal[c][0] - best.vertices[0][0],
                       truth.ideal[c][1] - best.vertices[0][1]) < 2.0)
            *corner0 = c;
    return best;
}

// A pattern file: four blocks of 48 lines of sixteen "%4d" values (0..240)
// and an empty line, holding a real picture rather than an empty sample.
void expectPatternLayout(const std::string &path) {
    std::ifstream in(path);
    int lines = 0, maxv = 0, minv = 255;
    for (std::string l; std::getline(in, l); lines++) {
        ASSERT_EQ(l.size(), lines % 49 == 48 ? 0u : 64u) << path << " line " << lines + 1;
        for (size_t v = 0; v < l.size(); v += 4) {
            const int x = std::stoi(l.substr(v, 4));
            ASSERT_TRUE(x >= 0 && x <= 240) << path << ": " << x;
            maxv = std::max(maxv, x);
            minv = std::min(minv, x);
        }
    }
    EXPECT_EQ(lines, 4 * 49) << path;
    EXPECT_GT(maxv - minv, 100) << path;
}

class Tool : public ::testing::Test {
protected:
    void SetUp() override { clearStore(); mvTemplateMatchingMode = 0; }
    void TearDown() override { clearStore(); mvTemplateMatchingMode = 0; }
};

TEST_F(Tool, MarkerFromAPictureIsFoundInEveryRollWithItsDirection) {
    // A picture unlike ours and different under every quarter turn (a bold
    // "T"), made into a marker PNG and a pattern by the tool, then rendered
    // at several poses (markers 45 to 70 pixels wide) and all four rolls.
    std::string pic = tempPath("alt.png"), png = tempPath("alt-marker.png"),
                patt = tempPath("alt.lumo");
    std::string error;
    ASSERT_TRUE(mvtool::writePng(pic, render::makeAlternatePicture(3), &error)) << error;
    auto r = tool(pic + " --png " + png + " --px 400 --patt " + patt);
    ASSERT_EQ(r.first, 0) << r.second;
    expectPatternLayout(patt);
    const int slot = mvLoadPatt(patt.c_str());
    ASSERT_EQ(slot, 0);
    render::Image marker;
    ASSERT_TRUE(mvtool::readImage(png, &marker, &error)) << error;
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
            int corner0;
            const MvMarkerInfo m = look(marker, p.u, p.v, p.dist, p.tilt, roll, &corner0);
            SCOPED_TRACE(testing::Message() << "at " << p.u << "," << p.v << " dist " << p.dist
                                            << " tilt " << p.tilt << " roll " << roll);
            ASSERT_GE(corner0, 0);
            EXPECT_EQ(m.id, slot);
            EXPECT_EQ(m.direction, corner0);
            EXPECT_GT(m.confidence, 0.8);
        }
}

// A rendered frame written as PNG and read back by the tool gives a pattern
// (saved by mvSavePatt) that matches the same frame as direction 2 with
// confidence 1, in colour and in grey matching.
TEST_F(Tool, TeachesAPatternFromAFrame) {
    MvCameraParam cam = render::bundledCamera(320, 240);
    double trans[3][4];
    render::poseAt(cam, 150, 125, 380, 30, 50, trans);
    render::Image frame;
    render::renderFrame(render::makeMarker(render::makeAlternatePicture(4), 400), 60.0, trans,
                        cam, render::Options(), &frame);
    std::string fpath = tempPath("frame.png"), patt = tempPath("taught.lumo"), error;
    ASSERT_TRUE(mvtool::writePng(fpath, frame, &error)) << error;
    auto r = tool("--from-frame " + fpath + " --patt " + patt);
    ASSERT_EQ(r.first, 0) << r.second;
    expectPatternLayout(patt);
    ASSERT_EQ(mvLoadPatt(patt.c_str()), 0);
    mvInitCparam(&cam);
    for (int mode : {0, 1}) {
        mvTemplateMatchingMode = mode;
        MvMarkerInfo *m = nullptr;
        int n = 0;
        ASSERT_EQ(mvDetectMarkerLite(frame.pixels.data(), 100, &m, &n), 0);
        ASSERT_GE(n, 1);
        EXPECT_TRUE(m[0].id == 0 && m[0].direction == 2) << mode << ": " << m[0].id << " " << m[0].direction;
        EXPECT_NEAR(m[0].confidence, 1.0, 1e-9) << mode;
    }
}

TEST_F(Tool, WritesAnSvgOfTheExactPrintedSize) {
    std::string pic = tempPath("alt.png"), svg = tempPath("m.svg");
    std::string error;
    ASSERT_TRUE(mvtool::writePng(pic, render::makeAlternatePicture(0), &error));
    auto r = tool(pic + " --svg " + svg + " --mm 62.5");
    ASSERT_EQ(r.first, 0) << r.second;
    const std::string text = morvex_test::slurp(svg);
    EXPECT_NE(text.find("width=\"62.5mm\" height=\"62.5mm\" viewBox=\"0 0 62.5 62.5\""), std::string::npos);
    EXPECT_NE(text.find("data:image/png;base64,iVBORw0KGgo"), std::string::npos);
}

// The one default size, end to end as a user goes: a marker made by
// mvmarker with defaults prints at 45 mm; mvrender's clip of it (default
// side) with its truth, tracked by mvtrack with that pattern and its
// default size, gives back every frame's distance within 1 %. The truth
// file renders the same poses again as a PNG sequence. A picture that is
// not square is stretched, with a warning from both tools.
TEST_F(Tool, DefaultSizesAgreeFromMarkerToRenderToTrack) {
    if (!std::ifstream(kBin + "/mvtrack")) GTEST_SKIP() << "mvtrack and mvrender --path need FFmpeg";
    const std::string d = tempPath("sizes");
    ASSERT_EQ(std::system(("rm -rf '" + d + "' && mkdir '" + d + "'").c_str()), 0);
    std::string error;
    ASSERT_TRUE(mvtool::writePng(d + "/logo.png", render::makeAlternatePicture(3), &error)) << error;
    auto r = tool("'" + d + "/logo.png' --png '" + d + "/m.png' --svg '" + d + "/m.svg' --patt '" + d + "/m.lumo'");
    ASSERT_EQ(r.first, 0) << r.second;
    EXPECT_NE(morvex_test::slurp(d + "/m.svg").find("width=\"45mm\" height=\"45mm\""), std::string::npos);

    r = morvex_test::runCaptured("cd '" + d + "' && '" + kBin + "/mvrender' --marker m.png --path wander --frames 24 "
                                 "--supersample 2 --background clutter --noise 1 clip.avi");
    ASSERT_EQ(r.first, 0) << r.second;
    EXPECT_NE(r.second.find("side 45.000 mm"), std::string::npos) << r.second;
    std::vector<double> truth;   // distance of each frame
    std::ifstream tf(d + "/clip_truth.txt");
    for (std::string l; std::getline(tf, l);) {
        if (l.empty() || l[0] == '#') continue;
        std::istringstream f(l);
        double v[13];
        for (double &x : v) f >> x;
        ASSERT_TRUE((bool)f) << l;
        truth.push_back(std::hypot(v[4], v[8], v[12]));
    }
    ASSERT_EQ(truth.size(), 24u);

    r = morvex_test::runCaptured("cd '" + d + "' && '" + kBin + "/mvtrack' -file=clip.avi -nopace --csv --out poses.csv "
                                 "--pattern m.lumo");
    ASSERT_EQ(r.first, 0) << r.second;
    std::ifstream csv(d + "/poses.csv");
    std::string header;
    std::getline(csv, header);
    std::vector<std::string> names;
    std::stringstream hs(header);
    for (std::string n; std::getline(hs, n, ',');) names.push_back(n);
    auto column = [&](const char *n) { return std::find(names.begin(), names.end(), n) - names.begin(); };
    const size_t frame = column("frame"), id = column("id"), tx = column("tx");
    ASSERT_LT(tx + 2, names.size()) << header;
    int tracked = 0;
    double worst = 0.0;
    for (std::string row; std::getline(csv, row);) {
        std::vector<std::string> f;
        std::stringstream rs(row);
        for (std::string x; std::getline(rs, x, ',');) f.push_back(x);
        if (f.size() <= tx + 2 || f[id] != "0" || f[tx].empty()) continue;
        const double dist = std::hypot(std::stod(f[tx]), std::stod(f[tx + 1]), std::stod(f[tx + 2]));
        const double want = truth.at(std::stoul(f[frame]));
        worst = std::max(worst, std::fabs(dist - want) / want);
        tracked++;
    }
    std::printf("defaults: %d of 24 frames tracked, distance within %.3f %%\n", tracked, 100 * worst);
    EXPECT_GE(tracked, 22);
    EXPECT_LT(worst, 0.01);

    // The truth renders the same poses again, here as numbered PNGs.
    r = morvex_test::runCaptured("cd '" + d + "' && '" + kBin +
                                 "/mvrender' --marker m.png --path clip_truth.txt --frames 3 'seq_%02d.png'");
    ASSERT_EQ(r.first, 0) << r.second;
    std::ifstream a(d + "/clip_truth.txt"), b(d + "/seq_truth.txt");
    std::string la, lb;
    std::getline(a, la), std::getline(b, lb);   // the headers name their clips
    for (int i = 0; i < 3; i++) {
        std::getline(a, la), std::getline(b, lb);
        EXPECT_EQ(la, lb);
    }
    EXPECT_FALSE(std::getline(b, lb));
    mvtool::Image img;
    EXPECT_TRUE(mvtool::readImage(d + "/seq_02.png", &img, &error)) << error;
    EXPECT_FALSE(std::ifstream(d + "/seq_03.png").good());

    // Not square: stretched, and both tools say so.
    render::Image wide{300, 200, 3, std::vector<uint8_t>(300 * 200 * 3, 90)};
    ASSERT_TRUE(mvtool::writePng(d + "/wide.png", wide, &error)) << error;
    r = tool("'" + d + "/wide.png' --png '" + d + "/w.png'");
    EXPECT_EQ(r.first, 0) << r.second;
    EXPECT_NE(r.second.find("300 x 200 pixels, not square"), std::string::npos) << r.second;
    r = morvex_test::runCaptured("cd '" + d + "' && '" + kBin + "/mvrender' --marker wide.png one.png");
    EXPECT_EQ(r.first, 0) << r.second;
    EXPECT_NE(r.second.find("300 x 200 pixels, not square"), std::string::npos) << r.second;
    std::system(("rm -rf '" + d + "'").c_str());
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
        auto r = tool(c.args);
        EXPECT_EQ(r.first, 1) << c.args;
        EXPECT_NE(r.second.find(c.culprit), std::string::npos) << c.args << ": " << r.second;
        EXPECT_EQ(r.second.find('\n'), r.second.size() - 1) << c.args << ": " << r.second;
    }
    auto help = tool("--help");
    EXPECT_EQ(help.first, 0);
    EXPECT_NE(help.second.find("--from-frame"), std::string::npos);
    EXPECT_NE(help.second.find("examples:"), std::string::npos);
}

// Decodes cell-centre levels of a coded marker's black square (grid x grid
// cells) with the core's decoder: the id, or -1; *turn the turn.
int decodeCentres(const char *family, const std::vector<float> &cells, int *turn) {
    mvcore::CodeMatch m;
    if (!mvcore::decodeCells(*mvcore::findCodeFamily(family), cells.data(), mvcore::DecodeOptions(), &m)) return -1;
    *turn = m.turn;
    return m.id;
}

// The PNG of a coded marker: whole pixels per cell within --px, the quiet
// zone white, the size it prints at recorded (pHYs, pixels per metre), and
// its cell centres decode to the id, upright.
TEST_F(Tool, CodedMarkerPngDecodesToItsId) {
    struct Case { const char *family; int id, px, quiet, grid; double mm; } cases[] = {
        {"tag36h11", 7, 512, 1, 8, 80}, {"tag16h5", 29, 100, 1, 6, 30}, {"aruco4x4_50", 49, 300, 2, 6, 45},
        {"aruco7x7_1000", 999, 1000, 0, 9, 120}, {"aruco_original", 0, 256, 3, 7, 50},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.family);
        const std::string png = tempPath("coded.png");
        auto r = tool(std::string("--family ") + c.family + " --id " + std::to_string(c.id) + " --px " +
                      std::to_string(c.px) + " --quiet " + std::to_string(c.quiet) + " --mm " + std::to_string(c.mm) +
                      " --png " + png);
        ASSERT_EQ(r.first, 0) << r.second;
        render::Image img;
        std::string error;
        ASSERT_TRUE(mvtool::readImage(png, &img, &error)) << error;
        const int across = c.grid + 2 * c.quiet, cell = c.px / across;
        ASSERT_EQ(img.width, cell * across);
        ASSERT_EQ(img.height, img.width);
        auto grey = [&](int x, int y) {
            const uint8_t *p = &img.pixels[((size_t)y * img.width + x) * img.channels];
            return img.channels >= 3 ? (p[0] + p[1] + p[2]) / 3.0f : (float)p[0];
        };
        int quiet_dark = 0;
        for (int y = 0; y < img.height; y++)
            for (int x = 0; x < img.width; x++) {
                const int rr = y / cell - c.quiet, cc = x / cell - c.quiet;
                quiet_dark += (rr < 0 || cc < 0 || rr >= c.grid || cc >= c.grid) && grey(x, y) < 255;
            }
        EXPECT_EQ(quiet_dark, 0);
        std::vector<float> centres;
        for (int rr = 0; rr < c.grid; rr++)
            for (int cc = 0; cc < c.grid; cc++)
                centres.push_back(grey((c.quiet + cc) * cell + cell / 2, (c.quiet + rr) * cell + cell / 2));
        int turn = -1;
        EXPECT_EQ(decodeCentres(c.family, centres, &turn), c.id);
        EXPECT_EQ(turn, 0);
        // pHYs right after the header: pixels per metre, for the page of
        // mm * across / grid millimetres.
        const std::string bytes = morvex_test::slurp(png);
        const size_t at = bytes.find("pHYs");
        ASSERT_NE(at, std::string::npos);
        const uint32_t per_metre = (uint8_t)bytes[at + 4] << 24 | (uint8_t)bytes[at + 5] << 16 |
                                   (uint8_t)bytes[at + 6] << 8 | (uint8_t)bytes[at + 7];
        EXPECT_NEAR(img.width * 1000.0 / per_metre, c.mm * across / c.grid, 0.01 * c.mm);
    }
}

// The SVG: a page of exactly mm * (grid + 2 quiet) / grid millimetres, the
// black square of --mm at the quiet zone's inner edge, and the white
// rectangles over it paint, at each cell centre, the code of the id.
TEST_F(Tool, CodedMarkerSvgPaintsTheCodeAtExactMillimetres) {
    struct Case { const char *family; int id, quiet, grid; double mm, page; } cases[] = {
        {"tag36h11", 7, 1, 8, 80, 100}, {"aruco6x6_250", 200, 2, 8, 40, 60}, {"tag25h9", 34, 0, 7, 70, 70},
    };
    const std::regex rect("<rect x=\"([0-9.e+-]+)\" y=\"([0-9.e+-]+)\" width=\"([0-9.e+-]+)\" "
                          "height=\"([0-9.e+-]+)\" fill=\"#(000000|ffffff)\"/>");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.family);
        const std::string svg = tempPath("coded.svg");
        auto r = tool(std::string("--family ") + c.family + " --id " + std::to_string(c.id) + " --quiet " +
                      std::to_string(c.quiet) + " --mm " + std::to_string(c.mm) + " --svg " + svg);
        ASSERT_EQ(r.first, 0) << r.second;
        const std::string text = morvex_test::slurp(svg);
        std::ostringstream size;
        size << "width=\"" << c.page << "mm\" height=\"" << c.page << "mm\" viewBox=\"0 0 " << c.page << " "
             << c.page << "\"";
        EXPECT_NE(text.find(size.str()), std::string::npos) << text.substr(0, 300);
        // Paint the rectangles in order at each cell centre of the black square.
        const double cell = c.mm / c.grid, q = cell * c.quiet;
        std::vector<float> centres(c.grid * c.grid, -1);
        int black_squares = 0;
        for (std::sregex_iterator it(text.begin(), text.end(), rect), end; it != end; ++it) {
            const double x = std::stod((*it)[1]), y = std::stod((*it)[2]), w = std::stod((*it)[3]),
                         h = std::stod((*it)[4]);
            const bool white = (*it)[5] == "ffffff";
            if (!white && std::abs(x - q) < 1e-9 && std::abs(y - q) < 1e-9 && std::abs(w - c.mm) < 1e-9 &&
                std::abs(h - c.mm) < 1e-9)
                black_squares++;
            for (int i = 0; i < c.grid * c.grid; i++) {
                const double px = q + (i % c.grid + 0.5) * cell, py = q + (i / c.grid + 0.5) * cell;
                if (px > x && px < x + w && py > y && py < y + h) centres[i] = white ? 255.0f : 0.0f;
            }
        }
        EXPECT_EQ(black_squares, 1);
        EXPECT_EQ(std::count(centres.begin(), centres.end(), -1.0f), 0);
        int turn = -1;
        EXPECT_EQ(decodeCentres(c.family, centres, &turn), c.id);
        EXPECT_EQ(turn, 0);
    }
}

TEST_F(Tool, CodedMarkerErrorsNameTheCulprit) {
    struct Case { std::string args, culprit; } cases[] = {
        {"--family tag36h10 --id 1 --png x.png", "tag36h10"},
        {"--family aruco4x4_50 --id 50 --png x.png", "0..49"},
        {"--family tag36h11 --png x.png", "--id"},
        {"--family tag36h11 --id 1", "nothing to write"},
        {"--family tag36h11 --id 1 --patt x.lumo", "--patt"},
        {"pic.png --family tag36h11 --id 1 --png x.png", "pic.png"},
        {"--family tag36h11 --id 1 --quiet 9 --png x.png", "--quiet"},
        {"--family aruco7x7_50 --id 1 --px 16 --quiet 8 --png x.png", "one pixel per cell"},
        {"pic.png --id 3 --png x.png", "--family"},
        {"--family tag36h11 --id 1 --svg /nonexistent/dir/t.svg", "/nonexistent/dir/t.svg"},
    };
    for (const Case &c : cases) {
        auto r = tool(c.args);
        EXPECT_EQ(r.first, 1) << c.args;
        EXPECT_NE(r.second.find(c.culprit), std::string::npos) << c.args << ": " << r.second;
        EXPECT_EQ(r.second.find('\n'), r.second.size() - 1) << c.args << ": " << r.second;
    }
}

}  // namespace
