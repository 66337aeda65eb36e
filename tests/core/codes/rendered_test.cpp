// Coded markers drawn by the support library and rendered by the project's
// renderer, then sampled through their true pose and the lens model as the
// tracker will sample a detected square: the picture itself, every start
// corner and turn, several markers in one frame, and small, blurred, noisy
// views.
#include "code_family.h"
#include "decode.h"
#include "projection.h"
#include "render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

using mvcore::CodeFamily;
using mvcore::CodeMatch;
using mvcore::DecodeOptions;

// Grey level (mean of R, G, B) of an image at (x, y), bilinear, pixel
// centres at integers.
float grey(const render::Image &img, double x, double y) {
    x = std::min(std::max(x, 0.0), img.width - 1.001);
    y = std::min(std::max(y, 0.0), img.height - 1.001);
    const int x0 = (int)x, y0 = (int)y;
    const double fx = x - x0, fy = y - y0;
    auto at = [&](int xx, int yy) {
        const uint8_t *p = &img.pixels[((size_t)yy * img.width + xx) * img.channels];
        return img.channels >= 3 ? (p[0] + p[1] + p[2]) / 3.0 : (double)p[0];
    };
    return (float)((1 - fy) * ((1 - fx) * at(x0, y0) + fx * at(x0 + 1, y0)) +
                   fy * ((1 - fx) * at(x0, y0 + 1) + fx * at(x0 + 1, y0 + 1)));
}

// The samples decodeCells takes, from a frame of a black square of side
// `side` under `trans`, as a detector whose corner 0 is the square's true
// corner `start` (corners still clockwise) would take them: k per cell,
// marker points between the corners projected through the camera and its
// lens.
std::vector<float> sampleSquare(const render::Image &frame, const MvCameraParam &cam, const double trans[3][4],
                                double side, int grid, int start, int k) {
    const double h = side / 2;
    const double corner[4][2] = {{-h, h}, {h, h}, {h, -h}, {-h, -h}};  // the renderer's corners 0..3
    const double *q0 = corner[start % 4], *q1 = corner[(start + 1) % 4], *q3 = corner[(start + 3) % 4];
    const int n = grid * k;
    std::vector<float> v(n * n);
    for (int r = 0; r < n; r++)
        for (int c = 0; c < n; c++) {
            const double u = (c + 0.5) / n, w = (r + 0.5) / n;
            const double p[3] = {q0[0] + u * (q1[0] - q0[0]) + w * (q3[0] - q0[0]),
                                 q0[1] + u * (q1[1] - q0[1]) + w * (q3[1] - q0[1]), 0};
            double ideal[2], observed[2];
            mvtool::projectPoint(trans, cam, p, ideal, observed);
            v[r * n + c] = grey(frame, observed[0], observed[1]);
        }
    return v;
}

bool decode(const CodeFamily &f, const std::vector<float> &samples, int k, CodeMatch *m) {
    DecodeOptions opt;
    opt.samples_per_cell = k;
    return mvcore::decodeCells(f, samples.data(), opt, m);
}

// The picture makeCodedMarker draws: the quiet zone white, the black square
// where it belongs, and its cell centres decode to the id, upright.
TEST(CodedMarkers, PictureDecodesAtItsCellCentres) {
    for (int k = 0; k < mvcore::kCodeFamilyCount; k++) {
        const CodeFamily &f = mvcore::codeFamilyAt(k);
        for (int id : {0, f.code_count / 2, f.code_count - 2}) {
            const int cell = 5, quiet = 2;
            const render::Image img = render::makeCodedMarker(f.name, id, cell, quiet);
            ASSERT_EQ(img.width, (f.grid + 2 * quiet) * cell) << f.name;
            std::vector<float> v;
            int quiet_dark = 0;
            for (int y = 0; y < img.height; y++)
                for (int x = 0; x < img.width; x++) {
                    const int r = y / cell - quiet, c = x / cell - quiet;
                    const bool inside = r >= 0 && c >= 0 && r < f.grid && c < f.grid;
                    quiet_dark += !inside && grey(img, x, y) < 255;
                    if (inside && y % cell == cell / 2 && x % cell == cell / 2) v.push_back(grey(img, x, y));
                }
            EXPECT_EQ(quiet_dark, 0) << f.name;
            CodeMatch m;
            ASSERT_TRUE(decode(f, v, 1, &m)) << f.name << " " << id;
            EXPECT_EQ(m.id, id);
            EXPECT_EQ(m.turn, 0);
        }
    }
    EXPECT_TRUE(render::makeCodedMarker("tag36h10", 0, 4).pixels.empty());
    EXPECT_TRUE(render::makeCodedMarker("tag36h11", 587, 4).pixels.empty());
    EXPECT_EQ(render::codedPictureSide("tag36h11", 80.0, 1), 100.0);
}

