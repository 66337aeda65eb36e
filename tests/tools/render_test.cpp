// Frames of the synthetic renderer against geometry computed independently:
// where the corners must be and where the border's edges lie when measured
// from the pixels alone. (That the lens bends them as the library's model
// says is shown end to end: display/undistort_test straightens them again
// and detect/rendered_test finds corners at their ideal truth.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "render.h"

namespace {

using render::Image;

// A marker whose picture is plain white: black border, white centre.
Image whiteMarker(int side = 64) {
    return render::makeMarker(Image{8, 8, 1, std::vector<uint8_t>(64, 255)}, side);
}

double grey(const Image &f, int x, int y) {
    const uint8_t *p = &f.pixels[(static_cast<size_t>(y) * f.width + x) * 4];
    return (p[0] + p[1] + p[2]) / 3.0;
}

// Bilinear grey at a fractional pixel position (pixel centres at integers).
double greyAt(const Image &f, double x, double y) {
    int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
    double ax = x - x0, ay = y - y0;
    auto g = [&](int xx, int yy) { return grey(f, std::clamp(xx, 0, f.width - 1), std::clamp(yy, 0, f.height - 1)); };
    return (1 - ay) * ((1 - ax) * g(x0, y0) + ax * g(x0 + 1, y0)) + ay * ((1 - ax) * g(x0, y0 + 1) + ax * g(x0 + 1, y0 + 1));
}

// Where along the segment a -> b (sampled finely) the grey profile first
// crosses `level`, as a point; false if it never does.
bool crossing(const Image &f, double ax, double ay, double bx, double by, double level, double *cx, double *cy) {
    const int steps = 400;
    double prev = greyAt(f, ax, ay);
    for (int i = 1; i <= steps; i++) {
        double t = static_cast<double>(i) / steps;
        double x = ax + t * (bx - ax), y = ay + t * (by - ay);
        double g = greyAt(f, x, y);
        if ((prev - level) * (g - level) <= 0 && prev != g) {
            double t0 = (i - 1.0) / steps, tc = t0 + (level - prev) / (g - prev) / steps;
            *cx = ax + tc * (bx - ax);
            *cy = ay + tc * (by - ay);
            return true;
        }
        prev = g;
    }
    return false;
}

TEST(RenderGeometry, TruthIsThePinholeProjectionTiltAndRollTurnAsDocumented) {
    // Bundled camera at 320 x 240: focal 350 px, principal point (159.25, 120.5).
    MvCameraParam cam = render::bundledCamera(320, 240);
    ASSERT_DOUBLE_EQ(cam.projection[0][0], 350.0);
    double trans[3][4];
    render::poseAt(cam, 159.25, 120.5, 400.0, 0.0, 0.0, trans);
    const double want[3][4] = {{1, 0, 0, 0}, {0, -1, 0, 0}, {0, 0, -1, 400}};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 4; j++) EXPECT_NEAR(trans[i][j], want[i][j], 1e-9) << i << "," << j;

    Image frame;
    render::Truth t = render::renderFrame(whiteMarker(), 80.0, trans, cam, render::Options(), &frame);
    // 40 mm at 400 mm and 350 px focal length: 35 px from the principal point;
    // corner 0 is top-left in the image, then clockwise.
    const double ideal[4][2] = {{124.25, 85.5}, {194.25, 85.5}, {194.25, 155.5}, {124.25, 155.5}};
    for (int k = 0; k < 4; k++) {
        EXPECT_NEAR(t.ideal[k][0], ideal[k][0], 1e-9);
        EXPECT_NEAR(t.ideal[k][1], ideal[k][1], 1e-9);
        double ox, oy;
        mvParamIdeal2Observ(cam.distortion, ideal[k][0], ideal[k][1], &ox, &oy);
        EXPECT_NEAR(t.observed[k][0], ox, 1e-9);
        EXPECT_NEAR(t.observed[k][1], oy, 1e-9);
    }
    EXPECT_TRUE(frame.width == 320 && frame.height == 240 && frame.channels == 4);
    ASSERT_EQ(frame.pixels.size(), 320u * 240u * 4u);

    // Positive tilt brings the top edge (corners 0-1) nearer: it looks longer.
    render::poseAt(cam, 159.25, 120.5, 400.0, 30.0, 0.0, trans);
    t = render::projectCorners(80.0, trans, cam);
    EXPECT_GT(t.ideal[1][0] - t.ideal[0][0], (t.ideal[2][0] - t.ideal[3][0]) * 1.05);
    // Roll 90: clockwise in the image, corner 0 goes from top-left to top-right.
    render::poseAt(cam, 159.25, 120.5, 400.0, 0.0, 90.0, trans);
    t = render::projectCorners(80.0, trans, cam);
    EXPECT_GT(t.ideal[0][0], 159.25 + 30);
    EXPECT_LT(t.ideal[0][1], 120.5 - 30);
}

TEST(RenderGeometry, BorderCornersMeasuredFromPixelsMatchTruth) {
    // Without distortion the border's outer edges are straight: measure each
    // edge from the image at 20 places (the grey profile's mid-level crossing
    // along the edge normal), draw a line, intersect neighbours. Measured
    // corners land within 0.06 px of the truth (4 x 4 box-filtered edges);
    // 0.15 px leaves room for that and still catches a quarter-pixel shift
    // of the sampling grid, well inside the half pixel detection is held to.
    MvCameraParam cam = render::pinholeCamera(320, 240, 400.0);
    struct Case { double u, v, dist, tilt, roll; } cases[] = {
        {159.5, 119.5, 400, 0, 0}, {140, 110, 350, 30, 15}, {180, 130, 500, -40, -70}, {160, 120, 300, 50, 200},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "tilt " << c.tilt << " roll " << c.roll);
        double trans[3][4];
        render::poseAt(cam, c.u, c.v, c.dist, c.tilt, c.roll, trans);
        Image frame;
        render::Truth t = render::renderFrame(whiteMarker(), 80.0, trans, cam, render::Options(), &frame);
        // Each edge as the homogeneous line through the mean crossing of
        // either half; corners where neighbouring lines meet.
        auto cross = [](const double *u, const double *v, double *w) {
            w[0] = u[1] * v[2] - u[2] * v[1];
            w[1] = u[2] * v[0] - u[0] * v[2];
            w[2] = u[0] * v[1] - u[1] * v[0];
        };
        double line[4][3];
        for (int e = 0; e < 4; e++) {
            const double *A = t.observed[e], *B = t.observed[(e + 1) % 4];
            double ex = B[0] - A[0], ey = B[1] - A[1], len = std::hypot(ex, ey);
            double nx = ey / len, ny = -ex / len;  // outward for clockwise corners
            double half[2][3] = {{0, 0, 1}, {0, 0, 1}};
            for (int i = 0; i < 20; i++) {
                double f = 0.2 + 0.6 * i / 19.0, px = A[0] + f * ex, py = A[1] + f * ey, cx, cy;
                // background 190, border 0: the mid level 95
                ASSERT_TRUE(crossing(frame, px + 4 * nx, py + 4 * ny, px - 4 * nx, py - 4 * ny, 95, &cx, &cy));
                half[i / 10][0] += cx / 10;
                half[i / 10][1] += cy / 10;
            }
            cross(half[0], half[1], line[e]);
        }
        for (int k = 0; k < 4; k++) {
            double c[3];
            cross(line[(k + 3) % 4], line[k], c);
            EXPECT_NEAR(c[0] / c[2], t.observed[k][0], 0.15) << "corner " << k;
            EXPECT_NEAR(c[1] / c[2], t.observed[k][1], 0.15) << "corner " << k;
        }
    }
}

TEST(RenderFrame, SameSeedSameBytesOtherSeedOtherBytes) {
    MvCameraParam cam = render::bundledCamera(160, 120);
    double trans[3][4];
    render::poseAt(cam, 80, 60, 300.0, 25.0, 10.0, trans);
    Image marker = render::makeProjectMarker(128);
    for (render::Background bg : {render::Background::Gradient, render::Background::Clutter}) {
        render::Options opt;
        opt.background = bg;
        opt.blur_sigma = 0.8;
        opt.noise_sigma = 5.0;
        Image f[3];
        for (unsigned i = 0; i < 3; i++) {
            opt.seed = 42 + i / 2;  // 42, 42, 43
            render::renderFrame(marker, 80.0, trans, cam, opt, &f[i]);
        }
        EXPECT_EQ(f[0].pixels, f[1].pixels);
        EXPECT_NE(f[0].pixels, f[2].pixels);
    }
}

}  // namespace