// Rendered at a tilt and a roll, sampled from each of the four corners as
// a detector might take them: the id, the turn that names the start corner,
// and the family's corner 0 at its own place on the marker (AprilTag's at
// the bottom-left as drawn, the renderer's corner 3; ArUco's at the
// top-left, corner 0). With one and with nine samples per cell.
TEST(CodedMarkers, EveryStartCornerGivesItsTurn) {
    const MvCameraParam cam = render::bundledCamera(640, 480);
    const char *families[] = {"tag36h11", "tag25h9", "tag16h5", "aruco4x4_50", "aruco5x5_100",
                              "aruco6x6_250", "aruco7x7_1000", "aruco_original"};
    const double black = 60.0;
    for (const char *name : families) {
        const CodeFamily &f = *mvcore::findCodeFamily(name);
        const int id = f.code_count / 3;
        const render::Image pic = render::makeCodedMarker(name, id, 16);
        for (double roll : {10.0, 100.0, 190.0, 280.0}) {
            double trans[3][4];
            render::poseAt(cam, 300, 250, 450, 30, roll, trans);
            render::Image frame;
            render::renderFrame(pic, render::codedPictureSide(name, black), trans, cam, render::Options(), &frame);
            for (int start = 0; start < 4; start++)
                for (int k : {1, 3}) {
                    CodeMatch m;
                    ASSERT_TRUE(decode(f, sampleSquare(frame, cam, trans, black, f.grid, start, k), k, &m))
                        << name << " roll " << roll << " start " << start << " k " << k;
                    EXPECT_EQ(m.id, id);
                    EXPECT_EQ(m.turn, start);
                    const int truth_corner = (mvcore::observedCorner(f, m.turn, 0) + start) % 4;
                    EXPECT_EQ(truth_corner, f.convention == mvcore::CodeConvention::AprilTag ? 3 : 0) << name;
                }
        }
    }
}

// Twelve markers of one family in one 640 x 480 frame, each 40 mm at
// 500 to 700 mm (45 to 60 pixels across) with its own roll and tilt,
// rendered together on a gradient with blur and noise: each decodes to its
// own id. (The renderer's clutter is drawn per marker and covers the
// others in a scene.)
TEST(CodedMarkers, ManyMarkersInOneFrame) {
    const MvCameraParam cam = render::bundledCamera(640, 480);
    for (const char *name : {"tag36h11", "aruco4x4_50", "aruco7x7_250"}) {
        const CodeFamily &f = *mvcore::findCodeFamily(name);
        std::vector<render::Image> pics;
        std::vector<render::Placement> places;
        std::vector<int> ids;
        for (int i = 0; i < 12; i++) {
            ids.push_back((i * 37 + 5) % f.code_count);
            pics.push_back(render::makeCodedMarker(name, ids.back(), 8));
        }
        for (int i = 0; i < 12; i++) {
            render::Placement p{&pics[i], render::codedPictureSide(name, 40.0), {}};
            render::poseAt(cam, 80 + 160 * (i % 4), 80 + 160 * (i / 4), 500 + 20 * i, 5 * (i % 5), 29 * i, p.trans);
            places.push_back(p);
        }
        render::Options opt;
        opt.background = render::Background::Gradient;
        opt.blur_sigma = 0.5;
        opt.noise_sigma = 2;
        render::Image frame;
        render::renderScene(places, cam, opt, &frame);
        for (int i = 0; i < 12; i++) {
            CodeMatch m;
            ASSERT_TRUE(decode(f, sampleSquare(frame, cam, places[i].trans, 40.0, f.grid, i % 4, 1), 1, &m))
                << name << " marker " << i;
            EXPECT_EQ(m.id, ids[i]) << name;
            EXPECT_EQ(m.turn, i % 4) << name;
        }
    }
}

// Small, blurred, noisy views, each at the smallest size where every view
// decodes (decode.h states these figures), and below it: every view there
// is refused or right, never another id. A 120 x 120 pinhole camera
// (focal 300 pixels) sees a 40 mm black square face-on to 50 degrees of
// tilt and all rolls.
TEST(CodedMarkers, SmallBlurredViews) {
    const MvCameraParam cam = render::pinholeCamera(120, 120, 300);
    struct Case { const char *family; double px, blur; int k; bool all; } cases[] = {
        {"tag36h11", 15, 0.5, 1, true},     {"tag36h11", 20, 0.8, 1, true},
        {"aruco6x6_250", 20, 0.5, 1, true}, {"aruco6x6_250", 25, 0.8, 1, true},
        {"aruco4x4_50", 12, 0.5, 1, true},  {"tag36h11", 30, 0.8, 3, true},
        {"aruco4x4_50", 30, 0.8, 3, true},  {"aruco6x6_250", 30, 0.8, 3, true},
        {"tag36h11", 12, 0.8, 1, false},    {"aruco4x4_50", 12, 0.8, 1, false},
        {"tag36h11", 15, 0.8, 3, false},
    };
    const double black = 40.0;
    for (const Case &c : cases) {
        const CodeFamily &f = *mvcore::findCodeFamily(c.family);
        int right = 0, wrong = 0, views = 0;
        for (int id = 0; id < f.code_count; id += f.code_count / 6)
            for (int v = 0; v < 8; v++) {
                double trans[3][4];
                render::poseAt(cam, 59.5, 59.5, 300 * black / c.px, 25 * (v % 3), 13 + 45 * v, trans);
                render::Options opt;
                opt.blur_sigma = c.blur;
                opt.noise_sigma = 3;
                opt.seed = 1 + v + id;
                render::Image frame;
                render::renderFrame(render::makeCodedMarker(c.family, id, 8),
                                    render::codedPictureSide(c.family, black), trans, cam, opt, &frame);
                CodeMatch m;
                if (decode(f, sampleSquare(frame, cam, trans, black, f.grid, 0, c.k), c.k, &m))
                    (m.id == id && m.turn == 0 ? right : wrong)++;
                views++;
            }
        SCOPED_TRACE(testing::Message() << c.family << " " << c.px << " px, blur " << c.blur << ", k " << c.k);
        EXPECT_EQ(wrong, 0);
        if (c.all) {
            EXPECT_EQ(right, views);
        }
    }
}

}  // namespace
